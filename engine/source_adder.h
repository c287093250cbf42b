// Walks the sources that join a running job (dropped on the progress window, handed over by a
// second job) into the file list on a thread of its own, so that the window stays free to answer
// while a large tree is being listed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rd {

struct EngineContext;
struct QueueEntry;

class SourceAdder {
public:
    struct Source {
        // The source's queue entry; null: one is queued once the source is found.
        QueueEntry* entry = nullptr;
        std::string path;
    };

    explicit SourceAdder(EngineContext& context) : ctx_(context) {}
    // Stops the walk: the context it walks into goes next.
    ~SourceAdder();
    SourceAdder(const SourceAdder&) = delete;
    SourceAdder& operator=(const SourceAdder&) = delete;

    // Any thread; returns at once. Walks `sources`, in order, after those given before. The
    // caller has reserved an addition on the file list for them (FileList::Reserve), which is
    // released once they are all listed, or left out because the job is ending: until then the
    // job thread does not close the list.
    void Add(std::vector<Source> sources);

    // Ends the walk under way at its next entry, leaves out the sources not yet begun, releases
    // every reservation and waits for the thread. Sources given later are released at once.
    void Stop();

private:
    void Run();
    // The job is ending or the adder stops: nothing more is listed.
    bool Halted() const;
    void ReleaseReservation();

    EngineContext& ctx_;
    std::mutex lock_;
    std::condition_variable wake_;
    // Each batch holds one reservation.
    std::deque<std::vector<Source>> batches_;
    bool stopped_ = false;
    std::atomic<bool> halt_{false};
    std::thread thread_;
};

}  // namespace rd
