#include "ui/progress/prompt_window.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextDocument>
#include <QVBoxLayout>

#include "look/captions.h"

namespace rd {

namespace {

// Room for a message of a few lines with two paths in it; a longer one scrolls.
constexpr int kMemoColumns = 64;
constexpr int kMemoLines = 7;

}  // namespace

PromptWindow::PromptWindow(const char* name, const QString& caption, const QString& question,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(name);
    setWindowTitle(caption);

    memo1_ = new QPlainTextEdit(this);
    memo1_->setObjectName("Memo1");
    memo1_->setReadOnly(true);
    memo1_->setFocusPolicy(Qt::NoFocus);
    memo1_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Lines wrap at the window's width; a sideways scroll would only hide the end of a path.
    memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette memoColours = memo1_->palette();
    memoColours.setColor(QPalette::Base, palette().color(QPalette::Window));
    memo1_->setPalette(memoColours);
    const QFontMetrics metrics(memo1_->font());
    const int margins =
        2 * (memo1_->frameWidth() + static_cast<int>(memo1_->document()->documentMargin()));
    memo1_->setMinimumWidth(metrics.averageCharWidth() * kMemoColumns + margins);
    memo1_->setFixedHeight(metrics.lineSpacing() * kMemoLines + margins);

    label1_ = new QLabel(question, this);
    label1_->setObjectName("Label1");
    label1_->setAlignment(Qt::AlignCenter);
    QPalette labelColours = label1_->palette();
    labelColours.setColor(QPalette::WindowText, QColor(128, 0, 255));
    label1_->setPalette(labelColours);

    buttons_ = new QGridLayout;
    auto* layout = new QVBoxLayout(this);
    // The window takes the size its controls ask for, so no caption is ever cut off.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(memo1_);
    layout->addWidget(label1_);
    layout->addLayout(buttons_);
}

QPushButton* PromptWindow::AddButton(const char* name, const QString& caption, int row, int column,
                                     std::function<void()> click) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    connect(button, &QPushButton::clicked, this, std::move(click));
    buttons_->addWidget(button, row, column);
    return button;
}

void PromptWindow::SetDefaultAndCancel(QPushButton* button, QPushButton* cancel) {
    default_ = button;
    default_->setDefault(true);
    cancel_ = cancel;
}

void PromptWindow::Present(const QString& text) {
    memo1_->setPlainText(QString(text).replace("\r\n", "\n"));
    posed_ = true;
    // Centred the first time only: a window the user moved stays where it was put.
    if (!testAttribute(Qt::WA_Moved)) {
        adjustSize();
        move(screen()->availableGeometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
    // The focus may still be on a button of the previous question, and Enter must not abort.
    default_->setFocus();
}

bool PromptWindow::TakeQuestion() {
    if (!posed_)
        return false;
    posed_ = false;
    hide();
    return true;
}

void PromptWindow::Translate(std::string_view section, const Language& language) {
    TranslateWindow(*this, section, language);
}

int PromptWindow::AbortCode() {
    return (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier) ? 2 : 0;
}

void PromptWindow::reject() {
    if (posed_)
        cancel_->click();
    else
        QDialog::reject();
}

}  // namespace rd
