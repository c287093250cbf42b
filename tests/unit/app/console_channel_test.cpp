#include "app/console_channel.h"
#include "platform/console_packet.h"

#include <gtest/gtest.h>

namespace rd {
namespace {

TEST(ConsoleChannel, Chunks) {
    // Kind 1 with six characters fills one chunk: kind, six characters, zero.
    auto chunks = PacketChunks(packet::kText, "abcdef");
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].first, 0x01616263u);
    EXPECT_EQ(chunks[0].second, 0x64656600);
    // Seven characters take two chunks, the second all zero.
    chunks = PacketChunks(packet::kText, "abcdefg");
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].second, 0x64656667);
    EXPECT_EQ(chunks[1], Chunk(0, 0));
    // The heartbeat is the single chunk 0, 0.
    EXPECT_EQ(PacketChunks(packet::kHeartbeat, ""), (std::vector<Chunk>{{0, 0}}));
    // Bytes above 0x7F stay unsigned in the packing.
    chunks = PacketChunks(packet::kText, "\xFF\xFE\xFD");
    EXPECT_EQ(chunks[0].first, 0x01FFFEFDu);
}

TEST(ConsoleChannel, ReaderRebuildsPackets) {
    PacketReader reader;
    uint8_t kind = 0;
    std::string text;
    for (const std::string& sample :
         {std::string(""), std::string("x"), std::string("exactly"), std::string(200, 'z'),
          std::string("\xC3\xA9t\xC3\xA9\r\n")}) {
        auto chunks = PacketChunks(packet::kPromptHandle, sample);
        for (size_t i = 0; i < chunks.size(); ++i)
            EXPECT_EQ(reader.Add(chunks[i], kind, text), i + 1 == chunks.size());
        EXPECT_EQ(kind, packet::kPromptHandle);
        EXPECT_EQ(text, sample);
    }
}

TEST(ConsoleChannel, LinesAre79Characters) {
    EXPECT_EQ(ConsoleLine(std::string(100, 'a'), false), std::string(79, 'a') + "\r");
    EXPECT_EQ(ConsoleLine("", true), std::string(79, ' ') + "\r\n");
    std::vector<Chunk> sent;
    const auto keep = [&](const Chunk& c) {
        sent.push_back(c);
        return true;
    };
    ConsoleChannel off(0, keep);
    off.Line("nothing", true);
    EXPECT_TRUE(sent.empty());
    ConsoleChannel on(42, keep);
    on.Line("hi", false);
    EXPECT_EQ(sent.size(), 11u);  // 1 + 80 + 1 bytes, padded to 88
}

// A wrapper that takes no more packets is gone: the channel stops sending and says it is
// detached, so that no question waits for it.
TEST(ConsoleChannel, AWrapperThatTakesNothingMoreIsGone) {
    int tries = 0;
    ConsoleChannel channel(42, [&](const Chunk&) {
        ++tries;
        return false;
    });
    EXPECT_TRUE(channel.Attached());
    channel.Line("first", true);
    EXPECT_EQ(tries, 1);
    EXPECT_FALSE(channel.Attached());
    channel.Line("second", true);
    EXPECT_EQ(tries, 1);
}

}  // namespace
}  // namespace rd
