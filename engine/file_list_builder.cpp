#include "engine/file_list_builder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <vector>

#include "engine/engine_context.h"
#include "engine/find_entry.h"
#include "engine/source_queue.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/path_parts.h"
#include "platform/text.h"

namespace rd {

namespace {

constexpr uint64_t kStatusIntervalMs = 300;

// Only regular files carry data: links are recreated as links and the other kinds are
// skipped, so counting their sizes would make the totals unreachable.
uint64_t DataSize(const fs::Attributes& attributes) {
    return attributes.IsRegular() ? attributes.size : 0;
}

void ShowStatus(EngineContext& ctx, const std::string& full, uint32_t files, uint64_t bytes) {
    ctx.host.ShowFile(full);
    ctx.host.ShowStatus(text::GroupThousands(bytes, ctx.messages.Facts().thousands) +
                        " (collecting...)");
    if (ctx.console && ctx.console->Attached())
        ctx.console->Line(text::Format("Total files: %u; Total size: %Li bytes      ", files,
                                       static_cast<long long>(bytes)),
                          false);
}

}  // namespace

void FileListBuilder::RunIntake() {
    for (;;) {
        const SourceQueue::Next next = ctx_.host.NextSource();
        if (next.path.empty())
            break;
        AddSource(next.entry, next.path);
    }
    ctx_.jobTotalBytes = ctx_.state.counters.listedBytes.load();
    ctx_.host.ListComplete(ctx_.jobTotalBytes);
}

std::string FileListBuilder::PlainPath(const std::string& given) {
    if (SourceFiles::OnShare(given))
        return SourceFiles::PlainAddress(given);
    if (!given.empty() && given.front() != '/')
        return NormalizePath(fs::CurrentFolder() + "/" + given);
    return NormalizePath(given);
}

void FileListBuilder::AddSource(QueueEntry* entry, const std::string& given) {
    const std::string path = PlainPath(given);
    if (SourceFiles::OnShare(path)) {
        AddShareSource(entry, path);
        return;
    }
    int error = 0;
    const std::optional<fs::Attributes> found = FindEntry(AT_FDCWD, path, path, &error, stop_);
    if (!found) {
        // A source whose search was cut short by the end of the job was not found missing.
        if (!Stopped())
            LeaveOut(path, error);
        return;
    }
    const Base base = Place(entry, path);
    if (AddFileEntry(entry, base, nullptr, path) && found->IsFolder())
        AddFolderTree(entry, base, path);
}

FileListBuilder::Base FileListBuilder::Place(QueueEntry*& entry, const std::string& path) {
    if (!entry)
        entry = ctx_.queue.EntryAt(ctx_.queue.Add(path));
    std::string folder = DirPart(path);
    folder.pop_back();
    // Sources of one folder, as a list file gives them, share the folder's text.
    return ctx_.list.KeepBase(folder);
}

void FileListBuilder::AddShareSource(QueueEntry* entry, const std::string& given) {
    // Deleting and linking act on this machine's files only.
    int error = IsDelete(ctx_.policy.mode) || ctx_.options.PerFileLink ? EOPNOTSUPP : 0;
    ShareFiles* share = nullptr;
    struct stat seen {};
    std::string path = given;
    if (!error && !(error = ctx_.sources.Add(given, path))) {
        share = ctx_.sources.ShareOf(path);
        error = share ? share->StatPath(path, seen) : EINVAL;
    }
    if (error) {
        if (!Stopped())
            LeaveOut(path, error);
        return;
    }
    const Base base = Place(entry, path);
    const fs::Attributes found = fs::FromStat(seen);
    if (AddFileEntry(entry, base, &found, path) && found.IsFolder())
        WalkShareFolder(entry, base, *share, path);
}

void FileListBuilder::WalkShareFolder(QueueEntry* entry, const Base& base, ShareFiles& share,
                                      const std::string& folder) {
    std::vector<ShareEntry> entries;
    if (const int error = share.List(folder, entries)) {
        if (!Stopped())
            LeaveOut(folder, error);
        return;
    }
    for (const ShareEntry& item : entries) {
        if (Stopped())
            return;
        const std::string full = folder + "/" + item.name;
        const fs::Attributes found = fs::FromStat(item.seen);
        if (AddFileEntry(entry, base, &found, full)) {
            if (found.IsFolder())
                WalkShareFolder(entry, base, share, full);
        } else if (entry && !ctx_.queue.Contains(entry)) {
            return;
        }
    }
}

void FileListBuilder::AddFolderTree(QueueEntry* entry, const Base& base,
                                    const std::string& folder) {
    FolderReadAhead readAhead(stop_);
    WalkFolder(entry, base, readAhead, readAhead.Top(folder), folder);
}

void FileListBuilder::WalkFolder(QueueEntry* entry, const Base& base, FolderReadAhead& readAhead,
                                 const FolderReadAhead::FolderRef& folder,
                                 const std::string& path) {
    const FolderReadAhead::Contents contents = readAhead.Take(folder);
    if (contents.error)
        LeaveOut(path, contents.error);
    else
        WalkEntries(entry, base, readAhead, contents.entries);
}

void FileListBuilder::WalkEntries(QueueEntry* entry, const Base& base, FolderReadAhead& readAhead,
                                  const std::vector<FolderReadAhead::Entry>& entries) {
    for (const FolderReadAhead::Entry& item : entries) {
        if (Stopped())
            return;
        if (!item.found) {
            // An entry removed since the folder was listed was never part of the job.
            if (item.error != ENOENT && !Stopped())
                LeaveOut(item.full, item.error);
            continue;
        }
        if (AddFileEntry(entry, base, &*item.found, item.full)) {
            if (item.below)
                WalkFolder(entry, base, readAhead, item.below, item.full);
        } else if (entry && !ctx_.queue.Contains(entry)) {
            // The source was taken out of the queue: nothing more of it will be kept.
            return;
        }
    }
}

void FileListBuilder::LeaveOut(const std::string& path, int error) {
    ctx_.Report(Failed(path, OutcomeCause::CannotReach, error));
}

void FileListBuilder::Describe(FENTRY_& node, const fs::Attributes& found) {
    node.size = DataSize(found);
    node.attributes = found.mode;
    node.SetTimes(found.created, found.modified);
    node.uid = found.uid;
    node.gid = found.gid;
}

bool FileListBuilder::AddFileEntry(QueueEntry* entry, const Base& base, const fs::Attributes* known,
                                   const std::string& full) {
    FENTRY_ node;
    node.queueEntry = entry;
    node.base = base;
    node.relative = full.substr(std::min(base ? base->size() : 0, full.size()));
    if (known)
        Describe(node, *known);
    if (!FillEntryInfo(node))
        return false;

    bool report = false;
    uint32_t files = 0;
    uint64_t bytes = 0;
    {
        std::lock_guard<std::mutex> lock(ctx_.list.ListLock);
        // ListLock before the queue's own lock, as everywhere. A source deleted from the queue
        // while it was walked has already had its nodes taken out; new ones must not follow.
        if (entry && !ctx_.queue.Contains(entry))
            return false;
        JobCounters& counters = ctx_.state.counters;
        if (!node.IsFolder()) {
            counters.listedBytes += node.size;
            ++counters.listedFiles;
        }
        files = counters.listedFiles;
        bytes = counters.listedBytes;
        const uint64_t now = TickMs();
        if (ctx_.state.flags.EngineReady == 0 && now - lastStatus_ >= kStatusIntervalMs) {
            lastStatus_ = now;
            report = true;
        }
        ctx_.list.Append(std::move(node));
    }
    // Outside ListLock: the window thread takes it when it adds dropped sources, so waiting
    // for the window while holding it could deadlock.
    if (report)
        ShowStatus(ctx_, full, files, bytes);
    return true;
}

bool FileListBuilder::FillEntryInfo(FENTRY_& node) {
    if (node.size != kSizeUnknown && node.attributes != kAttributesUnknown)
        return true;
    const std::string path = node.SourcePath();
    if (SourceFiles::OnShare(path))
        return false;  // the walk of a share describes every node it adds
    if (path == "/") {
        // The root stands for the destination root itself: it is recreated as a plain folder
        // rather than with the system root's own permissions and times.
        node.size = 0;
        node.attributes = S_IFDIR | 0755;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        node.SetTimes(now, now);
        return true;
    }
    const std::optional<fs::Attributes> found = FindEntry(AT_FDCWD, path, path);
    if (!found)
        return false;
    Describe(node, *found);
    return true;
}

}  // namespace rd
