#include "engine/file_identity.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "test_support.h"

namespace rd {
namespace {

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// Which changes to a source between its opening and its check count as a change: every one that
// alters what the copy should hold or which file the path names; reading it does not.
TEST(FileIdentity, WhatCountsAsChanged) {
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> change;
        IdentityChange expected;
    } cases[] = {
        {"Read", [](const std::string& p) { (void)test::ReadFile(p); }, IdentityChange::None},
        // Setting a time by hand moves the change time too.
        {"AccessTimeSetByHand",
         [](const std::string& p) {
             const timespec times[2] = {{1000, 0}, {0, UTIME_OMIT}};
             utimensat(AT_FDCWD, p.c_str(), times, 0);
         },
         IdentityChange::Changed},
        {"Grown",
         [](const std::string& p) {
             const int fd = open(p.c_str(), O_WRONLY | O_APPEND);
             (void)write(fd, "more", 4);
             close(fd);
         },
         IdentityChange::Resized},
        {"CutShort", [](const std::string& p) { (void)truncate(p.c_str(), 3); },
         IdentityChange::Resized},
        {"WrittenInPlace",
         [](const std::string& p) {
             const int fd = open(p.c_str(), O_WRONLY);
             (void)pwrite(fd, "X", 1, 2);
             const timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 5}};
             futimens(fd, later);
             close(fd);
         },
         IdentityChange::Modified},
        {"WrittenKeepingItsTime",
         [](const std::string& p) {
             const struct stat before = StatOf(p);
             const int fd = open(p.c_str(), O_WRONLY);
             (void)pwrite(fd, "X", 1, 2);
             const timespec same[2] = {{0, UTIME_OMIT}, before.st_mtim};
             futimens(fd, same);
             close(fd);
         },
         IdentityChange::Changed},
        {"PermissionsChanged", [](const std::string& p) { chmod(p.c_str(), 0600); },
         IdentityChange::Changed},
        {"ReplacedByAtomicSave",
         [](const std::string& p) {
             test::WriteFile(p + ".tmp", "0123456789");
             rename((p + ".tmp").c_str(), p.c_str());
         },
         IdentityChange::Replaced},
        {"Removed", [](const std::string& p) { unlink(p.c_str()); }, IdentityChange::Replaced},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const std::string path = dir / "f";
        test::WriteFile(path, "0123456789");
        chmod(path.c_str(), 0644);
        const int fd = open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        struct stat opened {};
        ASSERT_EQ(fstat(fd, &opened), 0);
        const FileIdentity identity = IdentityOf(opened);
        // The change time has a granularity of the clock's tick: make sure the change moves it.
        usleep(20000);
        c.change(path);
        EXPECT_EQ(PathNow(identity, path), c.expected) << c.name;
        close(fd);
    }
}

}  // namespace
}  // namespace rd
