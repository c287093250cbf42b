// What makes a copy count as whole, and what a job leaves of one that is not: links planted in a
// copy's place on its way to the disk, sources that change while they are read, resume onto a
// start that is not the source's, and the incomplete copies of skipped and failed files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

#include "engine/engine_context.h"
#include "engine/exists_decision.h"
#include "engine/transfer.h"
#include "job_fixture.h"
#include "test_host.h"

namespace rd {
namespace {

namespace fsys = std::filesystem;
using test::FaultScope;
using test::Pattern;

using WholeCopies = test::JobTest;

constexpr uint64_t kMiB = 1048576;

// A link put where a copy is about to be opened, or opened again for its next block, is never
// written through: what it leads to keeps its content. The copy is reported, and the link is not
// taken for the job's own file and removed.
TEST_F(WholeCopies, ALinkPlantedInACopysPlaceIsNeverWrittenThrough) {
    struct Case {
        const char* name;
        uint64_t size;
        // The read of the source at this offset plants the link: before the first open, or
        // before the short last block, which opens the copy again without burst.
        uint64_t plantAt;
    } cases[] = {
        {"BeforeTheFirstOpen", 3 * kMiB + 100, 0},
        {"BeforeAReopen", 3 * kMiB + 100, 3 * kMiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        const std::string source = Make(c.name, c.size, 4);
        const std::string copy = dir / (std::string("d/") + c.name);
        const std::string victim = dir / (std::string("victim-") + c.name);
        test::WriteFile(victim, "the user's own");
        fsys::create_directories(dir / "d");
        std::atomic<bool> planted{false};
        FaultScope scope([&](fault::Op op, int fd, uint64_t offset, uint8_t*, uint32_t) {
            if (op == fault::Op::Read && offset == c.plantAt && test::PathOf(fd) == source &&
                !planted.exchange(true)) {
                unlink(copy.c_str());
                symlink(victim.c_str(), copy.c_str());
            }
            return 0;
        });
        // Burst writing sends the data through the buffers, where the reads can be watched.
        job->policy.writeBurst = true;
        job->policy.onError = ErrorPolicy::Skip;
        job->Run({source}, {dir / "d"});
        EXPECT_TRUE(planted);
        EXPECT_TRUE(test::ReadFile(victim) == "the user's own") << "the victim was written";
        EXPECT_TRUE(fsys::is_symlink(copy));
        EXPECT_EQ(job->ctx.state.counters.filesFailed, 1u);
        EXPECT_EQ(job->ctx.state.counters.filesCompleted, 0u);
    }
}

// A source that changes while it is copied is not copied whole: its copies go, a move keeps it,
// and the file counts as failed. Through the buffers and through the kernel's copy.
TEST_F(WholeCopies, ASourceThatChangesWhileItIsCopiedStaysAndLeavesNoCopy) {
    struct Case {
        const char* name;
        std::function<void(const std::string& source)> change;
    } cases[] = {
        {"Grows",
         [](const std::string& s) {
             const int fd = open(s.c_str(), O_WRONLY | O_APPEND);
             (void)write(fd, "more", 4);
             close(fd);
         }},
        {"IsReplaced",
         [](const std::string& s) {
             test::WriteFile(s + ".new", Pattern(2 * kMiB + 5, 9));
             rename((s + ".new").c_str(), s.c_str());
         }},
        {"IsWrittenInPlace",
         [](const std::string& s) {
             const int fd = open(s.c_str(), O_WRONLY);
             (void)pwrite(fd, "XY", 2, 10);
             const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
             futimens(fd, later);
             close(fd);
         }},
    };
    for (const Case& c : cases) {
        for (int32_t burst : {0, 1}) {
            SCOPED_TRACE(std::string(c.name) + (burst ? " through the buffers" : " in the kernel"));
            Fresh();
            const std::string name = c.name + std::to_string(burst);
            const std::string source = Make(name, 2 * kMiB + 5, 6);
            const std::string before = test::ReadFile(source);
            job->policy.mode = JobMode::Move;
            job->policy.writeBurst = burst;
            // Between the blocks: the first one is on its way, the second not yet read.
            job->clock.beforeBlock = [&](int block) {
                if (block == 2) {
                    usleep(20000);
                    c.change(source);
                }
            };
            // Two destinations: a move to one would rename the file instead of copying it.
            job->Run({source}, {dir / ("a" + name), dir / ("b" + name)});
            ASSERT_TRUE(fsys::exists(source));
            EXPECT_FALSE(fsys::exists(dir / ("a" + name + "/" + name)));
            EXPECT_FALSE(fsys::exists(dir / ("b" + name + "/" + name)));
            EXPECT_FALSE(fsys::exists(dir / ("a" + name + "/" + name + kMarkerSuffix)));
            EXPECT_EQ(job->ctx.state.counters.filesFailed, 1u);
            std::vector<OutcomeCause> causes;
            for (const NodeOutcome& o : job->ctx.outcomes.Kept())
                causes.push_back(o.cause);
            EXPECT_EQ(causes, std::vector<OutcomeCause>{OutcomeCause::SourceChanged});
        }
    }
}

// Nothing is appended to a destination until its whole start is known to be the source's: by a
// marker written for this very source and copy, or by reading both. The sampled bytes may agree
// where the rest does not.
TEST_F(WholeCopies, ResumeOnlyOntoAProvenStart) {
    const uint64_t size = 3 * kMiB + 7, kept = kMiB + 3;
    const std::string data = Pattern(size, 12);
    // The start of the source with every byte changed but the sampled ones.
    std::string sampledOnly = Pattern(kept, 13);
    for (uint64_t at : {uint64_t{0}, kept / 3, kept / 2, 2 * kept / 3, kept - 1})
        sampledOnly[at] = data[at];
    struct Case {
        const char* name;
        std::string start;
        ExistsPolicy policy;
        uint64_t transferred;  // read and written by the job
    } cases[] = {
        {"TheSourcesStart", data.substr(0, kept), ExistsPolicy::TryResume | ExistsPolicy::Overwrite,
         size - kept},
        {"SampledBytesOnly", sampledOnly, ExistsPolicy::TryResume | ExistsPolicy::Overwrite, size},
        // Resume alone, when the start is not the source's: the question is asked, without
        // resume among its answers; the test host skips.
        {"SampledBytesOnlyAsked", sampledOnly, ExistsPolicy::TryResume, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        const std::string source = dir / (std::string("src/") + c.name);
        test::WriteFile(source, data);
        fsys::create_directories(dir / "d");
        const std::string copy = dir / (std::string("d/") + c.name);
        test::WriteFile(copy, c.start);
        job->policy.onExist = c.policy;
        job->Run({source}, {dir / "d"});
        EXPECT_EQ(job->ctx.state.counters.transferredBytes, c.transferred);
        if (c.transferred > 0) {
            EXPECT_TRUE(test::ReadFile(copy) == data);
        } else {
            EXPECT_TRUE(test::ReadFile(copy) == c.start);
            const auto prompts = job->host.Prompts();
            ASSERT_EQ(prompts.size(), 1u);
            EXPECT_FALSE(prompts[0].exists.resumable);
        }
    }
}

// A marker vouches for the part beside it only while the source and the copy are the ones it
// was written for; otherwise the part is read and compared like any other.
TEST_F(WholeCopies, AMarkerVouchesOnlyForItsOwnSourceAndCopy) {
    const uint64_t size = 3 * kMiB + 1, written = kMiB;
    struct Case {
        const char* name;
        std::function<void(const std::string& source, const std::string& copy)> change;
        // What the job reads and writes: the rest, or the whole file written anew.
        uint64_t transferred;
    } cases[] = {
        {"Unchanged", [](const std::string&, const std::string&) {}, size - written},
        // Written where no sample looks, keeping its size: the marker no longer vouches, and
        // the comparison finds the difference.
        {"SourceWritten",
         [](const std::string& s, const std::string&) {
             const int fd = open(s.c_str(), O_WRONLY);
             (void)pwrite(fd, "Q", 1, 100);
             const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
             futimens(fd, later);
             close(fd);
         },
         size},
        // Only touched: the comparison finds the start the same and the copy goes on.
        {"SourceTouched",
         [](const std::string& s, const std::string&) {
             const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
             utimensat(AT_FDCWD, s.c_str(), later, 0);
         },
         size - written},
        // The part replaced by another file of its length: compared, found different.
        {"CopyReplaced",
         [](const std::string&, const std::string& d) {
             test::WriteFile(d + ".new", Pattern(written, 77));
             rename((d + ".new").c_str(), d.c_str());
         },
         size},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        const std::string source = Make(c.name, size, 21);
        fsys::create_directories(dir / "d");
        const std::string copy = dir / (std::string("d/") + c.name);
        // The part and its marker as an interrupted job leaves them.
        test::WriteFile(copy, test::ReadFile(source).substr(0, written));
        struct stat st {};
        ASSERT_EQ(stat(source.c_str(), &st), 0);
        const FileIdentity identity = IdentityOf(st);
        CopyDest slot;
        ASSERT_TRUE(OpenDestFile(slot, copy, written, 1, size, 0644, false, false));
        UpdateResumeMarker(slot, copy, source, "u", written, size, &identity);
        CloseDestFile(slot, false, 0, {});
        ResumeMarker marker;
        ASSERT_TRUE(ReadMarkerBeside(copy, marker));
        ASSERT_TRUE(marker.hasIdentity);
        c.change(source, copy);
        const std::string now = test::ReadFile(source);

        job->policy.onExist = ExistsPolicy::TryResume | ExistsPolicy::Overwrite;
        job->Run({source}, {dir / "d"});
        EXPECT_EQ(job->ctx.state.counters.transferredBytes, c.transferred);
        EXPECT_TRUE(test::ReadFile(copy) == now);
        EXPECT_FALSE(fsys::exists(copy + kMarkerSuffix));
    }
}

// A copy whose marker counts more than it holds lost its last blocks in a crash: it is still no
// whole file, and nothing in it is trusted. Skip-existing writes it anew.
TEST_F(WholeCopies, AMarkerThatCountsMoreThanTheCopyHoldsTrustsNothing) {
    const std::string source = Make("lost", 3 * kMiB, 41);
    fsys::create_directories(dir / "d");
    const std::string copy = dir / "d/lost";
    test::WriteFile(copy, test::ReadFile(source).substr(0, kMiB));
    test::WriteFile(copy + kMarkerSuffix, ResumeMarkerBytes(2 * kMiB, source, "k"));
    job->policy.onExist = ExistsPolicy::Skip;
    job->Run({source}, {dir / "d"});
    EXPECT_EQ(job->ctx.state.counters.transferredBytes, 3 * kMiB);
    EXPECT_TRUE(test::ReadFile(copy) == test::ReadFile(source));
    EXPECT_FALSE(fsys::exists(copy + kMarkerSuffix));
}

// What a file that is not copied whole leaves: a copy the job made goes, unless its marker lets
// a later job go on with it; a resumed file of the user's keeps its start and its new marker.
TEST_F(WholeCopies, WhatAFileLeftPartWayLeaves) {
    struct Case {
        const char* name;
        uint64_t size;
        // The destination held the source's first MiB before the job, which resumes it.
        bool existedBefore;
        bool leftBehind;
        OutcomeCause named;
    } cases[] = {
        // One block: no marker, the part goes.
        {"OneBlockMade", 512 * 1024, false, false, OutcomeCause::OperationFailed},
        // Several blocks: the part keeps its marker.
        {"SeveralBlocksMade", 3 * kMiB, false, true, OutcomeCause::LeftForResume},
        {"TheUsersStartResumed", 4 * kMiB, true, true, OutcomeCause::LeftForResume},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        const std::string source = Make(c.name, c.size, 31);
        fsys::create_directories(dir / "d");
        const std::string copy = dir / (std::string("d/") + c.name);
        if (c.existedBefore) {
            test::WriteFile(copy, test::ReadFile(source).substr(0, kMiB));
            job->policy.onExist = ExistsPolicy::TryResume;
        }
        // The write of the second block (or of the only one) fails for good.
        const uint64_t failAt = c.size <= kMiB ? 0 : c.existedBefore ? 2 * kMiB : kMiB;
        FaultScope scope([&](fault::Op op, int fd, uint64_t offset, uint8_t*, uint32_t) {
            return op == fault::Op::Write && offset == failAt && test::PathOf(fd) == copy ? EIO : 0;
        });
        job->policy.writeBurst = true;
        job->policy.onError = ErrorPolicy::Skip;
        job->Run({source}, {dir / "d"});
        EXPECT_EQ(fsys::exists(copy), c.leftBehind);
        EXPECT_EQ(fsys::exists(copy + kMarkerSuffix), c.leftBehind);
        // The marker counts what was written before the failure.
        ResumeMarker marker;
        if (c.leftBehind && ReadMarkerBeside(copy, marker)) {
            EXPECT_EQ(marker.written, failAt);
        }
        EXPECT_EQ(job->ctx.state.counters.filesFailed, 1u);
        bool named = false;
        for (const NodeOutcome& o : job->ctx.outcomes.Kept())
            named = named || o.cause == c.named;
        EXPECT_TRUE(named);
    }
}

// Which copies a job gives up are removed: only the file it made itself, still at its name and
// without a marker that keeps it for a later job; a file of the user's it wrote on is named.
TEST(FileTracker, WhichGivenUpCopiesGo) {
    struct Case {
        const char* name;
        bool created;
        bool written;
        bool marker;
        bool replaced;  // another file took the copy's name since it was opened
        bool stays;
        std::vector<OutcomeCause> named;
    } cases[] = {
        {"Made", true, true, false, false, false, {}},
        {"MadeWithMarker", true, true, true, false, true, {OutcomeCause::LeftForResume}},
        {"MadeThenReplaced", true, true, false, true, true, {}},
        {"UsersWrittenOn", false, true, false, false, true, {OutcomeCause::PartlyOverwritten}},
        {"UsersUntouched", false, false, false, false, true, {}},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        JobPolicy policy;
        test::TestHost host;
        EngineContext ctx(policy, host, host.queue);
        const std::string base = dir / "src";
        FENTRY_ node;
        node.base = &base;
        node.relative = "/f";
        node.size = 5;
        const std::string copy = dir / "f";
        test::WriteFile(copy, "12345");
        ctx.dests.ParseDestinations({dir.Path()}, host.notice);
        ASSERT_TRUE(ctx.files.Begin(1, node, {}, false, {{0, c.created}}));
        const int fd = open(copy.c_str(), O_RDONLY);
        ctx.files.Opened(1, 0);
        ctx.files.Identify(1, 0, fd);
        close(fd);
        if (c.written)
            ctx.files.Wrote(1, 0);
        if (c.marker)
            test::WriteFile(copy + kMarkerSuffix, ResumeMarkerBytes(2, node.SourcePath(), "u"));
        if (c.replaced) {
            test::WriteFile(copy + ".new", "other");
            rename((copy + ".new").c_str(), copy.c_str());
        }
        ctx.files.CopyGivenUp(1, 0, true);
        EXPECT_EQ(fsys::exists(copy), c.stays) << c.name;
        std::vector<OutcomeCause> named;
        for (const NodeOutcome& o : ctx.outcomes.Kept())
            named.push_back(o.cause);
        EXPECT_EQ(named, c.named) << c.name;
        EXPECT_EQ(ctx.state.counters.filesFailed, 1u) << c.name;
    }
}

// A job that ends with a copy under way gives it up: the copy its slot holds open goes; one its
// slot does not hold (the handle is another file's) stays, as do copies with their markers.
TEST(FileTracker, AnEndedJobGivesUpWhatIsUnderWay) {
    struct Case {
        const char* name;
        bool slotHoldsIt;
        bool marker;
        bool stays;
    } cases[] = {
        {"HeldOpen", true, false, false},
        {"AnotherFileHeld", false, false, true},
        {"HeldWithMarker", true, true, true},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        JobPolicy policy;
        test::TestHost host;
        EngineContext ctx(policy, host, host.queue);
        ctx.dests.ParseDestinations({dir.Path()}, host.notice);
        const std::string base = dir / "src";
        FENTRY_ node;
        node.base = &base;
        node.relative = "/f";
        const std::string copy = dir / "f";
        test::WriteFile(copy, "part");
        test::WriteFile(dir / "other", "other");
        if (c.marker)
            test::WriteFile(copy + kMarkerSuffix, ResumeMarkerBytes(4, node.SourcePath(), "u"));
        ASSERT_TRUE(ctx.files.Begin(7, node, {}, false, {{0, true}}));
        ctx.files.Opened(7, 0);
        ctx.dests[0].fileHandle = open((c.slotHoldsIt ? copy : dir / "other").c_str(), O_RDONLY);
        ctx.files.EndInFlight();
        close(ctx.dests[0].fileHandle);
        ctx.dests[0].fileHandle = -1;
        EXPECT_EQ(fsys::exists(copy), c.stays) << c.name;
        // Nothing begins once the job has ended.
        EXPECT_FALSE(ctx.files.Begin(8, node, {}, false, {{0, true}})) << c.name;
    }
}

// The existing-file policy never keeps an incomplete copy as if it were whole: skip goes on with
// it where it can, else writes it anew; an answer keeps what the user chose.
TEST(ExistsDecision, AnIncompleteCopyIsNeverKeptByPolicy) {
    struct Case {
        ExistsPolicy policy;
        bool partial;
        bool resumable;
        ExistsAction expected;
    } cases[] = {
        {ExistsPolicy::Skip, false, true, ExistsAction::Skip},
        {ExistsPolicy::Skip, true, true, ExistsAction::Resume},
        {ExistsPolicy::Skip, true, false, ExistsAction::Overwrite},
        {ExistsPolicy::Overwrite, true, true, ExistsAction::Overwrite},
        {ExistsPolicy::TryResume | ExistsPolicy::Skip, true, false, ExistsAction::Overwrite},
        {ExistsPolicy::Prompt, true, true, ExistsAction::Ask},
    };
    for (const Case& c : cases) {
        ExistsFacts facts;
        facts.partial = c.partial;
        facts.resumable = c.resumable;
        EXPECT_EQ(DecideExisting(c.policy, facts), c.expected)
            << static_cast<int32_t>(c.policy) << " " << c.partial << " " << c.resumable;
    }
}

}  // namespace
}  // namespace rd
