// The progress window as the engine's threads reach it: sends handled on the window thread
// while it keeps serving its event loop, and questions that wait for their answers.
#include <QtTest>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "app/progress_core.h"
#include "engine/engine_context.h"
#include "question_facts.h"
#include "ui/progress/redodori_wnd.h"

namespace rd {

// Stands between the core and the window: it notes the end of the list and the questions, and
// passes everything else on to the window.
class ViewSpy : public ProgressView {
public:
    explicit ViewSpy(TRedoDoriWnd& window) : window_(window) {}

    void Wake() override { window_.Wake(); }
    void EndJob(int code) override { window_.EndJob(code); }
    void LockOptions() override { window_.LockOptions(); }
    void ListFinished() override { listFinishedOn = QThread::currentThread(); }
    void ShowCompletion(CompletionStep step) override { window_.ShowCompletion(step); }
    bool ShowQuestion(const Question& question) override { return asked && asked(question); }
    void ShowPaused(bool paused) override { window_.ShowPaused(paused); }
    void SourcesAdded() override { window_.SourcesAdded(); }
    void DockQueue() override { window_.DockQueue(); }
    void ShowNotice(NoticeIcon icon, const std::string& caption, const std::string& text) override {
        window_.ShowNotice(icon, caption, text);
    }

    QThread* listFinishedOn = nullptr;
    // Whether a question shows; unset: none does.
    std::function<bool(const Question&)> asked;

private:
    TRedoDoriWnd& window_;
};

class ProgressMessagesTest : public QObject {
    Q_OBJECT

private slots:
    void SendsFromAnotherThreadRunOnTheWindowThread() {
        TRedoDoriWnd window;
        ProgressCore core;
        JobPolicy policy;
        EngineContext ctx(policy, window, core.queue);
        core.Attach(ctx, nullptr, nullptr);
        window.Host(core);
        ViewSpy spy(window);
        core.SetView(&spy);
        core.queue.Add("/src/one");

        SourceQueue::Next next;
        std::atomic<bool> done{false};
        std::thread engine([&] {
            next = window.NextSource();
            window.ListComplete(0);
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
        engine.join();
        QCOMPARE(next.path, std::string("/src/one"));
        QVERIFY(next.entry == core.queue.EntryAt(0));
        QCOMPARE(spy.listFinishedOn, window.thread());
    }

    void QuestionsWaitWhileTheWindowKeepsServing() {
        TRedoDoriWnd window;
        ProgressCore core;
        JobPolicy policy;
        EngineContext ctx(policy, window, core.queue);
        core.Attach(ctx, nullptr, nullptr);
        window.Host(core);
        ViewSpy spy(window);
        core.SetView(&spy);
        QStringList asked;
        spy.asked = [&](const Question& q) {
            asked << QString::fromStdString(core.QuestionText(q));
            return true;
        };
        std::atomic<ErrorAnswer> first{ErrorAnswer::Skip};
        std::atomic<ExistsAnswer> second{ExistsAnswer::Overwrite};
        std::thread a([&] { first = core.AskError(test::Failed(ErrorStep::Read, "/src/one")); });
        QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 1, 5000);
        std::thread b([&] { second = core.AskExists(test::Existing("/src/two", "/dst/two")); });
        // While the first question is open, other sends are still served.
        std::atomic<bool> served{false};
        std::thread c([&] {
            window.ListComplete(0);
            served = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(served.load(), 5000);
        c.join();
        QTest::qWait(50);
        QCOMPARE(asked.size(), 1);
        core.Answer(ErrorAnswer::Retry);
        QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 2, 5000);
        QVERIFY(asked[1].contains("/dst/two"));
        core.Answer(ExistsAnswer::Skip);
        a.join();
        b.join();
        QCOMPARE(first.load(), ErrorAnswer::Retry);
        QCOMPARE(second.load(), ExistsAnswer::Skip);
    }
};

}  // namespace rd

QTEST_MAIN(rd::ProgressMessagesTest)
#include "progress_messages_test.moc"
