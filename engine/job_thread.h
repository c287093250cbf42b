// The job thread: builds the file list, then copies it node by node, reading every file in
// blocks and handing each block to the destination writers (threads of their own in parallel
// mode, or passes on the job thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/transfer.h"
#include "engine/vn_buffer.h"

namespace rd {

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
    uint64_t fileSize = 0;
    uint64_t blockPosition = 0;
    // The source path and the number of the file the block belongs to.
    std::string sourcePath;
    uint64_t fileId = 0;
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
        uint64_t fileId = 0;
        uint64_t sequence = 0;
    };

    bool Parallel() const { return parallel_; }

    // Folder, link, special file or regular file.
    void ProcessNode(FENTRY_& node);
    void MakeFolders(const FENTRY_& node);
    void CopyLink(const FENTRY_& node);
    void CopyEntry(FENTRY_& node);
    // Settles an existing destination of `slot` before the file is copied.
    void CheckExisting(uint32_t slot, const FENTRY_& node);
    void BlockLoop(FENTRY_& node, const std::string& source, SourceHandle& handle,
                   uint64_t position);
    void CopyZeroLength(const FENTRY_& node);
    // Moves one block with copy_file_range. Returns the bytes moved; 0 when the block must go
    // the read/write way.
    uint32_t FastBlock(const FENTRY_& node, SourceHandle& handle, uint32_t slot, uint64_t& position,
                       uint32_t length);
    bool FastPathAllowed(uint32_t& slot) const;
    void Publish(const FENTRY_& node, const std::string& source, uint32_t n, uint64_t blockStart,
                 uint64_t& position);
    void AccountBlock(const FENTRY_& node, uint32_t n, uint64_t& position);
    // Waits until every slot that took part in the last block has taken it (and, with
    // `written`, written it).
    void WaitForWriters(bool written);
    void SleepWhilePaused(int stepMs);
    void ReadErrorSkip();

    // Writer side.
    void WriterThread(uint32_t slot);
    // Takes the current block. False when the writer is to end.
    bool TakeBlock(uint32_t slot, TakenBlock& block);
    void WriteTaken(uint32_t slot, const TakenBlock& block);
    // Closes the handles of `slot` unless they belong to file `keepFileId` (0 closes any): they
    // were left open by a file abandoned part-way, whose partial destination stays as it is.
    void CloseLeftover(uint32_t slot, uint64_t keepFileId);
    void StopWriters();
    void ApplyFolderTimes();

    EngineContext& ctx_;
    HandoffBlock handoff_;
    std::unique_ptr<WriterSlotState[]> writerState_;
    std::vector<std::thread> writers_;
    std::thread thread_;
    bool parallel_ = false;
    bool fastPathBroken_ = false;
    uint64_t fileId_ = 0;

    struct FolderTimes {
        std::string path;
        uint32_t mode;
        timespec modified;
    };
    std::vector<FolderTimes> folderTimes_;
};

}  // namespace rd
