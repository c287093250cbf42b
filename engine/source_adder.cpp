#include "engine/source_adder.h"

#include "engine/engine_context.h"
#include "engine/file_list_builder.h"

namespace rd {

SourceAdder::~SourceAdder() {
    Stop();
}

void SourceAdder::Add(std::vector<Source> sources) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!stopped_) {
            batches_.push_back(std::move(sources));
            // Started by the first batch: most jobs never get one.
            if (!thread_.joinable())
                thread_ = std::thread(&SourceAdder::Run, this);
            wake_.notify_one();
            return;
        }
    }
    ReleaseReservation();
}

void SourceAdder::Stop() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        stopped_ = true;
        halt_ = true;
        wake_.notify_one();
    }
    // Only Add starts the thread, and no longer once stopped_ is set.
    if (thread_.joinable())
        thread_.join();
}

bool SourceAdder::Halted() const {
    return halt_ || ctx_.state.flags.Terminating != 0;
}

void SourceAdder::ReleaseReservation() {
    std::lock_guard<std::mutex> lock(ctx_.list.ListLock);
    ctx_.list.Release();
}

void SourceAdder::Run() {
    FileListBuilder builder(ctx_);
    builder.StopWhen([this] { return Halted(); });
    for (;;) {
        std::vector<Source> batch;
        {
            std::unique_lock<std::mutex> lock(lock_);
            wake_.wait(lock, [this] { return stopped_ || !batches_.empty(); });
            // A stopped adder still takes the batches left, to release their reservations.
            if (batches_.empty())
                return;
            batch = std::move(batches_.front());
            batches_.pop_front();
        }
        for (const Source& source : batch)
            if (!Halted())
                builder.AddSource(source.entry, source.path);
        ReleaseReservation();
    }
}

}  // namespace rd
