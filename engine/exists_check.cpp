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

// Gives the owner write permission, the "normal" attributes an existing file needs before it
// can be resumed, renamed or replaced.
void MakeWritable(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR))
        chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

bool ReadByte(int fd, uint64_t offset, uint8_t& byte) {
    return pread(fd, &byte, 1, static_cast<off_t>(offset)) == 1;
}

bool Before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

void JobThread::CheckExisting(uint32_t slot, const FENTRY_& node, SourceHandle& handle,
                              ExistsResult& result) {
    CopyDest& d = ctx_.dests[slot];
    d.active = 1;
    const std::string dest = d.root + node.relative;
    struct stat st {};
    if (lstat(dest.c_str(), &st) != 0)
        return;
    MakeWritable(dest);
    int fd = open(dest.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat open {};
    if (fstat(fd, &open) != 0 && fstat(fd, &open) != 0) {
        close(fd);
        return;
    }
    uint64_t size = static_cast<uint64_t>(open.st_size);
    struct stat src {};
    const bool isSource =
        fstat(handle.fd, &src) == 0 && src.st_dev == open.st_dev && src.st_ino == open.st_ino;

    // A marker beside the destination says how much of it was really written.
    bool markerResume = false;
    const std::string markerPath = dest + kMarkerSuffix;
    int marker = ::open(markerPath.c_str(), O_RDONLY | O_CLOEXEC);
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
                SetFileLength(fd, saved);
                unlink(markerPath.c_str());
            }
        }
    }
    if (size == 0 && !isSource) {
        close(fd);
        return;
    }

    bool resumable = size <= node.size && ctx_.dests.Count() == 1;
    const uint64_t probes[] = {0, size / 3, size / 2, 2 * size / 3, size - 1};
    for (uint64_t offset : probes) {
        if (!resumable || size == 0)
            break;
        uint8_t a = 0, b = 0;
        if (!ReadByte(handle.fd, offset, a) || !ReadByte(fd, offset, b)) {
            close(fd);
            fd = ::open(dest.c_str(), O_RDONLY | O_CLOEXEC);
            handle.Close();
            if (!OpenSourceWithRetry(result.source, handle)) {
                if (fd >= 0)
                    close(fd);
                result.abandon = true;
                return;
            }
            if (fd < 0 || !ReadByte(handle.fd, offset, a) || !ReadByte(fd, offset, b)) {
                resumable = false;
                break;
            }
        }
        if (a != b)
            resumable = false;
    }
    if (fd >= 0)
        close(fd);

    const MessageTable& texts = ctx_.messages;
    std::string message =
        texts.Text(3) + text::Format(" %s\r\n", result.source.c_str()) +
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
        result.position = size;
        ctx_.state.counters.doneBytes += size;
        ctx_.state.counters.filePercent =
            node.size ? static_cast<uint32_t>(size * 100 / node.size) : 100;
        return;
    }
    if (answer & onexist::kRenameOld) {
        const std::string renamed = DirPart(dest) + "vn_rename." + NamePart(dest);
        if (isSource)
            handle.Close();
        // Never replaces an earlier file of that name; a destination that cannot be moved aside
        // is kept rather than written over.
        if (renameat2(AT_FDCWD, dest.c_str(), AT_FDCWD, renamed.c_str(), RENAME_NOREPLACE) != 0) {
            if (isSource && !OpenSourceWithRetry(result.source, handle)) {
                result.abandon = true;
                return;
            }
            ++ctx_.state.counters.skips;
            ctx_.dests.SkipDestination(slot);
            return;
        }
        if (isSource) {
            result.source = renamed;
            result.sourceRenamed = true;
            if (!OpenSourceWithRetry(result.source, handle))
                result.abandon = true;
        }
        return;
    }
    // Overwriting the source with itself would destroy it; that destination is already whole.
    if ((answer & onexist::kOverwrite) && !(answer & onexist::kSkip) && !isSource) {
        MakeWritable(dest);
        unlink(dest.c_str());
        return;
    }
    ++ctx_.state.counters.skips;
    ctx_.dests.SkipDestination(slot);
}

}  // namespace rd
