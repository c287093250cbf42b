#include "platform/smb_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "samba_server.h"

namespace rd::smb {

namespace {

const Credentials kRight{"nobody", "right-pw"};
constexpr int kTimeoutMs = 5000;

// A server of the test's own, and a session on its share "rw".
class SmbFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Available())
            GTEST_SKIP() << "built without libsmbclient";
        if (server_.Port().empty())
            GTEST_SKIP() << "no Samba server here (needs root and smbd)";
        ASSERT_EQ(session_.Connect(), 0);
    }

    std::string Local(const std::string& path) const {
        std::ifstream in(server_ / path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // Writes `data` into a new file in blocks of 64 KiB, and closes it synced.
    void Make(const std::string& path, const std::string& data) {
        File file;
        ASSERT_EQ(session_.CreateExclusive(path, file), 0) << path;
        for (size_t at = 0; at < data.size(); at += 65536) {
            const size_t size = std::min<size_t>(65536, data.size() - at);
            ASSERT_EQ(session_.WriteAt(file, data.data() + at, size, at), 0);
        }
        ASSERT_EQ(session_.Close(file, Durability::kSynced), 0);
    }

    test::SambaServer server_;
    Session session_{server_.Host(), "rw", kRight, kTimeoutMs};
};

std::string ReadBack(Session& session, const std::string& path, size_t block) {
    File file;
    EXPECT_EQ(session.OpenRead(path, file), 0) << path;
    std::string data;
    std::string buffer(block, '\0');
    for (size_t done = 1; done > 0;) {
        EXPECT_EQ(session.ReadAt(file, buffer.data(), block, data.size(), done), 0);
        data.append(buffer, 0, done);
    }
    EXPECT_EQ(session.Close(file, Durability::kAsWritten), 0);
    return data;
}

std::string Pattern(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7919) >> 3);
    return data;
}

}  // namespace

TEST_F(SmbFiles, WrittenFilesReadBackAndNamesAreNotTakenTwice) {
    const std::string data = Pattern(3 * 1024 * 1024 + 17);
    Make("ä ß%.bin", data);
    EXPECT_EQ(Local("rw/ä ß%.bin"), data);
    EXPECT_EQ(ReadBack(session_, "ä ß%.bin", 1000000), data);

    File again;
    EXPECT_EQ(session_.CreateExclusive("ä ß%.bin", again), EEXIST);
    EXPECT_FALSE(again.IsOpen());
    EXPECT_EQ(Local("rw/ä ß%.bin"), data);

    // Resumed: written on from where it stopped, out of order, then cut.
    File resumed;
    ASSERT_EQ(session_.OpenWrite("ä ß%.bin", resumed), 0);
    ASSERT_EQ(session_.WriteAt(resumed, "tail", 4, data.size() + 2), 0);
    ASSERT_EQ(session_.WriteAt(resumed, "<>", 2, data.size()), 0);
    FileFacts facts;
    ASSERT_EQ(session_.StatOpen(resumed, facts), 0);
    EXPECT_EQ(facts.size, data.size() + 6);
    ASSERT_EQ(session_.Truncate(resumed, data.size() + 3), 0);
    ASSERT_EQ(session_.Close(resumed, Durability::kSynced), 0);
    EXPECT_EQ(Local("rw/ä ß%.bin"), data + "<>t");

    EXPECT_EQ(session_.OpenRead("missing", again), ENOENT);
    EXPECT_EQ(session_.OpenWrite("missing", again), ENOENT);
}

TEST_F(SmbFiles, FactsAndTimes) {
    Make("f", "12345");
    struct stat local {};
    ASSERT_EQ(::stat((server_ / "rw/f").c_str(), &local), 0);
    FileFacts facts;
    ASSERT_EQ(session_.Stat("f", facts), 0);
    EXPECT_EQ(facts.kind, FileFacts::Kind::kFile);
    EXPECT_EQ(facts.size, 5u);
    EXPECT_EQ(facts.inode, local.st_ino);

    const int64_t atime = 1'600'000'000'123'456'789;
    const int64_t mtime = 1'500'000'000'987'654'321;
    ASSERT_EQ(session_.SetTimes("f", atime, mtime), 0);
    ASSERT_EQ(session_.Stat("f", facts), 0);
    EXPECT_EQ(facts.mtimeNs, 1'500'000'000'987'654'000);
    EXPECT_EQ(facts.atimeNs, 1'600'000'000'123'456'000);
    ASSERT_EQ(::stat((server_ / "rw/f").c_str(), &local), 0);
    EXPECT_EQ(local.st_mtim.tv_sec, 1'500'000'000);
    EXPECT_EQ(local.st_mtim.tv_nsec, 987'654'000);
}

TEST_F(SmbFiles, FoldersRenamesAndRemovals) {
    ASSERT_EQ(session_.MakeFolder("d"), 0);
    EXPECT_EQ(session_.MakeFolder("d"), EEXIST);
    Make("d/a", "first");
    Make("d/b", "second");
    ASSERT_EQ(session_.MakeFolder("d/sub"), 0);
    std::vector<ListedName> names;
    ASSERT_EQ(session_.List("d", names), 0);
    std::vector<std::string> listed;
    for (const ListedName& name : names)
        listed.push_back(name.name + (name.kind == FileFacts::Kind::kFolder ? "/" : ""));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, std::vector<std::string>({"a", "b", "sub/"}));
    // Where the library tells more than the kind, each name comes with what Stat tells.
    for (const ListedName& name : names) {
        FileFacts stated;
        ASSERT_EQ(session_.Stat("d/" + name.name, stated), 0);
        if (!name.facts)
            continue;
        EXPECT_EQ(name.facts->kind, stated.kind) << name.name;
        EXPECT_EQ(name.facts->size, stated.size) << name.name;
        EXPECT_EQ(name.facts->mtimeNs, stated.mtimeNs) << name.name;
    }

    // Never over an existing name.
    EXPECT_EQ(session_.Rename("d/a", "d/b"), EEXIST);
    EXPECT_EQ(Local("rw/d/b"), "second");
    EXPECT_EQ(Local("rw/d/a"), "first");
    ASSERT_EQ(session_.Rename("d/a", "d/sub/c"), 0);
    EXPECT_EQ(Local("rw/d/sub/c"), "first");
    FileFacts facts;
    EXPECT_EQ(session_.Stat("d/a", facts), ENOENT);

    EXPECT_EQ(session_.RemoveFolder("d/sub"), ENOTEMPTY);
    ASSERT_EQ(session_.Remove("d/sub/c"), 0);
    ASSERT_EQ(session_.RemoveFolder("d/sub"), 0);
    ASSERT_EQ(session_.Remove("d/b"), 0);
    ASSERT_EQ(session_.RemoveFolder("d"), 0);
    EXPECT_EQ(session_.Stat("d", facts), ENOENT);
}

TEST_F(SmbFiles, RefusalsNameTheirCause) {
    Session readOnly(server_.Host(), "ro", kRight, kTimeoutMs);
    ASSERT_EQ(readOnly.Connect(), 0);
    File file;
    EXPECT_EQ(readOnly.CreateExclusive("new", file), EACCES);
    EXPECT_EQ(readOnly.OpenWrite("f", file), EACCES);
    EXPECT_EQ(ReadBack(readOnly, "f", 4096), "hello\n");

    Session wrongPassword(server_.Host(), "rw", {"nobody", "wrong-pw"}, kTimeoutMs);
    EXPECT_EQ(wrongPassword.Connect(), EACCES);
    EXPECT_EQ(wrongPassword.CreateExclusive("new", file), ENOTCONN);
    Session noShare(server_.Host(), "gone", kRight, kTimeoutMs);
    EXPECT_EQ(noShare.Connect(), ENOENT);
    Session noServer("127.0.0.1:1", "rw", kRight, kTimeoutMs);
    EXPECT_EQ(noServer.Connect(), ECONNREFUSED);
}

// The synced close is an fsync() on the server, as smbd's audit module logs it; a plain one is
// none.
TEST_F(SmbFiles, SyncedCloseReachesTheServersDisk) {
    // A connection's server process reads the configuration as it starts.
    test::RunCommand(
        "sed -i 's/^\\[global\\]$/[global]\\n  log level = 1/; "
        "s/^\\[rw\\]$/[rw]\\n  vfs objects = full_audit\\n"
        "  full_audit:syslog = no\\n  full_audit:success = fsync_send close\\n"
        "  full_audit:failure = none\\n  full_audit:prefix = %S/' '" +
        (server_ / "smb.conf") + "' && smbcontrol -s '" + (server_ / "smb.conf") +
        "' smbd reload-config");
    Session audited(server_.Host(), "rw", kRight, kTimeoutMs);
    ASSERT_EQ(audited.Connect(), 0);
    for (const auto durability : {Durability::kSynced, Durability::kAsWritten}) {
        File file;
        const std::string name = durability == Durability::kSynced ? "synced" : "plain";
        ASSERT_EQ(audited.CreateExclusive(name, file), 0);
        ASSERT_EQ(audited.WriteAt(file, "data", 4, 0), 0);
        ASSERT_EQ(audited.Close(file, durability), 0);
    }
    // The last write goes through itself, the time is given on the open file after it, and the
    // close needs no sync of its own: one sync, and the time stays as given.
    File last;
    ASSERT_EQ(audited.CreateExclusive("last", last), 0);
    ASSERT_EQ(audited.WriteAt(last, "da", 2, 0), 0);
    ASSERT_EQ(audited.WriteAt(last, "ta", 2, 2, Durability::kSynced), 0);
    const int64_t mtime = 1'600'000'000'123'456'000;
    ASSERT_EQ(audited.SetTimesOpen(last, mtime), 0);
    ASSERT_EQ(audited.Close(last, Durability::kSynced), 0);
    const std::string log = Local("smbd.out");
    const std::string rw = server_ / "rw/";
    EXPECT_NE(log.find("rw|fsync_send|ok|" + rw + "synced\n"), std::string::npos) << log;
    EXPECT_NE(log.find("rw|close|ok|" + rw + "plain\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("rw|fsync_send|ok|" + rw + "plain\n"), std::string::npos) << log;
    const std::string synced = "rw|fsync_send|ok|" + rw + "last\n";
    const size_t first = log.find(synced);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(synced, first + 1), std::string::npos) << log;
    EXPECT_EQ(Local("rw/last"), "data");
    FileFacts facts;
    ASSERT_EQ(audited.Stat("last", facts), 0);
    EXPECT_EQ(facts.mtimeNs, mtime);
}

// smbclient's "open" holds a file shared for reading and writing, not for removing.
TEST_F(SmbFiles, AFileHeldByAnotherClientIsBusy) {
    Make("held", "x");
    test::RunCommand("((echo 'open held'; sleep 5) | smbclient -s /dev/null -p " + server_.Port() +
                     " -U nobody%right-pw //127.0.0.1/rw >/dev/null 2>&1 &)");
    const std::string locks = "smbstatus -L -s '" + (server_ / "smb.conf") + "' 2>/dev/null";
    for (int i = 0; i < 100 && test::RunCommand(locks).find("held") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(session_.Remove("held"), EBUSY);
    EXPECT_EQ(session_.Rename("held", "moved"), EBUSY);
    EXPECT_EQ(Local("rw/held"), "x");
}

// A server that goes away while a file is open: an error, and no wait beyond the time-out.
TEST_F(SmbFiles, ServerGoneIsAnErrorNotAHang) {
    File file;
    ASSERT_EQ(session_.CreateExclusive("open", file), 0);
    ASSERT_EQ(session_.WriteAt(file, "x", 1, 0), 0);
    server_.Stop();
    const auto start = std::chrono::steady_clock::now();
    const std::string block(1 << 20, 'y');
    const int written = session_.WriteAt(file, block.data(), block.size(), 1);
    const int closed = session_.Close(file, Durability::kSynced);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(ServerGone(written)) << written;
    EXPECT_TRUE(ServerGone(closed)) << closed;
    EXPECT_LT(took, std::chrono::milliseconds(2 * kTimeoutMs));
    EXPECT_FALSE(ServerGone(EACCES));
    EXPECT_FALSE(ServerGone(ENOENT));
}

// Two clients used by two threads at once, as a share source's reader and a share destination's
// writer are: each file reads back as it was written.
TEST_F(SmbFiles, ClientsOfTwoThreadsAtOnce) {
    auto work = [this](const std::string& prefix, bool& whole) {
        Session own(server_.Host(), "rw", kRight, kTimeoutMs);
        whole = own.Connect() == 0;
        for (int i = 0; i < 40 && whole; ++i) {
            const std::string name = prefix + std::to_string(i);
            const std::string data = Pattern(70000 + i) + name;
            File file;
            whole = own.CreateExclusive(name, file) == 0 &&
                    own.WriteAt(file, data.data(), data.size(), 0, Durability::kSynced) == 0 &&
                    own.Close(file, Durability::kSynced) == 0 && ReadBack(own, name, 65536) == data;
        }
    };
    bool first = false;
    bool second = false;
    std::thread other(work, "one-", std::ref(first));
    work("two-", second);
    other.join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
}

}  // namespace rd::smb
