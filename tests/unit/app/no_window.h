// A job host that shows nothing and asks nothing: for tests that need a job's context without
// a window around it.
#pragma once

#include <optional>
#include <string>

#include "engine/job.h"

namespace rd::test {

class NoWindow : public JobHost {
public:
    SourceQueue::Next NextSource() override { return {}; }
    void ShowFile(std::optional<std::string>) override {}
    void ShowStatus(const std::string&) override {}
    void ListComplete(uint64_t) override {}
    void OptionsLocked() override {}
    void Complete(CompletionStep) override {}
    void RequestEnd(int) override {}
    void UpdateFigures() override {}
    void ThreadEnded() override {}
};

}  // namespace rd::test
