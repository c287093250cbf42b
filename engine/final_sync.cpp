#include "engine/final_sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/writeback_pace.h"
#include "platform/clock.h"
#include "platform/fault_injection.h"

namespace rd {

namespace {

// An Abort is seen within this time.
constexpr std::chrono::milliseconds kStopCheck{100};

// What the helper thread hands back. Shared, so that a helper left alone by an Abort still has
// it when the caller is gone.
struct SyncResult {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    int error = 0;
};

}  // namespace

std::optional<int> SyncFileSystem(const std::string& root, const std::function<bool()>& stop,
                                  const std::function<void(uint64_t ms)>& waited) {
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    auto result = std::make_shared<SyncResult>();
    std::thread helper([result, fd] {
        int error = fault::Check(fault::Op::Sync, fd, 0, nullptr, 0);
        if (error == 0 && ::syncfs(fd) != 0)
            error = errno;
        ::close(fd);
        std::lock_guard<std::mutex> lock(result->lock);
        result->done = true;
        result->error = error;
        result->ended.notify_all();
    });
    const uint64_t began = TickMs();
    uint64_t told = began;
    std::unique_lock<std::mutex> lock(result->lock);
    while (!result->ended.wait_for(lock, kStopCheck, [&] { return result->done; })) {
        lock.unlock();
        if (stop()) {
            helper.detach();
            return std::nullopt;
        }
        const uint64_t now = TickMs();
        if (now - told >= kSyncTellMs) {
            told = now;
            waited(now - began);
        }
        lock.lock();
    }
    lock.unlock();
    helper.join();
    return result->error;
}

std::string WritingText(const std::string& device, uint64_t leftBytes) {
    return "Writing to " + device + "\u2026 " + std::to_string(WholeMiB(leftBytes)) + " MiB left";
}

}  // namespace rd
