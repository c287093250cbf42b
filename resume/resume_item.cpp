#include "resume/resume_item.h"

#include <utility>

namespace rd {

ResumeItem::ResumeItem(Attempt attempt, uint64_t createdMs)
    : attempt_(std::move(attempt)), createdMs_(createdMs) {}

ResumeItem::~ResumeItem() {
    if (worker_.joinable())
        worker_.join();
}

ResumeItem::View ResumeItem::Tick(uint64_t nowMs) {
    if (worker_.joinable() && workerDone_) {
        worker_.join();
        if (result_.exitCode == 1) {
            started_ = result_.started;
            problem_ = result_.problem;
            // A record that cannot be resumed keeps its item, saying why, until it is closed.
            if (problem_.empty()) {
                cancelEnabled_ = false;
                finished_ = true;
            }
        }
    }
    View view;
    view.cancelEnabled = cancelEnabled_;
    if (finished_) {
        if (worker_.joinable()) {
            view.status = "Canceling...";
            view.kind = View::Kind::Canceling;
        } else {
            view.destroy = true;
        }
        return view;
    }
    if (!problem_.empty()) {
        view.status = "Cannot resume: " + problem_;
        view.kind = View::Kind::Problem;
        return view;
    }
    if (!worker_.joinable()) {
        ++attempts_;
        workerDone_ = false;
        worker_ = std::thread([this] {
            result_ = attempt_();
            workerDone_ = true;
        });
    }
    view.kind = View::Kind::Waiting;
    view.waitedSeconds = (nowMs - createdMs_) / 1000;
    view.status = "Waiting accessibility (" + std::to_string(view.waitedSeconds) + ")...";
    return view;
}

ResumeItem::View ResumeItem::Cancel(uint64_t nowMs) {
    cancelEnabled_ = false;
    finished_ = true;
    return Tick(nowMs);
}

}  // namespace rd
