// Trees of small files, which the job copies several at once: each copy whole with its mode and
// time, counted as one file at a time counts it, and anything out of the ordinary (a name taken,
// a failing write, a source that changes, the end of the job) settled as it is for one file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "engine/engine_context.h"
#include "engine/job_thread.h"
#include "job_fixture.h"
#include "test_host.h"
#include "test_support.h"

namespace rd {
namespace {

namespace fsys = std::filesystem;
using test::FaultScope;
using test::PathOf;
using test::ReadFile;
using test::WriteFile;

class SmallFiles : public test::JobTest {
protected:
    static constexpr int kFiles = 400;

    static std::string Name(int i) {
        return "t/f" + std::to_string(i / 100) + "/n" + std::to_string(i);
    }
    // Files of 1 to 9,000 bytes in four folders, each with its own mode and time.
    void MakeTree() {
        const mode_t modes[] = {0600, 0640, 0644, 0755, 0444};
        for (int i = 0; i < kFiles; ++i) {
            Make(Name(i), 1 + (i * 7919) % 9000, static_cast<uint32_t>(i));
            const timespec times[2] = {{0, UTIME_OMIT}, {1500000000 + i, i * 1000 + 7}};
            ASSERT_EQ(utimensat(AT_FDCWD, Src(Name(i)).c_str(), times, 0), 0);
            ASSERT_EQ(chmod(Src(Name(i)).c_str(), modes[i % 5]), 0);
        }
    }
    // The copy of file `i` below `root` is whole: its bytes, mode and time are the source's.
    void ExpectCopy(const std::string& root, int i) {
        const std::string copy = root + "/" + Name(i);
        struct stat a {
        }, b{};
        ASSERT_EQ(stat(Src(Name(i)).c_str(), &a), 0);
        ASSERT_EQ(stat(copy.c_str(), &b), 0) << copy;
        EXPECT_TRUE(ReadFile(Src(Name(i))) == ReadFile(copy)) << copy << " differs";
        EXPECT_EQ(b.st_mode, a.st_mode) << copy;
        EXPECT_EQ(b.st_mtim.tv_sec, a.st_mtim.tv_sec) << copy;
        EXPECT_EQ(b.st_mtim.tv_nsec, a.st_mtim.tv_nsec) << copy;
    }
    JobCounters& Counters() { return job->ctx.state.counters; }
};

TEST_F(SmallFiles, ATreeArrivesWholeBesideANameThatWasTaken) {
    MakeTree();
    fsys::create_directories(dir / "d2/t/f1");
    WriteFile(dir / "d2/t/f1/n150", "kept");
    job->policy.onExist = ExistsPolicy::Skip;

    job->Run({Src("t")}, {dir / "d1", dir / "d2"});
    EXPECT_EQ(job->host.EndCode(), 0);
    for (int i = 0; i < kFiles; ++i) {
        ExpectCopy(dir / "d1", i);
        if (i != 150)
            ExpectCopy(dir / "d2", i);
    }
    EXPECT_EQ(ReadFile(dir / "d2/t/f1/n150"), "kept");
    EXPECT_EQ(Counters().filesDone, static_cast<uint32_t>(kFiles));
    // Copied where it could be: complete, with the one kept file named.
    EXPECT_EQ(Counters().filesCompleted, static_cast<uint32_t>(kFiles));
    EXPECT_EQ(Counters().skips, 1u);
    EXPECT_EQ(Counters().filesFailed, 0u);
    EXPECT_EQ(Counters().doneBytes, Counters().listedBytes);
}

TEST_F(SmallFiles, AWriteThatKeepsFailingIsAskedAboutOnceAndLeavesNoCopy) {
    MakeTree();
    job->policy.onError = ErrorPolicy::Skip;
    std::atomic<int> failures{0};
    FaultScope fault([&](fault::Op op, int fd, uint64_t, uint8_t*, uint32_t) {
        if (op != fault::Op::Write || PathOf(fd).find("/n77") == std::string::npos)
            return 0;
        ++failures;
        return EIO;
    });

    job->Run({Src("t")}, {dir / "d"});
    EXPECT_FALSE(fsys::exists(dir / ("d/" + Name(77))));
    for (int i = 0; i < kFiles; ++i) {
        if (i != 77)
            ExpectCopy(dir / "d", i);
    }
    // Tried at most once more than the ordinary way alone tries.
    EXPECT_GE(failures.load(), 1);
    EXPECT_EQ(Counters().filesFailed, 1u);
    EXPECT_EQ(Counters().filesCompleted, static_cast<uint32_t>(kFiles - 1));
    EXPECT_EQ(job->host.EndCode(), 0);
}

TEST_F(SmallFiles, ASourceWrittenWhileItIsCopiedArrivesAsItIsNow) {
    MakeTree();
    std::atomic<bool> rewritten{false};
    // Written again, longer, just after its bytes went to the copy.
    FaultScope fault([&](fault::Op op, int fd, uint64_t, uint8_t*, uint32_t) {
        if (op == fault::Op::Write && PathOf(fd).find("/n250") != std::string::npos &&
            !rewritten.exchange(true))
            WriteFile(Src(Name(250)), std::string(12345, 'x'));
        return 0;
    });

    job->Run({Src("t")}, {dir / "d"});
    ASSERT_TRUE(rewritten);
    EXPECT_EQ(ReadFile(dir / ("d/" + Name(250))), std::string(12345, 'x'));
    for (int i = 0; i < kFiles; ++i)
        ExpectCopy(dir / "d", i);
    EXPECT_EQ(Counters().filesCompleted, static_cast<uint32_t>(kFiles));
    EXPECT_EQ(Counters().doneBytes, Counters().listedBytes);
}

TEST_F(SmallFiles, AJobEndedMidwayLeavesOnlyWholeCopies) {
    MakeTree();
    std::atomic<int> writes{0};
    FaultScope fault([&](fault::Op op, int, uint64_t, uint8_t*, uint32_t) {
        if (op == fault::Op::Write && ++writes == 120)
            job->ctx.state.BeginEnd();
        return 0;
    });

    job->host.queue.Add(Src("t"));
    JobThread thread(job->ctx);
    job->Start(thread, {dir / "d"});
    thread.Join();
    EXPECT_EQ(job->ctx.copyEndedAt, 0u);
    int copies = 0;
    for (int i = 0; i < kFiles; ++i) {
        if (!fsys::exists(dir / ("d/" + Name(i))))
            continue;
        ++copies;
        ExpectCopy(dir / "d", i);
    }
    EXPECT_GE(copies, 119);
    EXPECT_LT(copies, kFiles);
}

}  // namespace
}  // namespace rd
