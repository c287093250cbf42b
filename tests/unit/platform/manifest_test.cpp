#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_hash.h"
#include "platform/manifest_format.h"

namespace rd {
namespace {

std::string Digest(HashKind kind, const std::string& data, size_t piece) {
    FileHasher hasher(kind);
    for (size_t i = 0; i < data.size(); i += piece)
        hasher.Update(data.data() + i, std::min(piece, data.size() - i));
    return hasher.HexDigest();
}

// The digests `xxhsum -H2`, `sha256sum`, `sha512sum`, `sha1sum` and `md5sum` print for "abc".
TEST(FileHasher, GivesWhatTheToolsPrintHoweverTheDataIsCut) {
    const std::string abc = "abc";
    for (size_t piece : {1u, 2u, 3u}) {
        EXPECT_EQ(Digest(HashKind::Xxh128, abc, piece), "06b05ab6733a618578af5f94892f3950");
        EXPECT_EQ(Digest(HashKind::Sha256, abc, piece),
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(Digest(HashKind::Sha1, abc, piece), "a9993e364706816aba3e25717850c26c9cd0d89d");
        EXPECT_EQ(Digest(HashKind::Md5, abc, piece), "900150983cd24fb0d6963f7d28e17f72");
    }
    EXPECT_EQ(Digest(HashKind::Sha512, abc, 3).size(), 128u);
    EXPECT_EQ(Digest(HashKind::Sha256, "", 1),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(FileHasher, AManifestsKindIsItsExtension) {
    EXPECT_EQ(HashKindOfName("RedoDori-20261209-120000-3.xxh128"), HashKind::Xxh128);
    EXPECT_EQ(HashKindOfName("photos.sha256"), HashKind::Sha256);
    EXPECT_EQ(HashKindOfName("old.md5"), HashKind::Md5);
    EXPECT_EQ(HashKindOfName("a.sha512"), HashKind::Sha512);
    EXPECT_EQ(HashKindOfName(".sha1"), std::nullopt);
    EXPECT_EQ(HashKindOfName("notes.txt"), std::nullopt);
    EXPECT_EQ(HashHexLength(HashKind::Sha1), 40u);
}

// Lines as coreutils writes them: a backslash or a line break in a name is escaped behind a
// leading backslash.
TEST(ManifestLine, EscapesAsCoreutilsDoes) {
    EXPECT_EQ(ManifestLine("ab", "a b/c.txt"), "ab  a b/c.txt\n");
    EXPECT_EQ(ManifestLine("ab", "a\\b"), "\\ab  a\\\\b\n");
    EXPECT_EQ(ManifestLine("ab", "new\nline"), "\\ab  new\\nline\n");
}

TEST(ReadManifest, ReadsWhatItWritesForEveryName) {
    const std::vector<std::string> names = {"plain",     "with space/x", "a\\b",    "new\nline",
                                            "tab\there", "été/★",        "cr\rname"};
    std::string text;
    for (const std::string& name : names)
        text += ManifestLine("0123456789abcdef0123456789abcdef", name);
    const ManifestReading reading = ReadManifest(text, 32);
    ASSERT_EQ(reading.entries.size(), names.size());
    EXPECT_TRUE(reading.skipped.empty());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(reading.entries[i].path, names[i]);
        EXPECT_EQ(reading.entries[i].line, i + 1);
    }
}

struct LineCase {
    const char* line;
    const char* path;  // null: skipped
    const char* why;
};

class ManifestLines : public testing::TestWithParam<LineCase> {};

TEST_P(ManifestLines, EachLineIsTakenOrNamedWithWhy) {
    const LineCase& c = GetParam();
    const ManifestReading reading = ReadManifest(std::string(c.line, std::strlen(c.line)), 8);
    if (c.path) {
        ASSERT_EQ(reading.entries.size(), 1u) << c.line;
        EXPECT_EQ(reading.entries[0].path, c.path);
        EXPECT_EQ(reading.entries[0].hash, "0123abcd");
    } else {
        ASSERT_EQ(reading.skipped.size(), 1u) << c.line;
        EXPECT_EQ(reading.skipped[0].why, c.why);
        EXPECT_EQ(reading.skipped[0].line, 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ManifestLines,
    testing::Values(
        LineCase{"0123abcd  a.txt\n", "a.txt", ""}, LineCase{"0123ABCD *bin.dat\n", "bin.dat", ""},
        LineCase{"0123abcd  crlf.txt\r\n", "crlf.txt", ""},
        LineCase{"0123abcd  ./here/x", "./here/x", ""},
        LineCase{"0123abcd  dots..name", "dots..name", ""},
        LineCase{"0123abc  short", nullptr, "not a checksum line"},
        LineCase{"0123abcg  nothex", nullptr, "not a checksum line"},
        LineCase{"0123abcd one-space", nullptr, "not a checksum line"},
        LineCase{"0123abcd  ", nullptr, "not a checksum line"},
        LineCase{"SHA256 (a) = 0123abcd", nullptr, "not a checksum line"},
        LineCase{"\\0123abcd  bad\\tescape", nullptr, "an escape that is not \\\\, \\n or \\r"},
        LineCase{"0123abcd  /etc/passwd", nullptr, "an absolute path"},
        LineCase{"0123abcd  ../up", nullptr, "a path that reaches outside the manifest's folder"},
        LineCase{"0123abcd  a/../../up", nullptr,
                 "a path that reaches outside the manifest's folder"},
        LineCase{"0123abcd  a/..", nullptr, "a path that reaches outside the manifest's folder"}));

TEST(ReadManifest, LongLinesAndNulBytesAreNamedAndTheRestIsRead) {
    std::string text = "0123abcd  " + std::string(kMaxManifestLine, 'x') + "\n";
    text += std::string("0123abcd  nul\0name\n", 19);
    text += "\n0123abcd  good\n";
    const ManifestReading reading = ReadManifest(text, 8);
    ASSERT_EQ(reading.skipped.size(), 2u);
    EXPECT_EQ(reading.skipped[0].why, "a line longer than 64 KiB");
    EXPECT_EQ(reading.skipped[1].why, "a NUL byte");
    EXPECT_EQ(reading.skipped[1].line, 2u);
    ASSERT_EQ(reading.entries.size(), 1u);
    EXPECT_EQ(reading.entries[0].path, "good");
    EXPECT_EQ(reading.entries[0].line, 4u);
}

}  // namespace
}  // namespace rd
