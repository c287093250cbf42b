#include "app/handoff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings_policy.h"
#include "engine/dest_table.h"
#include "platform/messages.h"

namespace rd::handoff {
namespace {

TEST(HandOffChunks, EightBytesAChunkWithTheSenderAboveThem) {
    // Seven bytes and their zero fill one chunk; eight take a second one of zeros.
    const auto seven = Chunks("/a/b/cd", 0xABCDEF01);
    ASSERT_EQ(seven.size(), 1u);
    EXPECT_EQ(seven[0].msg, msg::WMU_HANDOFF);
    EXPECT_EQ(seven[0].wParam, 0xABCDEF012F612F62u);  // the sender, then "/a/b" first byte highest
    EXPECT_EQ(seven[0].lParam, 0x2F636400);           // "/cd" and the zero
    const auto eight = Chunks("/a/b/cde", 7);
    ASSERT_EQ(eight.size(), 2u);
    EXPECT_EQ(eight[1].wParam, 7ull << 32);
    EXPECT_EQ(eight[1].lParam, 0);
}

TEST(CompareJobs, SameKindAndSameDestinationsOnly) {
    const int32_t wipeOnce = 1 << 1;
    const struct {
        int32_t senderMode;
        Links senderLinks;
        const char* senderTargets;
        const char* senderFolder;
        int32_t receiverMode;
        Links receiverLinks;
        const char* receiverTargets;
        Answer expected;
    } cases[] = {
        {0, Links::None, "/d/?", "/", 0, Links::None, "/d?", kAccepted},
        {0, Links::None, "d/?", "/home", 0, Links::None, "/home/d?", kAccepted},
        {0, Links::None, "../d", "/home/u", 0, Links::None, "/home/d?", kAccepted},
        {0, Links::None, "/a?/b?", "/", 0, Links::None, "/b/./?/x/../a//?/a?", kAccepted},
        {0, Links::None, "/?", "/", 0, Links::None, "//?", kAccepted},
        {0, Links::None, "/a?/b?", "/", 0, Links::None, "/a?", kOtherDestinations},
        {0, Links::None, "/a?", "/", 0, Links::None, "/a/b?", kOtherDestinations},
        {0, Links::None, "/d?", "/", mode::kMove, Links::None, "/d?", kOtherKind},
        {mode::kMove | wipeOnce, Links::None, "/d?", "/", mode::kMove, Links::None, "/d?",
         kOtherKind},
        {mode::kMove | wipeOnce, Links::None, "/d?", "/", mode::kMove | wipeOnce, Links::None,
         "/d/?", kAccepted},
        {0, Links::None, "/d?", "/", mode::kDelete, Links::None, "", kOtherKind},
        // A delete's target text is not a destination.
        {mode::kDelete, Links::None, "/x?", "/", mode::kDelete, Links::None, "", kAccepted},
        {0, Links::PerFile, "/d?", "/", 0, Links::None, "/d?", kOtherKind},
        {0, Links::Tree, "/d?", "/", 0, Links::PerFile, "/d?", kOtherKind},
    };
    for (const auto& c : cases) {
        const std::string sender = DescribeJob(JobModeOf(c.senderMode), c.senderLinks,
                                               SplitTargetText(c.senderTargets), c.senderFolder);
        const std::string receiver = DescribeJob(JobModeOf(c.receiverMode), c.receiverLinks,
                                                 SplitTargetText(c.receiverTargets), "/elsewhere");
        EXPECT_EQ(Compare(sender, receiver), c.expected) << sender << " / " << receiver;
    }
    EXPECT_EQ(Compare("no description", DescribeJob(JobMode::Copy, Links::None, {"/d"}, "/")),
              kOtherKind);
}

// A destination's name may hold "?" or any other byte: the descriptions never split it, nor
// take one folder for two.
TEST(CompareJobs, FolderNamesAreComparedWhole) {
    const auto same = [](const std::vector<std::string>& a, const std::vector<std::string>& b) {
        return Compare(DescribeJob(JobMode::Copy, Links::None, a, "/"),
                       DescribeJob(JobMode::Copy, Links::None, b, "/"));
    };
    EXPECT_EQ(same({"/x?y"}, {"/x?y/"}), kAccepted);
    EXPECT_EQ(same({"/x?y"}, {"/x", "/y"}), kOtherDestinations);
    EXPECT_EQ(same({"/x", "/y"}, {"/x?y"}), kOtherDestinations);
    EXPECT_EQ(same({"/1:/a"}, {"/1", "/a"}), kOtherDestinations);
    EXPECT_EQ(same({"/a\nb", "/c"}, {"/c", "/a\nb"}), kAccepted);
}

TEST(Inbox, OnlyAWholeHandOffOfTheAnnouncedSizeIsTaken) {
    Inbox inbox;
    const auto feed = [&inbox](uint32_t sender, const std::vector<std::string>& items,
                               uint64_t nowMs = 0) {
        for (const std::string& item : items)
            for (const bus::Packet& chunk : Chunks(item, sender))
                inbox.Add(chunk.wParam, chunk.lParam, nowMs);
    };
    feed(5, {"copy?/d?", "/src/a", "/src/with a longer name"});
    const auto items = inbox.Take(5, 2);
    ASSERT_TRUE(items);
    EXPECT_EQ(items->job, "copy?/d?");
    EXPECT_EQ(items->sources, (std::vector<std::string>{"/src/a", "/src/with a longer name"}));
    EXPECT_FALSE(inbox.Take(5, 2)) << "taken twice";

    const auto cut = Chunks("/src/a name of two chunks", 3);
    feed(0, {"copy?/d?", "/src/a"});  // without a sender nothing is kept
    feed(3, {"copy?/d?"});
    inbox.Add(cut[0].wParam, cut[0].lParam, 0);  // an item without its end
    feed(4, {"copy?/d?"});
    inbox.Add(4ull << 32, 0, 0);  // an empty item: a chunk went astray
    // A sender silent for longer than it waits is forgotten, even when it goes on later.
    feed(6, {"copy?/d?"}, 100);
    feed(6, {"/src/a"}, 100 + kAnswerTimeoutMs + 1);
    for (const uint32_t sender : {0u, 3u, 4u, 6u})
        EXPECT_FALSE(inbox.Take(sender, 1)) << sender;
    feed(7, {"copy?/d?", "/src/a"});
    EXPECT_FALSE(inbox.Take(7, 2)) << "fewer sources than announced";
}

}  // namespace
}  // namespace rd::handoff
