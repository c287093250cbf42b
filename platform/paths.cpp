#include "platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/private_folder.h"

namespace rd::paths {

namespace {

const char kProgramFolder[] = "redodori";

// The value of an environment variable, empty when it is unset or empty.
std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The XDG base-directory variables and TMPDIR count only when they hold an absolute path.
std::string AbsoluteEnv(const char* name) {
    std::string value = Env(name);
    return !value.empty() && value[0] == '/' ? value : "";
}

std::string Join(const std::string& base, const std::string& relative) {
    if (base.empty() || base.back() == '/' || (!relative.empty() && relative.front() == '/'))
        return base + relative;
    return base + "/" + relative;
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty())
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    passwd entry;
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    // A user without any home folder has no better private place than the root.
    return found && found->pw_dir && *found->pw_dir ? found->pw_dir : "/";
}

// A path without "." and ".." steps and without a trailing "/", so that two spellings of the
// same folder compare equal.
std::string Normal(const std::string& path) {
    std::string normal = std::filesystem::path(path).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FindShippedDataDir() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::string installed =
            (exe.parent_path().parent_path() / "share" / kProgramFolder).string();
        if (IsFolder(installed))
            return installed;
    }
    return REDODORI_SOURCE_DATA_DIR;
}

// The program's folder of one XDG kind: the override when set, else below $`xdg`, else below
// the home folder's `fallback`.
std::string XdgFolder(const char* override, const char* xdg, const char* fallback) {
    const std::string given = Env(override);
    if (!given.empty())
        return given;
    std::string dir = AbsoluteEnv(xdg);
    if (dir.empty())
        dir = Join(HomeFolder(), fallback);
    return Join(dir, kProgramFolder);
}

}  // namespace

std::string AutostartDir() {
    const std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    return Join(config.empty() ? Join(HomeFolder(), ".config") : config, "autostart");
}

std::string ConfigDir() {
    return XdgFolder("REDODORI_CONFIG_DIR", "XDG_CONFIG_HOME", ".config");
}

std::string UserDataDir() {
    return XdgFolder("REDODORI_DATA_DIR", "XDG_DATA_HOME", ".local/share");
}

std::string RuntimeDir() {
    const std::string dir = AbsoluteEnv("XDG_RUNTIME_DIR");
    if (!dir.empty())
        return Join(dir, kProgramFolder);
    // In the shared temporary folder another user may have taken a name first. Every process of
    // this user walks the same names in the same order, and so they all meet in one folder; each
    // name is made before it is checked, so that no one can slip in between.
    const std::string base =
        Join(TempDir(), std::string(kProgramFolder) + "-" + std::to_string(::getuid()));
    for (int n = 0; n <= kRuntimeFallbacks; ++n) {
        const std::string candidate = n == 0 ? base : base + "-" + std::to_string(n);
        if (::mkdir(candidate.c_str(), 0700) != 0 && errno != EEXIST)
            return base;
        std::string ignored;
        if (fs::CheckPrivateFolder(candidate, "runtime folder", ignored))
            return candidate;
    }
    return base;
}

std::string StateDir() {
    return XdgFolder("REDODORI_STATE_DIR", "XDG_STATE_HOME", ".local/state");
}

std::string TempDir() {
    const std::string dir = AbsoluteEnv("TMPDIR");
    return dir.empty() ? "/tmp" : dir;
}

std::string ShippedDataDir() {
    // The executable does not move while it runs.
    static const std::string dir = FindShippedDataDir();
    return dir;
}

std::string InstallFolder(const std::string& storedInstallPath) {
    return storedInstallPath.empty() ? UserDataDir() : storedInstallPath;
}

std::vector<std::string> DataSearchPath(const std::string& installFolder) {
    std::vector<std::string> folders;
    if (!installFolder.empty())
        folders.push_back(installFolder);
    const std::string shipped = ShippedDataDir();
    if (installFolder.empty() || Normal(installFolder) != Normal(shipped))
        folders.push_back(shipped);
    return folders;
}

std::string FindDataFile(const std::string& installFolder, const std::string& relative) {
    if (relative.empty())
        return {};
    for (const std::string& folder : DataSearchPath(installFolder)) {
        const std::string candidate = Join(folder, relative);
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0)
            return candidate;
    }
    return {};
}

int MakePath(const std::string& path, unsigned mode) {
    if (path.empty())
        return ENOENT;
    // Create every ancestor in turn. An ancestor that cannot be created but is already a
    // folder (say "/home" on a read-only root) is fine.
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/' || path[i - 1] == '/')
            continue;
        const std::string parent = path.substr(0, i);
        if (::mkdir(parent.c_str(), mode) != 0 && errno != EEXIST) {
            const int error = errno;
            if (!IsFolder(parent))
                return error;
        }
    }
    if (::mkdir(path.c_str(), mode) == 0)
        return 0;
    const int error = errno;
    if (IsFolder(path))
        return 0;
    return error;
}

}  // namespace rd::paths
