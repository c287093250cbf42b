#include "engine/small_file_lane.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "engine/block_reader.h"
#include "engine/dest_writeback.h"
#include "engine/engine_context.h"
#include "engine/file_identity.h"
#include "engine/file_metadata.h"
#include "engine/speed.h"
#include "engine/transfer.h"
#include "engine/vn_buffer.h"
#include "engine/writer_pool.h"
#include "platform/unexpected_end.h"

namespace rd {

namespace {

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The source as the walk saw it: a file that changed since goes the ordinary way, which copies
// it as it is now and counts its new size.
bool AsListed(const struct stat& st, const FENTRY_& node) {
    return S_ISREG(st.st_mode) && st.st_mode == node.attributes &&
           static_cast<uint64_t>(st.st_size) == node.size &&
           SameTime(st.st_mtim, node.LastWriteTime());
}

}  // namespace

// The folders one thread of the lane has open: the source's, then each destination's. A file is
// opened by its name in its folder, not through a walk of its whole path each time.
class SmallFileLane::OpenFolders {
public:
    OpenFolders() = default;
    ~OpenFolders() {
        for (const Folder& folder : folders_) {
            if (folder.fd >= 0)
                ::close(folder.fd);
        }
    }
    OpenFolders(const OpenFolders&) = delete;
    OpenFolders& operator=(const OpenFolders&) = delete;

    // The folder of `path`, open in place `index`, and the name of `path` in it; AT_FDCWD and
    // the whole path where the folder cannot be opened.
    int At(size_t index, const std::string& path, std::string& name) {
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos) {
            name = path;
            return AT_FDCWD;
        }
        if (folders_.size() <= index)
            folders_.resize(index + 1);
        Folder& folder = folders_[index];
        const std::string_view dir(path.data(), slash == 0 ? 1 : slash);
        if (folder.fd < 0 || folder.path != dir) {
            if (folder.fd >= 0)
                ::close(folder.fd);
            folder.path.assign(dir);
            folder.fd = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        if (folder.fd < 0) {
            name = path;
            return AT_FDCWD;
        }
        name.assign(path, slash + 1);
        return folder.fd;
    }

private:
    struct Folder {
        std::string path;
        int fd = -1;
    };
    std::vector<Folder> folders_;
};

SmallFileLane::SmallFileLane(EngineContext& ctx) : ctx_(ctx) {}

SmallFileLane::~SmallFileLane() {
    Stop();
}

void SmallFileLane::Stop() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
    threads_.clear();
    std::lock_guard<std::mutex> lock(lock_);
    items_.clear();
    ended_ = 0;
    stopping_ = false;
}

bool SmallFileLane::Takes(const FENTRY_& node) const {
    const JobPolicy& policy = ctx_.policy;
    const int32_t limit = policy.speedLimit;
    // Anything that reads the bytes, keeps a marker, paces the copy or removes the source needs
    // the ordinary way's one file at a time.
    if (IsMove(policy.mode) || IsDelete(policy.mode) || ctx_.options.PerFileLink ||
        ctx_.manifests.Kind() || policy.verify || policy.readBurst || policy.writeBurst ||
        policy.reserve || (limit >= 0 && RateStep(limit) != 0))
        return false;
    // A destination of its own name (node.changes) was settled by the destination check.
    if (!S_ISREG(node.attributes) || node.changes || node.size == 0 ||
        node.size > CopyBlockSize(policy.bufferSize) || node.size >= kWritebackAtCloseSize)
        return false;
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        if (!ctx_.dests[slot].Local())
            return false;
    }
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (refused_)
            return false;
    }
    return !SourceFiles::OnShare(node.SourcePath());
}

void SmallFileLane::Add(FENTRY_& node) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        items_.push_back({&node, Item::State::Queued});
        if (threads_.empty()) {
            for (size_t i = 0; i < kThreads; ++i)
                threads_.emplace_back([this] { unexpected::Guarded([this] { Work(); }); });
        }
        // A thread that is busy takes the file when it is done: waking costs a system call.
        if (idle_ == 0)
            return;
    }
    work_.notify_one();
}

bool SmallFileLane::Full() const {
    std::lock_guard<std::mutex> lock(lock_);
    return items_.size() >= kHeld;
}

bool SmallFileLane::Ended(const Item& item) {
    return item.state == Item::State::Copied || item.state == Item::State::Ordinary;
}

bool SmallFileLane::Satisfied(Want want) const {
    const bool front = items_.empty() || Ended(items_.front());
    switch (want) {
        case Want::Nothing: return false;
        case Want::Front: return front;
        case Want::Room: return (front && ended_ >= kHeld / 2) || ended_ == items_.size();
        case Want::All: return ended_ == items_.size();
    }
    return false;
}

void SmallFileLane::WaitFor(std::unique_lock<std::mutex>& lock, Want want) {
    if (Satisfied(want))
        return;
    // Woken once, not for every file: the wait is over only when the job thread has enough
    // files to count.
    want_ = want;
    done_.wait(lock, [&] { return Satisfied(want); });
    want_ = Want::Nothing;
}

bool SmallFileLane::TakeOldest(FENTRY_*& node, bool& copied, bool wait) {
    std::unique_lock<std::mutex> lock(lock_);
    if (wait)
        WaitFor(lock, Want::Front);
    if (items_.empty() || !Ended(items_.front()))
        return false;
    node = items_.front().node;
    copied = items_.front().state == Item::State::Copied;
    items_.pop_front();
    --ended_;
    return true;
}

void SmallFileLane::WaitForRoom() {
    std::unique_lock<std::mutex> lock(lock_);
    WaitFor(lock, Want::Room);
}

void SmallFileLane::WaitAll() {
    std::unique_lock<std::mutex> lock(lock_);
    WaitFor(lock, Want::All);
}

void SmallFileLane::Work() {
    OpenFolders folders;
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        Item* item = nullptr;
        const auto found = [&] {
            for (Item& queued : items_) {
                if (queued.state == Item::State::Queued) {
                    item = &queued;
                    return true;
                }
            }
            return stopping_;
        };
        if (!found()) {
            ++idle_;
            work_.wait(lock, found);
            --idle_;
        }
        if (!item)
            return;
        // The deque keeps the item where it is while others are added behind it, and the job
        // thread takes it only once it is done.
        item->state = Item::State::Busy;
        lock.unlock();
        const bool copied = Copy(*item->node, folders);
        lock.lock();
        item->state = copied ? Item::State::Copied : Item::State::Ordinary;
        ++ended_;
        if (Satisfied(want_))
            done_.notify_all();
    }
}

bool SmallFileLane::Copy(const FENTRY_& node, OpenFolders& folders) {
    JobState& job = ctx_.state;
    job.WaitAtGate();
    {
        // As for the writers: once the job ends no copy begins, and the end's count of copies
        // under way is exact.
        std::lock_guard<std::mutex> lock(job.WriterLock);
        if (job.flags.Terminating)
            return false;
        ++job.flags.ActiveWriters;
    }
    std::string name;
    const int folder = folders.At(0, node.SourcePath(), name);
    const int in = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    bool copied = in >= 0 && fstat(in, &st) == 0 && AsListed(st, node);
    std::shared_ptr<const FileMetadata> meta;
    if (copied && ctx_.options.KeepFileTimes)
        meta = ReadMetadata(node.uid, node.gid, in);
    std::vector<Made> made;
    // The name still leads to the file that was read, unchanged: else the ordinary way copies
    // it as it is now.
    struct stat now {};
    copied = copied && MakeCopies(node, in, node.size, folders, made) &&
             fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
             CompareIdentity(IdentityOf(st), now) == IdentityChange::None &&
             Finish(node, meta.get(), made);
    if (!copied)
        Undo(made);
    if (in >= 0)
        ::close(in);
    std::lock_guard<std::mutex> lock(job.WriterLock);
    --job.flags.ActiveWriters;
    return copied;
}

bool SmallFileLane::MakeCopies(const FENTRY_& node, int source, uint64_t size, OpenFolders& folders,
                               std::vector<Made>& made) {
    for (uint32_t slot = 0; slot < ctx_.dests.Count(); ++slot) {
        CopyDest& d = ctx_.dests[slot];
        std::string path = node.DestinationPath(slot, d.root);
        std::string name;
        const int folder = folders.At(1 + slot, path, name);
        const int fd =
            ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     NewFileMode(node.attributes));
        if (fd < 0)
            return false;
        Made copy{slot, fd, std::move(path), folder, std::move(name), {}};
        const bool seen = fstat(fd, &copy.seen) == 0;
        made.push_back(std::move(copy));
        // Named before any byte goes in, so that another source of the job that leads to the
        // same name finds it taken.
        ctx_.written.Record(made.back().path, &node);
        int error = 0;
        if (!seen ||
            !KernelCopy(source, fd, 0, static_cast<uint32_t>(size), ctx_.state.flags, error)) {
            if (KernelRefuses(error)) {
                std::lock_guard<std::mutex> lock(lock_);
                refused_ = true;
            }
            return false;
        }
        CountWritten(d, fd, size);
    }
    return true;
}

void SmallFileLane::CountWritten(CopyDest& d, int fd, uint64_t size) {
    DestWriteback::ClosedSync sync;
    bool syncHere = false;
    {
        std::unique_lock<std::mutex> lock(writebackLock_);
        syncHere = d.writeback.CountClosed(size, sync);
        // Past the bound, the other threads wait for the sync under way, as one file at a time
        // would.
        if (!syncHere)
            writebackRoom_.wait(lock, [&] { return !d.writeback.ClosedOverBound(); });
    }
    if (!syncHere)
        return;
    // Failures are left to the final sync, which reports what did not reach the disk.
    ::syncfs(fd);
    {
        std::lock_guard<std::mutex> lock(writebackLock_);
        d.writeback.ClosedSynced(sync);
    }
    writebackRoom_.notify_all();
}

bool SmallFileLane::Finish(const FENTRY_& node, const FileMetadata* meta, std::vector<Made>& made) {
    for (Made& copy : made) {
        // As the ordinary way gives them: what cannot be given is named, and the copy stays.
        if (meta) {
            const mode_t current =
                KeepMetadata(ctx_, copy.slot, copy.fd, copy.path, *meta, &copy.seen);
            CopyDest& d = ctx_.dests[copy.slot];
            if (const int refused =
                    SetCopyInfo(d, copy.fd, true, node.attributes, node.LastWriteTime(), current))
                NoteModesRefused(ctx_, copy.slot, refused);
        }
        const int closed = ::close(copy.fd);
        copy.fd = -1;
        if (closed != 0)
            return false;
    }
    return true;
}

void SmallFileLane::Undo(std::vector<Made>& made) {
    for (Made& copy : made) {
        if (copy.fd >= 0)
            ::close(copy.fd);
        struct stat now {};
        // A copy whose name leads elsewhere by now is someone else's file and stays.
        if (copy.seen.st_ino != 0 &&
            fstatat(copy.folder, copy.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            now.st_dev == copy.seen.st_dev && now.st_ino == copy.seen.st_ino)
            ::unlinkat(copy.folder, copy.name.c_str(), 0);
    }
    made.clear();
}

}  // namespace rd
