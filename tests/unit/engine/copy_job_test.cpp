// Whole jobs through the job thread and the writers, with the test host as the window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "engine/engine_context.h"
#include "engine/file_list_builder.h"
#include "engine/job_thread.h"
#include "engine/prompts.h"
#include "engine/transfer.h"
#include "engine/vn_buffer.h"
#include "job_fixture.h"
#include "test_host.h"
#include "test_support.h"

namespace rd {
namespace {

namespace fsys = std::filesystem;
using namespace std::chrono_literals;
using test::BlockClock;
using test::ExpectSameTree;
using test::FaultScope;
using test::FileSize;
using test::Job;
using test::Pattern;

using CopyJob = test::JobTest;

TEST_F(CopyJob, EmptyListEndsNormally) {
    job->Run({}, {dir / "dst"});
    EXPECT_EQ(job->host.EndCode(), 0);
    EXPECT_EQ(job->ctx.jobState, 2);
    // The list is complete whenever the intake ends; the options are locked only once the
    // engine is prepared, and the end is asked for last.
    EXPECT_EQ(job->host.Steps(), (std::vector<std::string>{"NextSource", "ListComplete",
                                                           "OptionsLocked", "RequestEnd"}));
    // Nothing was to go there, so no folder was made for it.
    EXPECT_FALSE(fsys::exists(dir / "dst"));
    EXPECT_EQ(job->ctx.state.counters.filesDone, 0u);
}

TEST_F(CopyJob, TreeToTwoDestinationsWithTimesAndPermissions) {
    Make("a.txt", 1000);
    Make("docs/x.doc", 70000, 2);
    Make("docs/sub/y.doc", 3 * 1048576 + 1, 3);
    Make("docs/empty.txt", 0);
    fsys::create_directories(Src("docs/nothing"));
    chmod(Src("a.txt").c_str(), 0640);
    chmod(Src("docs/sub").c_str(), 0750);
    const timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 123456789}};
    utimensat(AT_FDCWD, Src("docs/x.doc").c_str(), old, 0);
    utimensat(AT_FDCWD, Src("docs/sub").c_str(), old, 0);

    job->Run({Src("a.txt"), Src("docs")}, {dir / "d1", dir / "d2/"});
    for (const char* d : {"d1", "d2"}) {
        const std::string root = dir / d;
        ExpectSameTree(dir / "src", root);
        struct stat st {};
        ASSERT_EQ(stat((root + "/a.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        ASSERT_EQ(stat((root + "/docs/x.doc").c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
        EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
        // Folder times and permissions survive the files written into them.
        ASSERT_EQ(stat((root + "/docs/sub").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0750u);
        EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    }
    EXPECT_EQ(job->ctx.state.counters.filesDone, 4u);
    EXPECT_EQ(job->ctx.state.counters.listedFiles, 4u);
    EXPECT_EQ(job->ctx.state.counters.doneBytes, job->ctx.state.counters.listedBytes);
    EXPECT_EQ(job->ctx.state.counters.skips, 0u);
    EXPECT_EQ(job->host.queue.EntryState(0), "Done");
    EXPECT_EQ(job->host.queue.EntryState(1), "Done");
}

// A copy's mode is the source's whatever the mask a new file is made with, whether the mode it
// was created with is already right (and not set again) or not; empty and multi-block files.
// Counts the changes of a copy's permissions; with `refusal`, each fails as a file system
// without permissions would have it.
struct ChmodCount {
    int count = 0;
    FaultScope scope;
    explicit ChmodCount(int refusal = 0)
        : scope([this, refusal](fault::Op op, int fd, uint64_t, uint8_t*, uint32_t) {
              struct stat st {};
              if (op != fault::Op::Chmod || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
                  return 0;
              ++count;
              return refusal;
          }) {}
};

TEST_F(CopyJob, ModesWhateverTheMask) {
    // `changed`: the copies are made with other permissions than their source's, which are
    // then given to them; otherwise they are made right and left as they are.
    struct Case {
        mode_t mask;
        mode_t mode;
        bool changed;
    } cases[] = {{022, 0644, false}, {077, 0644, true}, {022, 0600, false},
                 {022, 0444, true},  {0, 0755, false},  {027, 0751, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mask) + " " + std::to_string(c.mode));
        ChmodCount chmods;
        Fresh();
        fsys::remove_all(dir / "src");
        fsys::remove_all(dir / "d");
        Make("m/small", 100);
        Make("m/big", 3 * 1048576 + 5, 2);
        Make("m/empty", 0);
        for (const char* name : {"m/small", "m/big", "m/empty"})
            chmod(Src(name).c_str(), c.mode);
        const mode_t saved = umask(c.mask);
        job->Run({Src("m")}, {dir / "d"});
        umask(saved);
        for (const char* name : {"small", "big", "empty"}) {
            struct stat st {};
            ASSERT_EQ(stat((dir / ("d/m/" + std::string(name))).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, c.mode) << name;
        }
        EXPECT_EQ(chmods.count, c.changed ? 3 : 0);
    }
}

TEST_F(CopyJob, AFileSystemThatRefusesPermissionsIsAskedOnceAndToldOnce) {
    for (const char* name : {"a", "b", "c", "sub/d", "empty"}) {
        Make(name, std::string(name) == "empty" ? 0 : 3000);
        chmod(Src(name).c_str(), 0444);
    }
    const timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    utimensat(AT_FDCWD, Src("b").c_str(), old, 0);
    ChmodCount chmods(EPERM);
    job->Run({Src("a"), Src("b"), Src("c"), Src("sub"), Src("empty")}, {dir / "d", dir / "e"});

    EXPECT_EQ(chmods.count, 2);
    std::vector<std::string> noted;
    for (const NodeOutcome& outcome : job->ctx.outcomes.Kept())
        noted.push_back(Describe(outcome));
    const std::string note =
        ": the copies have the permissions its file system gives them: it "
        "refused to change them (Error " +
        ErrorText(EPERM) + ")";
    std::sort(noted.begin(), noted.end());
    EXPECT_EQ(noted, (std::vector<std::string>{dir / ("d" + note), dir / ("e" + note)}));
    EXPECT_EQ(job->ctx.state.counters.skips, 0u);
    // The copies are whole and keep their times all the same.
    for (const char* name : {"a", "b", "c", "sub/d", "empty"}) {
        for (const char* to : {"d/", "e/"})
            EXPECT_TRUE(test::ReadFile(dir / (to + std::string(name))) == test::ReadFile(Src(name)))
                << to << name;
    }
    struct stat st {};
    ASSERT_EQ(stat((dir / "e/b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST_F(CopyJob, WithoutKeepingTimes) {
    Make("a.txt", 10);
    Make("empty", 0);
    chmod(Src("a.txt").c_str(), 0600);
    chmod(Src("empty").c_str(), 0600);
    const timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    utimensat(AT_FDCWD, Src("a.txt").c_str(), old, 0);
    job->ctx.options.KeepFileTimes = false;
    job->Run({Src("a.txt"), Src("empty")}, {dir / "d"});
    struct stat st {};
    ASSERT_EQ(stat((dir / "d/a.txt").c_str(), &st), 0);
    EXPECT_GT(st.st_mtim.tv_sec, 1000000000);
    // A private file stays private even when its attributes are not kept.
    EXPECT_EQ(st.st_mode & 0077, 0u);
    ASSERT_EQ(stat((dir / "d/empty").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);
    EXPECT_TRUE(test::ReadFile(dir / "d/a.txt") == test::ReadFile(Src("a.txt")));
}

TEST_F(CopyJob, BlocksOfTheBufferSize) {
    Make("small", 1000);
    Make("three", 3 * 1048576);
    Make("threeplus", 3 * 1048576 + 1);
    struct Case {
        const char* name;
        int blocks;
    };
    for (Case c : {Case{"small", 1}, Case{"three", 3}, Case{"threeplus", 4}}) {
        for (int32_t burst : {0, 1}) {
            SCOPED_TRACE(std::string(c.name) + " burst " + std::to_string(burst));
            Fresh();
            job->policy.writeBurst = burst;
            job->clock.blocks = 0;
            job->Run({Src(c.name)}, {dir / ("b" + std::to_string(burst))});
            EXPECT_EQ(job->clock.blocks, c.blocks);
            EXPECT_EQ(test::ReadFile(dir / ("b" + std::to_string(burst) + "/" + c.name)),
                      test::ReadFile(Src(c.name)));
        }
    }
}

// Every buffer size, serial and parallel, one to three destinations: byte-identical copies of
// files whose sizes are not multiples of the block, each block counted once.
TEST_F(CopyJob, EveryBufferSizeGivesIdenticalCopies) {
    const size_t sizes[] = {0, 1, 511, 512, 513, 1000, 32768, 65537, 1048576 + 3, 2097151};
    for (size_t i = 0; i < std::size(sizes); ++i)
        Make("f" + std::to_string(i), sizes[i], static_cast<uint32_t>(i + 10));
    Make("deep/er/g", 40000, 99);
    std::atomic<int> kernelWrites{0}, bufferWrites{0};
    FaultScope scope([&](fault::Op op, int, uint64_t, uint8_t* data, uint32_t) {
        if (op == fault::Op::Write)
            ++(data ? bufferWrites : kernelWrites);
        return 0;
    });
    int run = 0;
    for (int32_t bufsz = 0; bufsz <= 10; ++bufsz) {
        for (int32_t parallel : {0, 1}) {
            for (int destinations : {1, 2, 3}) {
                // In serial mode, and in parallel mode with one destination, the kernel's copy
                // carries the data; in parallel mode with several, it carries the files of one
                // block and the writers the rest. Write burst sends it through the buffers
                // instead, so both ways are compared.
                for (int32_t burst : {0, 1}) {
                    if (destinations > 1 && burst == 1)
                        continue;
                    SCOPED_TRACE("bufsz " + std::to_string(bufsz) + " parallel " +
                                 std::to_string(parallel) + " dests " +
                                 std::to_string(destinations) + " burst " + std::to_string(burst));
                    Fresh();
                    job->policy.bufferSize = bufsz;
                    job->policy.parallel = parallel;
                    job->policy.writeBurst = burst;
                    kernelWrites = bufferWrites = 0;
                    std::vector<std::string> dests;
                    for (int d = 0; d < destinations; ++d)
                        dests.push_back(dir /
                                        ("run" + std::to_string(run) + "/d" + std::to_string(d)));
                    job->Run({Src("")}, dests);
                    for (const std::string& d : dests)
                        ExpectSameTree(dir / "src", d + "/src");
                    if (!parallel && !burst) {
                        EXPECT_EQ(bufferWrites, 0);
                        EXPECT_GT(kernelWrites, 0);
                    }
                    if (parallel && destinations > 1) {
                        EXPECT_GT(kernelWrites, 0);
                        const bool multiBlock = CopyBlockSize(bufsz) < sizes[std::size(sizes) - 1];
                        EXPECT_EQ(bufferWrites > 0, multiBlock);
                    }
                    EXPECT_EQ(job->ctx.state.counters.transferredBytes,
                              job->ctx.state.counters.listedBytes);
                    fsys::remove_all(dir / ("run" + std::to_string(run)));
                    ++run;
                }
            }
        }
    }
}

TEST_F(CopyJob, ThreeDestinationsWithTheSecondSkippedForOneFile) {
    Make("one", 2 * 1048576 + 5, 1);
    Make("two", 3 * 1048576 + 7, 2);
    Make("three", 1048576 + 9, 3);
    for (int32_t parallel : {0, 1}) {
        SCOPED_TRACE(parallel);
        Fresh();
        const std::string d = dir / ("p" + std::to_string(parallel) + "/d");
        fsys::create_directories(d + "1");
        test::WriteFile(d + "1/two", "keep me");
        job->policy.parallel = parallel;
        job->policy.onExist = ExistsPolicy::Skip;
        job->Run({Src("one"), Src("two"), Src("three")}, {d + "0", d + "1", d + "2"});
        for (const std::string name : {"one", "two", "three"}) {
            EXPECT_TRUE(test::ReadFile(d + "0/" + name) == test::ReadFile(Src(name)));
            EXPECT_TRUE(test::ReadFile(d + "2/" + name) == test::ReadFile(Src(name)));
        }
        EXPECT_TRUE(test::ReadFile(d + "1/one") == test::ReadFile(Src("one")));
        EXPECT_EQ(test::ReadFile(d + "1/two"), "keep me");
        EXPECT_TRUE(test::ReadFile(d + "1/three") == test::ReadFile(Src("three")));
        EXPECT_EQ(job->ctx.state.counters.skips, 1u);
    }
}

TEST_F(CopyJob, SerialModeWritesEveryBlockToEachDestinationBeforeTheNextRead) {
    Make("big", 5 * 1048576 + 3);
    std::vector<std::pair<uint64_t, uint64_t>> seen;
    job->clock.beforeBlock = [&](int) {
        seen.push_back({FileSize(dir / "a/big"), FileSize(dir / "b/big")});
    };
    job->Run({Src("big")}, {dir / "a", dir / "b"});
    ASSERT_EQ(seen.size(), 6u);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first, i * 1048576) << i;
        EXPECT_EQ(seen[i].second, i * 1048576) << i;
    }
    EXPECT_TRUE(test::ReadFile(dir / "b/big") == test::ReadFile(Src("big")));
}

// Through the buffers and through the kernel, to each of two destinations.
TEST_F(CopyJob, ReservedSpaceAndMarkerUntilTheLastBlock) {
    Make("five", 5 * 1048576, 5);
    Make("four", 4194304, 4);
    for (int32_t burst : {1, 0}) {
        SCOPED_TRACE(burst);
        Fresh();
        job->policy.reserve = true;
        job->policy.writeBurst = burst;
        job->ctx.options.switches = "z";
        const std::string b = std::to_string(burst);
        const std::vector<std::string> dests = {dir / ("a" + b), dir / ("b" + b)};
        // Each destination's size, and whether its marker holds the end of the blocks so far.
        std::vector<std::pair<uint64_t, bool>> five, four;
        job->clock.beforeBlock = [&](int block) {
            if (block == 1 || block == 6)
                return;
            const bool first = block <= 5;
            const std::string name = first ? "five" : "four";
            const uint64_t end = (first ? block - 1 : block - 6) * 1048576ull;
            for (const std::string& d : dests) {
                const std::string path = d + "/" + name;
                ResumeMarker marker;
                const bool read = ParseResumeMarker(test::ReadFile(path + ".RedoDori"), marker);
                // It also names the source as it is and the copy it stands beside.
                struct stat source {
                }, copy{};
                stat(Src(name).c_str(), &source);
                stat(path.c_str(), &copy);
                (first ? five : four)
                    .push_back({FileSize(path),
                                read && marker.written == end && marker.source == Src(name) &&
                                    marker.switches == "z" && marker.hasIdentity &&
                                    marker.identity.source.ino == source.st_ino &&
                                    marker.identity.source.size == FileSize(Src(name)) &&
                                    marker.identity.destinationIno == copy.st_ino});
            }
        };
        job->Run({Src("five"), Src("four")}, dests);
        ASSERT_EQ(five.size(), 8u);
        for (auto [size, marker] : five) {
            EXPECT_EQ(size, 5u * 1048576);
            EXPECT_TRUE(marker);
        }
        ASSERT_EQ(four.size(), 6u);
        for (size_t i = 0; i < four.size(); ++i) {
            EXPECT_EQ(four[i].first, (i / 2 + 1) * 1048576);  // grows block by block: not reserved
            EXPECT_TRUE(four[i].second);
        }
        for (const std::string& d : dests) {
            EXPECT_FALSE(fsys::exists(d + "/five.RedoDori"));
            EXPECT_FALSE(fsys::exists(d + "/four.RedoDori"));
            EXPECT_TRUE(test::ReadFile(d + "/five") == test::ReadFile(Src("five")));
            EXPECT_TRUE(test::ReadFile(d + "/four") == test::ReadFile(Src("four")));
        }
    }
}

// A destination reserved at its full length whose marker says 2 MiB were written: the copy goes
// on from there without a question, reading only the rest.
TEST_F(CopyJob, APreSizedDestinationResumesAtItsMarker) {
    const uint64_t size = 5 * 1048576 + 3, written = 2 * 1048576;
    Make("big", size, 8);
    const std::string data = test::ReadFile(Src("big"));
    fsys::create_directories(dir / "d");
    std::string partial = data.substr(0, written);
    partial.resize(size, '\0');
    test::WriteFile(dir / "d/big", partial);
    test::WriteFile(dir / "d/big.RedoDori", ResumeMarkerBytes(written, Src("big"), "uz"));
    job->policy.reserve = true;
    job->policy.onExist = ExistsPolicy::TryResume;
    job->Run({Src("big")}, {dir / "d"});
    EXPECT_TRUE(job->host.Prompts().empty());
    EXPECT_EQ(job->ctx.state.counters.transferredBytes, size - written);
    EXPECT_TRUE(test::ReadFile(dir / "d/big") == data);
    EXPECT_FALSE(fsys::exists(dir / "d/big.RedoDori"));
}

// A destination the kernel stops copying to mid-file: from that block on both destinations go
// the read/write way, and both copies are whole, with every block counted once.
TEST_F(CopyJob, ADestinationTheKernelRefusesMidFileIsWrittenTheReadWriteWay) {
    Make("big", 4 * 1048576 + 3);
    const std::string refused = dir / "b/big";
    int kernelWrites = 0, rewritten = 0;
    FaultScope scope([&](fault::Op op, int fd, uint64_t offset, uint8_t* data, uint32_t) {
        if (op != fault::Op::Write)
            return 0;
        if (data) {
            rewritten += offset == 2 * 1048576;
            return 0;
        }
        ++kernelWrites;
        return offset == 2 * 1048576 && test::PathOf(fd) == refused ? EXDEV : 0;
    });
    job->Run({Src("big")}, {dir / "a", dir / "b"});
    EXPECT_EQ(kernelWrites, 6);  // blocks 0 and 1 to both, block 2 to a, then b refuses
    EXPECT_EQ(rewritten, 2);
    EXPECT_TRUE(job->host.Prompts().empty());
    EXPECT_EQ(job->ctx.state.counters.skips, 0u);
    EXPECT_EQ(job->ctx.state.counters.transferredBytes, 4u * 1048576 + 3);
    EXPECT_TRUE(test::ReadFile(dir / "a/big") == test::ReadFile(Src("big")));
    EXPECT_TRUE(test::ReadFile(refused) == test::ReadFile(Src("big")));
}

TEST_F(CopyJob, FileAddedDuringTheCopyIsCopiedAfterTheListedOnes) {
    Make("first", 3 * 1048576);
    Make("second", 100);
    Make("late", 4000, 7);
    job->clock.beforeBlock = [&](int block) {
        if (block == 2)
            FileListBuilder(job->ctx).AddSource(nullptr, Src("late"));
    };
    job->Run({Src("first"), Src("second")}, {dir / "d"});
    EXPECT_TRUE(test::ReadFile(dir / "d/late") == test::ReadFile(Src("late")));
    ASSERT_EQ(job->host.queue.Count(), 3);
    EXPECT_EQ(job->host.queue.EntryPath(2), Src("late"));
    EXPECT_EQ(job->host.queue.EntryState(2), "Done");
    EXPECT_EQ(job->ctx.state.counters.filesDone, 3u);
}

TEST_F(CopyJob, AnAdditionUnderWayKeepsTheJobFromEndingUntilItsNodesAreIn) {
    Make("first", 100);
    Make("late", 4000, 7);
    FileList& list = job->ctx.list;
    const auto locked = [&list](auto step) {
        std::lock_guard<std::mutex> lock(list.ListLock);
        return step();
    };
    ASSERT_TRUE(locked([&] { return list.Reserve(); }));
    job->host.queue.Add(Src("first"));
    JobThread thread(job->ctx);
    job->Start(thread, {dir / "d"});
    // Every listed node done: the job thread has nothing left to copy and must wait.
    const auto allDone = [&list] {
        FENTRY_* node = list.Head();
        while (node && node->done)
            node = node->next;
        return list.Head() && !node;
    };
    for (int i = 0; i < 6000 && !locked(allDone); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(locked(allDone));
    FileListBuilder(job->ctx).AddSource(nullptr, Src("late"));
    EXPECT_FALSE(job->host.Ended());
    locked([&] {
        list.Release();
        return true;
    });
    ASSERT_TRUE(job->host.WaitForEnd(120s));
    thread.Join();
    EXPECT_TRUE(test::ReadFile(dir / "d/late") == test::ReadFile(Src("late")));
    EXPECT_EQ(job->host.queue.EntryState(1), "Done");
    EXPECT_EQ(job->ctx.state.counters.filesDone, 2u);
    // Once the job thread passed its last node, no addition is let in any more.
    EXPECT_FALSE(locked([&] { return list.Reserve(); }));
}

TEST_F(CopyJob, PauseHoldsAllProgress) {
    Make("big", 4 * 1048576);
    std::atomic<bool> paused{false};
    job->clock.beforeBlock = [&](int block) {
        if (block == 2) {
            job->ctx.state.SetPaused(true);
            paused = true;
        }
    };
    job->host.queue.Add(Src("big"));
    JobThread thread(job->ctx);
    job->Start(thread, {dir / "d"});
    while (!paused)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(100ms);
    const uint64_t done = job->ctx.state.counters.doneBytes;
    const uint64_t moved = job->ctx.state.counters.transferredBytes;
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(job->ctx.state.counters.doneBytes, done);
    EXPECT_EQ(job->ctx.state.counters.transferredBytes, moved);
    EXPECT_LT(done, 4u * 1048576);
    EXPECT_FALSE(job->host.Ended());
    job->ctx.state.SetPaused(false);
    ASSERT_TRUE(job->host.WaitForEnd(60s));
    thread.Join();
    EXPECT_TRUE(test::ReadFile(dir / "d/big") == test::ReadFile(Src("big")));
}

TEST_F(CopyJob, SkipLeavesAPartialDestinationAndGoesOn) {
    Make("big", 4 * 1048576 + 11, 1);
    Make("next", 2 * 1048576 + 13, 2);
    for (int32_t parallel : {0, 1}) {
        SCOPED_TRACE(parallel);
        Fresh();
        job->policy.parallel = parallel;
        job->policy.writeBurst = true;
        job->clock.blocks = 0;
        job->clock.beforeBlock = [&](int block) {
            if (block == 3)
                job->ctx.state.flags.SkipFile = 1;
        };
        const std::string d = dir / ("d" + std::to_string(parallel));
        job->Run({Src("big"), Src("next")}, {d});
        EXPECT_LT(FileSize(d + "/big"), 4u * 1048576 + 11);
        EXPECT_TRUE(test::ReadFile(d + "/next") == test::ReadFile(Src("next")));
        EXPECT_EQ(job->ctx.state.counters.skips, 1u);
        EXPECT_EQ(job->ctx.state.counters.doneBytes, job->ctx.state.counters.listedBytes);
        job->clock.beforeBlock = nullptr;
    }
}

TEST_F(CopyJob, LinksLoopsAndFifosInATree) {
    Make("tree/file", 300);
    fsys::create_symlink("file", Src("tree/link"));
    fsys::create_symlink("loop-b", Src("tree/loop-a"));
    fsys::create_symlink("loop-a", Src("tree/loop-b"));
    fsys::create_directory_symlink("..", Src("tree/up"));
    ASSERT_EQ(mkfifo(Src("tree/fifo").c_str(), 0600), 0);
    // A link's own time, not its target's.
    const timespec linkTime[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Src("tree/link").c_str(), linkTime, AT_SYMLINK_NOFOLLOW), 0);
    job->Run({Src("tree")}, {dir / "d"});
    struct stat copied {};
    ASSERT_EQ(lstat((dir / "d/tree/link").c_str(), &copied), 0);
    EXPECT_EQ(copied.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(fsys::read_symlink(dir / "d/tree/link"), "file");
    EXPECT_EQ(fsys::read_symlink(dir / "d/tree/loop-a"), "loop-b");
    EXPECT_EQ(fsys::read_symlink(dir / "d/tree/up"), "..");
    EXPECT_FALSE(fsys::exists(fsys::symlink_status(dir / "d/tree/fifo")));
    EXPECT_TRUE(test::ReadFile(dir / "d/tree/file") == test::ReadFile(Src("tree/file")));
    EXPECT_EQ(job->ctx.state.counters.skips, 1u);
    EXPECT_EQ(job->ctx.state.counters.filesDone, 6u);
}

TEST_F(CopyJob, ExistingDestinationsAreKeptUnlessOverwriting) {
    Make("a", 5000, 1);
    fsys::create_directories(dir / "keep");
    fsys::create_directories(dir / "over");
    test::WriteFile(dir / "keep/a", std::string(9000, 'k'));
    test::WriteFile(dir / "over/a", std::string(9000, 'o'));
    job->policy.onExist = ExistsPolicy::Prompt;
    job->Run({Src("a")}, {dir / "keep"});
    EXPECT_EQ(test::ReadFile(dir / "keep/a"), std::string(9000, 'k'));

    Fresh();
    job->policy.onExist = ExistsPolicy::Overwrite;
    job->Run({Src("a")}, {dir / "over"});
    // Overwritten whole: nothing of the longer old file is left behind.
    EXPECT_TRUE(test::ReadFile(dir / "over/a") == test::ReadFile(Src("a")));
}

}  // namespace
}  // namespace rd

namespace rd {
namespace {

// A file of `size` bytes, all hole but for the data pieces given as {offset, length}.
std::string Sparse(const std::string& path, uint64_t size,
                   const std::vector<std::pair<uint64_t, uint32_t>>& pieces) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    std::string expected(size, '\0');
    uint32_t seed = 7;
    for (const auto& [offset, length] : pieces) {
        const std::string data = test::Pattern(length, seed++);
        EXPECT_EQ(pwrite(fd, data.data(), length, static_cast<off_t>(offset)),
                  static_cast<ssize_t>(length));
        expected.replace(offset, length, data);
    }
    EXPECT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    close(fd);
    return expected;
}

uint64_t DiskBytes(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_blocks) * 512 : ~0ull;
}

}  // namespace

// Holes stay holes in every way a file is copied: the copies read back identical, have the
// source's length, and take about as much room as the source's data.
// Files of several writeback chunks come out whole however the blocks reach the disk.
TEST_F(CopyJob, FilesLargerThanTheWritebackChunksStayWhole) {
    Make("large", 3 * kWriteBehindChunk + 1048576 + 5, 7);
    const struct {
        const char* mode;
        int parcopy, encrc, dests;
    } modes[] = {{"kernel copy", 0, 0, 1},
                 {"two destinations", 0, 0, 2},
                 {"parallel", 1, 0, 2},
                 {"verified", 0, 1, 1}};
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        Fresh();
        job->policy.parallel = m.parcopy;
        job->policy.verify = m.encrc;
        std::vector<std::string> dests;
        for (int i = 0; i < m.dests; ++i)
            dests.push_back(dir / (std::string(m.mode) + std::to_string(i)));
        job->Run({Src("large")}, dests);
        EXPECT_EQ(job->ctx.jobState, 2);
        for (const std::string& d : dests)
            EXPECT_TRUE(test::ReadFile(d + "/large") == test::ReadFile(Src("large"))) << d;
    }
}

TEST_F(CopyJob, HolesAreKept) {
    constexpr uint64_t kMiB = 1048576;
    const struct {
        const char* name;
        uint64_t size;
        std::vector<std::pair<uint64_t, uint32_t>> pieces;
    } files[] = {
        {"head", 8 * kMiB, {{0, 4096}}},
        {"tail", 8 * kMiB, {{8 * kMiB - 4096, 4096}}},
        {"middle", 8 * kMiB, {{3 * kMiB + 4096, 8192}, {5 * kMiB, kMiB + 4096}}},
        {"nothing", 8 * kMiB, {}},
    };
    const struct {
        const char* mode;
        int parcopy, encrc, burst, move, dests;
    } modes[] = {
        {"kernel copy", 0, 0, 0, 0, 1}, {"two destinations", 0, 0, 0, 0, 2},
        {"parallel", 1, 0, 0, 0, 2},    {"verified", 0, 1, 0, 0, 1},
        {"burst", 0, 0, 1, 0, 1},       {"moved", 0, 0, 0, 1, 1},
    };
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        fsys::remove_all(dir / "src");
        fsys::create_directories(dir / "src");
        std::vector<std::string> expected;
        uint64_t data = 0;
        for (const auto& f : files) {
            expected.push_back(Sparse(Src(f.name), f.size, f.pieces));
            for (const auto& piece : f.pieces)
                data += piece.second;
        }
        Fresh();
        job->policy.parallel = m.parcopy;
        job->policy.verify = m.encrc;
        job->policy.readBurst = job->policy.writeBurst = m.burst;
        job->policy.reserve = true;
        job->policy.mode = m.move ? JobMode::Move : JobMode::Copy;
        std::vector<std::string> dests;
        for (int i = 0; i < m.dests; ++i)
            dests.push_back(dir / ("out-" + std::string(m.mode) + std::to_string(i)));
        job->Run({Src("")}, dests);
        EXPECT_EQ(job->host.EndCode(), 0);
        for (const std::string& d : dests) {
            uint64_t used = 0;
            for (size_t i = 0; i < std::size(files); ++i) {
                const std::string copy = d + "/src/" + files[i].name;
                EXPECT_EQ(FileSize(copy), files[i].size) << copy;
                EXPECT_TRUE(test::ReadFile(copy) == expected[i]) << copy << " differs";
                EXPECT_FALSE(fsys::exists(copy + kMarkerSuffix)) << copy;
                used += DiskBytes(copy);
            }
            // The file system's block and extent rounding, never the holes' megabytes.
            EXPECT_LE(used, data + 128 * 1024) << d;
        }
        EXPECT_EQ(fsys::exists(Src("head")), m.move == 0);
        EXPECT_EQ(job->ctx.state.counters.doneBytes, job->ctx.state.counters.listedBytes);
    }
}

}  // namespace rd
