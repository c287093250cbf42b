#include "platform/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/fs.h"
#include "platform/paths.h"

namespace rd::fs {

namespace {

std::string SystemText(int error) {
    return std::system_category().message(error);
}

}  // namespace

bool CheckPrivateFolder(const std::string& folder, const std::string& role, std::string& error) {
    const std::string named = "the " + role + " " + folder;
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0) {
        error = "cannot use " + named + ": " + SystemText(errno);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        error = named + " is a symbolic link; refusing to use it";
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = named + " is not a folder; refusing to use it";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = named + " belongs to another user; refusing to use it";
        return false;
    }
    if ((st.st_mode & 077) != 0) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        error = named + " is open to other users (mode " + mode + "); refusing to use it";
        return false;
    }
    return true;
}

bool PreparePrivateFolder(const std::string& folder, const std::string& role, std::string& error) {
    const int made = paths::MakePath(folder, 0700);
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0) {
        error = "cannot create the " + role + " " + folder + ": " + SystemText(made ? made : errno);
        return false;
    }
    return CheckPrivateFolder(folder, role, error);
}

std::string CreateListFile(const std::string& folder, std::string_view stem,
                           std::string_view suffix, std::string_view data, std::string& error) {
    if (!PreparePrivateFolder(folder, "list folder", error))
        return {};
    for (int n = 0; n < 100; ++n) {
        const std::string name =
            std::string(stem) + (n ? "-" + std::to_string(n) : "") + std::string(suffix);
        const int failed = CreateNewFile(folder, name, data);
        if (!failed)
            return folder + "/" + name;
        if (failed != EEXIST) {
            error = "cannot write the list file " + folder + "/" + name + ": " + SystemText(failed);
            return {};
        }
    }
    error = "cannot find a free list file name in " + folder;
    return {};
}

}  // namespace rd::fs
