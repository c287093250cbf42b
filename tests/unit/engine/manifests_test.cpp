// The checksum manifests a job writes beside its destinations: what they list, with which hash,
// under which name, and what they leave out.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/job_manifests.h"
#include "job_fixture.h"
#include "platform/file_hash.h"
#include "platform/manifest_format.h"
#include "test_host.h"

namespace rd {
namespace {

namespace fsys = std::filesystem;
using test::FaultScope;
using test::Pattern;

using Manifests = test::JobTest;

constexpr uint64_t kMiB = 1048576;

std::string HashOf(HashKind kind, const std::string& data) {
    FileHasher hasher(kind);
    hasher.Update(data.data(), data.size());
    return hasher.HexDigest();
}

// The manifests in `folder`, by name; hidden ones too, so that a leftover is seen.
std::vector<std::string> ManifestNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fsys::directory_iterator(folder)) {
        const std::string name = e.path().filename();
        if (name.find("RedoDori-") != std::string::npos)
            names.push_back(name);
    }
    return names;
}

// The one manifest in `folder`, read: relative path → hash. Fails the test unless there is
// exactly one, with the job's name and the kind's extension, and every line is good.
std::map<std::string, std::string> ReadOnlyManifest(const std::string& folder, HashKind kind) {
    const std::vector<std::string> names = ManifestNames(folder);
    EXPECT_EQ(names.size(), 1u) << folder;
    if (names.size() != 1)
        return {};
    EXPECT_EQ(names[0].rfind("RedoDori-", 0), 0u) << names[0];
    EXPECT_EQ(HashKindOfName(names[0]), kind) << names[0];
    const ManifestReading reading =
        ReadManifest(test::ReadFile(folder + "/" + names[0]), HashHexLength(kind));
    EXPECT_TRUE(reading.skipped.empty());
    std::map<std::string, std::string> entries;
    for (const ManifestEntry& e : reading.entries)
        entries[e.path] = e.hash;
    return entries;
}

// Every file of a tree, by kind and mode, goes into each destination's manifest with the hash
// of its bytes: empty files, files of many blocks, files with holes, names a line would break.
TEST_F(Manifests, EveryWholeCopyIsListedWithTheHashOfItsBytes) {
    struct Case {
        const char* name;
        ManifestPolicy policy;
        HashKind kind;
        bool parallel;
        int destinations;
    } cases[] = {
        {"XxhSerialOne", ManifestPolicy::Xxh128, HashKind::Xxh128, false, 1},
        {"Sha256SerialTwo", ManifestPolicy::Sha256, HashKind::Sha256, false, 2},
        {"XxhParallelTwo", ManifestPolicy::Xxh128, HashKind::Xxh128, true, 2},
    };
    const std::map<std::string, std::string> files = {
        {"tree/empty", ""},
        {"tree/small", Pattern(100, 1)},
        {"tree/sub/three blocks", Pattern(3 * kMiB + 11, 2)},
        {"tree/back\\slash", Pattern(10, 3)},
        {"tree/line\nbreak", Pattern(20, 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        fsys::remove_all(dir / "src");
        for (const auto& [rel, data] : files) {
            fsys::create_directories(fsys::path(Src(rel)).parent_path());
            test::WriteFile(Src(rel), data);
        }
        // A file with a hole at its start and its end: the hash covers the zeros.
        const std::string sparse = Src("tree/holes");
        test::WriteFile(sparse, "");
        truncate(sparse.c_str(), 4 * kMiB);
        {
            std::string middle = Pattern(5000, 5);
            std::FILE* f = std::fopen(sparse.c_str(), "r+b");
            ASSERT_NE(f, nullptr);
            std::fseek(f, 2 * kMiB, SEEK_SET);
            std::fwrite(middle.data(), 1, middle.size(), f);
            std::fclose(f);
        }
        std::vector<std::string> dests;
        for (int d = 0; d < c.destinations; ++d) {
            dests.push_back(dir / ("d" + std::string(c.name) + std::to_string(d)));
            fsys::create_directories(dests.back());
        }
        job->policy.manifest = c.policy;
        job->policy.parallel = c.parallel;
        job->Run({Src("tree")}, dests);
        EXPECT_EQ(job->ctx.state.counters.skips, 0u);
        ASSERT_EQ(job->ctx.manifests.Written().size(), dests.size());
        for (const std::string& d : dests) {
            const auto listed = ReadOnlyManifest(d, c.kind);
            EXPECT_EQ(listed.size(), files.size() + 1);
            for (const auto& [rel, data] : files)
                EXPECT_EQ(listed.count(rel) ? listed.at(rel) : "", HashOf(c.kind, data)) << rel;
            EXPECT_EQ(listed.count("tree/holes") ? listed.at("tree/holes") : "",
                      HashOf(c.kind, test::ReadFile(sparse)));
        }
    }
}

// A copy resumed from what an earlier job left is hashed whole: its start is read again.
TEST_F(Manifests, AResumedCopyIsHashedWhole) {
    const std::string data = Pattern(3 * kMiB + 7, 12);
    const std::string source = Make("resumed", data.size(), 12);
    fsys::create_directories(dir / "d");
    test::WriteFile(dir / "d/resumed", data.substr(0, kMiB + 3));
    job->policy.onExist = ExistsPolicy::TryResume | ExistsPolicy::Overwrite;
    job->policy.manifest = ManifestPolicy::Sha256;
    job->Run({source}, {dir / "d"});
    EXPECT_EQ(job->ctx.state.counters.transferredBytes, data.size() - (kMiB + 3));
    const auto listed = ReadOnlyManifest(dir / "d", HashKind::Sha256);
    EXPECT_EQ(listed.count("resumed") ? listed.at("resumed") : "", HashOf(HashKind::Sha256, data));
}

// What a destination did not get whole is not in its manifest, but is in the other's; a copy
// that reads back from the disk unlike the source (verification on) is failed, left out, and a
// moved source stays.
TEST_F(Manifests, OnlyWholeCopiesAreListed) {
    const std::string a = Make("t/a", 5000, 1), b = Make("t/b", 6000, 2);
    fsys::create_directories(dir / "d1");
    fsys::create_directories(dir / "d2");
    const std::string failing = dir / "d2/t/a";
    FaultScope scope([&](fault::Op op, int fd, uint64_t, uint8_t*, uint32_t) {
        return op == fault::Op::Write && test::PathOf(fd) == failing ? EIO : 0;
    });
    job->policy.onError = ErrorPolicy::Skip;
    job->policy.manifest = ManifestPolicy::Xxh128;
    job->Run({Src("t")}, {dir / "d1", dir / "d2"});
    EXPECT_EQ(ReadOnlyManifest(dir / "d1", HashKind::Xxh128).size(), 2u);
    const auto second = ReadOnlyManifest(dir / "d2", HashKind::Xxh128);
    EXPECT_EQ(second.size(), 1u);
    EXPECT_EQ(second.count("t/b"), 1u);

    Fresh();
    const std::string copy = dir / "d3/t/a";
    fsys::create_directories(dir / "d3");
    fsys::create_directories(dir / "d4");
    std::atomic<int> copyReads{0};
    // The first read of the copy is the block's check; the second, the whole file's from the
    // disk, finds a byte the disk lost.
    FaultScope lose([&](fault::Op op, int fd, uint64_t, uint8_t* data, uint32_t n) {
        if (op == fault::Op::Read && data && n > 0 && test::PathOf(fd) == copy && ++copyReads == 2)
            data[0] ^= 1;
        return 0;
    });
    job->policy.verify = true;
    job->policy.mode = JobMode::Move;
    job->policy.manifest = ManifestPolicy::Xxh128;
    job->Run({Src("t")}, {dir / "d3", dir / "d4"});
    EXPECT_EQ(copyReads.load(), 2);
    EXPECT_TRUE(fsys::exists(a)) << "a moved source whose copy differs stays";
    EXPECT_FALSE(fsys::exists(b));
    const auto listed = ReadOnlyManifest(dir / "d3", HashKind::Xxh128);
    EXPECT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed.count("t/b"), 1u);
    EXPECT_EQ(ReadOnlyManifest(dir / "d4", HashKind::Xxh128).size(), 2u);
    bool differs = false;
    for (const NodeOutcome& o : job->ctx.outcomes.Kept())
        differs = differs || (o.cause == OutcomeCause::DiffersOnDisk && o.path == a);
    EXPECT_TRUE(differs);
}

// A move that only renames reads the file once to list it.
TEST_F(Manifests, AFileMovedByRenameIsListed) {
    const std::string data = Pattern(70000, 9);
    const std::string source = Make("m/f", data.size(), 9);
    fsys::create_directories(dir / "d");
    job->policy.mode = JobMode::Move;
    job->policy.manifest = ManifestPolicy::Sha256;
    job->Run({Src("m")}, {dir / "d"});
    EXPECT_FALSE(fsys::exists(source));
    const auto listed = ReadOnlyManifest(dir / "d", HashKind::Sha256);
    EXPECT_EQ(listed.count("m/f") ? listed.at("m/f") : "", HashOf(HashKind::Sha256, data));
}

// Names: two jobs of one second in one folder each get their own manifest; nothing hidden is
// left once they are in place; a folder that cannot take one says why, once.
TEST(JobManifests, NamesAndFailures) {
    test::TempDir dir;
    const std::string root = dir.Path();
    for (int round = 0; round < 2; ++round) {
        JobManifests manifests;
        manifests.Begin(HashKind::Sha256, 1, "20261209-101112", "77");
        EXPECT_EQ(manifests.Add(0, root, root + "/f", std::string(64, 'a')), 0);
        EXPECT_TRUE(manifests.Finish().empty());
        EXPECT_TRUE(manifests.Finish().empty()) << "a second call does nothing";
        ASSERT_EQ(manifests.Written().size(), 1u);
        EXPECT_EQ(manifests.Written()[0],
                  root + (round == 0 ? "/RedoDori-20261209-101112-77.sha256"
                                     : "/RedoDori-20261209-101112-77-2.sha256"));
    }
    std::vector<std::string> names = ManifestNames(root);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"RedoDori-20261209-101112-77-2.sha256",
                                               "RedoDori-20261209-101112-77.sha256"}));
    EXPECT_EQ(test::ReadFile(root + "/RedoDori-20261209-101112-77.sha256"),
              std::string(64, 'a') + "  f\n");

    JobManifests missing;
    missing.Begin(HashKind::Xxh128, 2, "20261209-101112", "78");
    EXPECT_EQ(missing.Add(0, root + "/gone", root + "/gone/f", std::string(32, 'b')), ENOENT);
    EXPECT_EQ(missing.Add(0, root + "/gone", root + "/gone/g", std::string(32, 'b')), 0)
        << "told once";
    EXPECT_EQ(missing.Add(1, root, root + "/f", std::string(32, 'b')), 0);
    EXPECT_TRUE(missing.Finish().empty());
    EXPECT_EQ(missing.Written(),
              (std::vector<std::string>{root + "/RedoDori-20261209-101112-78.xxh128"}));

    JobManifests off;
    off.Begin(std::nullopt, 1, "20261209-101112", "79");
    EXPECT_EQ(off.Add(0, root, root + "/f", "x"), 0);
    EXPECT_TRUE(off.Finish().empty());
    EXPECT_TRUE(off.Written().empty());
}

}  // namespace
}  // namespace rd
