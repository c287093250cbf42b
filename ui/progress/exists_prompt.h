// The existing-file prompt: what to do with a destination file that is already there.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/job_policy.h"
#include "engine/questions.h"
#include "ui/progress/prompt_window.h"

namespace rd {

class MessageTable;

class TForm5 : public PromptWindow {
    Q_OBJECT

signals:
    // The question is answered; `newPolicy` becomes the job's existing-file policy from now on.
    void answered(ExistsAnswer answer, std::optional<ExistsPolicy> newPolicy);

public:
    explicit TForm5(QWidget* parent = nullptr);

    // Opens the question about `facts`, its text in the language of `messages`. Resume and
    // Resume all are offered when the copy can go on, Rename old and Rename all unless a
    // marker says how much was written.
    void Pose(const ExistsFacts& facts, const MessageTable& messages);

private:
    void Give(ExistsAnswer answer, std::optional<ExistsPolicy> newPolicy = std::nullopt);

    QPushButton* bitBtn6_ = nullptr;
    QPushButton* bitBtn7_ = nullptr;
    QPushButton* bitBtn8_ = nullptr;
    QPushButton* bitBtn9_ = nullptr;
};

}  // namespace rd
