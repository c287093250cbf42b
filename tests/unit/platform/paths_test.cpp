#include "platform/paths.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "platform/bus.h"
#include "test_support.h"

namespace paths = rd::paths;
using rd::test::PrivateEnvironment;
using rd::test::RunCommand;
using rd::test::TempDir;
using rd::test::WriteFile;

namespace {

// Sets (or, with nullptr, removes) environment variables for the life of the object and puts
// the previous values back afterwards.
class ScopedEnv {
public:
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->had)
                setenv(it->name.c_str(), it->value.c_str(), 1);
            else
                unsetenv(it->name.c_str());
        }
    }
    void Set(const char* name, const char* value) {
        const char* old = getenv(name);
        saved_.push_back({name, old ? old : "", old != nullptr});
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

private:
    struct Saved {
        std::string name;
        std::string value;
        bool had;
    };
    std::vector<Saved> saved_;
};

mode_t ModeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::string SourceDataDir() {
    return std::filesystem::path(rd::test::SourceDataDir()).lexically_normal().string();
}

const char kReportVariable[] = "REDODORI_TEST_REPORT_DATA";

}  // namespace

TEST(Paths, OverrideVariablesWin) {
    PrivateEnvironment env;
    ScopedEnv vars;
    vars.Set("XDG_CONFIG_HOME", "/elsewhere/config");
    vars.Set("XDG_DATA_HOME", "/elsewhere/data");
    EXPECT_EQ(paths::ConfigDir(), env.ConfigDir());
    EXPECT_EQ(paths::UserDataDir(), env.DataDir());
    vars.Set("XDG_STATE_HOME", "/elsewhere/state");
    EXPECT_EQ(paths::RuntimeDir(), env.RuntimeDir() + "/redodori");
    EXPECT_EQ(paths::StateDir(), env.StateDir());
    EXPECT_EQ(paths::InstallFolder(""), env.DataDir());
    EXPECT_EQ(paths::InstallFolder("/opt/stored"), "/opt/stored");
}

TEST(Paths, XdgVariablesThenHome) {
    TempDir dir;
    ScopedEnv vars;
    vars.Set("REDODORI_CONFIG_DIR", nullptr);
    vars.Set("REDODORI_DATA_DIR", "");  // empty counts as unset
    vars.Set("REDODORI_STATE_DIR", nullptr);
    vars.Set("HOME", dir.Path().c_str());
    vars.Set("XDG_CONFIG_HOME", (dir / "cfg").c_str());
    vars.Set("XDG_DATA_HOME", (dir / "share").c_str());
    vars.Set("XDG_STATE_HOME", (dir / "st").c_str());
    EXPECT_EQ(paths::ConfigDir(), dir / "cfg/redodori");
    EXPECT_EQ(paths::UserDataDir(), dir / "share/redodori");
    EXPECT_EQ(paths::InstallFolder(""), dir / "share/redodori");
    EXPECT_EQ(paths::StateDir(), dir / "st/redodori");

    // Relative XDG values are invalid and ignored.
    vars.Set("XDG_CONFIG_HOME", "relative/cfg");
    vars.Set("XDG_DATA_HOME", nullptr);
    vars.Set("XDG_STATE_HOME", "relative/st");
    EXPECT_EQ(paths::ConfigDir(), dir / ".config/redodori");
    EXPECT_EQ(paths::UserDataDir(), dir / ".local/share/redodori");
    EXPECT_EQ(paths::StateDir(), dir / ".local/state/redodori");

    vars.Set("HOME", "/");
    EXPECT_EQ(paths::ConfigDir(), "/.config/redodori");
}

TEST(Paths, HomeFromThePasswordDatabase) {
    ScopedEnv vars;
    vars.Set("REDODORI_CONFIG_DIR", nullptr);
    vars.Set("XDG_CONFIG_HOME", nullptr);
    vars.Set("HOME", nullptr);
    const passwd* user = getpwuid(getuid());
    if (!user || !user->pw_dir || !*user->pw_dir)
        GTEST_SKIP() << "no password entry for this user";
    const std::string home = user->pw_dir;
    EXPECT_EQ(paths::ConfigDir(), home + (home.back() == '/' ? "" : "/") + ".config/redodori");
}

TEST(Paths, TemporaryFolder) {
    ScopedEnv vars;
    vars.Set("TMPDIR", "/var/tmp/mine");
    EXPECT_EQ(paths::TempDir(), "/var/tmp/mine");
    for (const char* unusable : {"", "relative/tmp"}) {
        vars.Set("TMPDIR", unusable);
        EXPECT_EQ(paths::TempDir(), "/tmp");
    }
    vars.Set("TMPDIR", nullptr);
    EXPECT_EQ(paths::TempDir(), "/tmp");
}

// Without XDG_RUNTIME_DIR the runtime folder is the first of <TMPDIR>/redodori-<uid>, -1, -2 ...
// that is the user's own private folder; what others made first, or what is open to them, is
// passed over.
struct Fallback {
    const char* name;
    // Makes what lies at the names before the program looks; `base` is <TMPDIR>/redodori-<uid>.
    std::function<void(const std::string& tmp, const std::string& base)> plant;
    const char* chosen;  // appended to `base`
    bool needsRoot = false;
};

void PrintTo(const Fallback& f, std::ostream* out) {
    *out << f.name;
}

void Folder(const std::string& path, mode_t mode) {
    std::filesystem::create_directories(path);
    if (::chmod(path.c_str(), mode) != 0)
        throw std::runtime_error("chmod " + path);
}

void OtherUsers(const std::string& path) {
    Folder(path, 0700);
    if (::chown(path.c_str(), 65534, 65534) != 0)
        throw std::runtime_error("chown " + path);
}

const Fallback kFallbacks[] = {
    {"Missing", [](const std::string&, const std::string&) {}, ""},
    {"OwnPrivate", [](const std::string&, const std::string& base) { Folder(base, 0700); }, ""},
    {"OtherUsers", [](const std::string&, const std::string& base) { OtherUsers(base); }, "-1",
     true},
    {"OpenToGroup", [](const std::string&, const std::string& base) { Folder(base, 0750); }, "-1"},
    {"OpenToOthers", [](const std::string&, const std::string& base) { Folder(base, 0755); }, "-1"},
    {"Link",
     [](const std::string& tmp, const std::string& base) {
         Folder(tmp + "/real", 0700);
         std::filesystem::create_directory_symlink(tmp + "/real", base);
     },
     "-1"},
    {"File", [](const std::string&, const std::string& base) { WriteFile(base, "x"); }, "-1"},
    {"SeveralTaken",
     [](const std::string& tmp, const std::string& base) {
         OtherUsers(base);
         Folder(base + "-1", 0770);
         Folder(tmp + "/real", 0700);
         std::filesystem::create_directory_symlink(tmp + "/real", base + "-2");
         Folder(base + "-4", 0700);
     },
     "-3", true},
    {"TheFirstUsableInOrder",
     [](const std::string&, const std::string& base) {
         Folder(base, 0705);
         Folder(base + "-2", 0700);
     },
     "-1"},
    {"AllTaken",
     [](const std::string&, const std::string& base) {
         Folder(base, 0777);
         for (int n = 1; n <= paths::kRuntimeFallbacks; ++n)
             Folder(base + "-" + std::to_string(n), 0777);
     },
     ""},
};

class RuntimeFallback : public ::testing::TestWithParam<Fallback> {};

TEST_P(RuntimeFallback, TheFirstFolderOfTheUsersOwn) {
    const Fallback& f = GetParam();
    if (f.needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "only root can give a folder to another user (chown)";
    PrivateEnvironment env;
    TempDir tmp;
    ScopedEnv vars;
    vars.Set("TMPDIR", tmp.Path().c_str());
    const std::string base = tmp / ("redodori-" + std::to_string(getuid()));
    f.plant(tmp.Path(), base);
    const bool usable = std::string(f.name) != "AllTaken";

    for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
        vars.Set("XDG_RUNTIME_DIR", unset);
        const std::string chosen = paths::RuntimeDir();
        EXPECT_EQ(chosen, base + f.chosen);
        // Asked again, the same: every process of the user meets in this folder.
        EXPECT_EQ(paths::RuntimeDir(), chosen);
        std::string error;
        EXPECT_EQ(rd::bus::PrepareRuntimeDir(error), usable) << error;
        if (!usable) {
            EXPECT_NE(error.find(base + " is open to other users"), std::string::npos) << error;
            continue;
        }
        struct stat st;
        ASSERT_EQ(::lstat(chosen.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode, S_IFDIR | 0700);
        EXPECT_EQ(st.st_uid, ::geteuid());
        const std::unique_ptr<rd::bus::Endpoint> endpoint = rd::bus::Endpoint::CreateThread(error);
        ASSERT_TRUE(endpoint) << error;
        EXPECT_TRUE(std::filesystem::exists(chosen + "/thread." + std::to_string(endpoint->Id())));
    }
}

INSTANTIATE_TEST_SUITE_P(Planted, RuntimeFallback, ::testing::ValuesIn(kFallbacks),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ShippedData, BuildTreeUsesTheSourceData) {
    EXPECT_EQ(std::filesystem::path(paths::ShippedDataDir()).lexically_normal().string(),
              SourceDataDir());
}

TEST(ShippedData, SearchPathAndLookup) {
    TempDir dir;
    const std::string shipped = paths::ShippedDataDir();
    EXPECT_EQ(paths::DataSearchPath(dir.Path()), (std::vector<std::string>{dir.Path(), shipped}));
    EXPECT_EQ(paths::DataSearchPath(shipped), std::vector<std::string>{shipped});
    EXPECT_EQ(paths::DataSearchPath(shipped + "/"), std::vector<std::string>{shipped + "/"});
    EXPECT_EQ(paths::DataSearchPath(""), std::vector<std::string>{shipped});

    ASSERT_EQ(paths::MakePath(dir / "skins/Default"), 0);
    WriteFile(dir / "skins/Default/skin.ini", "x");
    EXPECT_EQ(paths::FindDataFile(dir.Path(), "skins/Default/skin.ini"),
              dir / "skins/Default/skin.ini");
    EXPECT_EQ(paths::FindDataFile(dir.Path(), "no-such-file.lng"), "");
    EXPECT_EQ(paths::FindDataFile(dir.Path(), ""), "");
}

// Runs a copy of this test program from an installed layout, <prefix>/bin, where it reports
// what it finds; see the report branch at the top.
TEST(ShippedData, InstalledProgramUsesItsPrefix) {
    if (const char* install = getenv(kReportVariable)) {
        std::cout << "shipped=" << paths::ShippedDataDir() << "\n"
                  << "found=" << paths::FindDataFile(install, "english.lng") << "\n";
        return;
    }
    TempDir dir;
    const std::string prefix = dir / "prefix";
    const std::string shipped = prefix + "/share/redodori";
    ASSERT_EQ(paths::MakePath(prefix + "/bin"), 0);
    ASSERT_EQ(paths::MakePath(shipped), 0);
    ASSERT_EQ(paths::MakePath(dir / "install"), 0);
    WriteFile(shipped + "/english.lng", "x");
    const std::string program = prefix + "/bin/tests";
    std::filesystem::copy_file(std::filesystem::read_symlink("/proc/self/exe"), program);

    const std::string run = std::string(kReportVariable) + "='" + (dir / "install") + "' '" +
                            program + "' --gtest_filter=ShippedData.InstalledProgramUsesItsPrefix";
    std::string out = RunCommand(run);
    EXPECT_NE(out.find("shipped=" + shipped + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("found=" + shipped + "/english.lng\n"), std::string::npos) << out;

    // The installation folder comes first.
    WriteFile(dir / "install/english.lng", "y");
    out = RunCommand(run);
    EXPECT_NE(out.find("found=" + (dir / "install/english.lng") + "\n"), std::string::npos) << out;

    // Without share/redodori beside it the program falls back to the source tree.
    std::filesystem::remove_all(prefix + "/share");
    out = RunCommand(run);
    EXPECT_NE(out.find("shipped=" + SourceDataDir() + "\n"), std::string::npos) << out;
}

TEST(MakePath, CreatesMissingParentsWithTheMode) {
    TempDir dir;
    const mode_t saved = ::umask(0);
    const int result = paths::MakePath(dir / "a//b/c/", 0750);
    ::umask(saved);
    ASSERT_EQ(result, 0);
    for (const char* folder : {"a", "a/b", "a/b/c"}) {
        SCOPED_TRACE(folder);
        EXPECT_TRUE(S_ISDIR(ModeOf(dir / folder)));
        EXPECT_EQ(ModeOf(dir / folder) & 07777, 0750u);
    }
    EXPECT_EQ(paths::MakePath(dir / "a/b/c"), 0);
    EXPECT_EQ(paths::MakePath(dir.Path()), 0);
}

TEST(MakePath, Failures) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    EXPECT_EQ(paths::MakePath(dir / "file"), EEXIST);
    EXPECT_EQ(paths::MakePath(dir / "file/below/deeper"), ENOTDIR);
    EXPECT_EQ(paths::MakePath(""), ENOENT);
    ASSERT_EQ(::symlink("file", (dir / "link").c_str()), 0);
    EXPECT_EQ(paths::MakePath(dir / "link"), EEXIST);
    // A link to a folder serves as that folder.
    ASSERT_EQ(::mkdir((dir / "real").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("real", (dir / "alias").c_str()), 0);
    EXPECT_EQ(paths::MakePath(dir / "alias/sub"), 0);
    EXPECT_TRUE(S_ISDIR(ModeOf(dir / "real/sub")));
}
