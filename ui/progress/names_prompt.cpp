#include "ui/progress/names_prompt.h"

#include "app/question_texts.h"
#include "look/captions.h"

namespace rd {

TFormNames::TFormNames(QWidget* parent)
    : PromptWindow("FormNames", "Names the destination cannot take",
                   "Rename them, skip them, or abort the job?", parent) {
    QPushButton* rename =
        AddButton("BitBtn1", "&Rename", 0, 0, [this] { Give(NamesAnswer::Rename); });
    AddButton("BitBtn2", "&Skip those", 0, 1, [this] { Give(NamesAnswer::Skip); });
    // Closing the window aborts too: nothing has been copied yet, so nothing is lost, and the
    // user who closes it has chosen neither to rename nor to leave files out.
    QPushButton* abort = AddButton("BitBtn3", "&Abort", 0, 2, [this] {
        if (Posed())
            emit endJobRequested(AbortCode());
    });
    SetDefaultAndCancel(rename, abort);
}

void TFormNames::Pose(const NamesFacts& facts, const MessageTable& messages) {
    Present(FromUtf8(NamesQuestionText(facts, messages)));
}

void TFormNames::Give(NamesAnswer answer) {
    if (TakeQuestion())
        emit answered(answer);
}

}  // namespace rd
