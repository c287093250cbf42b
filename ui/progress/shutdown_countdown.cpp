#include "ui/progress/shutdown_countdown.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "look/captions.h"
#include "look/language.h"
#include "ui/system_power.h"

namespace rd {

namespace {

constexpr int kMargin = 18;

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

TForm6::TForm6(QWidget* parent) : QDialog(parent), powerOff([] { PowerOff(); }) {
    setObjectName("Form6");
    setWindowTitle("System shutdown");
    // A title without any buttons: the only way out is Abort shutdown.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);

    QLabel* label1 = AddLabel(this, "Label1", "RedoDori finished copy process");
    QLabel* label2 = AddLabel(this, "Label2", "System will be shutdown automatically");
    QLabel* label3 = AddLabel(this, "Label3", "Seconds to shutdown:");
    label4_ = AddLabel(this, "Label4", "000");
    label3->setStyleSheet("color: red;");
    label4_->setStyleSheet("color: red; font-weight: bold;");
    label4_->setAlignment(Qt::AlignCenter);
    label4_->setMinimumWidth(label4_->fontMetrics().horizontalAdvance("0000"));

    button1_ = new QPushButton("Abort shutdown", this);
    button1_->setObjectName("Button1");
    button1_->setDefault(true);
    connect(button1_, &QPushButton::clicked, this, &TForm6::Button1Click);

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(1000);
    connect(timer1_, &QTimer::timeout, this, &TForm6::Timer1Timer);

    auto* counter = new QHBoxLayout;
    counter->addWidget(label3);
    counter->addWidget(label4_);
    counter->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button1_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    // The texts keep clear of the window's edges, on the right as on the left.
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->addWidget(label1);
    layout->addWidget(label2);
    layout->addLayout(counter);
    layout->addLayout(buttons);
    // Single border: the window keeps the size its contents need.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TForm6::Start(int seconds) {
    remaining_ = seconds;
    label4_->setText(QString::number(remaining_));
    show();
    raise();
    activateWindow();
    timer1_->start();
}

void TForm6::ApplyLanguage(const Language& language) {
    TranslateWindow(*this, section::kCountdown, language);
}

void TForm6::Timer1Timer() {
    if (remaining_ > 0) {
        --remaining_;
        label4_->setText(QString::number(remaining_));
        return;
    }
    timer1_->stop();
    // The end of the job ends the process, so the power-off is asked for first.
    if (powerOff)
        powerOff();
    emit endJobRequested(0);
}

void TForm6::Button1Click() {
    timer1_->stop();
    emit endJobRequested(0);
}

void TForm6::reject() {
    button1_->click();
}

}  // namespace rd
