#include "ui/progress/exists_prompt.h"

#include "app/question_texts.h"
#include "engine/prompts.h"
#include "look/captions.h"

namespace rd {

TForm5::TForm5(QWidget* parent)
    : PromptWindow("Form5", "File already exists", "What RedoDori should do now?", parent) {
    AddButton("BitBtn1", "&Abort", 0, 0, [this] {
        if (Posed())
            emit endJobRequested(AbortCode());
    });
    QPushButton* overwrite =
        AddButton("BitBtn2", "&Overwrite", 0, 1, [this] { Give(ExistsAnswer::Overwrite); });
    AddButton("BitBtn3", "Ov&erwrite all", 1, 1,
              [this] { Give(ExistsAnswer::Overwrite, ExistsPolicy::Overwrite); });
    bitBtn6_ = AddButton("BitBtn6", "&Resume", 0, 2, [this] { Give(ExistsAnswer::Resume); });
    bitBtn7_ = AddButton("BitBtn7", "Res&ume all", 1, 2,
                         [this] { Give(ExistsAnswer::Resume, ExistsPolicy::TryResume); });
    bitBtn8_ = AddButton("BitBtn8", "R&ename old", 0, 3, [this] { Give(ExistsAnswer::RenameOld); });
    bitBtn9_ = AddButton("BitBtn9", "Rena&me all", 1, 3,
                         [this] { Give(ExistsAnswer::RenameOld, ExistsPolicy::RenameOld); });
    QPushButton* skip = AddButton("BitBtn4", "&Skip", 0, 4, [this] { Give(ExistsAnswer::Skip); });
    AddButton("BitBtn5", "S&kip all", 1, 4,
              [this] { Give(ExistsAnswer::Skip, ExistsPolicy::Skip); });
    SetDefaultAndCancel(overwrite, skip);
}

void TForm5::Pose(const ExistsFacts& facts, const MessageTable& messages) {
    const uintptr_t flags = ExistsQuestionFlags(facts);
    const bool resume = flags & promptflag::kResumePossible;
    const bool rename = flags & promptflag::kRenamePossible;
    bitBtn6_->setEnabled(resume);
    bitBtn7_->setEnabled(resume);
    bitBtn8_->setEnabled(rename);
    bitBtn9_->setEnabled(rename);
    Present(FromUtf8(ExistsQuestionText(facts, messages)));
}

void TForm5::Give(ExistsAnswer answer, std::optional<ExistsPolicy> newPolicy) {
    if (TakeQuestion())
        emit answered(answer, newPolicy);
}

}  // namespace rd
