// Settling a destination that already exists before a file is copied to it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "engine/engine_context.h"
#include "engine/exists_decision.h"
#include "engine/job_thread.h"
#include "engine/path_parts.h"
#include "platform/fs.h"

namespace rd {

namespace {

// Gives the owner write permission through the open descriptor, so that a link put in the
// file's place since it was opened can never pass the change on to another file.
void MakeWritable(int fd) {
    struct stat st {};
    if (fstat(fd, &st) == 0 && !(st.st_mode & S_IWUSR))
        fchmod(fd, (st.st_mode & 07777) | S_IWUSR);
}

// Opens `path` for writing only when it is still the file `opened` is open on.
int ReopenForWriting(const std::string& path, int opened, int flags) {
    MakeWritable(opened);
    int fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags);
    struct stat a {
    }, b{};
    if (fd >= 0 && (fstat(fd, &a) != 0 || fstat(opened, &b) != 0 || a.st_dev != b.st_dev ||
                    a.st_ino != b.st_ino)) {
        close(fd);
        fd = -1;
    }
    return fd;
}

bool ReadByte(int fd, uint64_t offset, uint8_t& byte) {
    return pread(fd, &byte, 1, static_cast<off_t>(offset)) == 1;
}

// The destination's times, for the overwrite-older policy. A file system may not show a file
// just written by someone else at once: a few tries, then they count as unknown.
void ReadDestinationTimes(const std::string& dest, ExistsFacts& facts) {
    for (int attempt = 1; attempt <= 5; ++attempt) {
        if (auto found = fs::GetAttributes(dest)) {
            facts.destinationTimesKnown = true;
            facts.destinationCreated = found->created;
            facts.destinationModified = found->modified;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50 * attempt));
    }
}

// A marker beside the destination (open as `opened`, `size` bytes long) says how much of it
// was really written: that much is kept. With reserved space the copy resumes from there
// (`markerResume`); otherwise the destination is cut to it and the marker goes.
uint64_t ReadMarker(const std::string& dest, int opened, uint64_t size, bool reserve,
                    bool& markerResume) {
    const std::string markerPath = dest + kMarkerSuffix;
    const int marker = ::open(markerPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (marker < 0)
        return size;
    uint8_t bytes[8];
    const bool got = pread(marker, bytes, 8, 0) == 8;
    close(marker);
    uint64_t saved = 0;
    for (int i = 7; i >= 0; --i)
        saved = (saved << 8) | bytes[i];
    if (!got || size < saved) {
        unlink(markerPath.c_str());
        return size;
    }
    if (reserve) {
        markerResume = true;
        return saved;
    }
    const int w = ReopenForWriting(dest, opened, 0);
    if (w >= 0) {
        SetFileLength(w, saved);
        close(w);
    }
    unlink(markerPath.c_str());
    return saved;
}

// Closes the descriptor on every way out of the check.
struct OpenDestination {
    int fd = -1;
    ~OpenDestination() {
        if (fd >= 0)
            close(fd);
    }
};

}  // namespace

bool JobThread::SkipIfSource(uint32_t slot, const std::string& dest, const struct stat& there,
                             const struct stat& source) {
    if (there.st_dev != source.st_dev || there.st_ino != source.st_ino)
        return false;
    ctx_.Report(Skipped(dest, OutcomeCause::DestinationIsSource));
    ctx_.dests.SkipDestination(slot);
    return true;
}

void JobThread::CheckExisting(uint32_t slot, const FENTRY_& node, const std::string& source,
                              SourceHandle& handle, ExistsResult& result) {
    CopyDest& d = ctx_.dests[slot];
    d.active = 1;
    const std::string dest = d.root + node.relative;
    // Nothing in the last step of the path is followed: a link there is the destination, and
    // whatever it points at is never read, written or changed.
    struct stat there {};
    if (lstat(dest.c_str(), &there) != 0)
        return;
    // The source itself, reached by another path (a link to its folder, "..", a hard link):
    // never written, renamed, cut or resumed, and never a reason to remove the source.
    struct stat src {};
    if (fstat(handle.fd, &src) == 0 && SkipIfSource(slot, dest, there, src))
        return;
    // A folder in the file's place makes the write fail, which is reported there.
    if (S_ISDIR(there.st_mode))
        return;

    OpenDestination dst;
    const bool regular = S_ISREG(there.st_mode);
    if (regular) {
        dst.fd = open(dest.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat opened {};
        if (dst.fd >= 0 && (fstat(dst.fd, &opened) != 0 || opened.st_dev != there.st_dev ||
                            opened.st_ino != there.st_ino)) {
            close(dst.fd);
            dst.fd = -1;
        }
    }
    uint64_t size = regular ? static_cast<uint64_t>(there.st_size) : 0;

    bool markerResume = false;
    if (dst.fd >= 0)
        size = ReadMarker(dest, dst.fd, size, ctx_.settings.resfsz != 0, markerResume);
    // An empty file is simply written over by the copy.
    if (dst.fd >= 0 && size == 0) {
        MakeWritable(dst.fd);
        return;
    }

    bool resumable = dst.fd >= 0 && size <= node.size && ctx_.dests.Count() == 1;
    const uint64_t probes[] = {0, size / 3, size / 2, 2 * size / 3, size - 1};
    for (uint64_t offset : probes) {
        if (!resumable)
            break;
        uint8_t a = 0, b = 0;
        if (!ReadByte(handle.fd, offset, a) || !ReadByte(dst.fd, offset, b)) {
            close(dst.fd);
            dst.fd = ::open(dest.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            handle.Close();
            if (!OpenSourceWithRetry(source, handle)) {
                result.abandon = true;
                return;
            }
            if (dst.fd < 0 || !ReadByte(handle.fd, offset, a) || !ReadByte(dst.fd, offset, b)) {
                resumable = false;
                break;
            }
        }
        if (a != b)
            resumable = false;
    }

    ExistsFacts facts;
    facts.source = source;
    facts.destination = dest;
    facts.sourceSize = node.size;
    facts.destinationSize = size;
    facts.sourceCreated = node.CreationTime();
    facts.sourceModified = node.LastWriteTime();
    facts.destinations = ctx_.dests.Count();
    facts.resumable = resumable;
    facts.markerResume = markerResume;
    if (ctx_.settings.onexist & onexist::kOverwriteOlder)
        ReadDestinationTimes(dest, facts);
    ExistsAction action = DecideExisting(ctx_.settings.onexist, facts);
    if (action == ExistsAction::Ask)
        action = AskAboutExisting(facts);
    SettleExisting(action, slot, source, facts, dst.fd, result);
}

ExistsAction JobThread::AskAboutExisting(const ExistsFacts& facts) {
    // With no one to ask, the destination keeps its file.
    const ExistsAnswer answer =
        ctx_.questions ? ctx_.questions->AskExists(facts) : ExistsAnswer::Skip;
    switch (answer) {
        case ExistsAnswer::Overwrite: return ExistsAction::Overwrite;
        case ExistsAnswer::Resume:
            return facts.resumable ? ExistsAction::Resume : ExistsAction::Skip;
        case ExistsAnswer::RenameOld: return ExistsAction::RenameOld;
        case ExistsAnswer::Skip: return ExistsAction::Skip;
        case ExistsAnswer::Abort: break;
    }
    return ExistsAction::Ask;
}

void JobThread::SettleExisting(ExistsAction action, uint32_t slot, const std::string& source,
                               const ExistsFacts& facts, int opened, ExistsResult& result) {
    const std::string& dest = facts.destination;
    switch (action) {
        case ExistsAction::Ask:
            // The job is ending: the file is not copied at all.
            result.abandon = true;
            return;
        case ExistsAction::Resume:
            MakeWritable(opened);
            result.position = facts.destinationSize;
            ctx_.state.counters.doneBytes += facts.destinationSize;
            ctx_.state.counters.filePercent =
                facts.sourceSize
                    ? static_cast<uint32_t>(facts.destinationSize * 100 / facts.sourceSize)
                    : 100;
            return;
        case ExistsAction::RenameOld: {
            const std::string renamed = DirPart(dest) + "vn_rename." + NamePart(dest);
            // Never replaces an earlier file of that name; a destination that cannot be moved
            // aside is kept rather than written over.
            if (renameat2(AT_FDCWD, dest.c_str(), AT_FDCWD, renamed.c_str(), RENAME_NOREPLACE) !=
                0) {
                ctx_.Report(
                    Failed(source, OutcomeCause::OperationFailed, errno, Operation::Rename, dest));
                ctx_.dests.SkipDestination(slot);
            }
            return;
        }
        case ExistsAction::Overwrite:
            // Removing the name replaces a link, never its target. A file that cannot be
            // removed is emptied instead, so that no old bytes stay behind the new end.
            if (unlink(dest.c_str()) != 0 && opened >= 0) {
                const int w = ReopenForWriting(dest, opened, O_TRUNC);
                if (w >= 0)
                    close(w);
            }
            return;
        case ExistsAction::Skip: break;
    }
    ctx_.Report(Skipped(source, OutcomeCause::ExistingKept, dest));
    ctx_.dests.SkipDestination(slot);
}

}  // namespace rd
