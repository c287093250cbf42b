#include "engine/manifest_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "engine/engine_context.h"
#include "platform/manifest_format.h"
#include "test_host.h"
#include "test_support.h"

namespace rd {
namespace {

// Keeps positions in memory, and counts the saves.
class MemoryPositions : public CheckPositions {
public:
    std::optional<CheckPosition> Load(const std::string& key) override {
        const auto it = kept.find(key);
        return it == kept.end() ? std::nullopt : std::optional<CheckPosition>(it->second);
    }
    void Save(const std::string& key, const CheckPosition& position) override {
        kept[key] = position;
        ++saves;
    }
    void Forget(const std::string& key) override { kept.erase(key); }

    std::map<std::string, CheckPosition> kept;
    int saves = 0;
};

constexpr char kHelloHash[] = "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";

class ManifestCheckTest : public ::testing::Test {
protected:
    // Runs a check of `manifests`, as a job of them would.
    void Check(const std::vector<std::string>& manifests) {
        test::TestHost host;
        for (const std::string& manifest : manifests)
            host.queue.Add(manifest);
        JobPolicy policy;
        ctx = std::make_unique<EngineContext>(policy, host, host.queue);
        ctx->checkPositions = &positions;
        ManifestCheck(*ctx).Run();
        for (const NodeOutcome& outcome : ctx->outcomes.Kept())
            named.push_back(Describe(outcome));
    }
    std::string Manifest(const std::string& name, const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        test::WriteFile(dir / name, text);
        return dir / name;
    }
    std::string Line(const std::string& path) { return std::string(kHelloHash) + "  " + path; }

    test::TempDir dir;
    MemoryPositions positions;
    std::unique_ptr<EngineContext> ctx;
    std::vector<std::string> named;
};

TEST_F(ManifestCheckTest, EachListedFileIsGoodMismatchedMissingOrUnreadable) {
    ASSERT_EQ(mkdir((dir / "tree").c_str(), 0700), 0);
    test::WriteFile(dir / "tree/good", "hello");
    test::WriteFile(dir / "tree/bad", "hellO");
    test::WriteFile(dir / "outside", "hello");
    ASSERT_EQ(symlink("../outside", (dir / "tree/out").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "tree/fifo").c_str(), 0600), 0);
    const std::string m = dir / "tree/m.sha256";
    Manifest("tree/m.sha256", {Line("good"), Line("bad"), Line("gone"), Line("out"), Line("fifo"),
                               Line("../outside"), "junk"});
    Check({m});
    EXPECT_EQ(ctx->check.good, 1u);
    EXPECT_EQ(ctx->check.mismatched, 1u);
    EXPECT_EQ(ctx->check.missing, 1u);
    // The link out of the folder is not followed, and the fifo does not hold the check.
    EXPECT_EQ(ctx->check.unreadable, 2u);
    EXPECT_EQ(ctx->check.linesSkipped, 2u);
    EXPECT_EQ(ctx->check.unusable, 0u);
    const std::string tree = dir / "tree/";
    for (const std::string& line :
         {tree + "bad: failed, its checksum is not the manifest's", tree + "gone: missing",
          tree + "fifo: unreadable, not a regular file",
          tree + "out: unreadable, it leads out of the manifest's folder, which is not followed"})
        EXPECT_NE(std::find(named.begin(), named.end(), line), named.end()) << line;
    // A check that ran to its end keeps nothing.
    EXPECT_TRUE(positions.kept.empty());
}

// Many entries are looked at by several threads before the reading: each keeps its own size
// and finding, whichever thread looked at it.
TEST_F(ManifestCheckTest, ManyEntriesKeepTheirSizesAndFindings) {
    std::vector<std::string> lines;
    uint64_t bytes = 0;
    for (int i = 0; i < 700; ++i) {
        const std::string name = "f" + std::to_string(i);
        if (i % 7 == 3) {
            lines.push_back(Line(name));  // missing
            continue;
        }
        test::WriteFile(dir / name, i % 11 == 5 ? "hellO" : "hello");
        bytes += 5;
        lines.push_back(Line(name));
    }
    Check({Manifest("m.sha256", lines)});
    EXPECT_EQ(ctx->check.missing, 100u);
    EXPECT_EQ(ctx->check.mismatched, 55u);
    EXPECT_EQ(ctx->check.good, 545u);
    EXPECT_EQ(ctx->state.counters.listedBytes, bytes);
}

TEST_F(ManifestCheckTest, UnusableManifests) {
    test::WriteFile(dir / "plain.txt", Line("a") + "\n");
    Manifest("junk.md5", {"junk"});
    Check({dir / "plain.txt", dir / "junk.md5", dir / "none.sha1"});
    EXPECT_EQ(ctx->check.unusable, 3u);
    EXPECT_EQ(ctx->check.linesSkipped, 1u);
    EXPECT_EQ(ctx->state.counters.listedFiles, 0u);
}

TEST_F(ManifestCheckTest, AResumedCheckReadsOnlyWhatWasNotDone) {
    for (const char* name : {"one", "two", "three", "four"})
        test::WriteFile(dir / name, "hello");
    const std::string m =
        Manifest("m.sha256", {Line("one"), Line("two"), Line("three"), Line("four")});
    struct stat st {};
    ASSERT_EQ(stat(m.c_str(), &st), 0);
    // An earlier run did the first two and found the second one mismatched; both have changed
    // since, which a resumed check does not see: it does not read them again.
    positions.kept[ManifestKey(m, st)] = {2, {{CheckFindingKind::Mismatch, 0, 1, "two"}}};
    test::WriteFile(dir / "one", "changed");
    test::WriteFile(dir / "two", "hello");
    test::WriteFile(dir / "four", "changed");
    Check({m});
    EXPECT_EQ(ctx->check.good, 2u);
    EXPECT_EQ(ctx->check.mismatched, 2u);
    EXPECT_EQ(named,
              (std::vector<std::string>{dir / "two: failed, its checksum is not the manifest's",
                                        dir / "four: failed, its checksum is not the manifest's"}));
    EXPECT_EQ(ctx->state.counters.filesDone, 4u);
    EXPECT_TRUE(positions.kept.empty());
}

TEST_F(ManifestCheckTest, AnEditedManifestStartsOver) {
    test::WriteFile(dir / "one", "hello");
    const std::string m = Manifest("m.sha256", {Line("one")});
    struct stat st {};
    ASSERT_EQ(stat(m.c_str(), &st), 0);
    positions.kept[ManifestKey(m, st)] = {1, {{CheckFindingKind::Missing, 0, 0, "one"}}};
    Manifest("m.sha256", {Line("one"), Line("one")});
    Check({m});
    EXPECT_EQ(ctx->check.good, 2u);
    EXPECT_EQ(ctx->check.missing, 0u);
}

TEST_F(ManifestCheckTest, AnAbortedCheckKeepsItsPosition) {
    test::WriteFile(dir / "one", "hello");
    const std::string m = Manifest("m.sha256", {Line("one")});
    struct stat st {};
    ASSERT_EQ(stat(m.c_str(), &st), 0);
    test::TestHost host;
    host.queue.Add(m);
    JobPolicy policy;
    EngineContext context(policy, host, host.queue);
    context.checkPositions = &positions;
    context.state.BeginEnd();
    ManifestCheck(context).Run();
    EXPECT_EQ(positions.kept[ManifestKey(m, st)], (CheckPosition{0, {}}));
}

}  // namespace
}  // namespace rd
