#include "app/question_texts.h"

#include <gtest/gtest.h>

#include <locale.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "engine/prompts.h"
#include "platform/message_table.h"
#include "question_facts.h"
#include "test_support.h"

namespace rd {
namespace {

class QuestionTexts : public ::testing::Test {
protected:
    QuestionTexts() {
        test::WriteFile(dir / "texts.lng",
                        "[In code]\r\nv1=Several targets.\r\nv2=Overwrite?\r\nv3=Source:\r\n"
                        "v4=Source size:\r\nv5=Target:\r\nv6=Target size:\r\nv7=Read error\r\n"
                        "v8=File:\r\nv9=Position:\r\nv12=Write error\r\nv13=Free:\r\n"
                        "v15=Hard link error\r\n");
        EXPECT_TRUE(texts.Load(dir / "texts.lng"));
    }

    ExistsFacts Exists(uint64_t sourceSize, uint64_t destinationSize) const {
        ExistsFacts facts = test::Existing("/s/f", "/d/f");
        facts.sourceSize = sourceSize;
        facts.destinationSize = destinationSize;
        return facts;
    }

    test::TempDir dir;
    MessageTable texts;
};

TEST_F(QuestionTexts, ALinkErrorNamesBothEndsAndComesBackOnAbort) {
    ErrorFacts facts = test::Failed(ErrorStep::Link, "/s/f", EEXIST);
    facts.destination = "/d/f";
    EXPECT_EQ(ErrorQuestionText(facts, texts),
              "Hard link error " + ErrorText(EEXIST) + "\r\nSource: /s/f\r\nTarget: /d/f\r\n");
    EXPECT_EQ(ErrorQuestionFlags(facts), promptflag::kAbortReturns);
}

TEST_F(QuestionTexts, ASourceThatCannotBeOpenedIsNamedWhole) {
    const ErrorFacts facts = test::Failed(ErrorStep::OpenSource, "/s/dir/f", ENOENT);
    EXPECT_EQ(ErrorQuestionText(facts, texts),
              "Read error 2 - No such file or directory\r\n /s/dir/f\r\n");
    EXPECT_EQ(ErrorQuestionFlags(facts), 0u);
}

TEST_F(QuestionTexts, TheSystemsErrorTextIsInTheLanguage) {
    ::unsetenv("LANGUAGE");
    const locale_t german = newlocale(LC_MESSAGES_MASK, "de_DE.UTF-8", nullptr);
    if (!german)
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (scripts/setup.sh makes it)";
    freelocale(german);
    texts.SetFacts({"Deutsch", "de_DE.UTF-8", "."});
    ErrorFacts facts = test::Failed(ErrorStep::Read, "/s/dir/f", EIO);
    EXPECT_EQ(ErrorQuestionText(facts, texts),
              "Read error 5 - Eingabe-/Ausgabefehler\r\nFile: f\r\nPosition: 0\r\n");
    // A language whose locale is not installed gets the English text.
    texts.SetFacts({"Klingon", "tlh_XX.UTF-8", ","});
    EXPECT_EQ(ErrorQuestionText(test::Failed(ErrorStep::OpenSource, "/f", ENOENT), texts),
              "Read error 2 - No such file or directory\r\n /f\r\n");
}

TEST_F(QuestionTexts, AReadErrorNamesTheFileAndOffersHeal) {
    ErrorFacts facts = test::Failed(ErrorStep::Read, "/s/dir/f", EIO);
    facts.position = 4096;
    EXPECT_EQ(ErrorQuestionText(facts, texts),
              "Read error " + ErrorText(EIO) + "\r\nFile: f\r\nPosition: 4096\r\n");
    EXPECT_EQ(ErrorQuestionFlags(facts), promptflag::kHealAllowed);
}

TEST_F(QuestionTexts, AWriteErrorTellsTheFreeSpaceWhenKnown) {
    ErrorFacts facts = test::Failed(ErrorStep::Write, "/d/f", EISDIR);
    EXPECT_EQ(ErrorQuestionText(facts, texts),
              "Write error 21 - Is a directory\r\nFile: /d/f\r\nPosition: 0\r\n");
    facts.freeBytes = 1000;
    EXPECT_EQ(
        ErrorQuestionText(facts, texts),
        "Write error 21 - Is a directory\r\nFile: /d/f\r\nPosition: 0\r\nFree: 1000 bytes\r\n");
    EXPECT_EQ(ErrorQuestionFlags(facts), promptflag::kAbortReturns);
}

TEST_F(QuestionTexts, AWriteVerifyMismatchNamesTheBlock) {
    ErrorFacts facts = test::Failed(ErrorStep::WriteVerify, "/d/f");
    facts.position = 8;
    facts.blockSize = 512;
    EXPECT_EQ(ErrorQuestionText(facts, texts),
              "Write CRC verify error.\r\nFile: /d/f\r\nPosition: 8\r\nBlocksize: 512");
}

TEST_F(QuestionTexts, AnExistingFileOfSeveralTargetsEndsWithTheirLine) {
    ExistsFacts facts = Exists(4000, 1000);
    facts.destinations = 2;
    EXPECT_EQ(ExistsQuestionText(facts, texts),
              "Source: /s/f\r\nSource size: 4000\r\n\r\nTarget: /d/f\r\nTarget size: 1000\r\n"
              "\r\nSeveral targets.");
    EXPECT_EQ(ExistsQuestionFlags(facts), promptflag::kRenamePossible);
}

TEST_F(QuestionTexts, AnExistingFileEndsWithTheOverwriteLineUnlessLargerOrResumable) {
    EXPECT_EQ(ExistsQuestionText(Exists(4000, 1000), texts),
              "Source: /s/f\r\nSource size: 4000\r\n\r\nTarget: /d/f\r\nTarget size: 1000\r\n"
              "\r\nOverwrite?");
    EXPECT_EQ(ExistsQuestionText(Exists(4000, 9000), texts),
              "Source: /s/f\r\nSource size: 4000\r\n\r\nTarget: /d/f\r\nTarget size: 9000\r\n");
    ExistsFacts resumable = Exists(4000, 1000);
    resumable.resumable = true;
    EXPECT_EQ(ExistsQuestionText(resumable, texts),
              "Source: /s/f\r\nSource size: 4000\r\n\r\nTarget: /d/f\r\nTarget size: 1000\r\n");
    EXPECT_EQ(ExistsQuestionFlags(resumable),
              promptflag::kResumePossible | promptflag::kRenamePossible);
}

TEST_F(QuestionTexts, AMarkersCopyResumesButIsNeverRenamed) {
    ExistsFacts facts = test::Existing("/s/f", "/d/f", true, false);
    EXPECT_EQ(ExistsQuestionFlags(facts), promptflag::kResumePossible);
}

// Each finding on a line of its own, sizes in human units, names kept on their line as the
// failure report keeps them, and a count of those left out.
TEST(NamesQuestionText, ListsEachFindingAndCountsTheRest) {
    const MessageTable builtIn;
    NamesFacts facts;
    facts.findings = {
        test::Finding(NameProblem::Refused, "/stick/a:b?", "/stick/a\uA789b\uFF1F"),
        test::Finding(NameProblem::FoldsTogether, "/stick/README", "/stick/README (2)",
                      "/stick/readme"),
        test::Finding(NameProblem::TooLarge, "/stick/disk.img", "", "", 5368709120, 4294967295),
        test::Finding(NameProblem::NoLinks, "/stick/latest"),
        test::Finding(NameProblem::NoRoom, "/stick", "", "", 3 << 20, 1536 << 10),
        test::Finding(NameProblem::Refused, "/stick/line\nbreak\\", "/stick/line_break"),
    };
    facts.total = 9;
    EXPECT_EQ(NamesQuestionText(facts, builtIn),
              "The destinations cannot take these files as they are:\r\n"
              "/stick/a:b?: the file system refuses this name; renamed it becomes "
              "/stick/a\uA789b\uFF1F\r\n"
              "/stick/README: the same name as /stick/readme where case is ignored; renamed it "
              "becomes /stick/README (2)\r\n"
              "/stick/disk.img: 5.0 GiB is more than the largest file this file system takes "
              "(4.0 GiB)\r\n"
              "/stick/latest: this file system cannot hold a symbolic link\r\n"
              "/stick: the job needs 3.0 MiB there and 1.5 MiB is free\r\n"
              "\\/stick/line\\nbreak\\\\: the file system refuses this name; renamed it "
              "becomes /stick/line_break\r\n"
              "\u2026 and 3 more");
    // All of them listed: no count.
    facts.total = facts.findings.size();
    EXPECT_TRUE(NamesQuestionText(facts, builtIn).ends_with("/stick/line_break"));
}

// The language's texts, with the values in their places.
TEST_F(QuestionTexts, NamesTakeTheLanguagesTexts) {
    test::WriteFile(dir / "names.lng",
                    "[In code]\r\nv53=Nicht so:\r\nv57=%s: keine Links\r\nv59=und %u mehr\r\n");
    MessageTable german;
    ASSERT_TRUE(german.Load(dir / "names.lng"));
    NamesFacts facts;
    facts.findings = {test::Finding(NameProblem::NoLinks, "/fat/link")};
    facts.total = 2;
    EXPECT_EQ(NamesQuestionText(facts, german),
              "Nicht so:\r\n/fat/link: keine Links\r\nund 1 mehr");
}

}  // namespace
}  // namespace rd
