// The completion sound: wave files read as they are, and the ALSA player, which returns at once
// and plays nothing (without waiting) when there is no sound device.
#include "app/sound_player.h"

#include <gtest/gtest.h>

#include <future>

#include "app/wave_file.h"
#include "test_support.h"

namespace rd {
namespace {

using namespace std::string_literals;

std::string Le(uint32_t value, int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::string Chunk(const std::string& id, const std::string& body) {
    return id + Le(static_cast<uint32_t>(body.size()), 4) + body + (body.size() % 2 ? "\0"s : "");
}

std::string Format(int encoding, int channels, uint32_t rate, int bits) {
    return Chunk("fmt ", Le(encoding, 2) + Le(channels, 2) + Le(rate, 4) +
                             Le(rate * channels * bits / 8, 4) + Le(channels * bits / 8, 2) +
                             Le(bits, 2));
}

std::string Riff(const std::string& chunks) {
    return "RIFF" + Le(static_cast<uint32_t>(chunks.size() + 4), 4) + "WAVE" + chunks;
}

TEST(WaveFile, ReadsWhatItCanPlayAndSaysWhyNot) {
    const std::string tone(400, '\x10');
    const struct {
        const char* what;
        std::string bytes;
        const char* error;  // empty: parsed
        size_t samples;
    } cases[] = {
        {"16-bit stereo", Riff(Format(1, 2, 44100, 16) + Chunk("data", tone)), "", 400},
        {"8-bit mono after an odd chunk",
         Riff(Chunk("LIST", "abc") + Format(1, 1, 8000, 8) + Chunk("data", tone)), "", 400},
        {"24-bit, a partial frame cut", Riff(Format(1, 1, 8000, 24) + Chunk("data", tone)), "",
         399},
        {"float", Riff(Format(3, 1, 8000, 32) + Chunk("data", tone)), "", 400},
        {"data longer than the file", Riff(Format(1, 1, 8000, 16)) + "data" + Le(100000, 4) + tone,
         "", 400},
        {"not RIFF", "RIFX" + Riff("").substr(4), "not a wave file", 0},
        {"empty", "", "not a wave file", 0},
        {"compressed", Riff(Format(2, 1, 8000, 4) + Chunk("data", tone)),
         "its sound is not plain PCM", 0},
        {"no channels", Riff(Format(1, 0, 8000, 16) + Chunk("data", tone)),
         "its sound is not plain PCM", 0},
        {"data first", Riff(Chunk("data", tone) + Format(1, 1, 8000, 16)),
         "its data come before its format", 0},
        {"no data", Riff(Format(1, 1, 8000, 16)), "it holds no sound data", 0},
        {"no format", Riff(Chunk("LIST", "ab")), "it has no format chunk", 0},
        {"short format", Riff(Chunk("fmt ", "abcd")), "its format chunk is cut short", 0},
    };
    for (const auto& c : cases) {
        Wave wave;
        std::string error;
        EXPECT_EQ(ParseWave(c.bytes, wave, error), !*c.error) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        if (!*c.error) {
            EXPECT_EQ(wave.samples.size(), c.samples) << c.what;
        }
    }
}

// The completion sound the settings point at by default is shipped, and is one the player plays.
TEST(WaveFile, TheShippedCompletionSoundIsPlainPcm) {
    Wave wave;
    std::string error;
    ASSERT_TRUE(ParseWave(test::ReadFile(test::SourceDataDir() + "/finish.wav"), wave, error))
        << error;
    EXPECT_EQ(wave.encoding, 1);
    EXPECT_EQ(wave.channels, 1);
    EXPECT_EQ(wave.bits, 16);
    EXPECT_GT(wave.samples.size(), size_t{wave.rate});
}

TEST(AlsaSoundPlayer, NoDeviceReturnsAtOnceAndPlaysNothing) {
    test::TempDir dir;
    const std::string wav = dir / "done.wav";
    test::WriteFile(wav, Riff(Format(1, 1, 8000, 16) + Chunk("data", std::string(16000, '\0'))));
    std::vector<std::pair<std::string, std::string>> results;
    {
        AlsaSoundPlayer player("hw:CARD=RedoDoriNoSuchCard");
        std::promise<void> first, second;
        player.finished = [&](const std::string& path, const std::string& error) {
            results.emplace_back(path, error);
            (results.size() == 1 ? first : second).set_value();
        };
        // PlayFile returns before the sound is tried: the window and the job never wait for it.
        player.PlayFile(wav);
        first.get_future().wait();
        player.PlayFile(dir / "missing.wav");
        // The end of the process waits for no sound that cannot play.
        player.Finish(std::chrono::hours(1));
        ASSERT_EQ(results.size(), 2u);
        second.get_future().wait();
    }
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results.back().first, dir / "missing.wav");
    EXPECT_EQ(results.back().second, "cannot read the file");
    EXPECT_EQ(results.front().first, wav);
    EXPECT_TRUE(results.front().second.starts_with("no sound device")) << results.front().second;
}

}  // namespace
}  // namespace rd
