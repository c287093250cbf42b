// Walks the job's sources into the file list: a node per file, a folder node before the nodes
// below it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/folder_read_ahead.h"

namespace rd {

namespace fs {
struct Attributes;
}
struct EngineContext;
struct FENTRY_;
struct QueueEntry;
class ShareFiles;

class FileListBuilder {
public:
    explicit FileListBuilder(EngineContext& context) : ctx_(context) {}

    // From now on a walk ends early, between two entries or two attempts to find one, once
    // `stop` says so; what is not listed by then is left out without a report. Unset, every
    // source is walked whole. The walk's helper threads call it too.
    void StopWhen(std::function<bool()> stop) { stop_ = std::move(stop); }

    // The plain form of a source as given: relative to the current folder, without a trailing
    // "/" (the folder would become its own base and its contents would land loose in the
    // destination) and without "." or ".." (which would carry relative paths out of it).
    static std::string PlainPath(const std::string& given);

    // Asks the window for the queued sources one by one (WMU_NEXTSOURCE) and walks each before
    // asking for the next, until the queue has no more.
    void RunIntake();

    // Adds one source: up to 10 attempts to find it, 50 ms x attempt apart, but none more for
    // a source that does not exist or cannot be reached; a source never found is counted as a
    // skip and named. Without a queue entry (a drop or a hand-off) one is added to the queue. A
    // folder is walked completely. Any thread.
    void AddSource(QueueEntry* entry, const std::string& path);

    // Adds every entry of `folder`, walking subfolders as they are met; links are not followed.
    // Each folder is opened once and what is in it is named relative to it; the folders below
    // are read ahead on a few threads (FolderReadAhead), the list is made here in the walk's
    // order. The source's folder as the list keeps it (FileList::KeepBase).
    using Base = const std::string*;
    void AddFolderTree(QueueEntry* entry, const Base& base, const std::string& folder);

    // Creates a node for `full` below `base`, completes it (everything is read when `known` is
    // null), counts it in the listed totals, reports the growing total at most every 300 ms
    // while the copy has not started, and links it at the tail. Returns false when the file
    // cannot be found.
    bool AddFileEntry(QueueEntry* entry, const Base& base, const fs::Attributes* known,
                      const std::string& full);

    // Reads what is unknown of a node (size, attributes, times): up to 10 attempts, 50 ms x
    // attempt apart. The root folder "/" is taken as a folder at once.
    static bool FillEntryInfo(FENTRY_& node);
    // Fills a node from what lstat told about its source.
    static void Describe(FENTRY_& node, const fs::Attributes& found);

private:
    // The queue entry of the source found at `path` (added when it has none), and the folder
    // that the list keeps for it.
    Base Place(QueueEntry*& entry, const std::string& path);
    // A source on a network share: found, then walked through the share's client.
    void AddShareSource(QueueEntry* entry, const std::string& given);
    void WalkShareFolder(QueueEntry* entry, const Base& base, ShareFiles& share,
                         const std::string& folder);
    // Takes what `folder` (at `path`) holds from `readAhead` and adds it.
    void WalkFolder(QueueEntry* entry, const Base& base, FolderReadAhead& readAhead,
                    const FolderReadAhead::FolderRef& folder, const std::string& path);
    // Adds `entries` of one folder in their order, each subfolder walked after its own node.
    void WalkEntries(QueueEntry* entry, const Base& base, FolderReadAhead& readAhead,
                     const std::vector<FolderReadAhead::Entry>& entries);
    // A folder that cannot be listed or an entry that cannot be reached: counted as a skip and
    // named at the end of the job.
    void LeaveOut(const std::string& path, int error);
    bool Stopped() const { return stop_ && stop_(); }

    EngineContext& ctx_;
    std::function<bool()> stop_;
    uint64_t lastStatus_ = 0;
};

}  // namespace rd
