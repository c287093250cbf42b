#include "app/source_reader.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "engine/source_queue.h"
#include "platform/literal_list.h"
#include "test_support.h"

namespace rd {
namespace {

std::vector<std::string> Paths(const SourceQueue& q) {
    std::vector<std::string> out;
    for (int i = 0; i < q.Count(); ++i)
        out.push_back(q.EntryPath(i));
    return out;
}

std::string Utf16Le(const std::u16string& s) {
    std::string out = "\xFF\xFE";
    for (char16_t c : s) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

class SourceReader : public ::testing::Test {
protected:
    test::TempDir dir;
    JobFlags listFlags;  // defaults: the source field is a list file
    SourceQueue queue;
    ListFile list;
    bool literal = true;
    std::string error;
};

TEST_F(SourceReader, Utf16ListWithLineFeedsOnlyIsOneItem) {
    test::WriteFile(dir / "list", Utf16Le(u"/a/one\n/a/two\n/a/three"));
    ASSERT_TRUE(ReadSources(dir / "list", listFlags, queue, list, literal, error));
    EXPECT_EQ(Paths(queue), (std::vector<std::string>{"/a/one\n/a/two\n/a/three"}));
}

TEST_F(SourceReader, Utf16ListWithCarriageReturns) {
    test::WriteFile(dir / "list", Utf16Le(u"/d/\u00e9t\u00e9\r\n\r\n/d/sub/\r\n/d/\U0001F600"));
    ASSERT_TRUE(ReadSources(dir / "list", listFlags, queue, list, literal, error));
    // One trailing separator is dropped by the queue.
    EXPECT_EQ(Paths(queue),
              (std::vector<std::string>{"/d/\xC3\xA9t\xC3\xA9", "/d/sub", "/d/\xF0\x9F\x98\x80"}));
}

TEST_F(SourceReader, EightBitListLastLineWithoutBreak) {
    test::WriteFile(dir / "list", "/x/a\r\n/x/\xE9\xFF name\r\r\n\n/x/last");
    ASSERT_TRUE(ReadSources(dir / "list", listFlags, queue, list, literal, error));
    // Bytes that are not UTF-8 stay as they are: they name real files on Linux.
    EXPECT_EQ(Paths(queue), (std::vector<std::string>{"/x/a", "/x/\xE9\xFF name", "/x/last"}));
    // Reading never removes the list; the job does that after reading, when it may.
    EXPECT_TRUE(std::filesystem::exists(dir / "list"));
    EXPECT_FALSE(list.removable);
}

TEST_F(SourceReader, MissingListGivesTheMessage) {
    const std::string missing = dir / "no such list";
    EXPECT_FALSE(ReadSources(missing, listFlags, queue, list, literal, error));
    EXPECT_EQ(error, "Can't open source filelist: " + missing + ". Error 2");
    EXPECT_EQ(queue.Count(), 0);

    EXPECT_FALSE(ReadSources(dir.Path(), listFlags, queue, list, literal, error));
    EXPECT_EQ(error, "Can't open source filelist: " + dir.Path() + ". Error 21");
}

TEST_F(SourceReader, GarbageListsDoNotCrash) {
    std::mt19937 random(42);
    for (int round = 0; round < 200; ++round) {
        std::string data(random() % 3000, '\0');
        for (char& c : data)
            c = static_cast<char>(random() % 4 == 0 ? "\r\n\0\xFF"[random() % 4] : random());
        if (round % 2)
            data = "\xFF\xFE" + data;
        test::WriteFile(dir / "list", data);
        SourceQueue q;
        // An 8-bit list with a NUL byte is binary data, refused whole.
        if (!data.starts_with("\xFF\xFE") && data.find('\0') != std::string::npos) {
            ASSERT_FALSE(ReadSources(dir / "list", listFlags, q, list, literal, error));
            EXPECT_EQ(q.Count(), 0);
            continue;
        }
        ASSERT_TRUE(ReadSources(dir / "list", listFlags, q, list, literal, error));
        for (const std::string& item : Paths(q)) {
            EXPECT_FALSE(item.empty());
            EXPECT_EQ(item.find('\0'), std::string::npos);
            EXPECT_EQ(item.find('\r'), std::string::npos);
        }
    }
    // A line far longer than any path is kept whole; the copy reports it later.
    std::string longLine = "/" + std::string(PATH_MAX * 4, 'n');
    test::WriteFile(dir / "list", longLine + "\r\n/short");
    SourceQueue q;
    ASSERT_TRUE(ReadSources(dir / "list", listFlags, q, list, literal, error));
    EXPECT_EQ(Paths(q), (std::vector<std::string>{longLine, "/short"}));
}

TEST_F(SourceReader, InlineSources) {
    JobFlags inlineFlags;
    inlineFlags.SourceIsListFile = false;
    ASSERT_TRUE(ReadSources("/a/one?/b/two/", inlineFlags, queue, list, literal, error));
    EXPECT_EQ(Paths(queue), (std::vector<std::string>{"/a/one", "/b/two"}));

    EXPECT_EQ(SplitInlineSources("bare?"
                                 "?/x/y?",
                                 "/work"),
              (std::vector<std::string>{"/work/bare", "/x/y"}));
    EXPECT_EQ(SplitInlineSources("?", "/w"), std::vector<std::string>{});
    EXPECT_EQ(SplitInlineSources("", "/w"), std::vector<std::string>{});

    // Bare names are taken from the current folder.
    const std::string saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    SourceQueue q;
    ReadSources("file.txt", inlineFlags, q, list, literal, error);
    std::filesystem::current_path(saved);
    EXPECT_EQ(Paths(q), (std::vector<std::string>{std::filesystem::canonical(dir.Path()).string() +
                                                  "/file.txt"}));
}

TEST_F(SourceReader, WildcardsExpandToFilesOnly) {
    std::filesystem::create_directories(dir / "src/dir.txt");
    for (const char* name : {"a.txt", "b.txt", "c.log", ".hidden.txt"})
        test::WriteFile(dir / (std::string("src/") + name), "x");
    std::filesystem::create_symlink("a.txt", dir / "src/link.txt");

    queue.Add(dir / "keep-first");
    queue.Add(dir / "src/*.txt");
    queue.Add(dir / "src/*.none");
    queue.Add(dir / "keep-last");
    ExpandWildcards(queue, false);
    EXPECT_EQ(Paths(queue), (std::vector<std::string>{dir / "keep-first", dir / "keep-last",
                                                      dir / "src/.hidden.txt", dir / "src/a.txt",
                                                      dir / "src/b.txt", dir / "src/link.txt"}));
}

TEST_F(SourceReader, WildcardMatchesAreNotExpandedAgain) {
    std::filesystem::create_directories(dir / "w");
    test::WriteFile(dir / "w/x*y", "literal star");
    test::WriteFile(dir / "w/xy", "");
    queue.Add(dir / "w/x*");
    ExpandWildcards(queue, false);
    EXPECT_EQ(Paths(queue), (std::vector<std::string>{dir / "w/x*y", dir / "w/xy"}));
}

TEST_F(SourceReader, TargetsInlineAndFromAList) {
    JobFlags flags;
    std::vector<std::string> targets;
    ASSERT_TRUE(ReadTargets("/d1/?/d2", flags, targets, list, error));
    EXPECT_EQ(targets, (std::vector<std::string>{"/d1/", "/d2"}));
    EXPECT_EQ(JoinTargets(targets), "/d1/?/d2?");
    ASSERT_TRUE(ReadTargets("", flags, targets, list, error));
    EXPECT_EQ(targets, std::vector<std::string>{});

    flags.TargetIsListFile = true;
    // A list in lines is the target text its lines make: a "?" in a line still separates.
    test::WriteFile(dir / "targets", "/t/one\r\n\r\n/t/two?\r/t/three\n/t/x?y\r");
    ASSERT_TRUE(ReadTargets(dir / "targets", flags, targets, list, error));
    EXPECT_EQ(targets, (std::vector<std::string>{"/t/one", "/t/two", "/t/three/t/x", "y"}));
    EXPECT_EQ(list.path, dir / "targets");

    EXPECT_FALSE(ReadTargets(dir / "missing", flags, targets, list, error));
    EXPECT_EQ(error, "Can't open target filelist: " + (dir / "missing") + ". Error 2");
}

TEST_F(SourceReader, ALiteralTargetListIsNeverSplit) {
    JobFlags flags;
    flags.TargetIsListFile = true;
    const std::vector<std::string> folders{"/t/x?y", "/t/a|b q1", "/t/line\r\nbreak", "/t/\xFF*"};
    test::WriteFile(dir / "targets", text::LiteralListBytes(folders));
    std::vector<std::string> targets;
    ASSERT_TRUE(ReadTargets(dir / "targets", flags, targets, list, error)) << error;
    EXPECT_EQ(targets, folders);

    // Cut short, it is refused whole rather than read as a shorter folder.
    const std::string bytes = text::LiteralListBytes(folders);
    test::WriteFile(dir / "cut", bytes.substr(0, bytes.size() - 3));
    EXPECT_FALSE(ReadTargets(dir / "cut", flags, targets, list, error));
    EXPECT_EQ(error,
              "Can't use target filelist: " + (dir / "cut") + ". It ends in the middle of a path");
}

TEST_F(SourceReader, ALiteralSourceListIsTakenAsWritten) {
    std::filesystem::create_directories(dir / "w");
    for (const char* name : {"a*", "ab", "ac"})
        test::WriteFile(dir / (std::string("w/") + name), name);
    const std::vector<std::string> sources{dir / "w/a*", dir / "w/none*", dir / "w/x?y",
                                           dir / "w/cr\rlf\n"};
    test::WriteFile(dir / "list", text::LiteralListBytes(sources));
    ASSERT_TRUE(ReadSources(dir / "list", listFlags, queue, list, literal, error)) << error;
    EXPECT_TRUE(literal);
    ExpandWildcards(queue, literal);
    EXPECT_EQ(Paths(queue), sources);

    // The same names in a list of lines: "a*" is there and stays itself; "none*" names nothing
    // and is a pattern that matches nothing.
    test::WriteFile(dir / "lines", dir / "w/a*" + "\r\n" + dir / "w/none*" + "\r\n");
    SourceQueue lines;
    ASSERT_TRUE(ReadSources(dir / "lines", listFlags, lines, list, literal, error));
    EXPECT_FALSE(literal);
    ExpandWildcards(lines, literal);
    EXPECT_EQ(Paths(lines), (std::vector<std::string>{dir / "w/a*"}));
}

// Which queued sources are patterns: the form of the list they came from, whether the name
// exists as written, and whether its name part holds "*".
TEST_F(SourceReader, WhichSourcesArePatterns) {
    std::filesystem::create_directories(dir / "w/dir*");
    test::WriteFile(dir / "w/a*", "");
    test::WriteFile(dir / "w/plain", "");
    std::filesystem::create_symlink("nowhere", dir / "w/dangling*");
    const struct {
        const char* name;
        bool literalList;
        bool pattern;
    } cases[] = {
        // A literal list: never a pattern, whatever the name.
        {"w/a*", true, false},
        {"w/none*", true, false},
        {"w/plain", true, false},
        {"w/none", true, false},
        // Another list or an inline field: a name with "*" only when nothing is there.
        {"w/a*", false, false},
        {"w/dir*", false, false},
        {"w/dangling*", false, false},
        {"w/none*", false, true},
        {"w/*", false, true},
        {"w/missing*/x", false, false},
        {"w*/none*", false, true},
        {"w/plain", false, false},
        {"w/none", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsSourcePattern(dir / c.name, c.literalList), c.pattern)
            << c.name << (c.literalList ? " in a literal list" : "");
}

}  // namespace
}  // namespace rd
