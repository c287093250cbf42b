// Copies files of one block on a few threads at once. One after another, each small file is a
// handful of system calls that leave the other core and the disk idle; several in flight keep
// both busy. A file is taken here only when nothing about it can need a decision: its copies
// are made with O_EXCL, so that a file already at a destination's name, an error or a source
// that changed leaves nothing behind, and the file goes the ordinary way in its turn, which asks,
// retries and reports as always. The job thread takes the outcomes in the order of the list.
#pragma once

#include <sys/stat.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rd {

struct EngineContext;
struct CopyDest;
struct FENTRY_;
struct FileMetadata;

class SmallFileLane {
public:
    // Files copied at once: past three the bench machine's disk and tmpfs gained nothing.
    static constexpr size_t kThreads = 3;
    // Files queued ahead of the job thread's count of them.
    static constexpr size_t kHeld = 32;

    explicit SmallFileLane(EngineContext& ctx);
    // Stops the threads; outcomes not taken are dropped (each copy made is whole).
    ~SmallFileLane();
    SmallFileLane(const SmallFileLane&) = delete;
    SmallFileLane& operator=(const SmallFileLane&) = delete;

    // Ends the threads once their files are done; the lane takes files again after.
    void Stop();
    // Whether `node` may go this way under the job's settings as they are now.
    bool Takes(const FENTRY_& node) const;
    // Queues `node` (which Takes); the threads start with the first.
    void Add(FENTRY_& node);
    // Whether as many files are queued as the lane holds.
    bool Full() const;
    // Waits until the oldest file and half the lane are done with, or every file is.
    void WaitForRoom();
    // The oldest file queued once the lane is done with it; with `wait`, waits for it. False when
    // none is (yet). `copied`: every copy is whole; else the file goes the ordinary way.
    bool TakeOldest(FENTRY_*& node, bool& copied, bool wait);
    // Waits until every file queued is done with.
    void WaitAll();

private:
    struct Item {
        FENTRY_* node = nullptr;
        enum class State { Queued, Busy, Copied, Ordinary } state = State::Queued;
    };
    // A copy made for the current file.
    struct Made {
        uint32_t slot;
        int fd;
        std::string path;
        // Its folder, open, and its name there.
        int folder;
        std::string name;
        // What the copy is, as made: removed only while its name still leads there.
        struct stat seen;
    };

    // What the job thread waits for.
    enum class Want { Nothing, Front, Room, All };

    static bool Ended(const Item& item);
    // Under `lock_`.
    bool Satisfied(Want want) const;
    void WaitFor(std::unique_lock<std::mutex>& lock, Want want);
    class OpenFolders;

    void Work();
    // Copies `node` to every destination; false leaves nothing of it there.
    bool Copy(const FENTRY_& node, OpenFolders& folders);
    bool MakeCopies(const FENTRY_& node, int source, uint64_t size, OpenFolders& folders,
                    std::vector<Made>& made);
    // Counts `size` bytes written to the copy open as `fd` in `d` within the writeback bound.
    void CountWritten(CopyDest& d, int fd, uint64_t size);
    // Gives each copy the source's owner, attributes, time and permissions (`meta` null: none
    // kept) and closes it.
    bool Finish(const FENTRY_& node, const FileMetadata* meta, std::vector<Made>& made);
    // Removes the copies made, each only while its name still leads to it.
    static void Undo(std::vector<Made>& made);

    EngineContext& ctx_;
    mutable std::mutex lock_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<Item> items_;
    bool stopping_ = false;
    // Files the threads are done with, not yet taken.
    size_t ended_ = 0;
    // Threads waiting for a file, and what the job thread waits for: each side wakes the other
    // only then.
    size_t idle_ = 0;
    Want want_ = Want::Nothing;
    // Set once the kernel refused a copy between these files: none goes this way after.
    bool refused_ = false;
    // The destinations' writeback counts, which one thread at a time may use, and the end of a
    // sync that others wait for.
    std::mutex writebackLock_;
    std::condition_variable writebackRoom_;
    std::vector<std::thread> threads_;
};

}  // namespace rd
