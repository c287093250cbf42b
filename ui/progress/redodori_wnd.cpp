#include "ui/progress/redodori_wnd.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include "app/job_session.h"
#include "engine/messages.h"
#include "engine/prompts.h"

namespace rd {

TRedoDoriWnd::TRedoDoriWnd(QWidget* parent) : QWidget(parent) {
    setObjectName("RedoDoriWnd");
    setWindowTitle("RedoDori");
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool);
    resize(297, 137);
    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(500);
    connect(timer1_, &QTimer::timeout, this, &TRedoDoriWnd::Timer1Timer);
    heartbeat_ = new QTimer(this);
    heartbeat_->setInterval(1000);
}

TRedoDoriWnd::~TRedoDoriWnd() = default;

void TRedoDoriWnd::Host(ProgressCore& core) {
    core_ = &core;
    core.hooks.wake = [this] { Wake(); };
}

void TRedoDoriWnd::Host(JobSession& session) {
    session_ = &session;
    Host(session.core);
    ProgressCore::Hooks& hooks = core_->hooks;
    hooks.endJob = [this](int code) { session_->End(code); };
    hooks.startJobThread = [this] {
        session_->StartJobThread();
        timer1_->start();
    };
    connect(heartbeat_, &QTimer::timeout, this, [this] { core_->Heartbeat(); });
}

void TRedoDoriWnd::JobStarted() {
    if (session_->console.Attached())
        heartbeat_->start();
    if (bus::Endpoint* endpoint = session_->Endpoint()) {
        packets_ = new QSocketNotifier(endpoint->Fd(), QSocketNotifier::Read, this);
        connect(packets_, &QSocketNotifier::activated, this, [this] { core_->ServePackets(); });
    }
}

void TRedoDoriWnd::Wake() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (core_)
                core_->Service();
        },
        Qt::QueuedConnection);
}

intptr_t TRedoDoriWnd::Dispatch(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (!core_)
        return 0;
    if (msg == msg::WMU_ENDJOB) {
        core_->RequestEnd(static_cast<int>(lParam));
        return 0;
    }
    if (msg == msg::WMU_JOBSTATS)
        return 0;
    return core_->Handle(msg, wParam, lParam);
}

intptr_t TRedoDoriWnd::Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (!core_)
        return 0;
    // The text shows at the next tick; a round trip to the window per file would only slow
    // down jobs of many small files.
    if (msg == msg::WMU_SETTEXT) {
        core_->SetText(wParam, reinterpret_cast<const char*>(lParam));
        return 0;
    }
    const bool onWindowThread = QThread::currentThread() == thread();
    if (msg == msg::WMU_ERRORPROMPT || msg == msg::WMU_EXISTSPROMPT) {
        // The window thread cannot wait for an answer that it must itself serve.
        if (onWindowThread)
            return msg == msg::WMU_ERRORPROMPT ? answer::kSkip : onexist::kSkip;
        return core_->Ask(msg, wParam, reinterpret_cast<const char*>(lParam));
    }
    if (onWindowThread)
        return Dispatch(msg, wParam, lParam);
    intptr_t result = 0;
    QMetaObject::invokeMethod(
        this, [&] { result = Dispatch(msg, wParam, lParam); }, Qt::BlockingQueuedConnection);
    return result;
}

void TRedoDoriWnd::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (msg == msg::WMU_ENDJOB) {
        if (core_)
            core_->RequestEnd(static_cast<int>(lParam));
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, msg, wParam, lParam] { Dispatch(msg, wParam, lParam); }, Qt::QueuedConnection);
}

void TRedoDoriWnd::Timer1Timer() {
    if (core_)
        core_->Tick(false);
}

}  // namespace rd
