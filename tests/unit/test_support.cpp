#include "test_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace rd::test {

namespace {
const char* const kVars[5] = {"REDODORI_CONFIG_DIR", "REDODORI_DATA_DIR", "XDG_RUNTIME_DIR",
                              "REDODORI_STATE_DIR", "XDG_CONFIG_HOME"};
}

TempDir::TempDir() {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/redodori-test-XXXXXX";
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; give the owner access back first.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

PrivateEnvironment::PrivateEnvironment() {
    const std::string dirs[5] = {ConfigDir(), DataDir(), RuntimeDir(), StateDir(), XdgConfigDir()};
    for (int i = 0; i < 5; ++i) {
        if (const char* v = getenv(kVars[i])) {
            had_[i] = true;
            saved_[i] = v;
        }
        setenv(kVars[i], dirs[i].c_str(), 1);
    }
    // The state folder is left for the program to make, as it makes it for a user.
    for (int i = 0; i < 3; ++i)
        std::filesystem::create_directories(dirs[i]);
    std::filesystem::permissions(RuntimeDir(), std::filesystem::perms::owner_all);
}

PrivateEnvironment::~PrivateEnvironment() {
    for (int i = 0; i < 5; ++i) {
        if (had_[i])
            setenv(kVars[i], saved_[i].c_str(), 1);
        else
            unsetenv(kVars[i]);
    }
}

tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("popen failed");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    int rc = pclose(pipe);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

}  // namespace rd::test
