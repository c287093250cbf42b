#include "ui/resume/resume_item_window.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "look/captions.h"
#include "look/language.h"
#include "platform/clock.h"
#include "resume/resume_records.h"

namespace rd {

TFormResItem::TFormResItem(int32_t n, ResumeItem::Attempt attempt, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      n_(n),
      item_(std::make_unique<ResumeItem>(std::move(attempt), TickMs())) {
    setObjectName("FormResItem");
    setWindowTitle("Resume RedoDori job");
    auto* layout = new QGridLayout(this);
    auto* label1 = new QLabel("From:", this);
    label1->setObjectName("Label1");
    label2_ = new QLabel(this);
    label2_->setObjectName("Label2");
    label2_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label3_ = new QLabel(this);
    label3_->setObjectName("Label3");
    label3_->setWordWrap(true);
    label3_->setMinimumWidth(320);
    bitBtn1_ = new QPushButton("Cancel", this);
    bitBtn1_->setObjectName("BitBtn1");
    layout->addWidget(label1, 0, 0);
    layout->addWidget(label2_, 0, 1);
    layout->addWidget(label3_, 1, 0, 1, 2);
    layout->addWidget(bitBtn1_, 2, 1, Qt::AlignRight);
    layout->setColumnStretch(1, 1);
    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(500);
    connect(timer1_, &QTimer::timeout, this, &TFormResItem::Timer1Timer);
    connect(bitBtn1_, &QPushButton::clicked, this, &TFormResItem::BitBtn1Click);
}

TFormResItem::~TFormResItem() {
    timer1_->stop();
    // The item waits for its attempt, so "started" is final afterwards.
    item_.reset();
    for (const std::string& list : forgottenLists_)
        RemoveResumeList(list);
}

void TFormResItem::ApplyLanguage(const Language& language) {
    if (!language.Active())
        return;
    using section::kResumeItem;
    TranslateWindow(*this, kResumeItem, language);
    waiting_ =
        LanguageText(language, kResumeItem, "Waiting_c", BuiltInText(*this, "waiting", waiting_));
    canceling_ = LanguageText(language, kResumeItem, "Canceling_c",
                              BuiltInText(*this, "canceling", canceling_));
    problem_ =
        LanguageText(language, kResumeItem, "Problem_c", BuiltInText(*this, "problem", problem_));
}

void TFormResItem::Start(const std::string& from) {
    label2_->setText(QString::fromStdString(from));
    show();
    timer1_->start();
    Show(item_->Tick(TickMs()));
}

void TFormResItem::Timer1Timer() {
    Show(item_->Tick(TickMs()));
}

void TFormResItem::BitBtn1Click() {
    Show(item_->Cancel(TickMs()));
}

void TFormResItem::Show(const ResumeItem::View& view) {
    if (item_->Started())
        forgottenLists_.clear();
    bitBtn1_->setEnabled(view.cancelEnabled);
    using Kind = ResumeItem::View::Kind;
    switch (view.kind) {
        case Kind::Waiting:
            label3_->setText(
                FromUtf8(FillIn(waiting_.toStdString(), {std::to_string(view.waitedSeconds)})));
            break;
        case Kind::Canceling: label3_->setText(canceling_); break;
        case Kind::Problem:
            label3_->setText(FromUtf8(FillIn(problem_.toStdString(), {Item().Problem()})));
            break;
        case Kind::None:
            if (!view.status.empty())
                label3_->setText(FromUtf8(view.status));
            break;
    }
    if (view.destroy) {
        timer1_->stop();
        hide();
        // Never inside its own handler: the pop-up goes once the event loop is back.
        deleteLater();
    }
}

}  // namespace rd
