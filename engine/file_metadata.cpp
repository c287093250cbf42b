#include "engine/file_metadata.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace rd {

namespace {

// Asked for every file copied; this process never changes its user.
bool IsRoot() {
    static const bool root = geteuid() == 0;
    return root;
}

// Name spaces only a privileged process may write; copying them as another user could only
// fail.
bool Settable(std::string_view name) {
    return IsRoot() || (name.rfind("trusted.", 0) != 0 && name.rfind("security.", 0) != 0);
}

// The file system of the copy does not have the attribute at all: nothing is lost that could
// have been kept.
bool NotHere(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// The groups of this process do not change while it runs: they are read once.
const std::vector<gid_t>& Groups() {
    static const std::vector<gid_t> groups = [] {
        std::vector<gid_t> out;
        const int n = getgroups(0, nullptr);
        if (n > 0) {
            out.resize(static_cast<size_t>(n));
            out.resize(static_cast<size_t>(std::max(getgroups(n, out.data()), 0)));
        }
        out.push_back(getegid());
        return out;
    }();
    return groups;
}

bool InGroups(gid_t gid) {
    const std::vector<gid_t>& groups = Groups();
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ReadXattrs(int fd) {
    std::vector<std::pair<std::string, std::string>> out;
    std::string names;
    for (;;) {
        const ssize_t size = flistxattr(fd, nullptr, 0);
        if (size <= 0)
            return out;
        names.resize(static_cast<size_t>(size));
        const ssize_t got = flistxattr(fd, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<size_t>(got));
            break;
        }
        // The list grew between the two calls.
        if (errno != ERANGE)
            return out;
    }
    for (size_t at = 0; at < names.size();) {
        const std::string name(names.c_str() + at);
        at += name.size() + 1;
        if (name.empty() || !Settable(name))
            continue;
        std::string value;
        for (;;) {
            const ssize_t size = fgetxattr(fd, name.c_str(), nullptr, 0);
            if (size < 0)
                break;
            value.resize(static_cast<size_t>(size));
            const ssize_t got = fgetxattr(fd, name.c_str(), value.data(), value.size());
            if (got >= 0) {
                value.resize(static_cast<size_t>(got));
                out.emplace_back(name, std::move(value));
                break;
            }
            if (errno != ERANGE)
                break;
        }
    }
    return out;
}

std::shared_ptr<const FileMetadata> ReadMetadata(uid_t uid, gid_t gid, int fd) {
    auto meta = std::make_shared<FileMetadata>();
    meta->uid = uid;
    meta->gid = gid;
    if (fd >= 0)
        meta->xattrs = ReadXattrs(fd);
    return meta;
}

int ApplyOwnerAndXattrs(int fd, const FileMetadata& meta, mode_t* mode, const struct stat* seen) {
    int first = 0;
    struct stat st {};
    if (mode)
        *mode = 0;
    if (seen)
        st = *seen;
    if (meta.uid != static_cast<uid_t>(-1) && (seen || fstat(fd, &st) == 0)) {
        // Like cp -a: root gives the file its owner; another user can only give it one of their
        // own groups, and not being able to do more is no failure.
        const uid_t uid = IsRoot() && st.st_uid != meta.uid ? meta.uid : static_cast<uid_t>(-1);
        const gid_t gid = st.st_gid != meta.gid && (IsRoot() || InGroups(meta.gid))
                              ? meta.gid
                              : static_cast<gid_t>(-1);
        // EPERM for root means a file system without owners (FAT, some network shares).
        const bool chown = uid != static_cast<uid_t>(-1) || gid != static_cast<gid_t>(-1);
        if (chown && fchown(fd, uid, gid) != 0 && errno != EPERM)
            first = errno;
        // A change of owner may clear bits: the mode is then no longer the one seen.
        if (mode && !chown)
            *mode = st.st_mode;
    }
    for (const auto& [name, value] : meta.xattrs) {
        if (fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0 && !NotHere(errno) &&
            first == 0)
            first = errno;
    }
    return first;
}

int ApplyLinkOwner(const std::string& path, const FileMetadata& meta) {
    if (!IsRoot() || meta.uid == static_cast<uid_t>(-1))
        return 0;
    if (fchownat(AT_FDCWD, path.c_str(), meta.uid, meta.gid, AT_SYMLINK_NOFOLLOW) != 0 &&
        errno != EPERM)
        return errno;
    return 0;
}

}  // namespace rd
