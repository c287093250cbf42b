// The names prompt: asked once, before the first byte, what to do with the names, sizes and
// links the destinations cannot take.
#pragma once

#include "engine/questions.h"
#include "ui/progress/prompt_window.h"

namespace rd {

class MessageTable;

class TFormNames : public PromptWindow {
    Q_OBJECT

signals:
    void answered(NamesAnswer answer);

public:
    explicit TFormNames(QWidget* parent = nullptr);

    // Opens the question about `facts`, its lines in the language of `messages`.
    void Pose(const NamesFacts& facts, const MessageTable& messages);

private:
    void Give(NamesAnswer answer);
};

}  // namespace rd
