// The job thread: builds the file list, then copies it node by node, reading every file in
// blocks and handing each block to the destination writers (threads of their own in parallel
// mode, or passes on the job thread).
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/exists_decision.h"
#include "engine/file_metadata.h"
#include "engine/outcome.h"
#include "engine/transfer.h"
#include "engine/vn_buffer.h"

namespace rd {

class ErrorSettler;
struct EngineContext;
struct FENTRY_;

// The block on its way from the reader to the writers. Guarded by `HandoffLock` in parallel
// mode.
struct HandoffBlock {
    std::mutex HandoffLock;
    VNBuffer ReadBuffer;
    VNBuffer HandoffBuffer;
    VNBuffer WriteBuffer;
    uint32_t pendingLength = 0;
    int32_t taken = 1;
    uint32_t writeLength = 0;
    timespec creationTime{};
    timespec lastWriteTime{};
    uint32_t attributes = 0;
    int32_t checksum = 0;
    bool markerFlag = false;
    bool move = false;
    uint64_t fileSize = 0;
    uint64_t blockPosition = 0;
    // The source path and the number of the file the block belongs to.
    std::string sourcePath;
    uint64_t fileId = 0;
    // Owner, group and extended attributes of the file, given to each copy when it is whole.
    std::shared_ptr<const FileMetadata> meta;
    // Which slots take part in this block: the reader's choice when it published it, so that a
    // writer running behind never applies a later file's choice to an earlier file's block.
    std::vector<uint8_t> active;
    // Number of the published block; 0 before the first.
    uint64_t sequence = 0;
};

// What one destination's writer keeps between blocks.
struct WriterSlotState {
    // The file the slot's open handle belongs to.
    uint64_t openFileId = 0;
    // The last block this writer took and finished.
    std::atomic<uint64_t> takenSequence{0};
    std::atomic<uint64_t> writtenSequence{0};
    // The file this writer gave up (write error, failed check): the slot takes no further part
    // in it. Kept apart from the slot's active flag, which already speaks of the reader's file.
    std::atomic<uint64_t> skippedFileId{0};
};

class JobThread {
public:
    explicit JobThread(EngineContext& context);
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Runs the job on a thread of its own.
    void Start();
    // Waits for the job thread to end.
    void Join();
    // The whole job: the list, the copy, the end.
    void Run();

private:
    // One block the writer took, copied out of the hand-off block.
    struct TakenBlock {
        std::string sourcePath;
        std::string destinationPath;
        uint32_t writeLength = 0;
        uint32_t attributes = 0;
        timespec lastWriteTime{};
        uint64_t fileSize = 0;
        uint64_t blockPosition = 0;
        bool markerFlag = false;
        bool active = false;
        // The source is moved: it goes once every destination holds all of it.
        bool move = false;
        int32_t checksum = 0;
        uint64_t fileId = 0;
        uint64_t sequence = 0;
        std::shared_ptr<const FileMetadata> meta;
    };

    // What the existing-file check decided for one file.
    struct ExistsResult {
        // The copy starts here (a resumed destination).
        uint64_t position = 0;
        // The file cannot be copied at all.
        bool abandon = false;
    };

    // Folder, link, special file or regular file.
    void ProcessNode(FENTRY_& node);
    void MakeFolders(const FENTRY_& node);
    void CopyLink(const FENTRY_& node);
    void CopyEntry(FENTRY_& node);
    void DeleteEntry(FENTRY_& node);
    // A delete job's link, fifo, socket or device: the name alone goes, never what it leads to.
    void DeleteOther(const FENTRY_& node);
    // A source a delete job could not remove: counted as a skip and named.
    void NotRemoved(const std::string& path, int error);
    // Gives the open copy `dest` the owner, group and extended attributes of `meta`; what cannot
    // be given is named.
    void GiveMetadata(int fd, const std::string& dest, const FileMetadata& meta);
    // Opens the source, retrying or asking as the error settings say. False: the file is
    // skipped.
    bool OpenSourceWithRetry(const std::string& source, SourceHandle& handle);
    // Settles an existing destination of `slot` before the file is copied.
    void CheckExisting(uint32_t slot, const FENTRY_& node, const std::string& source,
                       SourceHandle& handle, ExistsResult& result);
    // The user's answer about an existing destination; Ask when the job is ending.
    ExistsAction AskAboutExisting(const ExistsFacts& facts);
    // Carries out `action` for the existing destination of `slot`; `opened` is a read handle on
    // it, or -1.
    void SettleExisting(ExistsAction action, uint32_t slot, const std::string& source,
                        const ExistsFacts& facts, int opened, ExistsResult& result);
    // Leaves `slot` out of the current node when what lies at `dest` (`there`) is the source
    // itself: counted as a skip and named. True when it was.
    bool SkipIfSource(uint32_t slot, const std::string& dest, const struct stat& there,
                      const struct stat& source);
    void BlockLoop(FENTRY_& node, const std::string& source, SourceHandle& handle,
                   uint64_t position, bool marker);
    // Reads the block at `position`; with verification on, until two reads agree. Returns false
    // when the file is to be left (skipped); `n` is what was read.
    bool ReadBlock(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                   uint32_t block, uint64_t position, uint32_t& n, bool& healing,
                   ErrorSettler& settler);
    // The answer to a failed read: false when the file is to be left; true to go on (after a
    // retry pause, or with a healed block in the read buffer and `n` set).
    bool OnReadError(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                     int error, uint32_t block, uint64_t position, uint32_t& n, bool& healing,
                     ErrorSettler& settler);
    // Reads what can be read of the block at `position` in small pieces, the rest left zero.
    // Returns the block's length.
    uint32_t HealBlock(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                       uint32_t block, uint64_t position);
    void CopyZeroLength(const FENTRY_& node);
    // Copies one block of `length` bytes to every active destination with copy_file_range.
    // Returns `length`; 0 when some destination did not get all of it and the block must go the
    // read/write way.
    uint32_t FastBlock(const FENTRY_& node, const std::string& source, SourceHandle& handle,
                       uint64_t& position, uint32_t length, bool marker);
    // True when the next block may go through FastBlock: one active destination, or several in
    // serial mode, and nothing that needs the bytes in a buffer (verification, burst).
    bool FastPathAllowed() const;
    // True while `slot` takes part in the current file.
    bool SlotActive(uint32_t slot) const;
    // A writer gives up its destination for the file of `block`, which failed at `op`.
    void WriterSkip(uint32_t slot, const TakenBlock& block, Operation op, int error);
    void Publish(const FENTRY_& node, const std::string& source, uint32_t n, uint64_t blockStart,
                 uint64_t& position, bool marker);
    void AccountBlock(const FENTRY_& node, uint32_t n, uint64_t& position);
    // Waits until every slot that took part in the last block has taken it (and, with
    // `written`, written it).
    void WaitForWriters(bool written);

    // Writer side.
    void WriterThread(uint32_t slot);
    // Takes the current block. False when the writer is to end.
    bool TakeBlock(uint32_t slot, TakenBlock& block);
    void WriteTaken(uint32_t slot, const TakenBlock& block);
    // Writes the taken block, answering write errors as the settings say. True when written.
    bool WriteWithRetry(uint32_t slot, const TakenBlock& block, const uint8_t* data);
    // Reads the written block back and compares it. True when it matches or no check applies.
    bool VerifyWritten(uint32_t slot, const TakenBlock& block, const uint8_t* data);
    // After an abort, cuts a destination whose block was not written back to the block start.
    void CutBack(uint32_t slot, const TakenBlock& block);
    // The destination of `slot` holds all of file `fileId` and is closed.
    void DestinationComplete(uint32_t slot, const TakenBlock& block);
    // Closes the handles of `slot` unless they belong to file `keepFileId` (0 closes any): they
    // were left open by a file abandoned part-way, whose partial destination stays as it is.
    void CloseLeftover(uint32_t slot, uint64_t keepFileId);
    void StopWriters();
    void ApplyFolderTimes();
    // Makes each destination's data durable before the job reports it finished.
    void SyncDestinations();

    // Moved sources wait here until every destination holds their whole file.
    struct PendingMove {
        std::string source;
        uint64_t size = 0;
        uint32_t remaining = 0;
        // The folders that hold the copies.
        std::vector<std::string> folders;
    };
    // The folders that hold the copies of `node` in the destinations still active for it.
    std::vector<std::string> CopyFolders(const FENTRY_& node) const;
    void ExpectMove(const std::string& source, uint64_t size, std::vector<std::string> folders);
    void MoveDestinationDone(uint64_t fileId, bool complete);
    // Takes the moves that every destination completed; once enough of them wait, or with
    // `all`, syncs their folders and removes their sources.
    void FinishMoves(bool all = false);
    // Syncs each folder of `moves` once, then removes the sources whose copies are all on the
    // disk, names in full.
    void RemoveMovedSources(std::vector<PendingMove>& moves);

    EngineContext& ctx_;
    HandoffBlock handoff_;
    std::unique_ptr<WriterSlotState[]> writerState_;
    std::vector<std::thread> writers_;
    std::thread thread_;
    bool parallel_ = false;
    bool fastPathBroken_ = false;
    std::atomic<uint64_t> fileId_{0};
    // The current file is moved (its source removed once all destinations hold it).
    bool moveCurrent_ = false;

    struct FolderTimes {
        std::string path;
        uint32_t mode;
        timespec modified;
        std::shared_ptr<const FileMetadata> meta;
    };
    std::vector<FolderTimes> folderTimes_;

    // The metadata of the file being copied; null when the job keeps none.
    std::shared_ptr<const FileMetadata> meta_;

    std::mutex moveLock_;
    std::map<uint64_t, PendingMove> pendingMoves_;
    // Moves whose copies are complete, waiting for their folders to be synced.
    std::vector<PendingMove> readyMoves_;
    std::vector<std::string> movedFolders_;
    VNBuffer wipeBuffer_;
    VNBuffer verifyBuffer_;
};

}  // namespace rd
