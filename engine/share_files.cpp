#include "engine/share_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

namespace rd {

namespace {

int64_t Nanoseconds(const timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

timespec FromNanoseconds(int64_t ns) {
    timespec t{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    if (t.tv_nsec < 0) {
        t.tv_sec -= 1;
        t.tv_nsec += 1'000'000'000;
    }
    return t;
}

}  // namespace

ShareFiles::ShareFiles(std::string root, const smb::Url& url, smb::Credentials credentials,
                       int timeoutMs)
    : root_(std::move(root)),
      rootPath_(url.Path()),
      // Device numbers of this machine stay far below: a share's files never pass for local ones.
      device_(static_cast<dev_t>(
          ~0ULL << 40 |
          (std::hash<std::string>{}(url.Server() + "/" + url.share) & ((1ULL << 40) - 1)))),
      session_(url.Server(), url.share, std::move(credentials), timeoutMs) {}

ShareFiles::~ShareFiles() {
    for (auto& [handle, open] : open_)
        ::close(handle);
}

int ShareFiles::Connected() {
    if (connected_)
        return 0;
    const int error = session_.Connect();
    connected_ = error == 0;
    return error;
}

ShareFiles::OpenFile* ShareFiles::Usable(int handle, int& error) {
    OpenFile* open = Find(handle);
    error = !open ? EBADF : open->lost ? ESTALE : 0;
    return error ? nullptr : open;
}

int ShareFiles::Seen(int error) {
    if (!smb::ServerGone(error))
        return error;
    for (auto& [handle, open] : open_) {
        if (!open->lost)
            session_.Forget(open->file);
        open->lost = true;
        lost_.insert(open->path);
    }
    session_.Disconnect();
    connected_ = false;
    return error;
}

int ShareFiles::Open() {
    std::lock_guard<std::mutex> lock(lock_);
    return Connected();
}

std::optional<std::string> ShareFiles::Within(const std::string& path) const {
    if (!path.starts_with(root_))
        return std::nullopt;
    std::string rest = path.substr(root_.size());
    if (!rest.empty() && rest[0] != '/')
        return std::nullopt;
    if (rootPath_.empty())
        return rest.empty() ? rest : rest.substr(1);
    return rootPath_ + rest;
}

int ShareFiles::Keep(smb::File file, const std::string& path, int& handle) {
    // A descriptor of the kernel's as the handle: unique while the file is open, and useless to
    // any read or write that did not come through here.
    handle = ::open("/dev/null", O_PATH | O_CLOEXEC);
    if (handle < 0)
        return errno;
    auto open = std::make_unique<OpenFile>();
    open->file = std::move(file);
    open->path = path;
    open_[handle] = std::move(open);
    return 0;
}

ShareFiles::OpenFile* ShareFiles::Find(int handle) {
    const auto found = open_.find(handle);
    return found == open_.end() ? nullptr : found->second.get();
}

void ShareFiles::Describe(const smb::FileFacts& facts, struct stat& out) const {
    out = {};
    out.st_dev = device_;
    out.st_ino = static_cast<ino_t>(facts.inode);
    out.st_mode = facts.kind == smb::FileFacts::Kind::kFolder ? S_IFDIR | 0755
                  : facts.kind == smb::FileFacts::Kind::kFile ? S_IFREG | 0644
                                                              : 0;
    out.st_nlink = 1;
    out.st_uid = ::geteuid();
    out.st_gid = ::getegid();
    out.st_size = static_cast<off_t>(facts.size);
    // A share tells no holes: its files count as whole.
    out.st_blocks = static_cast<blkcnt_t>((facts.size + 511) / 512);
    out.st_mtim = FromNanoseconds(facts.mtimeNs);
    out.st_atim = FromNanoseconds(facts.atimeNs);
    out.st_ctim = out.st_mtim;
}

template <typename Call>
int ShareFiles::OnPath(const std::string& path, Call call) {
    const std::optional<std::string> within = Within(path);
    if (!within)
        return EXDEV;
    std::lock_guard<std::mutex> lock(lock_);
    if (const int error = Connected())
        return error;
    return Seen(call(*within));
}

int ShareFiles::Create(const std::string& path, mode_t, int& handle, struct stat& seen) {
    handle = -1;
    seen = {};
    return OnPath(path, [&](const std::string& within) {
        smb::File file;
        if (const int error = session_.CreateExclusive(within, file))
            return error;
        smb::FileFacts facts;
        if (session_.StatOpen(file, facts) == 0)
            Describe(facts, seen);
        return Keep(std::move(file), within, handle);
    });
}

int ShareFiles::OpenWrite(const std::string& path, bool create, mode_t mode, int& handle) {
    struct stat seen {};
    if (create) {
        const int made = Create(path, mode, handle, seen);
        if (made != EEXIST)
            return made;
    }
    handle = -1;
    return OnPath(path, [&](const std::string& within) {
        if (lost_.count(within))
            return ESTALE;
        smb::File file;
        if (const int error = session_.OpenWrite(within, file))
            return error;
        return Keep(std::move(file), within, handle);
    });
}

int ShareFiles::OpenRead(const std::string& path, int& handle) {
    handle = -1;
    return OnPath(path, [&](const std::string& within) {
        smb::File file;
        if (const int error = session_.OpenRead(within, file))
            return error;
        return Keep(std::move(file), within, handle);
    });
}

int ShareFiles::Read(int handle, uint8_t* data, uint32_t& n, uint64_t offset) {
    std::lock_guard<std::mutex> lock(lock_);
    const uint32_t wanted = n;
    n = 0;
    int error = 0;
    OpenFile* open = Usable(handle, error);
    if (!open)
        return error;
    while (n < wanted) {
        size_t done = 0;
        if ((error = Seen(session_.ReadAt(open->file, data + n, wanted - n, offset + n, done))))
            return error;
        if (done == 0)
            break;
        n += static_cast<uint32_t>(done);
    }
    return 0;
}

void ShareFiles::Expect(int handle, uint64_t size) {
    std::lock_guard<std::mutex> lock(lock_);
    if (OpenFile* open = Find(handle))
        open->expected = size;
}

int ShareFiles::Write(int handle, const uint8_t* data, uint32_t n, uint64_t offset) {
    std::lock_guard<std::mutex> lock(lock_);
    int error = 0;
    OpenFile* open = Usable(handle, error);
    if (!open)
        return error;
    const bool last = open->expected && offset + n == *open->expected;
    return Seen(session_.WriteAt(open->file, data, n, offset,
                                 last ? smb::Durability::kSynced : smb::Durability::kAsWritten));
}

int ShareFiles::SetLength(int handle, uint64_t size) {
    std::lock_guard<std::mutex> lock(lock_);
    int error = 0;
    OpenFile* open = Usable(handle, error);
    return open ? Seen(session_.Truncate(open->file, size)) : error;
}

int ShareFiles::StatOpen(int handle, struct stat& out) {
    std::lock_guard<std::mutex> lock(lock_);
    int error = 0;
    OpenFile* open = Usable(handle, error);
    if (!open)
        return error;
    smb::FileFacts facts;
    if ((error = Seen(session_.StatOpen(open->file, facts))))
        return error;
    Describe(facts, out);
    return 0;
}

int ShareFiles::SetInfo(int handle, uint32_t, const timespec& modified, mode_t, int& modeError) {
    std::lock_guard<std::mutex> lock(lock_);
    int error = 0;
    OpenFile* open = Usable(handle, error);
    modeError = ENOTSUP;
    if (!open)
        return error;
    open->modified = modified;
    return 0;
}

int ShareFiles::Close(int handle) {
    std::lock_guard<std::mutex> lock(lock_);
    const auto found = open_.find(handle);
    if (found == open_.end())
        return EBADF;
    // Kept in the table until closed: a server that goes away meanwhile takes it along.
    OpenFile& open = *found->second;
    std::optional<int64_t> ns;
    if (open.modified)
        ns = Nanoseconds(*open.modified);
    int timed = 0;
    if (!open.lost && ns)
        timed = Seen(session_.SetTimesOpen(open.file, *ns));
    const bool byName = timed == ENOTSUP;
    int error = open.lost ? ESTALE : Seen(session_.Close(open.file, smb::Durability::kSynced));
    if (error == 0 && !byName)
        error = timed;
    if (error == 0 && byName)
        error = Seen(session_.SetTimes(open.path, *ns, *ns));
    open_.erase(handle);
    ::close(handle);
    return error;
}

void ShareFiles::Discard(int handle) {
    std::lock_guard<std::mutex> lock(lock_);
    // A lost file was forgotten already; any other is closed without a word about how it ended.
    open_.erase(handle);
    ::close(handle);
}

int ShareFiles::StatPath(const std::string& path, struct stat& out) {
    return OnPath(path, [&](const std::string& within) {
        smb::FileFacts facts;
        const int error = session_.Stat(within, facts);
        if (error == 0)
            Describe(facts, out);
        return error;
    });
}

int ShareFiles::MakeFolderTree(const std::string& path) {
    std::optional<std::string> within = Within(path);
    if (!within)
        return EXDEV;
    while (!within->empty() && within->back() == '/')
        within->pop_back();
    std::lock_guard<std::mutex> lock(lock_);
    if (const int error = Connected())
        return error;
    // Walk order makes a folder after its parent: mostly the folder itself is what is missing.
    // The share's top is the server's.
    if (within->empty())
        return 0;
    const int made = Seen(session_.MakeFolder(*within));
    if (made == 0 || made == EEXIST)
        return 0;
    int first = 0;
    for (size_t pos = within->find('/');; pos = within->find('/', pos + 1)) {
        const std::string folder = within->substr(0, pos);
        const int error = Seen(session_.MakeFolder(folder));
        if (error != 0 && error != EEXIST && first == 0)
            first = error;
        if (pos == std::string::npos)
            break;
    }
    return first;
}

int ShareFiles::SetTimes(const std::string& path, const timespec& modified) {
    const int64_t ns = Nanoseconds(modified);
    return OnPath(path,
                  [&](const std::string& within) { return session_.SetTimes(within, ns, ns); });
}

int ShareFiles::Rename(const std::string& from, const std::string& to) {
    const std::optional<std::string> target = Within(to);
    if (!target)
        return EXDEV;
    return OnPath(from,
                  [&](const std::string& within) { return session_.Rename(within, *target); });
}

int ShareFiles::Remove(const std::string& path) {
    return OnPath(path, [&](const std::string& within) { return session_.Remove(within); });
}

int ShareFiles::List(const std::string& path, std::vector<ShareEntry>& out) {
    out.clear();
    return OnPath(path, [&](const std::string& within) {
        std::vector<smb::ListedName> names;
        if (const int error = session_.List(within, names))
            return error;
        const std::string prefix = within.empty() ? within : within + "/";
        for (const smb::ListedName& listed : names) {
            smb::FileFacts facts;
            if (listed.facts) {
                facts = *listed.facts;
            } else if (const int error = session_.Stat(prefix + listed.name, facts)) {
                // Gone since the folder was listed: never part of the job.
                if (error == ENOENT)
                    continue;
                return error;
            }
            out.push_back({listed.name, {}});
            Describe(facts, out.back().seen);
        }
        return 0;
    });
}

int ShareFiles::RemoveFolder(const std::string& path) {
    return OnPath(path, [&](const std::string& within) { return session_.RemoveFolder(within); });
}

}  // namespace rd
