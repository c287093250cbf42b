#include "app/sound_player.h"

#include <alsa/asoundlib.h>
#include <chrono>
#include <fstream>
#include <iterator>

#include "app/wave_file.h"

namespace rd {

namespace {

// A sound file larger than this is not read (a completion sound is a few seconds long).
constexpr std::streamoff kMaxSoundFile = 64 << 20;
// How long each wait for the device lasts before the player looks at its requests again.
constexpr int kWaitMs = 100;
constexpr int kDrainStepMs = 20;

// ALSA tells its own failures on stderr (a missing card, say); the player keeps them to itself.
void Silent(const char*, int, const char*, int, const char*, ...) {}

snd_pcm_format_t FormatOf(const Wave& wave) {
    if (wave.encoding == 3)
        return SND_PCM_FORMAT_FLOAT_LE;
    switch (wave.bits) {
        case 8: return SND_PCM_FORMAT_U8;
        case 16: return SND_PCM_FORMAT_S16_LE;
        case 24: return SND_PCM_FORMAT_S24_3LE;
        default: return SND_PCM_FORMAT_S32_LE;
    }
}

bool ReadSmallFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in || in.tellg() > kMaxSoundFile)
        return false;
    in.seekg(0);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

AlsaSoundPlayer::AlsaSoundPlayer(std::string device)
    : device_(std::move(device)), thread_([this] { Run(); }) {}

AlsaSoundPlayer::~AlsaSoundPlayer() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void AlsaSoundPlayer::PlayFile(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        pending_ = path;
    }
    wake_.notify_all();
}

void AlsaSoundPlayer::Finish(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(lock_);
    wake_.wait_for(lock, limit, [this] { return !playing_ && !pending_; });
}

bool AlsaSoundPlayer::Interrupted() {
    std::lock_guard<std::mutex> lock(lock_);
    return quit_ || pending_.has_value();
}

void AlsaSoundPlayer::Run() {
    for (;;) {
        std::string path;
        {
            std::unique_lock<std::mutex> lock(lock_);
            wake_.wait(lock, [this] { return quit_ || pending_; });
            if (quit_)
                return;
            path = std::move(*pending_);
            pending_.reset();
            playing_ = true;
        }
        const std::string error = Play(path);
        if (finished)
            finished(path, error);
        {
            std::lock_guard<std::mutex> lock(lock_);
            playing_ = false;
        }
        wake_.notify_all();
    }
}

std::string AlsaSoundPlayer::Play(const std::string& path) {
    std::string bytes, error;
    Wave wave;
    if (!ReadSmallFile(path, bytes))
        return "cannot read the file";
    if (!ParseWave(bytes, wave, error))
        return error;
    snd_lib_error_set_handler(Silent);
    snd_pcm_t* pcm = nullptr;
    // Non-blocking: a device that is missing or busy fails at once instead of waiting.
    int result = snd_pcm_open(&pcm, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (result < 0)
        return std::string("no sound device: ") + snd_strerror(result);
    result = snd_pcm_set_params(pcm, FormatOf(wave), SND_PCM_ACCESS_RW_INTERLEAVED,
                                static_cast<unsigned>(wave.channels), wave.rate, 1, 500000);
    if (result < 0) {
        snd_pcm_close(pcm);
        return std::string("the device refuses the sound: ") + snd_strerror(result);
    }
    const size_t frameBytes = static_cast<size_t>(wave.channels) * (wave.bits / 8);
    const snd_pcm_uframes_t frames = wave.samples.size() / frameBytes;
    snd_pcm_uframes_t done = 0;
    while (done < frames && !Interrupted()) {
        const snd_pcm_sframes_t written =
            snd_pcm_writei(pcm, wave.samples.data() + done * frameBytes, frames - done);
        if (written == -EAGAIN) {
            snd_pcm_wait(pcm, kWaitMs);
        } else if (written < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0) {
                error = std::string("playing failed: ") + snd_strerror(static_cast<int>(written));
                break;
            }
        } else {
            done += static_cast<snd_pcm_uframes_t>(written);
        }
    }
    if (error.empty() && !Interrupted()) {
        // Lets what is buffered play out, looking at the requests between the waits.
        snd_pcm_drain(pcm);
        while (snd_pcm_state(pcm) == SND_PCM_STATE_DRAINING && !Interrupted())
            std::this_thread::sleep_for(std::chrono::milliseconds(kDrainStepMs));
    }
    snd_pcm_drop(pcm);
    snd_pcm_close(pcm);
    return error;
}

}  // namespace rd
