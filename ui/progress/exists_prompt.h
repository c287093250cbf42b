// The existing-file prompt: what to do with a destination file that is already there.
#pragma once

#include "ui/progress/prompt_window.h"

namespace rd {

class TForm5 : public PromptWindow {
    Q_OBJECT

public:
    explicit TForm5(QWidget* parent = nullptr);

    // Opens a question. `flags`: promptflag::kResumePossible enables Resume and Resume all,
    // promptflag::kRenamePossible Rename old and Rename all. The answers are `onexist` bits.
    void Pose(const QString& text, uintptr_t flags);

private:
    // An answer, and with `all` also the whole existing-file policy from now on.
    void Answer(int32_t bit, bool all) { Give(bit, all ? bit : -1); }

    QPushButton* bitBtn6_ = nullptr;
    QPushButton* bitBtn7_ = nullptr;
    QPushButton* bitBtn8_ = nullptr;
    QPushButton* bitBtn9_ = nullptr;
};

}  // namespace rd
