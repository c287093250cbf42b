// File-system calls the layers above need, with errno results instead of exceptions.
#pragma once

#include <sys/stat.h>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rd::fs {

// What lstat tells about a path. `mode` carries the type and permission bits.
struct Attributes {
    mode_t mode = 0;
    uint64_t size = 0;
    timespec modified{};
    timespec created{};  // zero where the file system does not record a creation time
    dev_t device = 0;
    ino_t inode = 0;
    uid_t uid = 0;
    gid_t gid = 0;

    bool IsFolder() const { return S_ISDIR(mode); }
    bool IsLink() const { return S_ISLNK(mode); }
    bool IsRegular() const { return S_ISREG(mode); }
};

// Reads the attributes of `path` itself (links are not followed). Sets `error` to errno on
// failure when it is given.
std::optional<Attributes> GetAttributes(const std::string& path, int* error = nullptr);

// Reads a whole file into `data`. Returns 0 or the errno of the failing call.
int ReadWholeFile(const std::string& path, std::string& data);

// Writes `data` to `path`, replacing it. Returns 0 or errno.
int WriteWholeFile(const std::string& path, std::string_view data);

// Removes a file. Returns 0 or errno.
int RemoveFile(const std::string& path);

// True when `name` matches `pattern`, where "*" stands for any run of characters (also none)
// and every other character stands for itself.
bool MatchPattern(std::string_view pattern, std::string_view name);

struct DirEntry {
    std::string name;
    bool isFolder = false;  // a real folder, not a link to one
};

// Lists the entries of `folder` whose names match `pattern` ("*" lists all), without "." and
// "..", sorted by name. Returns 0 or errno.
int ListFolder(const std::string& folder, std::string_view pattern, std::vector<DirEntry>& out);

// Creates one folder. Returns 0, EEXIST when something is already there, or another errno.
int MakeFolder(const std::string& path);

// The current working folder, empty when it cannot be read.
std::string CurrentFolder();

}  // namespace rd::fs
