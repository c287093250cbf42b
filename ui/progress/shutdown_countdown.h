// The countdown shown at the end of a job that switches the computer off: it counts the
// seconds down once a second and powers off one second after showing 0, unless aborted.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QTimer;

namespace rd {

class Language;

class TForm6 : public QDialog {
    Q_OBJECT

public:
    explicit TForm6(QWidget* parent = nullptr);

    // Shows the window counting down from `seconds`.
    void Start(int seconds);
    // The captions of "Copy_Shutdown".
    void ApplyLanguage(const Language& language);

    // The tick of Timer1: one second less, or at 0 the power-off and the end of the job.
    void Timer1Timer();
    // Abort shutdown: the job ends without switching the computer off.
    void Button1Click();

    // Esc and closing the window both press Abort shutdown: a countdown nobody can see must
    // not go on to switch the computer off.
    void reject() override;

    // Switches the computer off; replaceable so that the countdown can run without it.
    std::function<void()> powerOff;

signals:
    // The job is to end with `code`: after an abort, or once the power-off was requested.
    void endJobRequested(int code);

private:
    QLabel* label4_ = nullptr;
    QPushButton* button1_ = nullptr;
    QTimer* timer1_ = nullptr;
    int remaining_ = 0;
};

}  // namespace rd
