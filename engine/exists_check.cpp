// Settling a destination that already exists before a file is copied to it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/engine_context.h"
#include "engine/exists_decision.h"
#include "engine/job_thread.h"
#include "engine/source_queue.h"
#include "platform/fs.h"
#include "platform/path_parts.h"

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

bool ReadSourceByte(SourceHandle& handle, uint64_t offset, uint8_t& byte) {
    uint32_t n = 1;
    int error = 0;
    return ReadSource(handle, &byte, n, offset, error) && n == 1;
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

// What a resume marker beside a destination says about it.
struct MarkerFacts {
    // A marker of this user stands there: the destination is an incomplete copy.
    bool partial = false;
    // The bytes the marker counts as written.
    uint64_t written = 0;
    // The marker was written for this very source, as it is now, and this very destination: its
    // count can be trusted without reading the destination again.
    bool proven = false;
};

bool SameSourceState(const FileIdentity& recorded, const FileIdentity& now) {
    return recorded.dev == now.dev && recorded.ino == now.ino && recorded.size == now.size &&
           recorded.modified.tv_sec == now.modified.tv_sec &&
           recorded.modified.tv_nsec == now.modified.tv_nsec;
}

// Reads the marker beside `dest` (`there` as the check found it, `size` bytes long). A marker that
// counts more bytes than the file holds (a crash lost what was written last) still says that the
// file is incomplete, but nothing in it can be trusted.
MarkerFacts ReadMarker(const std::string& dest, const struct stat& there, uint64_t size,
                       const std::string& source, const FileIdentity& sourceNow) {
    MarkerFacts facts;
    ResumeMarker marker;
    if (!ReadMarkerBeside(dest, marker))
        return facts;
    facts.partial = true;
    if (marker.written > size)
        return facts;
    facts.written = marker.written;
    facts.proven = marker.hasIdentity && marker.source == source &&
                   SameSourceState(marker.identity.source, sourceNow) &&
                   there.st_dev == marker.identity.destinationDev &&
                   there.st_ino == marker.identity.destinationIno;
    return facts;
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
                             dev_t sourceDev, ino_t sourceIno) {
    if (there.st_dev != sourceDev || there.st_ino != sourceIno)
        return false;
    ctx_.Report(Skipped(dest, OutcomeCause::DestinationIsSource));
    ctx_.dests.SkipDestination(slot);
    return true;
}

std::string JobThread::EarlierSourceOf(const FENTRY_& node) {
    const std::string_view relative = node.relative;
    const std::string_view name = relative.substr(1, relative.find('/', 1) - 1);
    if (sourcesIndexed_ != ctx_.queue.Count() || sourceRemovals_ != ctx_.queue.Removals()) {
        sourcesByName_.clear();
        sourcesIndexed_ = ctx_.queue.Count();
        sourceRemovals_ = ctx_.queue.Removals();
        for (int i = 0; i < sourcesIndexed_; ++i) {
            QueueEntry* entry = ctx_.queue.EntryAt(i);
            if (entry)
                sourcesByName_.emplace(NamePart(entry->file.path), entry);
        }
    }
    const auto [from, to] = sourcesByName_.equal_range(std::string(name));
    for (auto it = from; it != to; ++it) {
        const QueueEntry* entry = it->second;
        // Only a source the job has reached can have written anything.
        if (entry != node.queueEntry && entry->State() != kStateWait) {
            const std::string folder = DirPart(entry->file.path);
            return folder.substr(0, folder.size() - 1) + node.relative;
        }
    }
    return {};
}

bool JobThread::SkipIfWrittenByJob(uint32_t slot, const FENTRY_& node, const std::string& source,
                                   const std::string& dest, const struct stat* there) {
    // A copy still under way may not be on the disk yet: its writer may be behind the reader.
    std::string first;
    if (const FENTRY_* claimed = ctx_.files.ClaimedAt(dest)) {
        first = claimed->SourcePath();
    } else if (there) {
        const WrittenDestinations::Verdict verdict = ctx_.written.At(dest, *there);
        if (verdict.kind == WrittenDestinations::Verdict::Written)
            first = verdict.first->SourcePath();
        else if (verdict.kind == WrittenDestinations::Verdict::WrittenDuringJob)
            first = EarlierSourceOf(node);
    }
    if (first.empty())
        return false;
    NodeOutcome outcome = Skipped(source, OutcomeCause::WrittenByThisJob, dest);
    outcome.other = std::move(first);
    ctx_.Report(outcome);
    ctx_.dests.SkipDestination(slot);
    return true;
}

bool JobThread::SameStart(SourceHandle& handle, int dest, uint64_t length) {
    constexpr uint32_t kPiece = 1 << 20;
    VNBuffer mine, theirs;
    EnsureCapacity(mine, kPiece, *ctx_.allocationFailure);
    EnsureCapacity(theirs, kPiece, *ctx_.allocationFailure);
    for (uint64_t at = 0; at < length; at += kPiece) {
        if (ctx_.state.flags.Terminating)
            return false;
        const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kPiece, length - at));
        uint32_t a = want, b = want;
        int error = 0;
        if (!ReadSource(handle, mine.Data(), a, at, error) ||
            !PositionedRead(dest, theirs.Data(), b, at, error) || a != want || b != want ||
            std::memcmp(mine.Data(), theirs.Data(), want) != 0)
            return false;
    }
    return true;
}

void JobThread::CheckExisting(uint32_t slot, const FENTRY_& node, const std::string& source,
                              SourceHandle& handle, ExistsResult& result) {
    CopyDest& d = ctx_.dests[slot];
    d.active = 1;
    const std::string dest = node.DestinationPath(slot, d.root);
    if (MakesCopies() && MakeNew(slot, node, dest))
        return;
    struct stat there {};
    if (!ExistingNeedsSettling(slot, node, source, dest, there))
        return;

    OpenDestination dst;
    const bool regular = S_ISREG(there.st_mode);
    // A share's file is not read here: its marker, kept privately, says what it holds.
    if (regular && d.Local())
        dst.fd = OpenExistingForReading(dest, there);
    uint64_t size = regular ? static_cast<uint64_t>(there.st_size) : 0;

    // A share's file is not opened here: what it is comes from the check's look at it.
    const bool found = dst.fd >= 0 || (regular && !d.Local());
    MarkerFacts marker;
    if (found)
        marker = ReadMarker(dest, there, size, source, file_.identity);
    if (marker.partial)
        size = marker.written;
    // An empty file (or a copy of which nothing was written) is simply written over. A file of
    // the user's stays the user's: one the copy cannot complete is named, not removed.
    if (found && size == 0) {
        MakeWritable(dst.fd);
        result.kept[slot] = marker.partial ? 0 : 1;
        result.marked = result.marked || marker.partial;
        return;
    }

    // A share's copy is resumed only where its marker proves what it holds: it is not read.
    bool resumable =
        (dst.fd >= 0 || (found && marker.proven)) && size <= node.size && ctx_.dests.Count() == 1;
    if (!marker.proven && !ProbeResumable(source, dest, size, handle, dst.fd, resumable)) {
        result.abandon = true;
        return;
    }
    ExistsFacts facts = FactsAboutExisting(node, source, dest, size, resumable, marker.partial);
    if (!d.Local() && Has(ctx_.policy.onExist, ExistsPolicy::OverwriteOlder)) {
        facts.destinationTimesKnown = true;
        facts.destinationModified = there.st_mtim;
        facts.destinationCreated = there.st_mtim;
    }
    const ExistsAction action = ChooseExistsAction(facts, handle, dst.fd, marker.proven);
    SettleExisting(action, slot, source, facts, dst.fd, result);
}

bool JobThread::MakesCopies() const {
    const bool renamed = IsMove(ctx_.policy.mode) && ctx_.dests.Count() == 1 &&
                         WipePasses(ctx_.policy.mode) == 0 && ctx_.dests[0].Local() &&
                         !file_.shareSource;
    return !ctx_.options.PerFileLink && !renamed;
}

bool JobThread::MakeNew(uint32_t slot, const FENTRY_& node, const std::string& dest) {
    // A copy of this job may be on its way there and not on the disk yet.
    if (ctx_.files.ClaimedAt(dest))
        return false;
    // Made only where nothing stands, a link there included: one call both makes the file and
    // tells that the name was free, where looking first would cost a file system on the network
    // a round trip more.
    MadeFile& made = made_[slot];
    int fd = -1;
    if (ctx_.dests[slot].files->Create(dest, NewFileMode(node.attributes), fd, made.seen) != 0)
        return false;
    made.fd = fd;
    made.fileId = file_.id;
    return true;
}

void JobThread::HandOverMade() {
    for (uint32_t slot = 0; slot < made_.size(); ++slot) {
        MadeFile& made = made_[slot];
        if (made.fd < 0)
            continue;
        ctx_.files.Opened(file_.id, slot);
        if (made.seen.st_mode != 0)
            ctx_.files.Identify(file_.id, slot, made.seen);
        ctx_.dests[slot].KeepMade(made);
        made = {};
    }
}

void JobThread::RemoveMade(const FENTRY_& node) {
    for (uint32_t slot = 0; slot < made_.size(); ++slot) {
        MadeFile& made = made_[slot];
        if (made.fd < 0)
            continue;
        DestFiles& files = *ctx_.dests[slot].files;
        files.Discard(made.fd);
        // Only the very file made here goes: whatever took its name since stays.
        const std::string dest = node.DestinationPath(slot, ctx_.dests[slot].root);
        struct stat there {};
        if (made.seen.st_mode != 0 && files.StatPath(dest, there) == 0 &&
            there.st_dev == made.seen.st_dev && there.st_ino == made.seen.st_ino)
            files.Remove(dest);
        made = {};
    }
}

bool JobThread::ExistingNeedsSettling(uint32_t slot, const FENTRY_& node, const std::string& source,
                                      const std::string& dest, struct stat& there) {
    // Nothing in the last step of the path is followed: a link there is the destination, and
    // whatever it points at is never read, written or changed.
    if (ctx_.dests[slot].files->StatPath(dest, there) != 0) {
        SkipIfWrittenByJob(slot, node, source, dest, nullptr);
        return false;
    }
    // The source itself, reached by another path (a link to its folder, "..", a hard link):
    // never written, renamed, cut or resumed, and never a reason to remove the source.
    if (SkipIfSource(slot, dest, there, file_.identity.dev, file_.identity.ino))
        return false;
    // What another source of this job wrote there is never written over, resumed or renamed.
    if (SkipIfWrittenByJob(slot, node, source, dest, &there))
        return false;
    // A folder in the file's place makes the write fail, which is reported there.
    return !S_ISDIR(there.st_mode);
}

int JobThread::OpenExistingForReading(const std::string& dest, const struct stat& there) {
    int fd = open(dest.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat opened {};
    if (fd >= 0 && (fstat(fd, &opened) != 0 || opened.st_dev != there.st_dev ||
                    opened.st_ino != there.st_ino)) {
        close(fd);
        fd = -1;
    }
    return fd;
}

bool JobThread::ProbeResumable(const std::string& source, const std::string& dest, uint64_t size,
                               SourceHandle& handle, int& destFd, bool& resumable) {
    const uint64_t probes[] = {0, size / 3, size / 2, 2 * size / 3, size - 1};
    for (uint64_t offset : probes) {
        if (!resumable)
            break;
        uint8_t a = 0, b = 0;
        if (!ReadSourceByte(handle, offset, a) || !ReadByte(destFd, offset, b)) {
            close(destFd);
            destFd = ::open(dest.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            handle.Close();
            if (!OpenSourceWithRetry(source, handle))
                return false;
            if (destFd < 0 || !ReadSourceByte(handle, offset, a) || !ReadByte(destFd, offset, b)) {
                resumable = false;
                break;
            }
        }
        if (a != b)
            resumable = false;
    }
    return true;
}

ExistsFacts JobThread::FactsAboutExisting(const FENTRY_& node, const std::string& source,
                                          const std::string& dest, uint64_t size, bool resumable,
                                          bool partial) {
    ExistsFacts facts;
    facts.source = source;
    facts.destination = dest;
    facts.sourceSize = node.size;
    facts.destinationSize = size;
    facts.sourceCreated = node.CreationTime();
    facts.sourceModified = node.LastWriteTime();
    facts.destinations = ctx_.dests.Count();
    facts.resumable = resumable;
    facts.markerResume = partial && ctx_.policy.reserve;
    facts.partial = partial;
    if (Has(ctx_.policy.onExist, ExistsPolicy::OverwriteOlder))
        ReadDestinationTimes(dest, facts);
    return facts;
}

ExistsAction JobThread::ChooseExistsAction(ExistsFacts& facts, SourceHandle& handle, int destFd,
                                           bool proven) {
    ExistsAction action = DecideExisting(ctx_.policy.onExist, facts);
    const bool asked = action == ExistsAction::Ask;
    if (asked)
        action = AskAboutExisting(facts);
    // The probes only say that resuming looks possible: nothing is appended to a destination
    // until its whole start is known to be the source's.
    if (action == ExistsAction::Resume && !proven &&
        !SameStart(handle, destFd, facts.destinationSize)) {
        facts.resumable = false;
        action = DecideExisting(ctx_.policy.onExist, facts);
        if (asked || action == ExistsAction::Ask)
            action = AskAboutExisting(facts);
    }
    return action;
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
        case ExistsAction::Resume: {
            MakeWritable(opened);
            result.kept[slot] = 1;
            result.marked = result.marked || facts.partial;
            // A reserved destination already has the source's length; any other longer one is
            // cut to what is kept, so that the copy ends where the source does.
            struct stat st {};
            if (opened >= 0 && fstat(opened, &st) == 0 &&
                static_cast<uint64_t>(st.st_size) > facts.sourceSize) {
                const int w = ReopenForWriting(dest, opened, 0);
                if (w >= 0) {
                    SetFileLength(w, facts.destinationSize);
                    close(w);
                }
            }
            result.position = facts.destinationSize;
            ctx_.state.counters.doneBytes += facts.destinationSize;
            ctx_.state.counters.filePercent =
                facts.sourceSize
                    ? static_cast<uint32_t>(facts.destinationSize * 100 / facts.sourceSize)
                    : 100;
            return;
        }
        case ExistsAction::RenameOld: {
            const std::string renamed = DirPart(dest) + "vn_rename." + NamePart(dest);
            // Never replaces an earlier file of that name; a destination that cannot be moved
            // aside is kept rather than written over.
            if (const int error = ctx_.dests[slot].files->Rename(dest, renamed)) {
                ctx_.Report(
                    Failed(source, OutcomeCause::OperationFailed, error, Operation::Rename, dest));
                ctx_.dests.SkipDestination(slot);
            } else if (facts.partial) {
                // The marker goes with the incomplete file it counts.
                renameat2(AT_FDCWD, MarkerPathOf(dest).c_str(), AT_FDCWD,
                          MarkerPathOf(renamed).c_str(), RENAME_NOREPLACE);
            }
            return;
        }
        case ExistsAction::Overwrite:
            // Removing the name replaces a link, never its target. A file that cannot be
            // removed is emptied instead, so that no old bytes stay behind the new end.
            if (const int error = ctx_.dests[slot].files->Remove(dest);
                error != 0 && !ctx_.dests[slot].Local()) {
                // Nothing may be written over a share's file that stays: its old tail would stay.
                ctx_.Report(
                    Failed(source, OutcomeCause::OperationFailed, error, Operation::Write, dest));
                ctx_.dests.SkipDestination(slot);
                return;
            } else if (error != 0 && opened >= 0) {
                const int w = ReopenForWriting(dest, opened, O_TRUNC);
                if (w >= 0)
                    close(w);
                result.kept[slot] = 1;
            }
            if (facts.partial)
                unlink(MarkerPathOf(dest).c_str());
            return;
        case ExistsAction::Skip: break;
    }
    ctx_.Report(Skipped(source, OutcomeCause::ExistingKept, dest));
    ctx_.dests.SkipDestination(slot);
}

}  // namespace rd
