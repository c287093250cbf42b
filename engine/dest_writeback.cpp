#include "engine/dest_writeback.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace rd {

namespace {

uint64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
}

// Less time than this in the calls since the previous wait did not wait for the disk.
constexpr uint64_t kBlockedNs = 1'000'000;
// Before a wait, the disk is taken to have been writing for at most this long: longer, the copy
// stood still (a pause, a question), and so may the disk.
constexpr uint64_t kLongestLeadNs = 1'000'000'000;

uint64_t Less(uint64_t value, uint64_t minus) {
    return value > minus ? value - minus : 0;
}

}  // namespace

DestWriteback::~DestWriteback() {
    Clear();
}

void DestWriteback::Wrote(int fd, uint64_t position, uint64_t length) {
    if (length == 0 || fd < 0)
        return;
    if (fd != fd_) {
        // A file whose close was not told: its data stays counted for the file system's sync.
        counted_ += Less(end_, waited_);
        fd_ = fd;
        waited_ = sent_ = end_ = position;
    }
    // Data written again (a verified block rewritten) is on its way to the disk again.
    waited_ = std::min(waited_, position);
    sent_ = std::min(sent_, position);
    end_ = std::max(end_, position + length);
    unwritten_ += length;
    if (lastArrivalNs_ == 0)
        lastArrivalNs_ = NowNs();
    const uint64_t boundary = end_ / kWriteBehindChunk * kWriteBehindChunk;
    if (boundary > sent_) {
        // Failures are left to the final sync, which reports what did not reach the disk.
        Send(fd_, sent_, boundary - sent_);
        sent_ = boundary;
    }
    KeepWithinBound();
}

void DestWriteback::KeepWithinBound() {
    const uint64_t bound = UnwrittenBound(rate_.BytesPerSecond());
    while (unwritten_ > bound) {
        if (!kept_.empty()) {
            WaitOldestKept();
        } else if (sent_ > waited_) {
            // Down to a chunk under the bound, so that the next wait comes a chunk later and the
            // disk always has the newest chunk to write meanwhile.
            const uint64_t excess = unwritten_ - Less(bound, kWriteBehindChunk);
            WaitRange(fd_, waited_, std::min(sent_, waited_ + excess));
            waited_ = std::min(sent_, waited_ + excess);
        } else if (counted_ > 0) {
            WaitAll(fd_);
        } else {
            break;
        }
    }
}

bool DestWriteback::Send(int fd, uint64_t from, uint64_t length) {
    const uint64_t began = NowNs();
    const bool sent = ::sync_file_range(fd, static_cast<off_t>(from), static_cast<off_t>(length),
                                        SYNC_FILE_RANGE_WRITE) == 0;
    stalledNs_ += NowNs() - began;
    return sent;
}

void DestWriteback::WaitRange(int fd, uint64_t from, uint64_t to) {
    const uint64_t began = NowNs();
    // The range was sent already; the write flag sends what a rewrite made dirty again.
    ::sync_file_range(
        fd, static_cast<off_t>(from), static_cast<off_t>(to - from),
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    Arrived(to - from, began);
}

void DestWriteback::WaitOldestKept() {
    const Kept oldest = kept_.front();
    kept_.pop_front();
    WaitRange(oldest.fd, oldest.from, oldest.to);
    ::close(oldest.fd);
}

void DestWriteback::WaitAll(int fd) {
    const uint64_t began = NowNs();
    ::syncfs(fd);
    Arrived(unwritten_, began);
    for (const Kept& file : kept_)
        ::close(file.fd);
    kept_.clear();
    counted_ = 0;
    waited_ = sent_ = end_;
}

void DestWriteback::Arrived(uint64_t bytes, uint64_t beganNs) {
    const uint64_t now = NowNs();
    const uint64_t from = std::max(lastArrivalNs_, Less(beganNs, kLongestLeadNs));
    // A disk that cannot keep up holds the copy in the wait, or already in sending the data
    // when its queue is full.
    rate_.Reached(bytes, Less(now, from), now - beganNs + stalledNs_ >= kBlockedNs);
    stalledNs_ = 0;
    lastArrivalNs_ = now;
    unwritten_ = Less(unwritten_, bytes);
}

bool DestWriteback::CountClosed(uint64_t length, ClosedSync& sync) {
    counted_ += length;
    unwritten_ += length;
    if (lastArrivalNs_ == 0)
        lastArrivalNs_ = NowNs();
    if (closedSyncing_ || unwritten_ < UnwrittenBound(rate_.BytesPerSecond()) / 2)
        return false;
    closedSyncing_ = true;
    sync.covered = unwritten_;
    sync.beganNs = NowNs();
    return true;
}

void DestWriteback::ClosedSynced(const ClosedSync& sync) {
    closedSyncing_ = false;
    counted_ = Less(counted_, sync.covered);
    Arrived(sync.covered, sync.beganNs);
}

bool DestWriteback::ClosedOverBound() const {
    return closedSyncing_ && unwritten_ > UnwrittenBound(rate_.BytesPerSecond());
}

void DestWriteback::Reopened(int fd) {
    if (fd_ >= 0)
        fd_ = fd;
}

void DestWriteback::Closing(int fd) {
    if (fd < 0 || fd != fd_)
        return;
    const uint64_t unwaited = Less(end_, waited_);
    fd_ = -1;
    if (unwaited == 0)
        return;
    // The tail is sent now, while the next files are copied; a handle of its own lets the copy
    // wait for this file alone later. Where the tail cannot be sent, writeback cannot be steered
    // and the file is only counted.
    const bool sent = unwaited >= kWritebackAtCloseSize && Send(fd, sent_, 0);
    const int copy = sent ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0) {
        counted_ += unwaited;
        return;
    }
    if (kept_.size() >= kMostKeptFiles)
        WaitOldestKept();
    kept_.push_back({copy, waited_, end_});
}

void DestWriteback::FileSynced() {
    unwritten_ = Less(unwritten_, Less(end_, waited_));
    waited_ = sent_ = end_;
}

void DestWriteback::Clear() {
    for (const Kept& file : kept_)
        ::close(file.fd);
    kept_.clear();
    fd_ = -1;
    waited_ = sent_ = end_ = 0;
    counted_ = 0;
    unwritten_ = 0;
}

}  // namespace rd
