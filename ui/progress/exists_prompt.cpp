#include "ui/progress/exists_prompt.h"

#include "engine/prompts.h"
#include "settings/job_settings.h"

namespace rd {

TForm5::TForm5(QWidget* parent)
    : PromptWindow("Form5", "File already exists", "What RedoDori should do now?", parent) {
    AddButton("BitBtn1", "&Abort", 0, 0, [this] {
        if (Posed())
            emit endJobRequested(AbortCode());
    });
    QPushButton* overwrite =
        AddButton("BitBtn2", "&Overwrite", 0, 1, [this] { Answer(onexist::kOverwrite, false); });
    AddButton("BitBtn3", "Ov&erwrite all", 1, 1, [this] { Answer(onexist::kOverwrite, true); });
    bitBtn6_ =
        AddButton("BitBtn6", "&Resume", 0, 2, [this] { Answer(onexist::kTryResume, false); });
    bitBtn7_ =
        AddButton("BitBtn7", "Res&ume all", 1, 2, [this] { Answer(onexist::kTryResume, true); });
    bitBtn8_ =
        AddButton("BitBtn8", "R&ename old", 0, 3, [this] { Answer(onexist::kRenameOld, false); });
    bitBtn9_ =
        AddButton("BitBtn9", "Rena&me all", 1, 3, [this] { Answer(onexist::kRenameOld, true); });
    QPushButton* skip =
        AddButton("BitBtn4", "&Skip", 0, 4, [this] { Answer(onexist::kSkip, false); });
    AddButton("BitBtn5", "S&kip all", 1, 4, [this] { Answer(onexist::kSkip, true); });
    SetDefaultAndCancel(overwrite, skip);
}

void TForm5::Pose(const QString& text, uintptr_t flags) {
    const bool resume = flags & promptflag::kResumePossible;
    const bool rename = flags & promptflag::kRenamePossible;
    bitBtn6_->setEnabled(resume);
    bitBtn7_->setEnabled(resume);
    bitBtn8_->setEnabled(rename);
    bitBtn9_->setEnabled(rename);
    Present(text);
}

}  // namespace rd
