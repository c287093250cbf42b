// The job thread: builds the file list, then takes it node by node: folders are made, links
// copied, files copied by the block reader to the writers (or deleted, or linked), and moved
// sources removed once every copy is on the disk.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/block_handoff.h"
#include "engine/block_reader.h"
#include "engine/exists_decision.h"
#include "engine/file_metadata.h"
#include "engine/outcome.h"
#include "engine/small_file_lane.h"
#include "engine/transfer.h"
#include "engine/vn_buffer.h"
#include "engine/writer_pool.h"

namespace rd {

struct EngineContext;
struct FENTRY_;
struct QueueEntry;

class JobThread {
public:
    explicit JobThread(EngineContext& context);
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Runs the job on a thread of its own, which calls `atEnd` last, if given.
    void Start(std::function<void()> atEnd = {});
    // Waits for the job thread to end.
    void Join();
    // The whole job: the list, the copy, the end.
    void Run();

private:
    // What the existing-file check decided for one file.
    struct ExistsResult {
        // The copy starts here (a resumed destination).
        uint64_t position = 0;
        // The file cannot be copied at all.
        bool abandon = false;
        // Per slot: the destination's existing file stays in place and is written on (resumed,
        // or written over where it could not be replaced), rather than made anew.
        std::vector<uint8_t> kept;
        // A destination that is written on holds a resume marker, which the copy must keep up
        // to date and remove at its end.
        bool marked = false;
    };

    // A job of manifests: the check in place of the list and the copy, then the same end.
    void RunCheck(uint64_t started);
    // The job is done and on the disk: it is marked finished, and its completion actions run.
    void Finished(uint64_t started);
    // Copies every node of the list, taking the ones added meanwhile too, until none is left
    // or the job ends.
    void CopyList();
    // Stops the writers, removes the moved sources and folders, gives the folders their times.
    void Wind();
    // Folder, link, special file or regular file.
    void ProcessNode(FENTRY_& node);
    // Queues a small file in the lane, counting the files it is done with meanwhile.
    void QueueSmall(FENTRY_& node);
    // Counts the oldest file of the lane, or sends it the ordinary way; with `wait`, waits for
    // the lane to be done with it. False when there is none (yet).
    bool TakeFromLane(bool wait);
    // Takes every file of the lane, so that the ordinary way never runs beside it.
    void EmptyLane();
    // A file the lane copied whole: counted as the ordinary way counts one.
    void CountSmallCopy(const FENTRY_& node);
    void MakeFolders(const FENTRY_& node);
    void CopyLink(const FENTRY_& node);
    void CopyEntry(FENTRY_& node);
    // Makes `source` the file under way: shown, a new id, its skip request and state cleared.
    void StartFile(const std::string& source);
    // CheckExisting for each destination; false: the file is abandoned or has none left (skipped).
    bool CheckAllExisting(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                          ExistsResult& exists);
    // Renames the file into the one destination; true: the file is done (moved, or not reopened).
    bool MoveByRename(FENTRY_& node, const std::string& source, SourceHandle& handle,
                      struct stat& opened);
    // Copies the file through the block reader to every destination still active for it.
    void CopyToDestinations(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                            const struct stat& opened, const ExistsResult& exists);
    // Opens the source as OpenSourceWithRetry does and remembers what it is (`opened`); a file
    // that changed since the walk is copied as it is now. False: the file is left out.
    bool OpenAndIdentify(FENTRY_& node, const std::string& source, SourceHandle& handle,
                         struct stat& opened);
    // Makes `node` say what the opened source says: its size, mode and modification time.
    void TakeOpenedState(FENTRY_& node, const struct stat& opened);
    void DeleteEntry(FENTRY_& node);
    // A delete job's link, fifo, socket or device: the name alone goes, never what it leads to.
    void DeleteOther(const FENTRY_& node);
    // The destination check left the node out of every destination.
    bool SkippedEverywhere(const FENTRY_& node) const;
    // A source a delete job could not remove: counted as a skip and named.
    void NotRemoved(const std::string& path, int error);
    // Opens the source, retrying or asking as the error settings say. False: the file is
    // skipped.
    bool OpenSourceWithRetry(const std::string& source, SourceHandle& handle);
    // Settles an existing destination of `slot` before the file is copied.
    void CheckExisting(uint32_t slot, const FENTRY_& node, const std::string& source,
                       SourceHandle& handle, ExistsResult& result);
    // Whether the copies of the current file are made before it is copied: not where a link
    // or a rename puts the file itself there.
    bool MakesCopies() const;
    // Makes the destination of `slot` anew, only when nothing stands at its name (nor at a
    // name this job's copy under way takes there). False: the existing-file check goes on.
    bool MakeNew(uint32_t slot, const FENTRY_& node, const std::string& dest);
    // The file goes ahead: the copies made for it go to their slots' writers, as copies the
    // file tracker removes again should the file be given up.
    void HandOverMade();
    // The file does not go ahead: the copies made for it go again.
    void RemoveMade(const FENTRY_& node);
    // Lstats `dest` into `there`; false: nothing to settle (none, a folder, or a reported skip).
    bool ExistingNeedsSettling(uint32_t slot, const FENTRY_& node, const std::string& source,
                               const std::string& dest, struct stat& there);
    // Opens `dest` for reading only while it is still the file `there`; -1 otherwise.
    static int OpenExistingForReading(const std::string& dest, const struct stat& there);
    // Clears `resumable` when sampled bytes differ or stay unreadable; false: the source is lost.
    bool ProbeResumable(const std::string& source, const std::string& dest, uint64_t size,
                        SourceHandle& handle, int& destFd, bool& resumable);
    // What the policy and the question weigh about the existing destination `dest`.
    ExistsFacts FactsAboutExisting(const FENTRY_& node, const std::string& source,
                                   const std::string& dest, uint64_t size, bool resumable,
                                   bool partial);
    // The policy's or user's action; an unproven resume whose start differs is decided again.
    ExistsAction ChooseExistsAction(ExistsFacts& facts, SourceHandle& handle, int destFd,
                                    bool proven);
    // The user's answer about an existing destination; Ask when the job is ending.
    ExistsAction AskAboutExisting(const ExistsFacts& facts);
    // Whether the first `length` bytes of the destination open as `dest` are the source's, byte
    // for byte: only then is anything appended to it. False also when either cannot be read.
    bool SameStart(SourceHandle& handle, int dest, uint64_t length);
    // Carries out `action` for the existing destination of `slot`; `opened` is a read handle on
    // it, or -1.
    void SettleExisting(ExistsAction action, uint32_t slot, const std::string& source,
                        const ExistsFacts& facts, int opened, ExistsResult& result);
    // Leaves `slot` out of the current node when what lies at `dest` (`there`) is the source
    // itself (device and inode of `source`), or a file that another source of this job wrote
    // (`node` is the source arriving there): counted as a skip and named. True when it was.
    bool SkipIfSource(uint32_t slot, const std::string& dest, const struct stat& there,
                      dev_t sourceDev, ino_t sourceIno);
    bool SkipIfWrittenByJob(uint32_t slot, const FENTRY_& node, const std::string& source,
                            const std::string& dest, const struct stat* there);
    // The path of `node` in another source of the job that has the same name and that the job
    // has reached: a copy of it went to where `node`'s goes. Empty when there is none.
    std::string EarlierSourceOf(const FENTRY_& node);
    void ApplyFolderTimes();
    // Makes each destination's data durable before the job reports it finished; a sync that
    // takes longer than a second shows how much is likely left.
    void SyncDestinations();
    // Readies the checksum manifests the policy asks for, one per destination.
    void BeginManifests();
    // Syncs one destination, settling a failure like a failed write. False: the job ended
    // meanwhile.
    bool SyncDestination(uint32_t slot, const std::string& root);
    // The folders that hold the copies of `node` in the destinations still active for it.
    std::vector<std::string> CopyFolders(const FENTRY_& node) const;

    EngineContext& ctx_;
    CurrentFile file_;
    BlockHandoff handoff_;
    WriterPool writers_;
    BlockReader reader_;
    SmallFileLane lane_;
    // Files are queued in the lane that the job thread has not counted yet.
    bool inLane_ = false;
    std::thread thread_;

    struct FolderTimes {
        std::string path;
        uint32_t mode;
        timespec modified;
        std::shared_ptr<const FileMetadata> meta;
        // What the folder is reached through.
        DestFiles* files = nullptr;
    };
    std::vector<FolderTimes> folderTimes_;
    std::vector<std::string> movedFolders_;
    // The job's sources by name, made when first needed and anew when the queue changes.
    std::unordered_multimap<std::string, QueueEntry*> sourcesByName_;
    int sourcesIndexed_ = 0;
    uint64_t sourceRemovals_ = 0;
    VNBuffer wipeBuffer_;
    // Per slot, the copy the existing-file check made for the current file.
    std::vector<MadeFile> made_;
};

}  // namespace rd
