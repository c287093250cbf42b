#include "app/list_file.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "platform/literal_list.h"
#include "test_support.h"

namespace rd {
namespace {

using namespace std::string_literals;

constexpr uid_t kOtherUser = 12345;
const std::string kList = "/src/a\r\n/src/b\r\n";

// Where a case puts its list: the temporary folder, the program's list folder, a folder of the
// user's own.
struct Folders {
    std::string tmp, state, own;
};

std::string Write(const std::string& path, const std::string& data) {
    test::WriteFile(path, data);
    return path;
}

std::string Link(const std::string& target, const std::string& path) {
    std::filesystem::create_symlink(target, path);
    return path;
}

std::string GiveAway(const std::string& path) {
    if (::chown(path.c_str(), kOtherUser, kOtherUser) != 0)
        throw std::runtime_error("chown " + path + ": " + std::strerror(errno));
    return path;
}

std::string Fifo(const std::string& path) {
    if (::mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("mkfifo " + path + ": " + std::strerror(errno));
    return path;
}

// A socket file that stays after its descriptor is closed.
std::string Socket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (!bound)
        throw std::runtime_error("bind " + path);
    return path;
}

std::string Sparse(const std::string& path, uint64_t size) {
    std::filesystem::resize_file(Write(path, ""), size);
    return path;
}

// A folder like /tmp, where anyone may create files, besides the temporary folder.
std::string SharedFolder(const Folders& f) {
    const std::string folder = f.own + "/shared";
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder,
                                 std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
    return folder;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

struct Case {
    const char* name;
    ListKind kind;
    std::function<std::string(const Folders&)> make;  // makes the list, returns its path
    const char* error;  // the exact message, "@" standing for the path; null: the list is read
    bool removable;
    bool needsRoot = false;
};

// Names the case in test listings.
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

const char kLinkRefused[] = "Can't use source filelist: @. It is a symbolic link";
const char kNotRegular[] = "Can't use source filelist: @. It is not a regular file";
const char kNul[] = "Can't use source filelist: @. It holds NUL bytes, so it is not a text list";
const char kTargetNul[] =
    "Can't use target filelist: @. It holds NUL bytes, so it is not a text list";

const Case kCases[] = {
    {"InTheTemporaryFolder", ListKind::kSource,
     [](const Folders& f) { return Write(f.tmp + "/job.lst", kList); }, nullptr, true},
    {"InTheProgramsListFolder", ListKind::kSource,
     [](const Folders& f) { return Write(f.state + "/vnfrm3.lst", kList); }, nullptr, true},
    {"TemporaryFolderSpelledAnotherWay", ListKind::kSource,
     [](const Folders& f) {
         std::filesystem::create_directory(f.tmp + "/sub");
         Write(f.tmp + "/job.lst", kList);
         return f.tmp + "/sub/../job.lst";
     },
     nullptr, true},
    {"TargetListInTheTemporaryFolder", ListKind::kTarget,
     [](const Folders& f) { return Write(f.tmp + "/job.dst", "/backup\r\n"); }, nullptr, true},
    {"UsersOwnFileElsewhere", ListKind::kSource,
     [](const Folders& f) { return Write(f.own + "/thesis.txt", "Chapter 1\r\nIt began.\n"); },
     nullptr, false},
    {"UsersOwnLinkElsewhere", ListKind::kSource,
     [](const Folders& f) { return Link(Write(f.own + "/real.lst", kList), f.own + "/link.lst"); },
     nullptr, false},
    {"AnotherUsersListElsewhere", ListKind::kSource,
     [](const Folders& f) { return GiveAway(Write(f.own + "/theirs.lst", kList)); }, nullptr, false,
     true},
    {"Utf16List", ListKind::kSource,
     [](const Folders& f) { return Write(f.tmp + "/wide.lst", "\xFF\xFE/\0a\0\r\0\n\0"s); },
     nullptr, true},
    {"LinkInTheTemporaryFolder", ListKind::kSource,
     [](const Folders& f) { return Link(Write(f.own + "/real.lst", kList), f.tmp + "/job.lst"); },
     kLinkRefused, false},
    {"LinkInTheProgramsListFolder", ListKind::kSource,
     [](const Folders& f) {
         return Link(Write(f.own + "/real.lst", kList), f.state + "/vnfrm3.lst");
     },
     kLinkRefused, false},
    {"AnotherUsersListInTheTemporaryFolder", ListKind::kSource,
     [](const Folders& f) { return GiveAway(Write(f.tmp + "/job.lst", kList)); },
     "Can't use source filelist: @. It belongs to another user", false, true},
    {"ListInAFolderOthersMayWriteTo", ListKind::kSource,
     [](const Folders& f) { return Write(SharedFolder(f) + "/job.lst", kList); }, nullptr, false},
    {"LinkInAFolderOthersMayWriteTo", ListKind::kSource,
     [](const Folders& f) {
         return Link(Write(f.own + "/real.lst", kList), SharedFolder(f) + "/job.lst");
     },
     kLinkRefused, false},
    {"AnotherUsersListInAFolderOthersMayWriteTo", ListKind::kSource,
     [](const Folders& f) { return GiveAway(Write(SharedFolder(f) + "/job.lst", kList)); },
     "Can't use source filelist: @. It belongs to another user", false, true},
    {"FifoInTheTemporaryFolder", ListKind::kSource,
     [](const Folders& f) { return Fifo(f.tmp + "/job.lst"); }, kNotRegular, false},
    {"FifoElsewhere", ListKind::kSource, [](const Folders& f) { return Fifo(f.own + "/fifo"); },
     kNotRegular, false},
    {"DevZero", ListKind::kSource, [](const Folders&) { return std::string("/dev/zero"); },
     kNotRegular, false},
    {"Socket", ListKind::kSource, [](const Folders& f) { return Socket(f.own + "/sock"); },
     kNotRegular, false},
    {"OverTheCap", ListKind::kSource,
     [](const Folders& f) { return Sparse(f.own + "/huge.lst", kMaxListFileBytes + 1); },
     "Can't use source filelist: @. It is larger than 256 MiB", false},
    {"NulBytesInAnEightBitList", ListKind::kSource,
     [](const Folders& f) { return Write(f.tmp + "/job.lst", "/src/a\r\n\0ELF\1\1"s); }, kNul,
     false},
    {"NulBytesInATargetList", ListKind::kTarget,
     [](const Folders& f) { return Write(f.own + "/targets", "/t/one\r\n/t/t\0wo\r\n"s); },
     kTargetNul, false},
    // Target lists are 8-bit only.
    {"Utf16TargetList", ListKind::kTarget,
     [](const Folders& f) { return Write(f.own + "/targets", "\xFF\xFE/\0t\0\r\0"s); }, kTargetNul,
     false},
    // The program's own lists: NUL bytes end their paths.
    {"LiteralListInTheProgramsListFolder", ListKind::kSource,
     [](const Folders& f) {
         return Write(f.state + "/action-1.lst", text::LiteralListBytes({"/w/a*", "/w/x?y"}));
     },
     nullptr, true},
    {"LiteralTargetList", ListKind::kTarget,
     [](const Folders& f) {
         return Write(f.state + "/action-1.dst", text::LiteralListBytes({"/x?y"}));
     },
     nullptr, true},
    {"LiteralListCutShort", ListKind::kSource,
     [](const Folders& f) {
         return Write(f.state + "/action-1.lst",
                      text::LiteralListBytes({"/w/photos"}).substr(0, 30));
     },
     "Can't use source filelist: @. It ends in the middle of a path", false},
    {"Missing", ListKind::kSource, [](const Folders& f) { return f.tmp + "/none.lst"; },
     "Can't open source filelist: @. Error 2", false},
    {"AFolder", ListKind::kSource, [](const Folders& f) { return f.own; },
     "Can't open source filelist: @. Error 21", false},
};

class ListFileCase : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const char* saved = std::getenv("TMPDIR");
        savedTmp_ = saved ? std::optional<std::string>(saved) : std::nullopt;
        setenv("TMPDIR", tmp_.Path().c_str(), 1);
        std::filesystem::create_directory(env_.StateDir());
        std::filesystem::permissions(env_.StateDir(), std::filesystem::perms::owner_all);
        folders_ = {tmp_.Path(), env_.StateDir(), own_.Path()};
    }
    void TearDown() override {
        if (savedTmp_)
            setenv("TMPDIR", savedTmp_->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

    test::PrivateEnvironment env_;
    test::TempDir tmp_, own_;
    Folders folders_;
    std::optional<std::string> savedTmp_;
};

TEST_P(ListFileCase, ReadOrRefusedAndRemovedOnlyWhereListsAreWrittenForAJob) {
    const Case& c = GetParam();
    if (c.needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user (chown)";
    const std::string path = c.make(folders_);
    const bool existed = Exists(path);
    ListFile list;
    std::string data, error;
    const bool read = ReadListFile(path, c.kind, list, data, error);
    if (c.error) {
        EXPECT_FALSE(read);
        std::string expected = c.error;
        expected.replace(expected.find('@'), 1, path);
        EXPECT_EQ(error, expected);
    } else {
        ASSERT_TRUE(read) << error;
        EXPECT_EQ(data, test::ReadFile(path));
        EXPECT_EQ(list.removable, c.removable);
    }
    // The job removes what it read only when it may; a refused list is never removed.
    RemoveListFile(list);
    EXPECT_EQ(Exists(path), existed && !(read && c.removable));
}

INSTANTIATE_TEST_SUITE_P(Lists, ListFileCase, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ListFileCase, RemovesOnlyTheFileThatWasRead) {
    const std::string path = Write(tmp_ / "job.lst", kList);
    ListFile list;
    std::string data, error;
    ASSERT_TRUE(ReadListFile(path, ListKind::kSource, list, data, error)) << error;
    ASSERT_TRUE(list.removable);
    // Another file takes the name between reading and removing: it is left alone.
    std::filesystem::rename(Write(tmp_ / "other", "/other\r\n"), path);
    RemoveListFile(list);
    EXPECT_EQ(test::ReadFile(path), "/other\r\n");
}

}  // namespace
}  // namespace rd
