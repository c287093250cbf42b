// The hashes of a copy's files for its checksum manifests, taken on a thread of their own a few
// blocks behind the reader, so that hashing runs beside the disk instead of between its reads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_hash.h"

namespace rd {

class HashPipe;

// The hash of one file, known once the pipe has hashed all of it.
class PendingDigest {
public:
    explicit PendingDigest(HashPipe* pipe = nullptr) : pipe_(pipe) {}
    using Use = std::function<void(const std::string&)>;
    // Runs `use` with the digest in hex (empty: it could not be taken) once it is known: at
    // once on the calling thread when it is, else on the pipe's thread.
    void Then(Use use);
    // Waits for the digest; the pipe hashes what it holds at once.
    std::string Wait();
    // The pipe's side: the digest is known; the uses waiting for it run on this thread.
    void Set(std::string hex);

private:
    HashPipe* pipe_;
    std::mutex lock_;
    std::condition_variable known_;
    std::optional<std::string> hex_;
    std::vector<Use> waiting_;
};

// One thread hashes the files the reader hands it, in order. The reader is held back when the
// pipe is more than kBehind bytes behind, which keeps what the pipe reads back from a source in
// the page cache. The pipe starts once kWakeAt bytes wait, or when a digest or the end is
// waited for: a pipe that woke for every block would take turns with the reader for the CPU.
// Calls other than Drain and Hurry come from one thread, the reader's.
class HashPipe {
public:
    static constexpr uint64_t kBehind = 64 << 20;
    static constexpr uint64_t kWakeAt = 16 << 20;

    HashPipe() = default;
    // Hashes what is queued, tells its digests, then ends the thread.
    ~HashPipe();
    HashPipe(const HashPipe&) = delete;
    HashPipe& operator=(const HashPipe&) = delete;

    // A new file, hashed as `kind`: the pieces that follow are its bytes in order. A file that
    // was begun and not ended is dropped.
    void Begin(HashKind kind);
    // A copy of `length` bytes at `data`.
    void Bytes(const uint8_t* data, size_t length);
    // The bytes in [position, position + length) of the open file `fd`, read on the pipe's
    // thread through a handle of its own. A read that fails leaves the file without a hash.
    void Range(int fd, uint64_t position, uint64_t length);
    // Some of the file's bytes could not be read: it gets no hash.
    void Unreadable() { Range(-1, 0, 1); }
    // `length` zero bytes: a hole that the copy keeps as one.
    void Zeros(uint64_t length);
    // The file's bytes are all given: its digest, told when the pipe gets there.
    std::shared_ptr<PendingDigest> End();
    // Any thread: returns once everything queued is hashed and its digests told.
    void Drain();
    // Any thread: the pipe hashes everything queued now without waiting for more.
    void Hurry();

private:
    struct Source;
    struct Piece {
        enum class Kind { Begin, Bytes, Range, Zeros, End } kind = Kind::Bytes;
        HashKind hash = HashKind::Xxh128;
        std::vector<uint8_t> bytes;
        std::shared_ptr<Source> source;
        uint64_t position = 0;
        uint64_t length = 0;
        std::shared_ptr<PendingDigest> digest;
    };

    // Queues `piece` once the pipe is less than kBehind bytes behind.
    void Queue(Piece piece);
    void Run();
    void Work(Piece& piece);
    // Feeds the current hash what `source` holds in the range; false when a read failed.
    bool ReadInto(const Source& source, uint64_t position, uint64_t length);

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Piece> queue_;
    uint64_t queuedBytes_ = 0;
    bool busy_ = false;
    bool stop_ = false;
    // Someone waits for what is queued: the pipe works until its queue is empty.
    bool hurry_ = false;
    // Buffers of hashed pieces, given to the next copies.
    std::vector<std::vector<uint8_t>> spare_;
    std::thread thread_;

    // The reader's side: the pipe's handle on the source that the last Range read.
    std::shared_ptr<Source> source_;
    int sourceOf_ = -1;

    // The pipe thread's side.
    std::unique_ptr<FileHasher> hasher_;
    bool failed_ = false;
    std::vector<uint8_t> scratch_;
};

}  // namespace rd
