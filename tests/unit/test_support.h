// Helpers for tests: private temporary folders and a private environment per test.
#pragma once

#include <ctime>
#include <string>

namespace rd::test {

// A fresh folder under the system temporary folder, removed with everything in it when the
// object ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + relative.
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

// Points REDODORI_CONFIG_DIR, REDODORI_DATA_DIR, XDG_RUNTIME_DIR, REDODORI_STATE_DIR and
// XDG_CONFIG_HOME at folders of its own for as long as it lives, so that a test never touches
// the user's store, resume lists, autostart entries or another test's bus. The state folder is not
// made: the program makes it.
class PrivateEnvironment {
public:
    PrivateEnvironment();
    ~PrivateEnvironment();
    const TempDir& Dir() const { return dir_; }
    std::string ConfigDir() const { return dir_ / "config"; }
    std::string DataDir() const { return dir_ / "data"; }
    std::string RuntimeDir() const { return dir_ / "runtime"; }
    std::string StateDir() const { return dir_ / "state"; }
    std::string XdgConfigDir() const { return dir_ / "xdg-config"; }

private:
    TempDir dir_;
    std::string saved_[5];
    bool had_[5] = {};
};

void WriteFile(const std::string& path, const std::string& data);
// A broken-down local time; `month` counts from 1.
tm LocalTime(int year, int month, int day, int hour, int minute, int second);
std::string ReadFile(const std::string& path);

// Runs a shell command and returns its standard output; `status` gets the exit status.
std::string RunCommand(const std::string& command, int* status = nullptr);

// The data/ folder of the source tree the tests were built from (language files, skins).
inline std::string SourceDataDir() {
    return REDODORI_SOURCE_DATA_DIR;
}

}  // namespace rd::test
