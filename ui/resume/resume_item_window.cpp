#include "ui/resume/resume_item_window.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

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
    if (!forgottenList_.empty())
        RemoveResumeList(forgottenList_);
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
        forgottenList_.clear();
    bitBtn1_->setEnabled(view.cancelEnabled);
    if (!view.status.empty())
        label3_->setText(QString::fromStdString(view.status));
    if (view.destroy) {
        timer1_->stop();
        hide();
        // Never inside its own handler: the pop-up goes once the event loop is back.
        deleteLater();
    }
}

}  // namespace rd
