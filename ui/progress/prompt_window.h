// What the error prompt and the existing-file prompt share: a window that stays on top, shows
// the engine's text and a question, and answers once per question through its buttons.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <functional>
#include <string_view>

class QGridLayout;
class QLabel;
class QPlainTextEdit;

namespace rd {

class Language;

class PromptWindow : public QDialog {
    Q_OBJECT

signals:
    // Abort without giving an answer: the job ends at once with `code` (2 keeps it for resume).
    void endJobRequested(int code);

public:
    // Re-captions the window from `section` of `language`.
    void Translate(std::string_view section, const Language& language);

protected:
    PromptWindow(const char* name, const QString& caption, const QString& question,
                 QWidget* parent);

    // A button in the grid under the question; `column` 0 is the leftmost.
    QPushButton* AddButton(const char* name, const QString& caption, int row, int column,
                           std::function<void()> click);
    // Enter clicks `button` unless another button has the focus; Esc and a close request
    // click `cancel`.
    void SetDefaultAndCancel(QPushButton* button, QPushButton* cancel);

    // Shows `text` and puts the window on top with the keyboard on the default button.
    void Present(const QString& text);
    bool Posed() const { return posed_; }
    // Takes the open question to be answered, once: false when none is posed. The window hides
    // before the answer goes out, since the receiver may pose the next question at once.
    bool TakeQuestion();
    // The end code of an abort: 2 (keep the job for resume) while Shift is held, else 0.
    static int AbortCode();

    void reject() override;

private:
    QPlainTextEdit* memo1_ = nullptr;
    QLabel* label1_ = nullptr;
    QGridLayout* buttons_ = nullptr;
    QPushButton* default_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool posed_ = false;
};

}  // namespace rd
