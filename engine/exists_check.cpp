// Settling a destination that already exists before a file is copied to it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "engine/engine_context.h"
#include "engine/job_thread.h"
#include "engine/path_parts.h"
#include "engine/prompts.h"
#include "platform/fs.h"
#include "platform/text.h"

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

bool Before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
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

    // A marker beside the destination says how much of it was really written.
    bool markerResume = false;
    const std::string markerPath = dest + kMarkerSuffix;
    int marker = dst.fd < 0 ? -1 : ::open(markerPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (marker >= 0) {
        uint8_t bytes[8];
        const bool got = pread(marker, bytes, 8, 0) == 8;
        close(marker);
        uint64_t saved = 0;
        for (int i = 7; i >= 0; --i)
            saved = (saved << 8) | bytes[i];
        if (!got || size < saved) {
            unlink(markerPath.c_str());
        } else {
            size = saved;
            if (ctx_.settings.resfsz) {
                markerResume = true;
            } else {
                const int w = ReopenForWriting(dest, dst.fd, 0);
                if (w >= 0) {
                    SetFileLength(w, saved);
                    close(w);
                }
                unlink(markerPath.c_str());
            }
        }
    }
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

    const MessageTable& texts = ctx_.messages;
    std::string message =
        texts.Text(3) + text::Format(" %s\r\n", source.c_str()) +
        text::Format("%s %Li\r\n\r\n", texts.Text(4).c_str(), static_cast<long long>(node.size)) +
        text::Format("%s %s\r\n", texts.Text(5).c_str(), dest.c_str()) +
        text::Format("%s %Li\r\n", texts.Text(6).c_str(), static_cast<long long>(size));
    if (!resumable) {
        if (ctx_.dests.Count() > 1)
            message += "\r\n" + texts.Text(1);
        else if (node.size >= size)
            message += "\r\n" + texts.Text(2);
    }

    int32_t policy = ctx_.settings.onexist;
    if (markerResume)
        policy &= ~onexist::kRenameOld;
    if (policy & onexist::kOverwriteOlder) {
        for (int attempt = 1; attempt <= 5; ++attempt) {
            auto found = fs::GetAttributes(dest);
            if (found) {
                const bool createdBefore = found->created.tv_sec != 0 &&
                                           node.creationTime.tv_sec != 0 &&
                                           Before(found->created, node.creationTime);
                if (createdBefore || Before(found->modified, node.lastWriteTime))
                    policy = onexist::kOverwrite;
                break;
            }
            policy = onexist::kOverwrite;
            std::this_thread::sleep_for(std::chrono::milliseconds(50 * attempt));
        }
        policy &= ~onexist::kOverwriteOlder;
    }
    if ((policy & onexist::kTryResume) && !resumable)
        policy &= 0xB;

    intptr_t answer = policy;
    if (answer == 0)
        answer = AskExistsPrompt(ctx_,
                                 (resumable ? promptflag::kResumePossible : 0) |
                                     (markerResume ? 0 : promptflag::kRenamePossible),
                                 message);

    if ((answer & onexist::kTryResume) && resumable) {
        MakeWritable(dst.fd);
        result.position = size;
        ctx_.state.counters.doneBytes += size;
        ctx_.state.counters.filePercent =
            node.size ? static_cast<uint32_t>(size * 100 / node.size) : 100;
        return;
    }
    if (answer & onexist::kRenameOld) {
        const std::string renamed = DirPart(dest) + "vn_rename." + NamePart(dest);
        // Never replaces an earlier file of that name; a destination that cannot be moved aside
        // is kept rather than written over.
        if (renameat2(AT_FDCWD, dest.c_str(), AT_FDCWD, renamed.c_str(), RENAME_NOREPLACE) != 0) {
            ++ctx_.state.counters.skips;
            ctx_.dests.SkipDestination(slot);
        }
        return;
    }
    if ((answer & onexist::kOverwrite) && !(answer & onexist::kSkip)) {
        // Removing the name replaces a link, never its target. A file that cannot be removed
        // is emptied instead, so that no old bytes stay behind the new end.
        if (unlink(dest.c_str()) != 0 && dst.fd >= 0) {
            const int w = ReopenForWriting(dest, dst.fd, O_TRUNC);
            if (w >= 0)
                close(w);
        }
        return;
    }
    ++ctx_.state.counters.skips;
    ctx_.dests.SkipDestination(slot);
}

}  // namespace rd
