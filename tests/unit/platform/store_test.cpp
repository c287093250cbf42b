#include "platform/store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

using rd::Store;
using rd::StoreKey;
using rd::StoreRoot;
using rd::StoreValue;
using rd::ValueType;
using rd::test::ReadFile;
using rd::test::RunCommand;
using rd::test::TempDir;
using rd::test::WriteFile;
using namespace std::string_literals;

namespace {

constexpr StoreRoot kUser = StoreRoot::CurrentUser;
constexpr StoreRoot kMachine = StoreRoot::LocalMachine;
const char* const kProfile = "SOFTWARE\\DiraRedi\\RedoDori\\local";

std::vector<std::string> Names(const std::vector<StoreValue>& values) {
    std::vector<std::string> names;
    for (const StoreValue& value : values)
        names.push_back(value.name);
    return names;
}

// The files of `dir` whose names start with `prefix`.
std::vector<std::string> FilesStartingWith(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix))
            found.push_back(entry.path().string());
    }
    return found;
}

int CountLines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class StoreTest : public ::testing::Test {
protected:
    std::string DbPath() const { return dir_ / "registry.db"; }

    TempDir dir_;
};

TEST_F(StoreTest, ValueOfTheOtherTypeReadsAsAbsent) {
    Store store(DbPath());
    ASSERT_TRUE(store.IsOpen());
    ASSERT_TRUE(store.WriteText(kUser, kProfile, "bufsz", "6"));
    EXPECT_EQ(store.ReadInt(kUser, kProfile, "bufsz"), std::nullopt);
    EXPECT_EQ(store.ReadText(kUser, kProfile, "bufsz"), "6");
    EXPECT_TRUE(store.ValueExists(kUser, kProfile, "bufsz"));

    // Writing the other type replaces the value instead of adding a second one.
    ASSERT_TRUE(store.WriteInt(kUser, kProfile, "bufsz", 7));
    EXPECT_EQ(store.ReadInt(kUser, kProfile, "bufsz"), 7);
    EXPECT_EQ(store.ReadText(kUser, kProfile, "bufsz"), std::nullopt);
    const auto values = store.Values(kUser, kProfile);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].type, ValueType::Int);
    EXPECT_EQ(values[0].intValue, 7);
}

TEST_F(StoreTest, IntegersKeepTheirFull32BitRange) {
    Store store(DbPath());
    for (int32_t n : {INT32_MIN, -1, 0, INT32_MAX}) {
        ASSERT_TRUE(store.WriteInt(kUser, "k", "n", n));
        EXPECT_EQ(store.ReadInt(kUser, "k", "n"), n);
    }
}

TEST_F(StoreTest, TextKeepsEveryByte) {
    Store store(DbPath());
    const std::string bytes = "a\0b\xff\n\\z"s;
    ASSERT_TRUE(store.WriteText(kUser, "k", "bytes", bytes));
    ASSERT_TRUE(store.WriteText(kUser, "k", "empty", ""));
    EXPECT_EQ(store.ReadText(kUser, "k", "bytes"), bytes);
    // An empty text is a value, not an absent one.
    EXPECT_EQ(store.ReadText(kUser, "k", "empty"), "");
    EXPECT_EQ(store.ReadText(kUser, "k", "missing"), std::nullopt);

    const std::string name = "n\0x"s;
    ASSERT_TRUE(store.WriteInt(kUser, "k", name, 3));
    EXPECT_EQ(store.ReadInt(kUser, "k", name), 3);
    EXPECT_EQ(store.ReadInt(kUser, "k", "n"), std::nullopt);
}

TEST_F(StoreTest, NamesIgnoreAsciiCaseAndKeepTheFirstSpelling) {
    Store store(DbPath());
    ASSERT_TRUE(store.WriteText(kUser, kProfile, "Skin", "Default"));
    EXPECT_EQ(store.ReadText(kUser, "software\\DIRAREDI\\redodori\\LOCAL", "SKIN"), "Default");
    ASSERT_TRUE(store.WriteText(kUser, "Software\\diraredi\\RedoDori\\Local", "skin", "Blue"));

    const auto values = store.Values(kUser, kProfile);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "Skin");
    EXPECT_EQ(values[0].text, "Blue");
    EXPECT_EQ(store.SubKeys(kUser, ""), std::vector<std::string>{"SOFTWARE"});
    EXPECT_EQ(store.SubKeys(kUser, "software\\diraredi"), std::vector<std::string>{"RedoDori"});

    // Only ASCII letters fold: these are two different names.
    ASSERT_TRUE(store.WriteInt(kUser, "k", "\xc3\x84", 1));
    ASSERT_TRUE(store.WriteInt(kUser, "k", "\xc3\xa4", 2));
    EXPECT_EQ(store.ReadInt(kUser, "k", "\xc3\x84"), 1);
    EXPECT_EQ(store.ReadInt(kUser, "k", "\xc3\xa4"), 2);
}

TEST_F(StoreTest, KeyPathsIgnoreOuterAndRepeatedSeparators) {
    Store store(DbPath());
    ASSERT_TRUE(store.WriteInt(kUser, "\\a\\\\b\\", "n", 5));
    EXPECT_EQ(store.ReadInt(kUser, "a\\b", "n"), 5);
    EXPECT_TRUE(store.KeyExists(kUser, "A\\B\\"));
    EXPECT_EQ(store.SubKeys(kUser, "a"), std::vector<std::string>{"b"});
    EXPECT_EQ(store.SubKeys(kUser, ""), std::vector<std::string>{"a"});
}

TEST_F(StoreTest, RootsAreSeparate) {
    Store store(DbPath());
    ASSERT_TRUE(store.WriteText(kMachine, "SOFTWARE\\DiraRedi\\RedoDori", "InstallPath", "/opt"));
    EXPECT_EQ(store.ReadText(kUser, "SOFTWARE\\DiraRedi\\RedoDori", "InstallPath"), std::nullopt);
    EXPECT_FALSE(store.KeyExists(kUser, "SOFTWARE"));
    EXPECT_EQ(store.ReadText(kMachine, "software\\diraredi\\redodori", "installpath"), "/opt");
}

TEST_F(StoreTest, WritingAValueCreatesItsKeyAndParents) {
    Store store(DbPath());
    EXPECT_FALSE(store.KeyExists(kUser, "a"));
    ASSERT_TRUE(store.WriteInt(kUser, "a\\b\\c", "n", 1));
    EXPECT_TRUE(store.KeyExists(kUser, "a"));
    EXPECT_TRUE(store.KeyExists(kUser, "a\\b"));
    EXPECT_TRUE(store.KeyExists(kUser, "a\\b\\c"));
    EXPECT_FALSE(store.KeyExists(kUser, "a\\b\\c\\d"));
}

TEST_F(StoreTest, ValuesAreListedInCaseInsensitiveNameOrder) {
    Store store(DbPath());
    // Byte order would give "A", "C", "b".
    ASSERT_TRUE(store.WriteInt(kUser, "k", "b", 2));
    ASSERT_TRUE(store.WriteText(kUser, "k", "C", "three"));
    ASSERT_TRUE(store.WriteInt(kUser, "k", "A", 1));
    ASSERT_TRUE(store.WriteInt(kUser, "k\\sub", "other", 9));
    const auto values = store.Values(kUser, "k");
    EXPECT_EQ(Names(values), (std::vector<std::string>{"A", "b", "C"}));
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[2].type, ValueType::Text);
    EXPECT_EQ(values[2].text, "three");
    EXPECT_TRUE(store.Values(kUser, "missing").empty());
}

TEST_F(StoreTest, DeleteValueRemovesOnlyThatValue) {
    Store store(DbPath());
    ASSERT_TRUE(store.WriteInt(kUser, "k", "LastDir_0", 1));
    ASSERT_TRUE(store.WriteInt(kUser, "k", "LastDir_1", 2));
    EXPECT_TRUE(store.DeleteValue(kUser, "K", "lastdir_0"));
    EXPECT_FALSE(store.ValueExists(kUser, "k", "LastDir_0"));
    EXPECT_EQ(store.ReadInt(kUser, "k", "LastDir_1"), 2);
    // Deleting what is not there reports it.
    EXPECT_FALSE(store.DeleteValue(kUser, "k", "LastDir_0"));
    EXPECT_FALSE(store.DeleteValue(kUser, "nokey", "x"));
    EXPECT_TRUE(store.KeyExists(kUser, "k"));
}

TEST_F(StoreTest, SubKeysAreTheDirectChildrenOnly) {
    Store store(DbPath());
    ASSERT_TRUE(store.CreateKey(kUser, "a\\b\\c"));
    ASSERT_TRUE(store.CreateKey(kUser, "a\\D"));
    // A sibling whose name starts like the key must not count as a child.
    ASSERT_TRUE(store.CreateKey(kUser, "ab\\x"));
    EXPECT_EQ(store.SubKeys(kUser, "a"), (std::vector<std::string>{"b", "D"}));
    EXPECT_EQ(store.SubKeys(kUser, "a\\b"), std::vector<std::string>{"c"});
    EXPECT_TRUE(store.SubKeys(kUser, "a\\b\\c").empty());
    EXPECT_EQ(store.SubKeys(kUser, ""), (std::vector<std::string>{"a", "ab"}));
}

TEST_F(StoreTest, DeleteKeyRemovesEverythingBelowIt) {
    Store store(DbPath());
    ASSERT_TRUE(store.WriteInt(kUser, "a", "top", 1));
    ASSERT_TRUE(store.WriteInt(kUser, "a\\b", "mid", 2));
    ASSERT_TRUE(store.WriteInt(kUser, "a\\b\\c", "deep", 3));
    ASSERT_TRUE(store.WriteInt(kUser, "ab", "neighbour", 4));
    ASSERT_TRUE(store.WriteInt(kUser, "z", "after", 5));
    ASSERT_TRUE(store.WriteInt(kMachine, "a\\b", "machine", 6));

    EXPECT_TRUE(store.DeleteKey(kUser, "A"));
    EXPECT_FALSE(store.KeyExists(kUser, "a"));
    EXPECT_FALSE(store.KeyExists(kUser, "a\\b\\c"));
    // Recreating the keys shows that their values went too.
    ASSERT_TRUE(store.CreateKey(kUser, "a\\b\\c"));
    EXPECT_TRUE(store.Values(kUser, "a").empty());
    EXPECT_TRUE(store.Values(kUser, "a\\b").empty());
    EXPECT_TRUE(store.Values(kUser, "a\\b\\c").empty());

    EXPECT_EQ(store.ReadInt(kUser, "ab", "neighbour"), 4);
    EXPECT_EQ(store.ReadInt(kUser, "z", "after"), 5);
    EXPECT_EQ(store.ReadInt(kMachine, "a\\b", "machine"), 6);
    EXPECT_FALSE(store.DeleteKey(kUser, "missing"));
    EXPECT_FALSE(store.DeleteKey(kUser, ""));
}

TEST_F(StoreTest, PathsAndNamesBeyondTheRegistryLimitsAreRefused) {
    Store store(DbPath());
    std::string deepest;
    for (int i = 0; i < 512; ++i)
        deepest += "k\\";
    ASSERT_TRUE(store.WriteInt(kUser, deepest, "n", 1));
    EXPECT_EQ(store.ReadInt(kUser, deepest, "n"), 1);

    const std::string tooDeep = deepest + "k";
    EXPECT_FALSE(Store::ValidKey(tooDeep));
    EXPECT_FALSE(store.WriteInt(kUser, tooDeep, "n", 1));
    EXPECT_FALSE(store.CreateKey(kUser, tooDeep));
    EXPECT_FALSE(store.KeyExists(kUser, tooDeep));

    const std::string longName(256, 'x');
    EXPECT_TRUE(store.CreateKey(kUser, longName.substr(1)));
    EXPECT_FALSE(store.CreateKey(kUser, "a\\" + longName));
    EXPECT_FALSE(store.KeyExists(kUser, "a"));

    const std::string longValueName(16384, 'v');
    EXPECT_TRUE(store.WriteInt(kUser, "k", longValueName.substr(1), 1));
    EXPECT_FALSE(store.WriteInt(kUser, "k", longValueName, 1));
    EXPECT_FALSE(store.ValueExists(kUser, "k", longValueName));
    EXPECT_EQ(store.Values(kUser, "k").size(), 1u);
}

TEST_F(StoreTest, StoreKeyCreatesItsKeyAndForwards) {
    Store store(DbPath());
    StoreKey key(store, kUser, "Software\\DIRAREDI\\RedoDori\\Resume");
    EXPECT_TRUE(store.KeyExists(kUser, "SOFTWARE\\DiraRedi\\RedoDori\\Resume"));
    EXPECT_TRUE(key.Values().empty());
    ASSERT_TRUE(key.WriteInt("17", 1));
    ASSERT_TRUE(key.WriteText("f_17", "/src"));
    EXPECT_EQ(key.ReadInt("17"), 1);
    EXPECT_EQ(key.ReadText("F_17"), "/src");
    EXPECT_EQ(store.ReadText(kUser, "software\\diraredi\\redodori\\resume", "f_17"), "/src");
    EXPECT_TRUE(key.DeleteValue("17"));
    EXPECT_FALSE(key.ValueExists("17"));
    EXPECT_EQ(Names(key.Values()), std::vector<std::string>{"f_17"});
}

TEST_F(StoreTest, ReadKeysFindsWhatSingleReadsFind) {
    Store store(DbPath());
    ASSERT_TRUE(store.WriteInt(kUser, kProfile, "BufSz", 9));
    ASSERT_TRUE(store.WriteText(kUser, kProfile, "Skin", "Dark"));
    ASSERT_TRUE(store.WriteInt(kUser, kProfile, "min", INT32_MIN));
    ASSERT_TRUE(store.WriteText(kUser, kProfile, "empty", ""));
    ASSERT_TRUE(store.WriteText(kMachine, "SOFTWARE\\DiraRedi\\RedoDori", "InstallPath", "/opt/x"));
    ASSERT_TRUE(store.WriteInt(kUser, "SOFTWARE\\DiraRedi\\RedoDori", "F2_Left", -4));

    const std::vector<rd::KeyValues> read = store.ReadKeys({
        {kMachine, "software\\diraredi\\redodori"},
        {kUser, "SOFTWARE\\DiraRedi\\RedoDori"},
        {kUser, kProfile},
    });

    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].ReadText("installpath"), "/opt/x");
    EXPECT_EQ(read[0].ReadInt("InstallPath"), std::nullopt);
    EXPECT_EQ(read[1].ReadInt("F2_LEFT"), -4);
    EXPECT_EQ(read[1].ReadText("InstallPath"), std::nullopt);
    for (const char* name : {"bufsz", "BUFSZ", "Skin", "skin", "min", "EMPTY", "absent", ""}) {
        EXPECT_EQ(read[2].ReadInt(name), store.ReadInt(kUser, kProfile, name)) << name;
        EXPECT_EQ(read[2].ReadText(name), store.ReadText(kUser, kProfile, name)) << name;
    }
    EXPECT_EQ(read[2].ReadInt("bufsz"), 9);
    EXPECT_EQ(read[2].ReadText("empty"), "");
}

// As opening a StoreKey does, reading a key creates it; a path the registry refuses is neither
// read nor created.
TEST_F(StoreTest, ReadKeysCreatesTheKeysThatAreMissing) {
    Store store(DbPath());
    ASSERT_TRUE(store.CreateKey(kUser, "there"));
    const std::string tooLong(300, 'k');

    const std::vector<rd::KeyValues> read =
        store.ReadKeys({{kUser, "there"}, {kUser, "new\\below"}, {kMachine, tooLong}});

    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[1].ReadInt("x"), std::nullopt);
    EXPECT_TRUE(store.KeyExists(kUser, "new\\below"));
    EXPECT_TRUE(store.KeyExists(kUser, "new"));
    EXPECT_FALSE(store.KeyExists(kMachine, "new"));
    EXPECT_TRUE(store.SubKeys(kMachine, "").empty());
}

// Opening a key that exists, or deleting a value that does not, takes no write lock: another
// process in the middle of a write does not hold it up (a write would wait for it, and fail once
// the busy time-out is over).
TEST_F(StoreTest, OpeningAnExistingKeyWhileAnotherProcessWritesNeedsNoLock) {
    Store store(DbPath());
    ASSERT_TRUE(store.WriteInt(kUser, kProfile, "bufsz", 7));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(DbPath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    EXPECT_TRUE(store.CreateKey(kUser, "software\\diraredi"));
    StoreKey key(store, kUser, kProfile);
    EXPECT_EQ(key.ReadInt("BUFSZ"), 7);
    EXPECT_EQ(store.ReadKeys({{kUser, kProfile}})[0].ReadInt("bufsz"), 7);
    EXPECT_FALSE(store.DeleteValue(kUser, kProfile, "absent"));

    EXPECT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
}

TEST_F(StoreTest, WriteIntsWritesAllOrNone) {
    Store store(DbPath());
    ASSERT_TRUE(store.WriteText(kUser, "k", "F2_Top", "text first"));

    EXPECT_TRUE(store.WriteInts(kUser, "k", {{"F2_Left", -5}, {"f2_top", 7}}));
    EXPECT_EQ(store.ReadInt(kUser, "k", "f2_left"), -5);
    EXPECT_EQ(store.ReadInt(kUser, "K", "F2_Top"), 7);
    EXPECT_EQ(Names(store.Values(kUser, "k")), (std::vector<std::string>{"F2_Left", "F2_Top"}));

    const std::string tooLong(16384, 'n');
    EXPECT_FALSE(store.WriteInts(kUser, "k", {{"F2_Left", 1}, {tooLong, 2}}));
    EXPECT_EQ(store.ReadInt(kUser, "k", "F2_Left"), -5);
}

TEST_F(StoreTest, ValuesSurviveReopening) {
    {
        Store store(DbPath());
        ASSERT_TRUE(store.WriteInt(kUser, kProfile, "splim", 3));
        ASSERT_TRUE(store.WriteText(kUser, kProfile, "Lngname", "english.lng"));
    }
    Store store(DbPath());
    EXPECT_EQ(store.ReadInt(kUser, kProfile, "splim"), 3);
    EXPECT_EQ(store.ReadText(kUser, kProfile, "Lngname"), "english.lng");
}

TEST_F(StoreTest, FlushPutsWritesIntoTheDatabaseFileItself) {
    Store store(DbPath());
    ASSERT_TRUE(store.WriteInt(kUser, "k", "n", 42));
    ASSERT_TRUE(store.Flush());
    // A copy of the main file alone, without the write-ahead log, must hold the value.
    const std::string copy = dir_ / "copy.db";
    WriteFile(copy, ReadFile(DbPath()));
    Store copied(copy);
    EXPECT_EQ(copied.ReadInt(kUser, "k", "n"), 42);
}

TEST_F(StoreTest, ThreadsSharingOneStoreLoseNothing) {
    Store store(DbPath());
    constexpr int kThreads = 4;
    constexpr int kEach = 100;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                if (!store.WriteInt(kUser, "k", "t" + std::to_string(t) + "_" + std::to_string(i),
                                    i))
                    ++failures[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    EXPECT_EQ(store.Values(kUser, "k").size(), static_cast<size_t>(kThreads * kEach));
}

TEST_F(StoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kEach = 1000;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        const pid_t pid = fork();
        if (pid < 0) {
            // Let a child already started run to its end rather than wait forever.
            close(gate[0]);
            close(gate[1]);
            for (pid_t started : children)
                waitpid(started, nullptr, 0);
            FAIL() << "fork failed";
        }
        if (pid == 0) {
            close(gate[1]);
            char byte;
            // Both children start writing when the parent closes the pipe.
            while (read(gate[0], &byte, 1) > 0) {
            }
            int failures = 0;
            {
                Store store(DbPath());
                for (int i = 0; i < kEach; ++i) {
                    const std::string name = "p" + std::to_string(child) + "_" + std::to_string(i);
                    if (!store.WriteInt(kUser, "Race", name, child * kEach + i))
                        ++failures;
                }
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }

    Store store(DbPath());
    const auto values = store.Values(kUser, "race");
    ASSERT_EQ(values.size(), 2u * kEach);
    std::set<int32_t> seen;
    for (const StoreValue& value : values) {
        const int child = value.name[1] - '0';
        const int index = std::stoi(value.name.substr(3));
        EXPECT_EQ(value.intValue, child * kEach + index) << value.name;
        seen.insert(value.intValue);
    }
    EXPECT_EQ(seen.size(), 2u * kEach);
}

TEST_F(StoreTest, GarbageFileIsMovedAsideOnceAndAFreshStoreIsUsed) {
    std::mt19937 random(7);
    std::string garbage(64 * 1024, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    WriteFile(DbPath(), garbage);

    testing::internal::CaptureStderr();
    {
        Store store(DbPath());
        ASSERT_TRUE(store.IsOpen());
        EXPECT_EQ(store.ReadInt(kUser, kProfile, "bufsz"), std::nullopt);
        EXPECT_TRUE(store.SubKeys(kUser, "").empty());
        EXPECT_TRUE(store.WriteInt(kUser, kProfile, "bufsz", 4));
        EXPECT_EQ(store.ReadInt(kUser, kProfile, "bufsz"), 4);
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(said), 1) << said;
    EXPECT_NE(said.find("damaged"), std::string::npos) << said;
    EXPECT_NE(said.find(DbPath()), std::string::npos) << said;

    const auto moved = FilesStartingWith(dir_.Path(), "registry.db.damaged-");
    ASSERT_EQ(moved.size(), 1u);
    const std::string movedDb = moved[0];
    EXPECT_EQ(ReadFile(movedDb), garbage);
    EXPECT_NE(said.find(movedDb), std::string::npos) << said;

    // The fresh store is healthy: opening it again says nothing and keeps the value.
    testing::internal::CaptureStderr();
    Store again(DbPath());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(again.ReadInt(kUser, kProfile, "bufsz"), 4);
}

TEST_F(StoreTest, DatabaseWithDamagedPagesIsMovedAside) {
    {
        Store store(DbPath());
        for (int i = 0; i < 300; ++i)
            ASSERT_TRUE(store.WriteText(kUser, "k\\" + std::to_string(i), "value",
                                        std::string(100, 'a' + i % 26)));
    }
    // Keep the header page, which makes it look like a database, and wreck the tree pages.
    std::string data = ReadFile(DbPath());
    ASSERT_GT(data.size(), 3 * 4096u);
    for (size_t i = 4096; i < data.size(); i += 7)
        data[i] = static_cast<char>(0xA5);
    WriteFile(DbPath(), data);

    testing::internal::CaptureStderr();
    Store store(DbPath());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(said), 1) << said;
    EXPECT_NE(said.find("damaged"), std::string::npos) << said;
    EXPECT_EQ(FilesStartingWith(dir_.Path(), "registry.db.damaged-").size(), 1u);
    EXPECT_TRUE(store.IsOpen());
    EXPECT_TRUE(store.SubKeys(kUser, "k").empty());
    EXPECT_TRUE(store.WriteInt(kUser, "k", "n", 1));
}

TEST_F(StoreTest, UnusableLocationBehavesAsEmpty) {
    WriteFile(dir_ / "blocker", "a file where a folder should be");
    testing::internal::CaptureStderr();
    Store store(dir_ / "blocker/registry.db");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(said), 1) << said;
    EXPECT_NE(said.find("blocker/registry.db"), std::string::npos) << said;

    EXPECT_FALSE(store.IsOpen());
    EXPECT_FALSE(store.WriteInt(kUser, "k", "n", 1));
    EXPECT_FALSE(store.WriteText(kUser, "k", "t", "x"));
    EXPECT_FALSE(store.CreateKey(kUser, "k"));
    EXPECT_FALSE(store.KeyExists(kUser, "k"));
    EXPECT_EQ(store.ReadInt(kUser, "k", "n"), std::nullopt);
    EXPECT_EQ(store.ReadText(kUser, "k", "t"), std::nullopt);
    EXPECT_TRUE(store.SubKeys(kUser, "").empty());
    EXPECT_TRUE(store.Values(kUser, "k").empty());
    const std::vector<rd::KeyValues> read = store.ReadKeys({{kUser, "k"}, {kMachine, "k"}});
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].ReadInt("n"), std::nullopt);
    EXPECT_FALSE(store.Flush());
    StoreKey key(store, kUser, "k");
    EXPECT_FALSE(key.WriteInt("n", 1));
    EXPECT_EQ(key.ReadInt("n"), std::nullopt);
    EXPECT_EQ(ReadFile(dir_ / "blocker"), "a file where a folder should be");
}

TEST_F(StoreTest, ForeignDatabaseIsLeftAlone) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(DbPath().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE reg_keys(x); INSERT INTO reg_keys VALUES(1);", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    testing::internal::CaptureStderr();
    Store store(DbPath());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(CountLines(said), 1) << said;
    EXPECT_NE(said.find("not a settings store"), std::string::npos) << said;
    EXPECT_FALSE(store.IsOpen());
    EXPECT_FALSE(store.WriteInt(kUser, "k", "n", 1));
    EXPECT_TRUE(FilesStartingWith(dir_.Path(), "registry.db.damaged-").empty());
}

// Runs redodori-reg on the test's database; stderr is dropped.
std::string Reg(const std::string& db, const std::string& args, int* status) {
    return RunCommand(std::string(REDODORI_REG_BIN) + " --db '" + db + "' " + args + " 2>/dev/null",
                      status);
}

// Runs redodori-reg and returns what it wrote on stderr.
std::string RegErrors(const std::string& args, int* status) {
    return RunCommand(std::string(REDODORI_REG_BIN) + " " + args + " 2>&1 >/dev/null", status);
}

TEST_F(StoreTest, RegToolSetsGetsListsAndDeletes) {
    const std::string db = DbPath();
    int status = -1;
    Reg(db, "set-int 'SOFTWARE\\DiraRedi\\RedoDori\\local' bufsz -5", &status);
    EXPECT_EQ(status, 0);
    Reg(db, "set-text 'software\\diraredi\\redodori\\LOCAL' Skin 'Deep Blue'", &status);
    EXPECT_EQ(status, 0);
    Reg(db, "set-int 'SOFTWARE\\DiraRedi\\RedoDori\\local\\sub' x 1", &status);
    EXPECT_EQ(status, 0);

    EXPECT_EQ(Reg(db, "get 'SOFTWARE\\DiraRedi\\RedoDori\\local' BUFSZ", &status), "-5\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Reg(db, "get 'SOFTWARE\\DiraRedi\\RedoDori\\local' skin", &status), "Deep Blue\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Reg(db, "list 'SOFTWARE\\DiraRedi\\RedoDori\\local'", &status),
              "[sub]\nbufsz = int:-5\nSkin = text:Deep Blue\n");
    EXPECT_EQ(status, 0);

    // What the tool wrote, the store reads.
    {
        Store store(db);
        EXPECT_EQ(store.ReadInt(kUser, kProfile, "bufsz"), -5);
    }

    Reg(db, "delete 'SOFTWARE\\DiraRedi\\RedoDori\\local' bufsz", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Reg(db, "get 'SOFTWARE\\DiraRedi\\RedoDori\\local' bufsz", &status), "");
    EXPECT_EQ(status, 1);
    Reg(db, "delete 'SOFTWARE\\DiraRedi\\RedoDori\\local' bufsz", &status);
    EXPECT_EQ(status, 1);

    Reg(db, "delete-key 'SOFTWARE\\DiraRedi'", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Reg(db, "list ''", &status), "[SOFTWARE]\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Reg(db, "list software", &status), "");
    EXPECT_EQ(status, 0);
    Reg(db, "delete-key 'SOFTWARE\\DiraRedi'", &status);
    EXPECT_EQ(status, 1);
    Reg(db, "list 'SOFTWARE\\DiraRedi'", &status);
    EXPECT_EQ(status, 1);
}

TEST_F(StoreTest, RegToolMachineRootIsSeparate) {
    const std::string db = DbPath();
    int status = -1;
    Reg(db, "--machine set-text 'SOFTWARE\\DiraRedi\\RedoDori' InstallPath /opt/rd", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Reg(db, "--machine get 'SOFTWARE\\DiraRedi\\RedoDori' installpath", &status),
              "/opt/rd\n");
    EXPECT_EQ(status, 0);
    Reg(db, "get 'SOFTWARE\\DiraRedi\\RedoDori' InstallPath", &status);
    EXPECT_EQ(status, 1);
}

TEST_F(StoreTest, RegToolRejectsBadInput) {
    const std::string db = DbPath();
    int status = -1;
    for (const char* bad : {"abc", "12x", "''", "2147483648", "-2147483649", "' 1'", "0x10"}) {
        const std::string said =
            RegErrors("--db '" + db + "' set-int k n " + std::string(bad), &status);
        EXPECT_EQ(status, 2) << bad;
        EXPECT_NE(said.find("not a whole number"), std::string::npos) << bad << ": " << said;
    }
    std::string tooDeep;
    for (int i = 0; i < 513; ++i)
        tooDeep += "k\\";
    const std::string said = RegErrors("--db '" + db + "' set-int '" + tooDeep + "' n 1", &status);
    EXPECT_EQ(status, 2);
    EXPECT_NE(said.find("too long"), std::string::npos) << said;
    // A command line that cannot be carried out leaves no store behind.
    EXPECT_FALSE(std::filesystem::exists(db));

    for (const char* garbled : {"", "bogus", "get k", "get k n extra", "set-int k n", "--db",
                                "--frobnicate list k", "delete-key"}) {
        const std::string said = RegErrors("--db '" + db + "' " + std::string(garbled), &status);
        EXPECT_EQ(status, 2) << garbled;
        EXPECT_NE(said.find("Usage:"), std::string::npos) << garbled << ": " << said;
    }
    RegErrors("--db", &status);
    EXPECT_EQ(status, 2);
    Reg(db, "delete-key ''", &status);
    EXPECT_EQ(status, 2);

    const std::string help = RunCommand(std::string(REDODORI_REG_BIN) + " --help", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(help.find("set-int KEY NAME N"), std::string::npos);
}

TEST_F(StoreTest, RegToolReportsAnUnusableStore) {
    WriteFile(dir_ / "blocker", "");
    int status = -1;
    const std::string said =
        RegErrors("--db '" + (dir_ / "blocker/registry.db") + "' get k n", &status);
    EXPECT_EQ(status, 3);
    EXPECT_NE(said.find("blocker/registry.db"), std::string::npos) << said;
}

TEST_F(StoreTest, RegToolUsesTheConfigurationFolderByDefault) {
    rd::test::PrivateEnvironment environment;
    int status = -1;
    RunCommand(std::string(REDODORI_REG_BIN) + " set-int k n 12", &status);
    EXPECT_EQ(status, 0);
    Store store(environment.ConfigDir() + "/registry.db");
    EXPECT_EQ(store.ReadInt(kUser, "k", "n"), 12);
}

}  // namespace
