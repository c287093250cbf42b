#include "app/console_prompts.h"

#include <gtest/gtest.h>

namespace rd {
namespace {

TEST(ConsolePrompts, ErrorListingAndKeys) {
    const std::string with = ErrorPromptListing("Disk on fire", true);
    EXPECT_EQ(with,
              "Copy process error\r\nDisk on fire\r\nWhat RedoDori should do with this "
              "problem?\r\n[A] - Abort copy process\r\n[H] - Bypass corrupted regions\r\n"
              "[R] - Retry operation\r\n[E] - Retry all\r\n[S] - Skip this file\r\n"
              "[K] - Skip all\r\nYour choice: ");
    EXPECT_EQ(ErrorPromptListing("x", false).find("[H]"), std::string::npos);

    PromptKey<ErrorAnswer> k = ErrorPromptKey('r', false, false);
    EXPECT_EQ(k.answer, ErrorAnswer::Retry);
    EXPECT_EQ(k.echo, "[R]\r\n");
    EXPECT_FALSE(k.newPolicy);
    k = ErrorPromptKey('E', false, false);
    EXPECT_EQ(k.answer, ErrorAnswer::Retry);
    EXPECT_EQ(k.newPolicy, ErrorPolicy::Retry);
    k = ErrorPromptKey('k', false, false);
    EXPECT_EQ(k.answer, ErrorAnswer::Skip);
    EXPECT_EQ(k.newPolicy, ErrorPolicy::Skip);
    // Heal only while it is offered.
    EXPECT_EQ(ErrorPromptKey('h', true, false).answer, ErrorAnswer::Heal);
    k = ErrorPromptKey('h', false, false);
    EXPECT_FALSE(k.answer);
    EXPECT_EQ(k.echo, "Incorrect choice - [h], please retry: \r\n");
    // Abort ends the job in the question unless the asker takes it back.
    k = ErrorPromptKey('a', false, false);
    EXPECT_TRUE(k.endJob);
    EXPECT_FALSE(k.answer);
    k = ErrorPromptKey('A', false, true);
    EXPECT_FALSE(k.endJob);
    EXPECT_EQ(k.answer, ErrorAnswer::Abort);
    EXPECT_FALSE(ErrorPromptKey('?', true, true).answer);
}

TEST(ConsolePrompts, ExistsListingAndKeys) {
    const std::string none = ExistsPromptListing("both files", 0);
    EXPECT_EQ(none.find("[R]"), std::string::npos);
    EXPECT_EQ(none.find("[U]"), std::string::npos);
    EXPECT_EQ(none.find("[N]"), std::string::npos);
    EXPECT_NE(none.find("[M] - Rename all\r\nYour choice: "), std::string::npos);
    const std::string all = ExistsPromptListing("both files", 3);
    EXPECT_NE(all.find("[R] - Resume copy process\r\n[U] - Resume all\r\n"), std::string::npos);
    EXPECT_NE(all.find("[N] - Rename old file\r\n"), std::string::npos);

    EXPECT_FALSE(ExistsPromptKey('r', 0).answer);
    EXPECT_FALSE(ExistsPromptKey('u', 2).answer);
    PromptKey<ExistsAnswer> k = ExistsPromptKey('U', 1);
    EXPECT_EQ(k.answer, ExistsAnswer::Resume);
    EXPECT_EQ(k.newPolicy, ExistsPolicy::TryResume);
    k = ExistsPromptKey('o', 0);
    EXPECT_EQ(k.answer, ExistsAnswer::Overwrite);
    EXPECT_FALSE(k.newPolicy);
    EXPECT_EQ(ExistsPromptKey('e', 0).newPolicy, ExistsPolicy::Overwrite);
    EXPECT_EQ(ExistsPromptKey('s', 0).answer, ExistsAnswer::Skip);
    EXPECT_EQ(ExistsPromptKey('k', 0).newPolicy, ExistsPolicy::Skip);
    EXPECT_EQ(ExistsPromptKey('n', 2).answer, ExistsAnswer::RenameOld);
    EXPECT_FALSE(ExistsPromptKey('n', 0).answer);
    // Rename all works even while renaming is not offered.
    k = ExistsPromptKey('m', 0);
    EXPECT_EQ(k.answer, ExistsAnswer::RenameOld);
    EXPECT_EQ(k.newPolicy, ExistsPolicy::RenameOld);
    k = ExistsPromptKey('a', 3);
    EXPECT_TRUE(k.endJob);
    EXPECT_FALSE(k.answer);
}

TEST(ConsolePrompts, NamesListingAndKeys) {
    EXPECT_EQ(NamesPromptListing("Too long here"),
              "Names the destination cannot take\r\nToo long here\r\n"
              "Rename them, skip them, or abort the job?\r\n[R] - Rename\r\n"
              "[S] - Skip those\r\n[A] - Abort\r\nYour choice: ");
    PromptKey<NamesAnswer> k = NamesPromptKey('R');
    EXPECT_EQ(k.answer, NamesAnswer::Rename);
    EXPECT_EQ(k.echo, "[R]\r\n");
    EXPECT_FALSE(k.endJob);
    EXPECT_EQ(NamesPromptKey('s').answer, NamesAnswer::Skip);
    k = NamesPromptKey('a');
    EXPECT_TRUE(k.endJob);
    EXPECT_FALSE(k.answer);
    EXPECT_EQ(k.echo, "[A]\r\n");
    // The other questions' keys are wrong here.
    for (char other : {'k', 'o', 'n', 'm'}) {
        k = NamesPromptKey(other);
        EXPECT_FALSE(k.answer) << other;
        EXPECT_FALSE(k.endJob) << other;
        EXPECT_EQ(k.echo, std::string("Incorrect choice - [") + other + "], please retry: \r\n");
    }
}

}  // namespace
}  // namespace rd
