// The completion and test sound: wave files played through ALSA on a thread of the player's
// own, so that neither the window nor the job ever waits for the sound or for a missing device.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine/job_end.h"

namespace rd {

class AlsaSoundPlayer : public SoundPlayer {
public:
    // `device`: the ALSA device name ("default": the user's sound set-up).
    explicit AlsaSoundPlayer(std::string device = "default");
    // Stops a sound that is playing and ends the player's thread.
    ~AlsaSoundPlayer() override;
    AlsaSoundPlayer(const AlsaSoundPlayer&) = delete;
    AlsaSoundPlayer& operator=(const AlsaSoundPlayer&) = delete;

    // Any thread; returns at once. The sound replaces one that is still playing. A file that
    // cannot be read or played, or no sound device, plays nothing and says nothing.
    void PlayFile(const std::string& path) override;

    // Waits until the sound asked for has played out, at most `limit`; at once when there is
    // none or it cannot play. The process ends right after a job's completion sound was asked
    // for, which would cut it off.
    void Finish(std::chrono::milliseconds limit);

    // On the player's thread after each sound: its path and why it did not play (empty when it
    // did). Set before the first PlayFile.
    std::function<void(const std::string& path, const std::string& error)> finished;

private:
    void Run();
    // Plays one file; returns why it did not play, or empty.
    std::string Play(const std::string& path);
    // The sound playing now is to stop: the player ends or another sound waits.
    bool Interrupted();

    std::string device_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::optional<std::string> pending_;
    bool playing_ = false;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace rd
