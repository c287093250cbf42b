// Wiping, renaming, hard links, junctions and the removal of moved folders, on real files.
#include "engine/move_delete_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "engine/engine_context.h"
#include "test_host.h"
#include "test_support.h"

namespace rd {
namespace {

namespace fsys = std::filesystem;

std::string Pattern(size_t size) {
    std::mt19937 random(7);
    std::string data(size, '\0');
    for (char& c : data)
        c = static_cast<char>(random());
    return data;
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string ReadFd(int fd, size_t size) {
    std::string data(size + 1, '\0');
    const ssize_t n = pread(fd, data.data(), data.size(), 0);
    data.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return data;
}

// Checks that `data` is made of `chunk`-sized runs of one byte value each and returns those
// values.
std::vector<char> ChunkValues(const std::string& data, size_t chunk) {
    std::vector<char> values;
    for (size_t at = 0; at < data.size(); at += chunk) {
        const std::string part = data.substr(at, chunk);
        EXPECT_EQ(part, std::string(part.size(), part[0])) << "chunk at " << at;
        values.push_back(part[0]);
    }
    return values;
}

class MoveDeleteLink : public ::testing::Test {
protected:
    MoveDeleteLink() {
        ctx.questions = &host;
        test::WriteFile(dir / "english.lng", "[In code]\r\nv15=Hard link error\r\n");
        ctx.messages.Load(dir / "english.lng");
    }

    // Wipes `path` while an open descriptor keeps its inode readable; returns what is left.
    std::string WipeAndRead(const std::string& path, size_t size) {
        const int fd = open(path.c_str(), O_RDONLY);
        EXPECT_EQ(WipeAndDelete(ctx, wipeBuffer, path, size), 0);
        EXPECT_FALSE(fsys::exists(fsys::symlink_status(path)));
        const std::string left = ReadFd(fd, size);
        close(fd);
        return left;
    }

    // Parses the destinations and marks them all active, as a file starts.
    void Destinations(const std::vector<std::string>& roots) {
        ctx.dests.ParseDestinations(roots, host.notice);
        // As the job thread does before its first node.
        ctx.dests.MakeRoots();
        ctx.dests.ActivateAll();
    }

    FENTRY_ Node(const std::string& name) {
        fsys::create_directories(dir / "src");
        test::WriteFile(dir / ("src/" + name), "linked");
        FENTRY_ node;
        node.base = &source;
        node.relative = "/" + name;
        return node;
    }
    FileEnd Link(const FENTRY_& node) { return LinkPerFile(ctx, node); }

    test::TempDir dir;
    // The folder of the nodes' sources.
    const std::string source = dir / "src";
    JobPolicy policy;
    test::TestHost host;
    EngineContext ctx{policy, host, host.queue};
    VNBuffer wipeBuffer;
};

TEST_F(MoveDeleteLink, TwoPassWipeOverwritesEveryMegabyteChunkThenDeletes) {
    const size_t size = 5 * 1048576;
    test::WriteFile(dir / "f", Pattern(size));
    policy.mode = WithWipePasses(JobMode::Delete, 2);
    policy.bufferSize = 6;
    policy.writeBurst = true;
    const std::string left = WipeAndRead(dir / "f", size);
    ASSERT_EQ(left.size(), size);
    const std::vector<char> values = ChunkValues(left, 1048576);
    EXPECT_NE(std::count(values.begin(), values.end(), values[0]), 5) << "one value per chunk";
}

TEST_F(MoveDeleteLink, WipeShortensTheLastChunk) {
    test::WriteFile(dir / "f", Pattern(1500));
    policy.mode = WithWipePasses(JobMode::Delete, 1);
    policy.bufferSize = 0;
    const std::string left = WipeAndRead(dir / "f", 1500);
    EXPECT_EQ(left.size(), 1500u);
    EXPECT_EQ(ChunkValues(left, 512).size(), 3u);
}

TEST_F(MoveDeleteLink, NoPassesDeletesWithoutWriting) {
    test::WriteFile(dir / "f", Pattern(70000));
    policy.mode = JobMode::Delete;
    EXPECT_EQ(WipeAndRead(dir / "f", 70000), Pattern(70000));
}

TEST_F(MoveDeleteLink, WipeLeavesTheContentOfAnotherHardLinkedName) {
    test::WriteFile(dir / "f", Pattern(70000));
    ASSERT_EQ(link((dir / "f").c_str(), (dir / "other").c_str()), 0);
    policy.mode = WithWipePasses(JobMode::Delete, 3);
    EXPECT_EQ(WipeAndDelete(ctx, wipeBuffer, dir / "f", 70000), 0);
    EXPECT_FALSE(fsys::exists(dir / "f"));
    EXPECT_EQ(test::ReadFile(dir / "other"), Pattern(70000));
}

TEST_F(MoveDeleteLink, WipeUnlinksASymlinkAndRefusesAFolder) {
    test::WriteFile(dir / "target", "keep");
    fsys::create_symlink(dir / "target", dir / "link");
    fsys::create_directory(dir / "folder");
    policy.mode = WithWipePasses(JobMode::Delete, 3);
    EXPECT_EQ(WipeAndDelete(ctx, wipeBuffer, dir / "link", 4), 0);
    EXPECT_FALSE(fsys::exists(fsys::symlink_status(dir / "link")));
    EXPECT_EQ(test::ReadFile(dir / "target"), "keep");
    EXPECT_EQ(WipeAndDelete(ctx, wipeBuffer, dir / "folder", 4096), EISDIR);
    EXPECT_TRUE(fsys::is_directory(dir / "folder"));
}

TEST_F(MoveDeleteLink, RenameMoveKeepsTheInodeAndPermissions) {
    test::WriteFile(dir / "a", "data");
    chmod((dir / "a").c_str(), 0640);
    const ino_t inode = Inode(dir / "a");
    fsys::create_directory(dir / "to");
    ASSERT_TRUE(RenameMove(dir / "a", dir / "to/a"));
    EXPECT_FALSE(fsys::exists(dir / "a"));
    EXPECT_EQ(Inode(dir / "to/a"), inode);
    EXPECT_EQ(fsys::status(dir / "to/a").permissions(), static_cast<fsys::perms>(0640));
}

TEST_F(MoveDeleteLink, RenameMoveNeverReplacesAnExistingDestination) {
    test::WriteFile(dir / "a", "new");
    test::WriteFile(dir / "b", "old");
    EXPECT_FALSE(RenameMove(dir / "a", dir / "b"));
    EXPECT_EQ(test::ReadFile(dir / "a"), "new");
    EXPECT_EQ(test::ReadFile(dir / "b"), "old");
}

TEST_F(MoveDeleteLink, RenameMoveRefusesAnotherFileSystem) {
    struct stat shm {
    }, tmp{};
    if (stat("/dev/shm", &shm) != 0 || stat(dir.Path().c_str(), &tmp) != 0 ||
        shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "no second file system";
    const std::string source = "/dev/shm/redodori-move-" + std::to_string(getpid());
    test::WriteFile(source, "data");
    EXPECT_FALSE(RenameMove(source, dir / "a"));
    EXPECT_EQ(test::ReadFile(source), "data");
    EXPECT_FALSE(fsys::exists(dir / "a"));
    unlink(source.c_str());
}

TEST_F(MoveDeleteLink, LinkPerFileLinksEveryDestination) {
    const FENTRY_ node = Node("f");
    Destinations({dir / "d1", dir / "d2"});
    EXPECT_EQ(Link(node), FileEnd::Completed);
    EXPECT_EQ(Inode(dir / "d1/f"), Inode(node.SourcePath()));
    EXPECT_EQ(Inode(dir / "d2/f"), Inode(node.SourcePath()));
    EXPECT_TRUE(host.Prompts().empty());
}

TEST_F(MoveDeleteLink, LinkFailureAsksAndSkipsThatDestination) {
    const FENTRY_ node = Node("f");
    Destinations({dir / "d1", dir / "d2"});
    test::WriteFile(dir / "d2/f", "existing");
    EXPECT_EQ(Link(node), FileEnd::Failed);
    EXPECT_EQ(Inode(dir / "d1/f"), Inode(node.SourcePath()));
    EXPECT_EQ(test::ReadFile(dir / "d2/f"), "existing");
    EXPECT_EQ(ctx.state.counters.skips.load(), 1u);
    const auto prompts = host.Prompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].error.step, ErrorStep::Link);
    EXPECT_EQ(prompts[0].error.error, EEXIST);
    EXPECT_EQ(prompts[0].error.path, node.SourcePath());
    EXPECT_EQ(prompts[0].error.destination, dir / "d2/f");
}

TEST_F(MoveDeleteLink, LinkRetryThenSkipAsksTwice) {
    const FENTRY_ node = Node("f");
    Destinations({dir / "d1"});
    test::WriteFile(dir / "d1/f", "existing");
    host.SetErrorAnswer([this](const test::TestHost::PromptRecord&) {
        return host.Prompts().empty() ? ErrorAnswer::Retry : ErrorAnswer::Skip;
    });
    EXPECT_EQ(Link(node), FileEnd::Failed);
    EXPECT_EQ(host.Prompts().size(), 2u);
    EXPECT_EQ(ctx.state.counters.retries.load(), 1u);
    EXPECT_EQ(ctx.state.counters.skips.load(), 1u);
}

TEST_F(MoveDeleteLink, LinkSkipAllAndRetryTimeOutNeedNoPrompt) {
    const FENTRY_ node = Node("f");
    Destinations({dir / "d1"});
    test::WriteFile(dir / "d1/f", "existing");
    policy.onError = ErrorPolicy::Skip;
    EXPECT_EQ(Link(node), FileEnd::Failed);
    policy.onError = ErrorPolicy::Retry;
    policy.giveUp = GiveUp::AfterTimeout;
    policy.giveUpAfterMs = 0;
    policy.retryDelayMs = 2;
    EXPECT_EQ(Link(node), FileEnd::Failed);
    EXPECT_TRUE(host.Prompts().empty());
    EXPECT_EQ(ctx.state.counters.skips.load(), 2u);
}

TEST_F(MoveDeleteLink, LinkRetriesEndWithAbortAndWithTheSkipButton) {
    const FENTRY_ node = Node("f");
    Destinations({dir / "d1"});
    test::WriteFile(dir / "d1/f", "existing");
    // Abort: the window ends the job, which sets Terminating.
    host.SetErrorAnswer([this](const test::TestHost::PromptRecord&) {
        ctx.state.BeginEnd();
        return ErrorAnswer::AbortAndKeep;
    });
    EXPECT_EQ(Link(node), FileEnd::Skipped);
    EXPECT_EQ(host.Steps("RequestEnd").size(), 1u);
    EXPECT_EQ(host.EndCode(), 2);

    ctx.state.flags.Terminating = 0;
    host.SetErrorAnswer([this](const test::TestHost::PromptRecord&) {
        ctx.state.flags.SkipFile = 1;
        return ErrorAnswer::Retry;
    });
    EXPECT_EQ(Link(node), FileEnd::Skipped);
    EXPECT_EQ(host.Prompts().size(), 2u);
    EXPECT_EQ(ctx.state.counters.skips.load(), 1u);
    EXPECT_EQ(ctx.state.flags.SkipFile.load(), 0);
}

TEST_F(MoveDeleteLink, TreeLinkPassLinksFilesAndFoldersAndReportsEveryFailure) {
    fsys::create_directories(dir / "src/sub/deep");
    test::WriteFile(dir / "src/a", "a");
    test::WriteFile(dir / "src/b", "b");
    fsys::create_directories(dir / "d2");
    test::WriteFile(dir / "d2/b", "taken");
    fsys::create_directories(dir / "d1/sub");
    const std::string report = TreeLinkPass(ctx, {dir / "src/a", dir / "src/./sub/", dir / "src/b"},
                                            {dir / "d1", dir / "d2/"});
    EXPECT_TRUE(host.Calls().empty());
    EXPECT_EQ(Inode(dir / "d1/a"), Inode(dir / "src/a"));
    EXPECT_EQ(Inode(dir / "d2/a"), Inode(dir / "src/a"));
    EXPECT_EQ(fsys::read_symlink(dir / "d2/sub"), dir / "src/sub");
    EXPECT_EQ(Inode(dir / "d1/b"), Inode(dir / "src/b"));
    EXPECT_EQ(report, "Hard link error\r\n" + dir / "src/./sub" + " -> " + dir / "d1/sub\r\n" +
                          dir / "src/b" + " -> " + dir / "d2/b\r\n");
    EXPECT_EQ(TreeLinkPass(ctx, {}, {dir / "d1"}), "");
}

TEST_F(MoveDeleteLink, CreateJunctionResults) {
    fsys::create_directories(dir / "t");
    EXPECT_EQ(CreateJunction(dir / "j", dir / "x/../t/"), 0);
    EXPECT_EQ(fsys::read_symlink(dir / "j"), dir / "t");
    test::WriteFile(dir / "file", "keep");
    EXPECT_EQ(CreateJunction(dir / "file", dir / "t"), -3);
    EXPECT_EQ(test::ReadFile(dir / "file"), "keep");
    EXPECT_EQ(CreateJunction(dir / "k", ""), -1);
}

TEST_F(MoveDeleteLink, RemoveMovedFoldersDeepestFirstKeepingNonEmptyOnes) {
    for (const char* f : {"m/a/b/c", "m/a-b", "m/k"})
        fsys::create_directories(dir / f);
    test::WriteFile(dir / "m/k/skipped", "x");
    const SourceFiles local;
    const std::vector<FolderLeft> left =
        RemoveMovedFolders(local, {dir / "m", dir / "m/a/b", dir / "m/k", dir / "m/a-b",
                                   dir / "m/a", dir / "m/a/b/c", dir / "gone"});
    EXPECT_FALSE(fsys::exists(dir / "m/a"));
    EXPECT_FALSE(fsys::exists(dir / "m/a-b"));
    EXPECT_TRUE(fsys::exists(dir / "m/k/skipped"));
    // What stays is told, deepest first; a folder already gone is not.
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].path, dir / "m/k");
    EXPECT_EQ(left[1].path, dir / "m");
    EXPECT_EQ(left[0].error, ENOTEMPTY);
}

}  // namespace
}  // namespace rd
