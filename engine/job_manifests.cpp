#include "engine/job_manifests.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fs.h"
#include "platform/manifest_format.h"
#include "platform/smb_url.h"

namespace rd {

namespace {

// Lines are written in pieces of about this size, so that a job of a million files neither
// keeps its manifest in memory nor makes a call per file.
constexpr size_t kFlushAt = 64 * 1024;

// Renames without replacing: a manifest of another job that took the name stays.
int RenameFree(int dir, const std::string& from, const std::string& to) {
    if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: look first.
    struct stat st {};
    if (::fstatat(dir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(dir, from.c_str(), dir, to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

struct JobManifests::Slot {
    std::mutex lock;
    std::string root;
    int dir = -1;
    int fd = -1;
    std::string hidden;
    std::string buffer;
    bool broken = false;
    bool done = false;
    std::string finalPath;
};

JobManifests::JobManifests() = default;

JobManifests::~JobManifests() {
    for (auto& slot : slots_) {
        std::lock_guard<std::mutex> lock(slot->lock);
        // A job that ends without Finish (a test's engine torn down) leaves no hidden file.
        if (slot->fd >= 0 && !slot->done)
            Drop(*slot);
        if (slot->dir >= 0)
            ::close(slot->dir);
    }
}

void JobManifests::Begin(std::optional<HashKind> kind, uint32_t destinations,
                         const std::string& stamp, const std::string& job) {
    kind_ = kind;
    base_ = "RedoDori-" + stamp + "-" + job;
    slots_.clear();
    if (!kind_)
        return;
    for (uint32_t i = 0; i < destinations; ++i)
        slots_.push_back(std::make_unique<Slot>());
}

std::string JobManifests::Name(int n, bool hidden) const {
    std::string name = base_;
    if (n > 1)
        name += "-" + std::to_string(n);
    name += HashExtension(*kind_);
    return hidden ? "." + name + ".part" : name;
}

std::string JobManifests::PathIn(uint32_t slot) const {
    if (slot >= slots_.size())
        return {};
    const Slot& s = *slots_[slot];
    if (!s.finalPath.empty())
        return s.finalPath;
    return s.root + "/" + Name(1, false);
}

int JobManifests::Create(Slot& slot, const std::string& root) const {
    slot.root = root;
    // Written beside the copies through this machine's calls: a share has none of them.
    if (smb::IsUrl(root))
        return EOPNOTSUPP;
    slot.dir =
        ::open(root.empty() ? "/" : root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (slot.dir < 0)
        return errno;
    // Two jobs into one folder in one second each get their own.
    for (int n = 1; n < 100; ++n) {
        const std::string name = Name(n, true);
        slot.fd = ::openat(slot.dir, name.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (slot.fd >= 0) {
            slot.hidden = name;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int JobManifests::Flush(Slot& slot) {
    const int error = fs::WriteAll(slot.fd, slot.buffer);
    slot.buffer.clear();
    return error;
}

void JobManifests::Drop(Slot& slot) {
    slot.broken = true;
    if (slot.fd >= 0) {
        ::close(slot.fd);
        slot.fd = -1;
        ::unlinkat(slot.dir, slot.hidden.c_str(), 0);
    }
    slot.buffer.clear();
}

int JobManifests::Add(uint32_t slot, const std::string& root, const std::string& path,
                      const std::string& digest) {
    if (slot >= slots_.size())
        return 0;
    Slot& s = *slots_[slot];
    std::lock_guard<std::mutex> lock(s.lock);
    if (s.broken || s.done)
        return 0;
    const bool below = path.size() > root.size() + 1 && path.compare(0, root.size(), root) == 0 &&
                       path[root.size()] == '/';
    int error = below ? 0 : EINVAL;
    if (error == 0 && s.fd < 0)
        error = Create(s, root);
    if (error == 0) {
        s.buffer += ManifestLine(digest, std::string_view(path).substr(root.size() + 1));
        if (s.buffer.size() >= kFlushAt)
            error = Flush(s);
    }
    if (error != 0) {
        s.root = root;
        Drop(s);
    }
    return error;
}

std::vector<JobManifests::Failure> JobManifests::Finish() {
    std::vector<Failure> failures;
    for (uint32_t i = 0; i < slots_.size(); ++i) {
        Slot& s = *slots_[i];
        std::lock_guard<std::mutex> lock(s.lock);
        if (s.done || s.broken || s.fd < 0)
            continue;
        s.done = true;
        int error = Flush(s);
        if (error == 0 && ::fdatasync(s.fd) != 0)
            error = errno;
        // A failing close can be the first report of a failed write (a full disk over NFS).
        if (::close(s.fd) != 0 && error == 0)
            error = errno;
        s.fd = -1;
        bool renamed = false;
        for (int n = 1; n < 100 && error == 0 && !renamed; ++n) {
            const std::string name = Name(n, false);
            error = RenameFree(s.dir, s.hidden, name);
            renamed = error == 0;
            if (renamed)
                s.finalPath = s.root + "/" + name;
            else if (error == EEXIST)
                error = 0;
        }
        if (!renamed && error == 0)
            error = EEXIST;
        // The new name is on the disk only once its folder is.
        if (renamed && ::fsync(s.dir) != 0)
            error = errno;
        if (error != 0) {
            if (!renamed)
                ::unlinkat(s.dir, s.hidden.c_str(), 0);
            s.broken = true;
            failures.push_back({PathIn(i), error});
            continue;
        }
        std::lock_guard<std::mutex> written(writtenLock_);
        written_.push_back(s.finalPath);
    }
    return failures;
}

std::vector<std::string> JobManifests::Written() const {
    std::lock_guard<std::mutex> lock(writtenLock_);
    return written_;
}

}  // namespace rd
