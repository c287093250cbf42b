#include "engine/hash_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <utility>

#include "engine/transfer.h"

namespace rd {

void PendingDigest::Then(Use use) {
    std::unique_lock<std::mutex> lock(lock_);
    if (!hex_) {
        waiting_.push_back(std::move(use));
        return;
    }
    const std::string hex = *hex_;
    lock.unlock();
    use(hex);
}

std::string PendingDigest::Wait() {
    if (pipe_)
        pipe_->Hurry();
    std::unique_lock<std::mutex> lock(lock_);
    known_.wait(lock, [this] { return hex_.has_value(); });
    return *hex_;
}

void PendingDigest::Set(std::string hex) {
    std::vector<Use> waiting;
    {
        std::lock_guard<std::mutex> lock(lock_);
        hex_ = hex;
        waiting.swap(waiting_);
    }
    known_.notify_all();
    for (Use& use : waiting)
        use(hex);
}

// A handle of the pipe's own on a source: the reader closes its handle when it is done with the
// file, usually before the pipe has read it.
struct HashPipe::Source {
    int fd = -1;
    ~Source() {
        if (fd >= 0)
            ::close(fd);
    }
};

HashPipe::~HashPipe() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void HashPipe::Begin(HashKind kind) {
    if (!thread_.joinable())
        thread_ = std::thread([this] { Run(); });
    source_.reset();
    sourceOf_ = -1;
    Piece piece;
    piece.kind = Piece::Kind::Begin;
    piece.hash = kind;
    Queue(std::move(piece));
}

void HashPipe::Bytes(const uint8_t* data, size_t length) {
    Piece piece;
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!spare_.empty()) {
            piece.bytes = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    piece.bytes.assign(data, data + length);
    piece.length = length;
    Queue(std::move(piece));
}

void HashPipe::Range(int fd, uint64_t position, uint64_t length) {
    if (length == 0)
        return;
    if (!source_ || sourceOf_ != fd) {
        // A handle opened anew rather than a duplicate, so that it reads through the page cache
        // even where the reader's handle bypasses it.
        source_ = std::make_shared<Source>();
        sourceOf_ = fd;
        if (fd >= 0) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            source_->fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
            if (source_->fd < 0)
                source_->fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        }
    }
    Piece piece;
    piece.kind = Piece::Kind::Range;
    piece.source = source_;
    piece.position = position;
    piece.length = length;
    Queue(std::move(piece));
}

void HashPipe::Zeros(uint64_t length) {
    Piece piece;
    piece.kind = Piece::Kind::Zeros;
    piece.length = length;
    Queue(std::move(piece));
}

std::shared_ptr<PendingDigest> HashPipe::End() {
    Piece piece;
    piece.kind = Piece::Kind::End;
    piece.digest = std::make_shared<PendingDigest>(this);
    std::shared_ptr<PendingDigest> digest = piece.digest;
    Queue(std::move(piece));
    return digest;
}

void HashPipe::Drain() {
    Hurry();
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void HashPipe::Hurry() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (queue_.empty())
            return;
        hurry_ = true;
    }
    changed_.notify_all();
}

void HashPipe::Queue(Piece piece) {
    std::unique_lock<std::mutex> lock(lock_);
    // A hole costs the pipe no read, nor the reader any memory.
    const uint64_t cost = piece.kind == Piece::Kind::Zeros ? 0 : piece.length;
    const auto fits = [&] { return queuedBytes_ == 0 || queuedBytes_ + cost <= kBehind; };
    if (!fits()) {
        // The reader waits for room, which only the pipe's work makes: less than would wake it
        // may be queued, so it is woken now.
        hurry_ = true;
        changed_.notify_all();
        changed_.wait(lock, fits);
    }
    queuedBytes_ += cost;
    queue_.push_back(std::move(piece));
    if (queuedBytes_ >= kWakeAt)
        changed_.notify_all();
}

void HashPipe::Run() {
    for (;;) {
        Piece piece;
        {
            std::unique_lock<std::mutex> lock(lock_);
            // Once at work, the pipe goes on until its queue is empty.
            if (queue_.empty())
                changed_.wait(lock, [this] {
                    return stop_ || (!queue_.empty() && (hurry_ || queuedBytes_ >= kWakeAt));
                });
            // Stopping still hashes what was queued, so that every digest asked for is told.
            if (queue_.empty())
                return;
            piece = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
        }
        Work(piece);
        {
            std::lock_guard<std::mutex> lock(lock_);
            queuedBytes_ -= piece.kind == Piece::Kind::Zeros ? 0 : piece.length;
            if (piece.bytes.capacity() > 0 && spare_.size() < 4)
                spare_.push_back(std::move(piece.bytes));
            busy_ = false;
            hurry_ = hurry_ && !queue_.empty();
        }
        changed_.notify_all();
    }
}

void HashPipe::Work(Piece& piece) {
    static const std::array<uint8_t, 65536> kZeros{};
    switch (piece.kind) {
        case Piece::Kind::Begin:
            hasher_ = std::make_unique<FileHasher>(piece.hash);
            failed_ = false;
            break;
        case Piece::Kind::Bytes:
            if (hasher_)
                hasher_->Update(piece.bytes.data(), piece.bytes.size());
            break;
        case Piece::Kind::Range:
            if (hasher_ && !failed_ && !ReadInto(*piece.source, piece.position, piece.length))
                failed_ = true;
            break;
        case Piece::Kind::Zeros:
            for (uint64_t left = piece.length; hasher_ && left > 0;) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kZeros.size()));
                hasher_->Update(kZeros.data(), n);
                left -= n;
            }
            break;
        case Piece::Kind::End: {
            std::string hex = hasher_ && !failed_ ? hasher_->HexDigest() : std::string();
            hasher_.reset();
            piece.digest->Set(std::move(hex));
            break;
        }
    }
}

bool HashPipe::ReadInto(const Source& source, uint64_t position, uint64_t length) {
    constexpr uint32_t kPiece = 1 << 20;
    if (source.fd < 0)
        return false;
    scratch_.resize(kPiece);
    for (uint64_t at = position; at < position + length;) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kPiece, position + length - at));
        int error = 0;
        if (!PositionedRead(source.fd, scratch_.data(), n, at, error) || n == 0)
            return false;
        hasher_->Update(scratch_.data(), n);
        at += n;
    }
    return true;
}

}  // namespace rd
