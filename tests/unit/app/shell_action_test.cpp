#include "app/shell_action.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <vector>

#include "platform/fs.h"
#include "platform/literal_list.h"
#include "test_support.h"

namespace rd {
namespace {

bool Parse(std::vector<const char*> args, ShellAction& action, std::string& error) {
    args.insert(args.begin(), {"redodori", "--action"});
    return ParseShellAction(static_cast<int>(args.size()), args.data(), action, error);
}

TEST(ShellAction, Parse) {
    const struct {
        std::vector<const char*> args;
        bool ok;
        ShellActionKind kind;
        size_t paths;
    } cases[] = {
        {{"copy-to", "/a", "b"}, true, ShellActionKind::kCopyTo, 2},
        {{"move-to", "/a"}, true, ShellActionKind::kMoveTo, 1},
        {{"delete", "", "/a"}, true, ShellActionKind::kDelete, 1},  // an empty %F is no path
        {{"copy-to"}, true, ShellActionKind::kCopyTo, 0},
        {{"paste", "/dir"}, true, ShellActionKind::kPaste, 1},
        {{"check", "/m.sha256", "/n.md5"}, true, ShellActionKind::kCheck, 2},
        {{"paste"}, false, {}, 0},
        {{"paste", "/a", "/b"}, false, {}, 0},
        {{"link"}, false, {}, 0},
        {{}, false, {}, 0},
    };
    for (const auto& c : cases) {
        ShellAction action;
        std::string error;
        ASSERT_EQ(Parse(c.args, action, error), c.ok) << c.args.size();
        EXPECT_EQ(error.empty(), c.ok);
        if (c.ok) {
            EXPECT_EQ(action.kind, c.kind);
            EXPECT_EQ(action.paths.size(), c.paths);
        }
    }
}

// "--check" is the terminal's: the settings' switch for the menus does not reach it.
TEST(ShellAction, CheckOption) {
    const char* args[] = {"redodori", "--check", "/m.sha256", ""};
    ShellAction action;
    std::string error;
    ASSERT_TRUE(IsShellAction(4, args));
    ASSERT_TRUE(ParseShellAction(4, args, action, error));
    EXPECT_EQ(action.kind, ShellActionKind::kCheck);
    EXPECT_EQ(action.paths, std::vector<std::string>{"/m.sha256"});
    EXPECT_FALSE(action.fromMenu);
}

TEST(ShellAction, ClipboardFiles) {
    EXPECT_EQ(LocalPathOfUri("file:///tmp/a%20b%25"), "/tmp/a b%");
    EXPECT_EQ(LocalPathOfUri("file://localhost/x"), "/x");
    EXPECT_EQ(LocalPathOfUri("file://server/x"), "");
    EXPECT_EQ(LocalPathOfUri("smb://server/x"), "");
    EXPECT_EQ(LocalPathOfUri("file:///bad%2"), "/bad%2");
    // No path holds a NUL byte: such a URI names no file, never a shorter path.
    EXPECT_EQ(LocalPathOfUri("file:///home/u%00/photos"), "");

    const struct {
        const char* gnome;
        const char* uris;
        const char* kdeCut;
        std::vector<std::string> paths;
        bool cut;
    } cases[] = {
        {"copy\nfile:///a\nfile:///b%0Ac", "", "", {"/a", "/b\nc"}, false},
        {"cut\r\nfile:///a\r\n", "file:///ignored", "1", {"/a"}, true},
        {"", "# comment\r\nfile:///a\r\nhttp://x/y\r\n", "1", {"/a"}, true},
        {"", "file:///a", "0", {"/a"}, false},
        {"", "", "", {}, false},
    };
    for (const auto& c : cases) {
        const ClipboardFiles files = ReadClipboardFiles(c.gnome, c.uris, c.kdeCut);
        EXPECT_EQ(files.paths, c.paths) << c.gnome << c.uris;
        EXPECT_EQ(files.cut, c.cut) << c.gnome << c.uris;
    }
}

TEST(ShellAction, LinesAndListFiles) {
    test::PrivateEnvironment env;
    using Paths = std::vector<std::string>;
    const struct {
        ShellAction action;
        ClipboardFiles clipboard;
        Paths targets;  // the folder a paste names, in the field or in a target list
        const char* switches;
        Paths list;         // the source list, empty when no line is made
        const char* error;  // part of the error, "" when none
    } cases[] = {
        {{ShellActionKind::kCopyTo, {"/a/", "b/../c"}}, {}, {}, "", {"/a", "/work/c"}, ""},
        {{ShellActionKind::kMoveTo, {"/a"}}, {}, {}, "m", {"/a"}, ""},
        {{ShellActionKind::kDelete, {"/w/a*"}}, {}, {}, "M", {"/w/a*"}, ""},
        {{ShellActionKind::kPaste, {"/dst"}}, {{"/a"}, true}, {"/dst/"}, "m", {"/a"}, ""},
        {{ShellActionKind::kPaste, {"/"}}, {{"/a"}, false}, {"/"}, "", {"/a"}, ""},
        {{ShellActionKind::kPaste, {"/dst"}}, {}, {}, "", {}, "clipboard holds no"},
        {{ShellActionKind::kDelete, {}}, {}, {}, "", {}, "Nothing was chosen"},
        {{ShellActionKind::kCheck, {"/m.sha256", "n.md5"}},
         {},
         {},
         "K",
         {"/m.sha256", "/work/n.md5"},
         ""},
        {{ShellActionKind::kCheck, {}}, {}, {}, "", {}, "No manifest was chosen"},
        // Any name goes as it is: line breaks, "?", "|" and "*" in sources and in the folder.
        {{ShellActionKind::kCopyTo, {"/a\nb", "/c\rd?*|"}}, {}, {}, "", {"/a\nb", "/c\rd?*|"}, ""},
        {{ShellActionKind::kPaste, {"/x?y"}}, {{"/a"}, true}, {"/x?y/"}, "mf", {"/a"}, ""},
        {{ShellActionKind::kPaste, {"/a|b"}}, {{"/a"}, false}, {"/a|b/"}, "f", {"/a"}, ""},
    };
    for (const auto& c : cases) {
        std::string line, error;
        const bool ok = ShellActionLine("redodori", c.action, c.clipboard, "/work", line, error);
        ASSERT_EQ(ok, !*c.error) << error;
        if (!ok) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        // "redodori |LIST|TARGET|SWITCHES" with the lists in the program's list folder.
        const std::string prefix = "redodori |" + env.StateDir() + "/action-";
        ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
        const size_t bar = line.find('|', prefix.size());
        const size_t lastBar = line.rfind('|');
        const std::string listPath = line.substr(10, bar - 10);
        const std::string target = line.substr(bar + 1, lastBar - bar - 1);
        EXPECT_EQ(line.substr(lastBar + 1), c.switches) << line;
        std::string data;
        ASSERT_EQ(fs::ReadWholeFile(listPath, data), 0) << listPath;
        EXPECT_EQ(data, text::LiteralListBytes(c.list));
        struct stat st {};
        ASSERT_EQ(::stat(env.StateDir().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        if (std::string(c.switches).ends_with('f')) {
            ASSERT_EQ(target.compare(0, prefix.size() - 10, prefix.substr(10)), 0) << target;
            ASSERT_EQ(fs::ReadWholeFile(target, data), 0) << target;
            EXPECT_EQ(data, text::LiteralListBytes(c.targets));
        } else {
            EXPECT_EQ(target, c.targets.empty() ? "" : c.targets[0] + "?");
        }
    }
    // A copy or move without a selection opens the settings: no list.
    std::string line, error;
    ASSERT_TRUE(ShellActionLine("redodori", {ShellActionKind::kCopyTo, {}}, {}, "/", line, error));
    EXPECT_EQ(line, "redodori");
}

TEST(ShellAction, TheDeleteQuestionNamesWhatGoes) {
    EXPECT_EQ(DeleteQuestion({"/w/a*"}, "/w"), "Delete 1 selected item(s) with RedoDori?\n\n/w/a*");
    EXPECT_EQ(DeleteQuestion({"a", "../b/", "/c\nd"}, "/w/x"),
              "Delete 3 selected item(s) with RedoDori?\n\n/w/x/a\n/w/b\n/c\\x0ad");
    EXPECT_EQ(DeleteQuestion({"/1", "/2", "/3", "/4", "/5", "/6", "/7"}, "/"),
              "Delete 7 selected item(s) with RedoDori?\n\n/1\n/2\n/3\n/4\n/5\nand 2 more");
}

}  // namespace
}  // namespace rd
