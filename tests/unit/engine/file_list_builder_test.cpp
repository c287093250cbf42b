#include "engine/file_list_builder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_context.h"
#include "engine/file_list.h"
#include "engine/source_queue.h"
#include "platform/fs.h"
#include "test_host.h"
#include "test_support.h"

namespace rd {
namespace {

namespace stdfs = std::filesystem;

struct NodeView {
    std::string base;
    std::string relative;
    uint64_t size;
    uint32_t mode;
    QueueEntry* entry;

    bool operator==(const NodeView&) const = default;
};

void PrintTo(const NodeView& n, std::ostream* os) {
    *os << "{" << n.base << " + " << n.relative << ", size " << n.size << ", mode 0" << std::oct
        << n.mode << std::dec << "}";
}

// A console channel whose every line runs `onLine` first.
class HookedConsole : public ConsoleSink {
public:
    explicit HookedConsole(std::function<void()> onLine) : onLine_(std::move(onLine)) {}
    bool Attached() const override { return true; }
    void Line(const std::string&, bool) override { onLine_(); }

private:
    std::function<void()> onLine_;
};

// The order of a walk on one thread: each folder's names in byte order, a folder before what
// it holds, links never followed.
void WalkInOrder(const stdfs::path& folder, const std::string& relative,
                 std::vector<std::string>& out) {
    std::vector<std::string> names;
    for (const stdfs::directory_entry& e : stdfs::directory_iterator(folder))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        out.push_back(relative + "/" + name);
        if (stdfs::is_directory(stdfs::symlink_status(folder / name)))
            WalkInOrder(folder / name, relative + "/" + name, out);
    }
}

size_t OpenDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& e : stdfs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

class FileListBuilderTest : public ::testing::Test {
protected:
    std::string Path(const std::string& relative) const { return dir / relative; }

    void MakeFile(const std::string& relative, size_t size) {
        test::WriteFile(Path(relative), std::string(size, 'x'));
    }
    void MakeFolder(const std::string& relative) { stdfs::create_directories(Path(relative)); }
    void MakeLink(const std::string& target, const std::string& relative) {
        stdfs::create_symlink(target, Path(relative));
    }
    void MakeFifo(const std::string& relative) {
        ASSERT_EQ(mkfifo(Path(relative).c_str(), 0644), 0);
    }
    void SetModified(const std::string& relative, time_t seconds) {
        timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, Path(relative).c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }

    QueueEntry* Queue(const std::string& relative) {
        return host.queue.EntryAt(host.queue.Add(Path(relative)));
    }

    // The list read forwards, checked against the same list read backwards.
    std::vector<FENTRY_*> Nodes() {
        std::lock_guard<std::mutex> lock(ctx.list.ListLock);
        std::vector<FENTRY_*> forward;
        for (FENTRY_* n = ctx.list.Head(); n; n = n->next)
            forward.push_back(n);
        std::vector<FENTRY_*> backward;
        for (FENTRY_* n = ctx.list.Tail(); n; n = n->previous)
            backward.insert(backward.begin(), n);
        EXPECT_EQ(forward, backward);
        return forward;
    }
    std::vector<NodeView> Views() {
        std::vector<NodeView> out;
        for (FENTRY_* n : Nodes())
            out.push_back({n->Base(), n->relative, n->size, n->attributes & S_IFMT, n->queueEntry});
        return out;
    }
    std::vector<std::string> Relatives() {
        std::vector<std::string> out;
        for (FENTRY_* n : Nodes())
            out.push_back(n->relative);
        return out;
    }

    // `folders` folders of `files` files each below `top`, some of them nested, with links to
    // folders and fifos among them; more folders than the walk reads ahead.
    void MakeWideTree(const std::string& top, int folders, int files) {
        MakeFolder(top);
        for (int d = 0; d < folders; ++d) {
            const std::string folder = top + "/d" + std::to_string(d);
            MakeFolder(folder + (d % 3 == 0 ? "/inner/deeper" : ""));
            for (int f = 0; f < files; ++f)
                MakeFile(folder + "/f" + std::to_string(f), static_cast<size_t>(f));
            if (d % 3 == 0)
                MakeFile(folder + "/inner/deeper/last", 1);
            if (d % 4 == 1)
                MakeLink(Path(top), folder + "/up");
            if (d % 5 == 2)
                MakeFifo(folder + "/pipe");
        }
    }
    std::vector<std::string> ExpectedWalk(const std::string& top) {
        std::vector<std::string> out{"/" + top};
        WalkInOrder(Path(top), "/" + top, out);
        return out;
    }

    test::PrivateEnvironment env;
    test::TempDir dir;
    JobPolicy policy;
    test::TestHost host;
    EngineContext ctx{policy, host, host.queue};
    FileListBuilder builder{ctx};
};

TEST_F(FileListBuilderTest, FolderIsWalkedDepthFirstAfterItsOwnNode) {
    MakeFile("a.txt", 3);
    MakeFolder("docs/sub");
    MakeFile("docs/a.doc", 4);
    MakeFile("docs/sub/y.doc", 7);
    MakeFile("docs/x.doc", 5);
    QueueEntry* file = Queue("a.txt");
    QueueEntry* folder = Queue("docs");

    builder.AddSource(file, Path("a.txt"));
    builder.AddSource(folder, Path("docs"));

    const std::string& base = dir.Path();
    EXPECT_EQ(Views(), (std::vector<NodeView>{
                           {base, "/a.txt", 3, S_IFREG, file},
                           {base, "/docs", 0, S_IFDIR, folder},
                           {base, "/docs/a.doc", 4, S_IFREG, folder},
                           {base, "/docs/sub", 0, S_IFDIR, folder},
                           {base, "/docs/sub/y.doc", 7, S_IFREG, folder},
                           {base, "/docs/x.doc", 5, S_IFREG, folder},
                       }));
    for (FENTRY_* n : Nodes())
        EXPECT_EQ(n->done, 0);
    EXPECT_EQ(ctx.state.counters.listedBytes, 19u);
    EXPECT_EQ(ctx.state.counters.listedFiles, 4u);
}

TEST_F(FileListBuilderTest, NodesCarryTheModificationTime) {
    MakeFolder("docs");
    MakeFile("docs/x.doc", 1);
    SetModified("docs/x.doc", 1000000000);
    SetModified("docs", 1100000000);

    builder.AddSource(Queue("docs"), Path("docs"));

    std::vector<FENTRY_*> nodes = Nodes();
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0]->LastWriteTime().tv_sec, 1100000000);
    EXPECT_EQ(nodes[1]->LastWriteTime().tv_sec, 1000000000);
}

TEST_F(FileListBuilderTest, EmptyFolderGivesOneFolderNode) {
    MakeFolder("empty");
    builder.AddSource(Queue("empty"), Path("empty"));

    std::vector<FENTRY_*> nodes = Nodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0]->relative, "/empty");
    EXPECT_TRUE(nodes[0]->IsFolder());
    EXPECT_EQ(nodes[0]->size, 0u);
    EXPECT_EQ(ctx.state.counters.listedFiles, 0u);
}

TEST_F(FileListBuilderTest, BareNameIsTakenFromTheCurrentFolder) {
    MakeFile("big", 6);
    const std::string saved = fs::CurrentFolder();
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    builder.AddSource(Queue("big"), "big");
    ASSERT_EQ(::chdir(saved.c_str()), 0);

    const auto nodes = Nodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0]->Base(), dir.Path());
    EXPECT_EQ(nodes[0]->relative, "/big");
}

// A source that is not there, lies below a file or loops: nothing is listed or queued, and each
// is counted as a skip and named with its cause.
TEST_F(FileListBuilderTest, SourcesThatCannotBeFoundAreCountedAndNamed) {
    MakeFile("file", 1);
    MakeLink("loop", "loop");
    const std::pair<std::string, int> sources[] = {
        {Path("nowhere"), ENOENT}, {Path("file/below"), ENOTDIR}, {Path("loop/x"), ELOOP}};
    for (const auto& [path, error] : sources)
        builder.AddSource(nullptr, path);

    EXPECT_TRUE(Nodes().empty());
    EXPECT_EQ(host.queue.Count(), 0);
    EXPECT_TRUE(host.Calls().empty());
    EXPECT_EQ(ctx.state.counters.skips, 3u);
    const std::vector<NodeOutcome> named = ctx.outcomes.Kept();
    ASSERT_EQ(named.size(), 3u);
    for (size_t i = 0; i < named.size(); ++i) {
        EXPECT_EQ(named[i].path, sources[i].first);
        EXPECT_EQ(named[i].error, sources[i].second) << named[i].path;
    }
}

// An smb:// source is the server's, whatever this machine's folders hold: a folder "smb:" in
// the current folder is never listed for it. A share that cannot be reached, and a delete or a
// link of a share's files (which act on this machine's files only), are counted and named.
TEST_F(FileListBuilderTest, AShareAddressIsNeverALocalPath) {
    MakeFolder("smb:/127.0.0.1:1/s/d");
    MakeFile("smb:/127.0.0.1:1/s/d/f", 3);
    const std::string saved = fs::CurrentFolder();
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    builder.AddSource(nullptr, "smb://127.0.0.1:1/s/d/");
    policy.mode = JobMode::Delete;
    builder.AddSource(nullptr, "smb://127.0.0.1:1/s/d");
    policy.mode = JobMode::Copy;
    ctx.options.PerFileLink = true;
    builder.AddSource(nullptr, "smb://127.0.0.1:1/s/d");
    ASSERT_EQ(::chdir(saved.c_str()), 0);

    EXPECT_TRUE(Nodes().empty());
    EXPECT_EQ(host.queue.Count(), 0);
    const std::vector<NodeOutcome> named = ctx.outcomes.Kept();
    ASSERT_EQ(named.size(), 3u);
    EXPECT_EQ(named[0].path, "smb://127.0.0.1:1/s/d");
    EXPECT_EQ(named[0].error, ECONNREFUSED);
    for (size_t i = 1; i < named.size(); ++i)
        EXPECT_EQ(named[i].error, EOPNOTSUPP) << i;
    EXPECT_TRUE(stdfs::exists(Path("smb:/127.0.0.1:1/s/d/f")));
}

TEST(FileListBuilderPaths, AShareAddressKeepsItsOwnForm) {
    const std::pair<std::string, std::string> rows[] = {
        {"smb://nas/s/d/", "smb://nas/s/d"},
        {"smb://nas/s//", "smb://nas/s"},
        {"SMB://nas/s/./x", "SMB://nas/s/./x"},
        {"smb://", "smb://"},
    };
    for (const auto& [given, plain] : rows) {
        EXPECT_EQ(FileListBuilder::PlainPath(given), plain) << given;
        SourceQueue queue;
        ASSERT_EQ(queue.Add(given), 0);
        EXPECT_EQ(queue.EntryPath(0), plain) << given;
    }
}

TEST_F(FileListBuilderTest, OnlyRegularFilesCountTowardsTheListedBytes) {
    MakeFolder("src/inner");
    MakeFile("src/inner/data", 10);
    MakeFile("src/more", 20);
    MakeLink("a-rather-long-link-target-name", "src/link");
    MakeFifo("src/pipe");

    builder.AddSource(Queue("src"), Path("src"));

    const std::string& base = dir.Path();
    QueueEntry* entry = host.queue.EntryAt(0);
    EXPECT_EQ(Views(), (std::vector<NodeView>{
                           {base, "/src", 0, S_IFDIR, entry},
                           {base, "/src/inner", 0, S_IFDIR, entry},
                           {base, "/src/inner/data", 10, S_IFREG, entry},
                           {base, "/src/link", 0, S_IFLNK, entry},
                           {base, "/src/more", 20, S_IFREG, entry},
                           {base, "/src/pipe", 0, S_IFIFO, entry},
                       }));
    EXPECT_EQ(ctx.state.counters.listedBytes, 30u);
    // Links and fifos are items the copy handles one by one, like files; folders are not.
    EXPECT_EQ(ctx.state.counters.listedFiles, 4u);
}

TEST_F(FileListBuilderTest, LinksAreListedAsLinksAndNeverFollowed) {
    MakeFolder("tree/real");
    MakeFile("tree/real/f", 2);
    MakeLink("b", "tree/a");
    MakeLink("a", "tree/b");
    MakeLink("real", "tree/to-real");
    MakeLink(Path("tree"), "tree/real/up");

    builder.AddSource(Queue("tree"), Path("tree"));

    EXPECT_EQ(Relatives(),
              (std::vector<std::string>{"/tree", "/tree/a", "/tree/b", "/tree/real", "/tree/real/f",
                                        "/tree/real/up", "/tree/to-real"}));
    for (FENTRY_* n : Nodes()) {
        const bool isLink = n->relative == "/tree/a" || n->relative == "/tree/b" ||
                            n->relative == "/tree/to-real" || n->relative == "/tree/real/up";
        EXPECT_EQ(S_ISLNK(n->attributes), isLink) << n->relative;
    }
    EXPECT_EQ(ctx.state.counters.listedBytes, 2u);
}

TEST_F(FileListBuilderTest, LinkGivenAsSourceIsItselfTheSource) {
    MakeFolder("real");
    MakeFile("real/f", 2);
    MakeLink(Path("real"), "link");

    builder.AddSource(Queue("link"), Path("link"));

    std::vector<FENTRY_*> nodes = Nodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0]->relative, "/link");
    EXPECT_TRUE(S_ISLNK(nodes[0]->attributes));
    EXPECT_EQ(nodes[0]->size, 0u);
}

TEST_F(FileListBuilderTest, FifoSourceIsListedWithoutBeingOpened) {
    MakeFifo("pipe");
    // Opening a fifo for reading would wait for a writer that never comes.
    builder.AddSource(Queue("pipe"), Path("pipe"));

    std::vector<FENTRY_*> nodes = Nodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_TRUE(S_ISFIFO(nodes[0]->attributes));
    EXPECT_EQ(nodes[0]->size, 0u);
    EXPECT_EQ(ctx.state.counters.listedBytes, 0u);
}

TEST_F(FileListBuilderTest, FolderThatCannotBeListedGivesOnlyItsNode) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root from listing a folder";
    MakeFolder("locked");
    MakeFile("locked/f", 1);
    stdfs::permissions(Path("locked"), stdfs::perms::none);

    builder.AddSource(Queue("locked"), Path("locked"));

    EXPECT_EQ(Relatives(), (std::vector<std::string>{"/locked"}));
    // Left out, but counted and named.
    EXPECT_EQ(ctx.state.counters.skips, 1u);
    const std::vector<NodeOutcome> named = ctx.outcomes.Kept();
    ASSERT_EQ(named.size(), 1u);
    EXPECT_EQ(named[0].path, Path("locked"));
    EXPECT_EQ(named[0].error, EACCES);
}

TEST_F(FileListBuilderTest, IntakeWalksTheQueueInOrderAndAnnouncesTheTotal) {
    MakeFolder("one");
    MakeFile("one/f", 100);
    MakeFile("two", 1000);
    QueueEntry* one = Queue("one");
    QueueEntry* two = Queue("two");

    builder.RunIntake();

    const std::string& base = dir.Path();
    EXPECT_EQ(Views(), (std::vector<NodeView>{
                           {base, "/one", 0, S_IFDIR, one},
                           {base, "/one/f", 100, S_IFREG, one},
                           {base, "/two", 1000, S_IFREG, two},
                       }));
    EXPECT_EQ(ctx.jobTotalBytes, 1100u);
    // Three asks, the last of which found none, then the total.
    const std::vector<test::TestHost::Call> calls = host.Calls();
    EXPECT_EQ(host.Texts("NextSource"), (std::vector<std::string>{Path("one"), Path("two"), ""}));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().what, "ListComplete");
    EXPECT_EQ(calls.back().value, 1100);
}

TEST_F(FileListBuilderTest, StatusIsShownAtMostEvery300Ms) {
    MakeFolder("many");
    for (int i = 0; i < 200; ++i)
        MakeFile("many/f" + std::to_string(i), 1);

    const auto start = std::chrono::steady_clock::now();
    builder.AddSource(Queue("many"), Path("many"));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);

    const size_t allowed = static_cast<size_t>(elapsed.count() / 300) + 1;
    const std::vector<std::string> files = host.Texts("ShowFile");
    const std::vector<std::string> totals = host.Texts("ShowStatus");
    ASSERT_GE(files.size(), 1u);
    EXPECT_LE(files.size(), allowed);
    EXPECT_EQ(totals.size(), files.size());
    // The first node is always shown.
    EXPECT_EQ(files[0], Path("many"));
    EXPECT_EQ(totals[0], "0 (collecting...)");
}

TEST_F(FileListBuilderTest, StatusShowsTheGrowingTotalUntilTheEngineIsReady) {
    MakeFile("small", 1234);
    MakeFile("big", 1000000);
    MakeFile("late", 5);

    builder.AddSource(Queue("small"), Path("small"));
    std::this_thread::sleep_for(std::chrono::milliseconds(320));
    builder.AddSource(Queue("big"), Path("big"));
    ctx.state.SetReady();
    std::this_thread::sleep_for(std::chrono::milliseconds(320));
    builder.AddSource(Queue("late"), Path("late"));

    EXPECT_EQ(host.Texts("ShowFile"), (std::vector<std::string>{Path("small"), Path("big")}));
    EXPECT_EQ(host.Texts("ShowStatus"),
              (std::vector<std::string>{"1,234 (collecting...)", "1,001,234 (collecting...)"}));
    EXPECT_EQ(Nodes().size(), 3u);
}

TEST_F(FileListBuilderTest, ConsoleGetsTheTotalsLineWhenAttached) {
    test::TestConsole console;
    ctx.console = &console;
    MakeFile("a", 1234567);
    MakeFile("b", 1);

    builder.AddSource(Queue("a"), Path("a"));
    console.SetAttached(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(320));
    builder.AddSource(Queue("b"), Path("b"));

    std::vector<test::TestConsole::LineRecord> lines = console.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "Total files: 1; Total size: 1234567 bytes      ");
    EXPECT_FALSE(lines[0].newLine);
    // The window still hears about the second file.
    EXPECT_EQ(host.Texts("ShowStatus").size(), 2u);
}

TEST_F(FileListBuilderTest, SourceWithoutEntryJoinsTheQueue) {
    MakeFolder("docs");
    MakeFile("docs/x", 4);
    MakeFile("f.txt", 2);

    builder.AddSource(nullptr, Path("f.txt"));
    // A trailing "/" must not make the folder its own base.
    builder.AddSource(nullptr, Path("docs/"));

    ASSERT_EQ(host.queue.Count(), 2);
    EXPECT_EQ(host.queue.EntryPath(0), Path("f.txt"));
    EXPECT_EQ(host.queue.EntryPath(1), Path("docs"));
    const std::string& base = dir.Path();
    EXPECT_EQ(Views(), (std::vector<NodeView>{
                           {base, "/f.txt", 2, S_IFREG, host.queue.EntryAt(0)},
                           {base, "/docs", 0, S_IFDIR, host.queue.EntryAt(1)},
                           {base, "/docs/x", 4, S_IFREG, host.queue.EntryAt(1)},
                       }));
}

TEST_F(FileListBuilderTest, FolderGivenWithTrailingSeparatorGivesSinglePathSeparators) {
    MakeFolder("docs");
    MakeFile("docs/x", 1);
    QueueEntry* entry = Queue("docs");

    builder.AddFolderTree(entry, ctx.list.KeepBase(dir.Path()), Path("docs") + "/");

    EXPECT_EQ(Relatives(), (std::vector<std::string>{"/docs/x"}));
}

TEST_F(FileListBuilderTest, SourceDeletedWhileWalkedKeepsNoNodes) {
    MakeFolder("src/sub");
    MakeFile("src/a", 10);
    MakeFile("src/sub/b", 20);
    MakeFile("src/z", 30);
    QueueEntry* entry = Queue("src");
    // The first status comes right after the folder's own node; the user deletes the source
    // at that moment.
    bool deleted = false;
    HookedConsole console([&] {
        if (!deleted)
            deleted = host.queue.DeleteSource(0, ctx.list, ctx.state.counters);
    });
    ctx.console = &console;

    builder.AddSource(entry, Path("src"));

    EXPECT_TRUE(deleted);
    EXPECT_TRUE(Nodes().empty());
    EXPECT_EQ(ctx.state.counters.listedBytes, 0u);
    EXPECT_EQ(ctx.state.counters.listedFiles, 0u);
    EXPECT_EQ(host.queue.Count(), 0);
}

TEST_F(FileListBuilderTest, FolderReplacedByALinkWhileWalkedIsNotFollowed) {
    MakeFolder("tree/sub");
    MakeFile("tree/sub/f", 1);
    MakeFolder("elsewhere");
    MakeFile("elsewhere/private", 5);
    // Right after the folder's own node (the first status), the folder is moved away and a link
    // to another one takes its name: the walk must not go through it.
    bool swapped = false;
    HookedConsole console([&] {
        if (swapped)
            return;
        swapped = true;
        stdfs::rename(Path("tree"), Path("moved"));
        MakeLink(Path("elsewhere"), "tree");
    });
    ctx.console = &console;

    builder.AddSource(Queue("tree"), Path("tree"));

    EXPECT_TRUE(swapped);
    EXPECT_EQ(Relatives(), (std::vector<std::string>{"/tree"}));
    const std::vector<NodeOutcome> named = ctx.outcomes.Kept();
    ASSERT_EQ(named.size(), 1u);
    EXPECT_EQ(named[0].path, Path("tree"));
    // Linux answers a link opened as a folder without following with ENOTDIR, POSIX with ELOOP.
    EXPECT_TRUE(named[0].error == ENOTDIR || named[0].error == ELOOP) << named[0].error;
}

TEST_F(FileListBuilderTest, SourceAddedAfterTheIntakeGoesToTheTail) {
    MakeFolder("first");
    MakeFile("first/a", 1);
    MakeFile("first/b", 2);
    MakeFile("dropped", 3);
    Queue("first");
    builder.RunIntake();
    FENTRY_* oldTail = Nodes().back();
    {
        // The job thread has moved past the first nodes.
        std::lock_guard<std::mutex> lock(ctx.list.ListLock);
        ctx.list.Head()->done = 1;
        ctx.list.Head()->next->done = 1;
    }

    builder.AddSource(nullptr, Path("dropped"));

    std::vector<FENTRY_*> nodes = Nodes();
    ASSERT_EQ(nodes.size(), 4u);
    EXPECT_EQ(nodes[3]->relative, "/dropped");
    EXPECT_EQ(nodes[3]->previous, oldTail);
    EXPECT_EQ(nodes[3]->done, 0);
    EXPECT_EQ(nodes[3]->queueEntry, host.queue.EntryAt(1));
    EXPECT_EQ(ctx.state.counters.listedBytes, 6u);
}

TEST_F(FileListBuilderTest, TreeReadAheadIsListedInTheOrderOfAWalkOnOneThread) {
    MakeWideTree("tree", 48, 6);
    const size_t descriptors = OpenDescriptors();

    builder.AddSource(Queue("tree"), Path("tree"));

    const std::vector<std::string> expected = ExpectedWalk("tree");
    EXPECT_EQ(Relatives(), expected);
    size_t items = 0;
    for (FENTRY_* n : Nodes())
        items += n->IsFolder() ? 0 : 1;
    EXPECT_EQ(ctx.state.counters.listedFiles, items);
    EXPECT_EQ(ctx.state.counters.skips, 0u);
    // Every folder read ahead is closed again.
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(FileListBuilderTest, FoldersPastTheHeldLevelsAreListedByTheirWholePaths) {
    std::string chain = "deep";
    for (int level = 0; level < 70; ++level)
        chain += "/d";
    MakeFolder(chain);
    for (chain = "deep"; chain.size() < 4 + 2 * 70; chain += "/d")
        MakeFile(chain + "/f", 1);
    const std::vector<std::string> expected = ExpectedWalk("deep");
    ASSERT_EQ(expected.size(), 1u + 70 + 70);
    const size_t descriptors = OpenDescriptors();

    builder.AddSource(Queue("deep"), Path("deep"));

    EXPECT_EQ(Relatives(), expected);
    EXPECT_EQ(ctx.state.counters.listedFiles, 70u);
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

// An entry whose whole path is PATH_MAX bytes or more cannot be named by the copy: it is named as
// a skip, and the walk goes on with the next.
TEST_F(FileListBuilderTest, EntryBeyondAWholePathIsNamedAndTheWalkGoesOn) {
    const std::string folderName(200, 'n');
    const std::string fileName(NAME_MAX, 'x');
    std::string chain = "long";
    std::vector<std::string> expected{"/long", "/long/a"};
    while (Path(chain).size() + folderName.size() + 4 < PATH_MAX) {
        chain += "/" + folderName;
        expected.push_back("/" + chain);
    }
    MakeFolder(chain);
    MakeFile("long/a", 1);
    MakeFile(chain + "/a", 1);
    MakeFile("long/z", 1);
    expected.push_back("/" + chain + "/a");
    expected.push_back("/long/z");
    // Named relative to its folder: its whole path is too long for any call.
    const int fd = ::open(Path(chain).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const int file = ::openat(fd, fileName.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ::close(file);

    builder.AddSource(Queue("long"), Path("long"));

    ASSERT_EQ(::unlinkat(fd, fileName.c_str(), 0), 0);
    ::close(fd);
    EXPECT_EQ(Relatives(), expected);
    const std::vector<NodeOutcome> named = ctx.outcomes.Kept();
    ASSERT_EQ(named.size(), 1u);
    EXPECT_EQ(named[0].path, Path(chain) + "/" + fileName);
    EXPECT_EQ(named[0].error, ENAMETOOLONG);
}

TEST_F(FileListBuilderTest, UnreadableFoldersInATreeAreNamedInTheWalksOrder) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root from listing a folder";
    MakeWideTree("tree", 40, 3);
    const std::vector<std::string> locked = {"tree/d1", "tree/d17", "tree/d33/inner"};
    std::vector<std::string> expected;
    for (const std::string& relative : ExpectedWalk("tree")) {
        const bool inside = std::any_of(locked.begin(), locked.end(), [&](const std::string& l) {
            return relative.rfind("/" + l + "/", 0) == 0;
        });
        if (!inside)
            expected.push_back(relative);
    }
    for (const std::string& folder : locked)
        stdfs::permissions(Path(folder), stdfs::perms::none);

    builder.AddSource(Queue("tree"), Path("tree"));

    for (const std::string& folder : locked)
        stdfs::permissions(Path(folder), stdfs::perms::owner_all);
    EXPECT_EQ(Relatives(), expected);
    const std::vector<NodeOutcome> named = ctx.outcomes.Kept();
    ASSERT_EQ(named.size(), locked.size());
    for (size_t i = 0; i < locked.size(); ++i) {
        EXPECT_EQ(named[i].path, Path(locked[i]));
        EXPECT_EQ(named[i].error, EACCES);
    }
}

TEST_F(FileListBuilderTest, StopInTheMiddleKeepsTheBeginningOfTheWalk) {
    MakeWideTree("tree", 60, 10);
    builder.StopWhen([&] { return ctx.state.counters.listedFiles >= 250; });

    builder.AddSource(Queue("tree"), Path("tree"));

    const std::vector<std::string> relatives = Relatives();
    const std::vector<std::string> whole = ExpectedWalk("tree");
    ASSERT_LT(relatives.size(), whole.size());
    EXPECT_EQ(relatives, std::vector<std::string>(whole.begin(), whole.begin() + relatives.size()));
    EXPECT_EQ(ctx.state.counters.listedFiles, 250u);
    // What was not listed is left out without a report.
    EXPECT_TRUE(ctx.outcomes.Kept().empty());
    EXPECT_EQ(ctx.state.counters.skips, 0u);
}

TEST(FillEntryInfo, RootIsAFolderOfTheCurrentTime) {
    timespec before{};
    clock_gettime(CLOCK_REALTIME, &before);
    const std::string noFolder;
    FENTRY_ node;
    node.base = &noFolder;
    node.relative = "/";

    ASSERT_TRUE(FileListBuilder::FillEntryInfo(node));
    EXPECT_TRUE(node.IsFolder());
    EXPECT_EQ(node.size, 0u);
    EXPECT_GE(node.LastWriteTime().tv_sec, before.tv_sec);
    EXPECT_GE(node.CreationTime().tv_sec, before.tv_sec);
}

TEST(FillEntryInfo, UnknownNodeIsReadFromTheFile) {
    test::TempDir dir;
    test::WriteFile(dir / "f", "12345");
    const std::string folder = dir.Path();
    FENTRY_ node;
    node.base = &folder;
    node.relative = "/f";
    node.size = 99;

    ASSERT_TRUE(FileListBuilder::FillEntryInfo(node));
    EXPECT_EQ(node.size, 5u);
    EXPECT_TRUE(S_ISREG(node.attributes));
    EXPECT_NE(node.LastWriteTime().tv_sec, 0);
}

}  // namespace
}  // namespace rd
