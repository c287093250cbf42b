// Existing files, errors, verification and moves, through whole jobs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "engine/verification.h"
#include "job_fixture.h"
#include "platform/fault_injection.h"
#include "test_host.h"
#include "test_support.h"

namespace rd {
namespace {

namespace fsys = std::filesystem;
using test::FaultScope;
using test::Job;
using test::PathOf;
using test::Pattern;

class Policies : public test::JobTest {
protected:
    static void SetTime(const std::string& path, time_t seconds) {
        const timespec t[2] = {{0, UTIME_OMIT}, {seconds, 0}};
        utimensat(AT_FDCWD, path.c_str(), t, 0);
    }
};

TEST(BlockSum, SignedBytes) {
    const uint8_t ff[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(BlockSum(ff, 4), -4);
    const uint8_t mixed[3] = {0x7F, 0x80, 0x01};
    EXPECT_EQ(BlockSum(mixed, 3), 127 - 128 + 1);
    EXPECT_EQ(BlockSum(ff, 0), 0);
}

TEST_F(Policies, OlderOrResumeResumesANewerMatchingHalfWithoutAsking) {
    const std::string source = Make("f", 3 * 1048576 + 5);
    fsys::create_directories(dir / "d");
    const std::string half = test::ReadFile(source).substr(0, (3 * 1048576 + 5) / 2);
    test::WriteFile(dir / "d/f", half);
    SetTime(source, 1000000000);
    SetTime(dir / "d/f", 2000000000);
    job->policy.onExist = ExistsPolicy::OverwriteOlder | ExistsPolicy::TryResume;
    job->Run({source}, {dir / "d"});
    EXPECT_TRUE(job->host.Prompts().empty());
    EXPECT_TRUE(test::ReadFile(dir / "d/f") == test::ReadFile(source));
    // Only the missing half was read.
    EXPECT_EQ(job->ctx.state.counters.transferredBytes, 3u * 1048576 + 5 - half.size());
    EXPECT_EQ(job->ctx.state.counters.doneBytes, 3u * 1048576 + 5);
}

// A copy that was already whole when its job was stopped resumes at its end: it is finished,
// not reported as a file the job began to write over.
TEST_F(Policies, ACompleteCopyResumesAtItsEnd) {
    const std::string source = Make("f", 600000);
    fsys::create_directories(dir / "d");
    fsys::copy_file(source, dir / "d/f");
    job->policy.onExist = ExistsPolicy::TryResume;
    job->Run({source}, {dir / "d"});
    EXPECT_TRUE(job->host.Prompts().empty());
    EXPECT_TRUE(test::ReadFile(dir / "d/f") == test::ReadFile(source));
    EXPECT_EQ(job->ctx.state.counters.transferredBytes, 0u);
    EXPECT_EQ(job->ctx.state.counters.filesDone, 1u);
    EXPECT_EQ(job->ctx.outcomes.Count(), 0u);
}

TEST_F(Policies, OlderAloneWithANewerDestinationAsks) {
    const std::string source = Make("f", 5000);
    fsys::create_directories(dir / "d");
    test::WriteFile(dir / "d/f", "newer and different");
    SetTime(source, 1000000000);
    SetTime(dir / "d/f", 2000000000);
    job->policy.onExist = ExistsPolicy::OverwriteOlder;
    job->Run({source}, {dir / "d"});
    const auto prompts = job->host.Prompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_TRUE(prompts[0].aboutExisting);
    // Not resumable (the probe bytes differ); rename is offered.
    EXPECT_FALSE(prompts[0].exists.resumable);
    EXPECT_FALSE(prompts[0].exists.markerResume);
    EXPECT_EQ(test::ReadFile(dir / "d/f"), "newer and different");
    EXPECT_EQ(job->ctx.state.counters.skips, 1u);

    // An older destination is overwritten without a question.
    Fresh();
    SetTime(dir / "d/f", 900000000);
    job->policy.onExist = ExistsPolicy::OverwriteOlder;
    job->Run({source}, {dir / "d"});
    EXPECT_TRUE(job->host.Prompts().empty());
    EXPECT_TRUE(test::ReadFile(dir / "d/f") == test::ReadFile(source));
}

TEST_F(Policies, ExistsFactsAndResumeOffer) {
    const std::string source = Make("f", 4000);
    for (const char* d : {"a", "b"}) {
        fsys::create_directories(dir / d);
        test::WriteFile(dir / (std::string(d) + "/f"), test::ReadFile(source).substr(0, 1000));
    }
    // Two destinations: resume is never offered.
    job->Run({source}, {dir / "a", dir / "b"});
    auto prompts = job->host.Prompts();
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_FALSE(prompts[0].exists.resumable);
    EXPECT_FALSE(prompts[0].exists.markerResume);
    EXPECT_EQ(prompts[0].exists.destinations, 2u);
    EXPECT_EQ(prompts[0].exists.source, source);
    EXPECT_EQ(prompts[0].exists.sourceSize, 4000u);
    EXPECT_EQ(prompts[0].exists.destinationSize, 1000u);

    // One destination whose start matches: resume is offered, and the answer resumes.
    Fresh();
    job->host.SetExistsAnswer(
        [](const test::TestHost::PromptRecord&) { return ExistsAnswer::Resume; });
    job->Run({source}, {dir / "a"});
    prompts = job->host.Prompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_TRUE(prompts[0].exists.resumable);
    EXPECT_FALSE(prompts[0].exists.markerResume);
    EXPECT_TRUE(test::ReadFile(dir / "a/f") == test::ReadFile(source));

    // A destination larger than the source: not resumable.
    Fresh();
    test::WriteFile(dir / "b/f", std::string(9000, 'x'));
    job->Run({source}, {dir / "b"});
    prompts = job->host.Prompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_FALSE(prompts[0].exists.resumable);
    EXPECT_EQ(prompts[0].exists.destinationSize, 9000u);
}

TEST_F(Policies, RetryAllThenADestinationFailingPastTheTimeOutIsSkipped) {
    const std::string source = Make("f", 3000);
    fsys::create_directories(dir / "good");
    // A folder where the file should go: every open for writing fails.
    fsys::create_directories(dir / "bad/f");
    job->policy.onError = ErrorPolicy::Prompt;
    job->policy.giveUp = GiveUp::AfterTimeout;
    job->policy.giveUpAfterMs = 300;
    job->policy.retryDelayMs = 50;
    int asked = 0;
    job->host.SetErrorAnswer([&](const test::TestHost::PromptRecord&) {
        ++asked;
        job->policy.onError = ErrorPolicy::Retry;  // "Retry all"
        return ErrorAnswer::Retry;
    });
    job->Run({source}, {dir / "good", dir / "bad"});
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(test::ReadFile(dir / "good/f") == test::ReadFile(source));
    EXPECT_GE(job->ctx.state.counters.retries, 3u);
    const auto prompts = job->host.Prompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].error.step, ErrorStep::Write);
    EXPECT_EQ(prompts[0].error.error, EISDIR);
    EXPECT_EQ(prompts[0].error.path, dir / "bad/f");
}

// Abort at a writer's question ends the job: the same question never comes back, serial or
// parallel, however soon the write would be tried again.
TEST_F(Policies, AbortAtAWriteErrorIsAskedOnce) {
    const std::string source = Make("f", 3000);
    fsys::create_directories(dir / "bad/f");  // a folder where the file should go
    for (bool parallel : {false, true}) {
        SCOPED_TRACE(parallel ? "parallel" : "serial");
        Fresh();
        job->policy.onError = ErrorPolicy::Prompt;
        job->policy.parallel = parallel;
        int asked = 0;
        // Abort first; were it asked again, Skip, so that the job still ends.
        job->host.SetErrorAnswer([&](const test::TestHost::PromptRecord&) {
            return ++asked == 1 ? ErrorAnswer::Abort : ErrorAnswer::Skip;
        });
        job->Run({source}, {dir / "bad"});
        EXPECT_EQ(asked, 1);
        ASSERT_TRUE(job->host.Ended());
        EXPECT_EQ(job->host.EndCode(), 0);
    }
}

TEST_F(Policies, HealFillsZerosExactlyWhereReadsFailed) {
    const size_t size = 4 * 1048576;
    const std::string source = Make("f", size, 9);
    // Bytes from 1.5 MiB to 1.5 MiB + 3000 cannot be read.
    const uint64_t badStart = 1048576 + 524288, badEnd = badStart + 3000;
    FaultScope scope([&](fault::Op op, int fd, uint64_t offset, uint8_t*, uint32_t n) {
        if (op != fault::Op::Read || PathOf(fd) != source)
            return 0;
        return offset < badEnd && offset + n > badStart ? EIO : 0;
    });
    job->policy.writeBurst = true;  // through the buffers
    job->host.SetErrorAnswer([](const test::TestHost::PromptRecord& asked) {
        return HealAllowed(asked.error.step) ? ErrorAnswer::Heal : ErrorAnswer::Skip;
    });
    job->Run({source}, {dir / "d"});
    ASSERT_EQ(job->host.Prompts().size(), 1u);
    const std::string copy = test::ReadFile(dir / "d/f");
    const std::string original = test::ReadFile(source);
    ASSERT_EQ(copy.size(), size);
    // Pieces are 1 MiB / 512 = 2048 bytes: the pieces touching the bad range are zero.
    const uint64_t zeroFrom = badStart / 2048 * 2048, zeroTo = (badEnd + 2047) / 2048 * 2048;
    EXPECT_TRUE(copy.substr(0, zeroFrom) == original.substr(0, zeroFrom));
    EXPECT_EQ(copy.substr(zeroFrom, zeroTo - zeroFrom), std::string(zeroTo - zeroFrom, '\0'));
    EXPECT_TRUE(copy.substr(zeroTo) == original.substr(zeroTo));
}

TEST_F(Policies, ReadErrorsRetrySkipAndTimeOut) {
    const std::string source = Make("f", 2 * 1048576);
    int failures = 2;
    std::mutex lock;
    FaultScope scope([&](fault::Op op, int fd, uint64_t offset, uint8_t*, uint32_t) {
        std::lock_guard<std::mutex> guard(lock);
        if (op == fault::Op::Read && offset == 1048576 && PathOf(fd) == source && failures > 0) {
            --failures;
            return EIO;
        }
        return 0;
    });
    job->policy.writeBurst = true;
    job->policy.onError = ErrorPolicy::Retry;
    job->Run({source}, {dir / "d"});
    EXPECT_EQ(job->ctx.state.counters.retries, 2u);
    EXPECT_TRUE(test::ReadFile(dir / "d/f") == test::ReadFile(source));

    // Skip: the file is left with what was written, and counted once.
    Fresh();
    failures = 1;
    job->policy.writeBurst = true;
    job->policy.onError = ErrorPolicy::Skip;
    job->Run({source}, {dir / "e"});
    EXPECT_EQ(job->ctx.state.counters.skips, 1u);
    EXPECT_EQ(test::FileSize(dir / "e/f"), 1048576u);
}

TEST_F(Policies, ASourceThatShrinksIsAReadErrorNotALoop) {
    const std::string source = Make("f", 3 * 1048576);
    job->policy.writeBurst = true;
    job->policy.onError = ErrorPolicy::Skip;
    job->clock.beforeBlock = [&](int block) {
        if (block == 2)
            truncate(source.c_str(), 1048576 + 10);
    };
    job->Run({source}, {dir / "d"});
    EXPECT_EQ(job->ctx.state.counters.skips, 1u);
    EXPECT_LE(test::FileSize(dir / "d/f"), 2u * 1048576);
}

TEST_F(Policies, VerificationRereadsAFlakyBlockAndPublishesAnAgreeingRead) {
    const std::string source = Make("f", 2 * 1048576 + 77, 4);
    int reads = 0;
    std::mutex lock;
    FaultScope scope([&](fault::Op op, int fd, uint64_t offset, uint8_t* data, uint32_t n) {
        std::lock_guard<std::mutex> guard(lock);
        // The first read of the second block comes back with two bytes swapped: the same sum.
        if (op == fault::Op::Read && offset == 1048576 && PathOf(fd) == source && n > 2 &&
            reads++ == 0)
            std::swap(data[0], data[1]);
        return 0;
    });
    job->policy.verify = true;
    job->policy.onError = ErrorPolicy::Retry;
    job->Run({source}, {dir / "d"});
    EXPECT_EQ(job->ctx.state.counters.retries, 1u);
    EXPECT_TRUE(test::ReadFile(dir / "d/f") == test::ReadFile(source));
}

TEST_F(Policies, VerificationReadsBackWhatWasWritten) {
    const std::string source = Make("f", 1048576 + 5, 5);
    const std::string dest = dir / "d/f";
    int corrupted = 0;
    std::mutex lock;
    FaultScope scope([&](fault::Op op, int fd, uint64_t, uint8_t* data, uint32_t n) {
        std::lock_guard<std::mutex> guard(lock);
        if (op == fault::Op::Read && PathOf(fd) == dest && n > 0 && corrupted++ == 0)
            data[n - 1] ^= 0x40;
        return 0;
    });
    job->policy.verify = true;
    job->Run({source}, {dir / "d"});
    const auto prompts = job->host.Prompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].error.step, ErrorStep::WriteVerify);
    EXPECT_EQ(prompts[0].error.path, dest);
    // The only destination gave the file up, so the reader leaves the rest of it, once; the
    // copy the job made goes again, so that no part of it passes for the file.
    EXPECT_EQ(job->ctx.state.counters.skips, 1u);
    EXPECT_FALSE(fsys::exists(dest));
    EXPECT_FALSE(fsys::exists(dest + ".RedoDori"));
    EXPECT_EQ(job->ctx.state.counters.filesFailed, 1u);
    EXPECT_EQ(job->ctx.state.counters.filesCompleted, 0u);
}

TEST_F(Policies, MoveWithinOneFileSystemRenames) {
    const std::string source = Make("m", 5000);
    struct stat before {};
    stat(source.c_str(), &before);
    job->policy.mode = JobMode::Move;
    job->policy.writeBurst = true;
    job->Run({source}, {dir / "d"});
    struct stat after {};
    ASSERT_EQ(stat((dir / "d/m").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_FALSE(fsys::exists(source));
    EXPECT_EQ(job->ctx.state.counters.transferredBytes, 0u);
}

TEST_F(Policies, MoveAcrossFileSystemsRemovesTheSourceOnlyWhenCopied) {
    struct stat shm {
    }, tmp{};
    if (stat("/dev/shm", &shm) != 0 || stat(dir.Path().c_str(), &tmp) != 0 ||
        shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "needs /dev/shm on another file system";
    test::TempDir other;  // may still share the device; the move then renames
    std::string shmDir = "/dev/shm/redodori-move-" + std::to_string(getpid());
    fsys::create_directories(shmDir);
    const std::string source = Make("m", 3 * 1048576 + 3, 6);
    const std::string data = test::ReadFile(source);
    job->policy.mode = JobMode::Move;
    job->Run({source}, {shmDir});
    EXPECT_TRUE(test::ReadFile(shmDir + "/m") == data);
    EXPECT_FALSE(fsys::exists(source));

    // A destination that fails: the source stays.
    Fresh();
    const std::string kept = Make("k", 2 * 1048576, 7);
    fsys::create_directories(shmDir + "/k");  // a folder in the way
    job->policy.mode = JobMode::Move;
    job->policy.onError = ErrorPolicy::Skip;
    job->Run({kept}, {shmDir});
    EXPECT_TRUE(fsys::exists(kept));
    EXPECT_TRUE(test::ReadFile(kept) == Pattern(2 * 1048576, 7));
    fsys::remove_all(shmDir);
}

TEST_F(Policies, MovedSourceStaysWhenAnyDestinationFails) {
    for (int32_t parallel : {0, 1}) {
        SCOPED_TRACE(parallel);
        Fresh();
        const std::string source = Make("m" + std::to_string(parallel), 3 * 1048576, 8);
        const std::string name = "m" + std::to_string(parallel);
        const std::string bad = dir / ("bad" + std::to_string(parallel));
        FaultScope scope([&](fault::Op op, int fd, uint64_t offset, uint8_t*, uint32_t) {
            return op == fault::Op::Write && offset == 2 * 1048576 && PathOf(fd) == bad + "/" + name
                       ? ENOSPC
                       : 0;
        });
        job->policy.mode = JobMode::Move;
        job->policy.parallel = parallel;
        job->policy.onError = ErrorPolicy::Skip;
        job->Run({source}, {dir / ("good" + std::to_string(parallel)), bad});
        EXPECT_TRUE(fsys::exists(source));
        EXPECT_TRUE(test::ReadFile(dir / ("good" + std::to_string(parallel) + "/" + name)) ==
                    test::ReadFile(source));
    }
}

TEST_F(Policies, MoveToTwoDestinationsRemovesTheSourceAfterBoth) {
    const std::string source = Make("two", 2 * 1048576 + 1, 2);
    const std::string data = test::ReadFile(source);
    job->policy.mode = WithWipePasses(JobMode::Move, 1);
    job->policy.parallel = true;
    job->Run({source}, {dir / "a", dir / "b"});
    EXPECT_TRUE(test::ReadFile(dir / "a/two") == data);
    EXPECT_TRUE(test::ReadFile(dir / "b/two") == data);
    EXPECT_FALSE(fsys::exists(source));
}

// One destination keeps its own file: the source has a copy in only one place and stays.
TEST_F(Policies, MoveToTwoDestinationsWhereOneKeepsItsFileKeepsTheSource) {
    const std::string source = Make("kept", 300000, 4);
    const std::string data = test::ReadFile(source);
    for (bool parallel : {false, true}) {
        SCOPED_TRACE(parallel ? "parallel" : "serial");
        fsys::remove_all(dir / "a");
        fsys::create_directories(dir / "b");
        test::WriteFile(dir / "b/kept", "theirs");
        Fresh();
        job->policy.mode = JobMode::Move;
        job->policy.onExist = ExistsPolicy::Skip;
        job->policy.parallel = parallel;
        job->Run({source}, {dir / "a", dir / "b"});
        EXPECT_TRUE(test::ReadFile(source) == data);
        EXPECT_TRUE(test::ReadFile(dir / "a/kept") == data);
        EXPECT_EQ(test::ReadFile(dir / "b/kept"), "theirs");
    }
}

TEST_F(Policies, MovedFoldersGoDeepestFirstAndSkippedFilesKeepTheirs) {
    fsys::create_directories(Src("tree/sub/deeper"));
    Make("tree/sub/deeper/a", 100);
    Make("tree/b", 200);
    fsys::create_directories(dir / "d/tree");
    test::WriteFile(dir / "d/tree/b", "existing");
    job->policy.mode = JobMode::Move;
    job->policy.onExist = ExistsPolicy::Skip;
    job->Run({Src("tree")}, {dir / "d"});
    EXPECT_FALSE(fsys::exists(Src("tree/sub")));
    EXPECT_TRUE(fsys::exists(Src("tree/b")));
    EXPECT_EQ(test::ReadFile(dir / "d/tree/b"), "existing");
    EXPECT_TRUE(fsys::exists(dir / "d/tree/sub/deeper/a"));
}

TEST_F(Policies, ZeroLengthFilesToThreeDestinationsWithOneSkipped) {
    const std::string source = Make("empty", 0);
    fsys::create_directories(dir / "b");
    test::WriteFile(dir / "b/empty", "keep");
    job->policy.onExist = ExistsPolicy::Skip;
    job->Run({source}, {dir / "a", dir / "b", dir / "c"});
    EXPECT_EQ(test::ReadFile(dir / "a/empty"), "");
    EXPECT_EQ(test::ReadFile(dir / "b/empty"), "keep");
    EXPECT_EQ(test::ReadFile(dir / "c/empty"), "");
    EXPECT_TRUE(fsys::exists(dir / "c/empty"));
}

TEST_F(Policies, DeleteJobRemovesFilesAndFolders) {
    fsys::create_directories(Src("gone/inner"));
    Make("gone/inner/x", 5000);
    Make("gone/y", 7);
    job->policy.mode = JobMode::Delete;
    job->Run({Src("gone")}, {});
    EXPECT_FALSE(fsys::exists(Src("gone")));
    EXPECT_EQ(job->ctx.state.counters.transferredBytes, 5007u);
}

TEST_F(Policies, MissingSourceAsksThenSkips) {
    const std::string source = Make("vanishing", 10);
    job->policy.onError = ErrorPolicy::Prompt;
    job->clock.beforeBlock = nullptr;
    // The source goes after it was listed and before it is opened.
    job->host.queue.Add(source);
    JobThread thread(job->ctx);
    job->ctx.state.SetPaused(true);
    job->Start(thread, {dir / "d"});
    while (job->host.Steps("ListComplete").empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    fsys::remove(source);
    job->ctx.state.SetPaused(false);
    ASSERT_TRUE(job->host.WaitForEnd(std::chrono::seconds(60)));
    thread.Join();
    const auto prompts = job->host.Prompts();
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].error.step, ErrorStep::OpenSource);
    EXPECT_EQ(prompts[0].error.error, ENOENT);
    EXPECT_EQ(prompts[0].error.path, source);
    EXPECT_EQ(job->ctx.state.counters.skips, 1u);
    EXPECT_FALSE(fsys::exists(dir / "d/vanishing"));
}

}  // namespace
}  // namespace rd
