// The progress window: the engine's messages arrive here and are handled on the window
// thread; its tick shows the job's progress.
#pragma once

#include <QWidget>
#include <cstdint>

#include "engine/window_link.h"

class QSocketNotifier;
class QTimer;

namespace rd {

class JobSession;
class ProgressCore;

class TRedoDoriWnd : public QWidget, public WindowLink {
    Q_OBJECT

public:
    explicit TRedoDoriWnd(QWidget* parent = nullptr);
    ~TRedoDoriWnd() override;

    // Serves `core` from now on: the engine's messages go to it on the window thread.
    void Host(ProgressCore& core);
    // Serves `session`: its core, and the session's start and end of the job.
    void Host(JobSession& session);
    // After the intake: the wrapper's heartbeat and the packets to the window's endpoint.
    void JobStarted();

    // Handled on the window thread; the engine's threads wait for the result. A question
    // waits for its answer while the window goes on serving everything else.
    intptr_t Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

    // The tick: 500 ms while copying.
    void Timer1Timer();

private:
    intptr_t Dispatch(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    void Wake();

    JobSession* session_ = nullptr;
    ProgressCore* core_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* heartbeat_ = nullptr;
    QSocketNotifier* packets_ = nullptr;
};

}  // namespace rd
