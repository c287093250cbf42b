// What a job never does to files it was not asked to touch: a destination that is the source
// itself, links standing in a destination's place, a delete that cannot finish, ".." in a
// source; and what is told when metadata cannot be given to a copy.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/file_metadata.h"
#include "engine/outcome.h"
#include "job_fixture.h"

namespace rd {
namespace {

namespace fsys = std::filesystem;
using test::Pattern;

// The paths the job named for `cause`, in the order it named them.
std::vector<std::string> Named(const EngineContext& ctx, OutcomeCause cause) {
    std::vector<std::string> out;
    for (const NodeOutcome& node : ctx.outcomes.Kept()) {
        if (node.cause == cause)
            out.push_back(node.path);
    }
    return out;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& entry : fsys::directory_iterator(folder))
        out.push_back(entry.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

using NoLoss = test::JobTest;

// Every way to reach the source itself: its own folder, a link to that folder, a ".." through a
// folder the job makes, and a folder of hard links to the same files. Whatever the policy or
// the answer, serial or parallel, copy or move, the source stays whole and where it is.
TEST_F(NoLoss, ADestinationThatIsTheSourceItselfIsSkippedCountedAndNamed) {
    fsys::create_directory_symlink(dir / "src", dir / "via");
    fsys::create_directories(dir / "src/made");
    const std::string content = Pattern(70000, 3);
    const std::string routes[] = {"src", "via", "src/made/..", "hard"};
    const ExistsPolicy policies[] = {ExistsPolicy::Prompt,
                                     ExistsPolicy::Overwrite,
                                     ExistsPolicy::Skip,
                                     ExistsPolicy::TryResume,
                                     ExistsPolicy::RenameOld,
                                     ExistsPolicy::OverwriteOlder,
                                     ExistsPolicy::OverwriteOlder | ExistsPolicy::TryResume,
                                     ExistsPolicy::TryResume | ExistsPolicy::Overwrite};
    for (const std::string& route : routes) {
        for (ExistsPolicy policy : policies) {
            for (bool parallel : {false, true}) {
                for (bool move : {false, true}) {
                    SCOPED_TRACE(route + " policy " + std::to_string(static_cast<int32_t>(policy)) +
                                 (parallel ? " parallel" : " serial") + (move ? " move" : ""));
                    test::WriteFile(Src("f"), content);
                    test::WriteFile(Src("empty"), "");
                    fsys::remove(Src("l"));
                    fsys::create_symlink("f", Src("l"));
                    if (route == "hard") {
                        fsys::remove_all(dir / "hard");
                        fsys::create_directories(dir / "hard");
                        for (const char* name : {"f", "empty", "l"})
                            fsys::create_hard_link(Src(name), dir / ("hard/" + std::string(name)));
                    }
                    Fresh();
                    job->policy.onExist = policy;
                    job->policy.parallel = parallel;
                    job->policy.mode = move ? JobMode::Move : JobMode::Copy;
                    // The answer that would destroy it, were it asked.
                    job->host.SetExistsAnswer([](const test::TestHost::PromptRecord&) {
                        return ExistsAnswer::Overwrite;
                    });
                    job->Run({Src("f"), Src("empty"), Src("l")}, {dir / route});

                    EXPECT_TRUE(test::ReadFile(Src("f")) == content);
                    EXPECT_TRUE(fsys::is_regular_file(Src("empty")));
                    EXPECT_EQ(fsys::read_symlink(Src("l")), "f");
                    EXPECT_EQ(Names(dir / "src"),
                              (std::vector<std::string>{"empty", "f", "l", "made"}));
                    EXPECT_TRUE(job->host.Prompts().empty());
                    EXPECT_EQ(job->ctx.state.counters.skips, 3u);
                    EXPECT_EQ(Named(job->ctx, OutcomeCause::DestinationIsSource).size(), 3u);
                }
            }
        }
    }
}

// A link planted where a copy is to go is an existing file like any other: skipping keeps it,
// overwriting replaces the link, renaming moves the link aside. What it points at is never
// read, written or given other permissions.
TEST_F(NoLoss, ALinkInTheDestinationsPlaceIsNeverFollowed) {
    struct Case {
        ExistsPolicy policy;
        ExistsAnswer answer;  // to the question, when the policy asks
        bool replaced;
        bool renamed;
    };
    const Case cases[] = {
        {ExistsPolicy::Skip, ExistsAnswer::Skip, false, false},
        {ExistsPolicy::Overwrite, ExistsAnswer::Skip, true, false},
        {ExistsPolicy::TryResume | ExistsPolicy::Overwrite, ExistsAnswer::Skip, true, false},
        {ExistsPolicy::TryResume, ExistsAnswer::Skip, false, false},
        {ExistsPolicy::RenameOld, ExistsAnswer::Skip, true, true},
        {ExistsPolicy::Prompt, ExistsAnswer::Skip, false, false},
        {ExistsPolicy::Prompt, ExistsAnswer::Overwrite, true, false},
    };
    const std::string outside = dir / "outside";
    // The link is there before the job, or comes between the walk and the copy.
    for (const Case& c : cases) {
        for (bool parallel : {false, true}) {
            for (auto [size, late] : {std::pair{size_t{0}, false}, std::pair{size_t{70000}, false},
                                      std::pair{size_t{0}, true}, std::pair{size_t{70000}, true}}) {
                SCOPED_TRACE("policy " + std::to_string(static_cast<int32_t>(c.policy)) +
                             " answer " + std::to_string(static_cast<int>(c.answer)) + " size " +
                             std::to_string(size) + (parallel ? " parallel" : " serial") +
                             (late ? " after the walk" : ""));
                const std::string source = Make("f", size, 5);
                fsys::remove_all(dir / "d");
                fsys::create_directories(dir / "d");
                chmod(outside.c_str(), 0600);
                test::WriteFile(outside, "outside");
                chmod(outside.c_str(), 0444);
                const auto plant = [&] { fsys::create_symlink(outside, dir / "d/f"); };
                if (!late)
                    plant();
                Fresh();
                if (late)
                    job->host.afterStep = [&](const std::string& step) {
                        if (step == "ListComplete")
                            plant();
                    };
                job->policy.onExist = c.policy;
                job->policy.parallel = parallel;
                const ExistsAnswer answer = c.answer;
                job->host.SetExistsAnswer(
                    [answer](const test::TestHost::PromptRecord&) { return answer; });
                job->Run({source}, {dir / "d"});

                EXPECT_EQ(test::ReadFile(outside), "outside");
                EXPECT_EQ(ModeOf(outside) & 07777, 0444u);
                if (c.replaced) {
                    EXPECT_TRUE(fsys::is_regular_file(fsys::symlink_status(dir / "d/f")));
                    EXPECT_TRUE(test::ReadFile(dir / "d/f") == test::ReadFile(source));
                } else {
                    EXPECT_EQ(fsys::read_symlink(dir / "d/f"), outside);
                }
                EXPECT_EQ(fsys::is_symlink(dir / "d/vn_rename.f"), c.renamed);
            }
        }
    }
}

TEST_F(NoLoss, AResumeMarkerIsNeverWrittenThroughALink) {
    const std::string outside = dir / "outside";
    const std::string source = Make("big", 5 * 1048576 + 3, 7);
    for (bool parallel : {false, true}) {
        SCOPED_TRACE(parallel ? "parallel" : "serial");
        fsys::remove_all(dir / "d");
        fsys::create_directories(dir / "d");
        test::WriteFile(outside, "secret");
        fsys::create_symlink(outside, dir / "d/big.RedoDori");
        Fresh();
        job->policy.reserve = true;
        job->policy.bufferSize = 6;
        job->policy.parallel = parallel;
        job->Run({source}, {dir / "d"});
        EXPECT_EQ(test::ReadFile(outside), "secret");
        EXPECT_TRUE(test::ReadFile(dir / "d/big") == test::ReadFile(source));
        EXPECT_FALSE(fsys::exists(fsys::symlink_status(dir / "d/big.RedoDori")));
    }
}

TEST_F(NoLoss, DeleteCountsAndNamesWhatItCouldNotRemove) {
    Make("gone/a", 100);
    Make("gone/sub/b", 200);
    // A file that arrives after the tree was listed keeps its folders.
    job->host.afterStep = [this](const std::string& step) {
        if (step == "OptionsLocked")
            test::WriteFile(Src("gone/sub/late"), "late");
    };
    job->policy.mode = JobMode::Delete;
    job->Run({Src("gone")}, {});

    EXPECT_EQ(Names(Src("gone")), std::vector<std::string>{"sub"});
    EXPECT_EQ(Names(Src("gone/sub")), std::vector<std::string>{"late"});
    EXPECT_EQ(job->ctx.state.counters.skips, 2u);
    EXPECT_EQ(Named(job->ctx, OutcomeCause::CannotRemove),
              (std::vector<std::string>{Src("gone/sub"), Src("gone")}));
}

TEST_F(NoLoss, SourcesAreTakenInTheirPlainForm) {
    Make("tree/sub/x", 10);
    Make("tree/y", 20);
    for (const char* given : {"tree/sub/..", "tree/./sub/../", "tree//sub/x/../.."}) {
        SCOPED_TRACE(given);
        fsys::remove_all(dir / "d");
        Fresh();
        job->Run({Src(given)}, {dir / "d/in"});
        // Nothing lands beside the destination.
        EXPECT_EQ(Names(dir / "d"), std::vector<std::string>{"in"});
        test::ExpectSameTree(Src("tree"), dir / "d/in/tree");
    }
}

TEST(FileMetadata, WhatCannotBeGivenIsToldAndWhatTheFileSystemLacksIsNot) {
    test::TempDir dir;
    test::WriteFile(dir / "f", "x");
    const int fd = open((dir / "f").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    FileMetadata meta;
    // A name space no file system has.
    meta.xattrs = {{"nosuchspace.x", "v"}};
    EXPECT_EQ(ApplyOwnerAndXattrs(fd, meta), 0);
    // A value larger than any file system takes.
    meta.xattrs = {{"user.big", std::string(70000, 'v')}};
    EXPECT_EQ(ApplyOwnerAndXattrs(fd, meta), E2BIG);
    close(fd);
}

}  // namespace
}  // namespace rd
