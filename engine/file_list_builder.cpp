#include "engine/file_list_builder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "engine/engine_context.h"
#include "engine/source_queue.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/path_parts.h"
#include "platform/text.h"

namespace rd {

namespace {

constexpr int kFindAttempts = 10;
constexpr uint64_t kStatusIntervalMs = 300;
// How often a pause between two attempts looks whether the walk is to stop.
constexpr int kStopCheckMs = 10;
// Folders held open at once by a walk, one a level; deeper levels are named by whole paths, so
// that no tree runs the process out of descriptors.
constexpr int kHeldFolders = 64;

// Sleeps `ms`; false, and at once, when `stop` says the walk is to end.
bool PauseUnlessStopped(int ms, const std::function<bool()>& stop) {
    for (int slept = 0; slept < ms; slept += kStopCheckMs) {
        if (stop && stop())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kStopCheckMs, ms - slept)));
    }
    return !(stop && stop());
}

// Reads the attributes of `name` in the folder open as `at` (AT_FDCWD: `name` is `full`), trying
// again 50 ms x attempt later after each failure: a source on a slow or just-woken device may
// not answer at once. A path that does not exist, cannot be searched, loops or is too long never
// becomes reachable by waiting: it is given up at once, and `error` gets the errno. A walk being
// stopped waits no longer.
std::optional<fs::Attributes> Find(int at, const std::string& name, const std::string& full,
                                   int* error = nullptr, const std::function<bool()>& stop = {}) {
    // Named relative to its folder, an entry deeper than a path can name would be found; the
    // copy names whole paths, so the walk gives it up as a call with its whole path would.
    if (full.size() >= PATH_MAX) {
        if (error)
            *error = ENAMETOOLONG;
        return std::nullopt;
    }
    int last = 0;
    for (int attempt = 0; attempt < kFindAttempts; ++attempt) {
        if (auto found = fs::GetAttributesAt(at, name, &last))
            return found;
        if (last == ENOENT || last == ENOTDIR || last == EACCES || last == ELOOP ||
            last == ENAMETOOLONG)
            break;
        if (!PauseUnlessStopped(50 * attempt, stop))
            break;
    }
    if (error)
        *error = last;
    return std::nullopt;
}

// Only regular files carry data: links are recreated as links and the other kinds are
// skipped, so counting their sizes would make the totals unreachable.
uint64_t DataSize(const fs::Attributes& attributes) {
    return attributes.IsRegular() ? attributes.size : 0;
}

// `folder` + "/" + `name`, without doubling the separator below the root.
std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
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
    if (!given.empty() && given.front() != '/')
        return NormalizePath(fs::CurrentFolder() + "/" + given);
    return NormalizePath(given);
}

void FileListBuilder::AddSource(QueueEntry* entry, const std::string& given) {
    const std::string path = PlainPath(given);
    int error = 0;
    const std::optional<fs::Attributes> found = Find(AT_FDCWD, path, path, &error, stop_);
    if (!found) {
        // A source whose search was cut short by the end of the job was not found missing.
        if (!Stopped())
            LeaveOut(path, error);
        return;
    }
    if (!entry)
        entry = ctx_.queue.EntryAt(ctx_.queue.Add(path));
    std::string folder = DirPart(path);
    folder.pop_back();
    // Sources of one folder, as a list file gives them, share the folder's text.
    const Base base = ctx_.list.KeepBase(folder);
    if (AddFileEntry(entry, base, nullptr, path) && found->IsFolder())
        AddFolderTree(entry, base, path);
}

void FileListBuilder::AddFolderTree(QueueEntry* entry, const Base& base,
                                    const std::string& folder) {
    WalkFolder(entry, base, AT_FDCWD, folder, folder, 0);
}

void FileListBuilder::WalkFolder(QueueEntry* entry, const Base& base, int parent,
                                 const std::string& name, const std::string& folder, int depth) {
    // A folder replaced by a link since it was found is refused here, not followed.
    const bool held = depth < kHeldFolders;
    const int fd = held ? fs::OpenFolderAt(parent, name) : AT_FDCWD;
    std::vector<fs::DirEntry> names;
    int error = fd < 0 && fd != AT_FDCWD ? -fd : 0;
    if (!error)
        error = held ? fs::ListFolderAt(fd, "*", names) : fs::ListFolder(folder, "*", names);
    if (error)
        LeaveOut(folder, error);
    else
        WalkEntries(entry, base, fd, folder, names, depth);
    if (held && fd >= 0)
        ::close(fd);
}

void FileListBuilder::WalkEntries(QueueEntry* entry, const Base& base, int fd,
                                  const std::string& folder, const std::vector<fs::DirEntry>& names,
                                  int depth) {
    for (const fs::DirEntry& name : names) {
        if (Stopped())
            return;
        const std::string full = JoinPath(folder, name.name);
        const std::string& named = fd == AT_FDCWD ? full : name.name;
        int error = 0;
        const std::optional<fs::Attributes> found = Find(fd, named, full, &error, stop_);
        if (!found) {
            // An entry removed since the folder was listed was never part of the job.
            if (error != ENOENT && !Stopped())
                LeaveOut(full, error);
            continue;
        }
        if (AddFileEntry(entry, base, &*found, full)) {
            if (found->IsFolder())
                WalkFolder(entry, base, fd, named, full, depth + 1);
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
    const std::optional<fs::Attributes> found = Find(AT_FDCWD, path, path);
    if (!found)
        return false;
    Describe(node, *found);
    return true;
}

}  // namespace rd
