#include "platform/open_beneath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace rd {

namespace {

// The parts of a relative path, "." and empty parts left out; false for an absolute path or a
// ".." part, which would leave the folder.
bool PathParts(std::string_view path, std::vector<std::string>& parts) {
    if (path.empty() || path.front() == '/')
        return false;
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            parts.emplace_back(part);
    }
    return !parts.empty();
}

}  // namespace

int OpenBeneathByWalk(int folderFd, std::string_view relative, int flags, int& error) {
    std::vector<std::string> parts;
    if (!PathParts(relative, parts)) {
        error = EXDEV;
        return -1;
    }
    int current = folderFd;
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const int partFlags =
            last ? flags | O_NOFOLLOW | O_CLOEXEC : O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        const int next = ::openat(current, parts[i].c_str(), partFlags);
        error = errno;
        if (current != folderFd)
            ::close(current);
        if (next < 0)
            return -1;
        current = next;
    }
    error = 0;
    return current;
}

int OpenBeneath(int folderFd, std::string_view relative, int flags, int& error) {
    if (relative.empty() || relative.front() == '/') {
        error = EXDEV;
        return -1;
    }
    const std::string path(relative);
    open_how how{};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    // Beneath: a manifest names files in its own folder, and what it says must never make the
    // check read a file elsewhere (~/.ssh through "../../", or a link to /etc/shadow planted in
    // the tree): a link is followed only while it stays inside.
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, folderFd, path.c_str(), &how, sizeof how);
    if (fd >= 0) {
        error = 0;
        return static_cast<int>(fd);
    }
    error = errno;
    if (error == ENOSYS)
        return OpenBeneathByWalk(folderFd, relative, flags, error);
    return -1;
}

}  // namespace rd
