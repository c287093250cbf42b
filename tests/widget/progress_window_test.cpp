// The progress window's face: the tick's labels, bars, title and tray, the file name that
// fits, the queue window docking, minimise and restore, abort, completion, the prompts served
// one after the other, and the menu and keys as the window passes them on.
#include <QMenu>
#include <QMessageBox>
#include <QtTest>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/job_control.h"
#include "app/progress_core.h"
#include "engine/engine_context.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "question_facts.h"
#include "test_support.h"
#include "ui/progress/error_prompt.h"
#include "ui/progress/exists_prompt.h"
#include "ui/progress/progress_display.h"
#include "ui/progress/progress_menu.h"
#include "ui/progress/queue_window.h"
#include "ui/progress/redodori_wnd.h"
#include "ui/progress/shutdown_countdown.h"
#include "ui/progress/tray_icon.h"

namespace rd {

// A window serving a job that the test drives by its counters; the rig is the job's session,
// and notes what the window asks of it.
struct Rig : JobControl {
    Rig() : ctx(policy, window, core.queue), tray(nullptr) {
        core.Attach(ctx, nullptr, nullptr);
        window.Host(core, *this);
        window.now = [this] { return clock; };
        window.Menu()->SetClock([this] { return clock; });
        TRedoDoriWnd::Windows windows;
        windows.queue = &queue;
        windows.errorPrompt = &errorPrompt;
        windows.existsPrompt = &existsPrompt;
        windows.countdown = &countdown;
        windows.tray = &tray;
        window.SetWindows(windows);
        window.askInWindows = true;
        queue.Attach(core.queue, ctx.list, ctx.state.counters);
    }
    void StartCopy() {
        ctx.jobState = 1;
        ctx.copyStartedAt = TickMs();
    }
    QString Text(const char* label) { return window.findChild<QLabel*>(label)->text(); }
    QLabel* Bar(const char* name) { return window.findChild<QLabel*>(name); }

    void End(int code) override { ended.push_back(code); }
    void JobThreadEnded() override { ++threadEnds; }
    void SourcesChanged() override { ++sourcesChanged; }

    JobPolicy policy;
    TRedoDoriWnd window;
    ProgressCore core;
    EngineContext ctx;
    TRedoDoriQueue queue;
    TForm3 errorPrompt;
    TForm5 existsPrompt;
    TForm6 countdown;
    TrayIcon tray;
    std::vector<int> ended;
    int threadEnds = 0, sourcesChanged = 0;
    uint64_t clock = 100000;
};

// Answers the completion question in the user's place and notes the folders it was to open.
struct Answerer : CompletionAsker {
    explicit Answerer(bool yes) : yes(yes) {}
    void AskComplete(const QString&, std::function<void(bool yes)> answered) override {
        answered(yes);
    }
    void OpenFolders(const std::vector<std::string>& folders) override {
        opened.push_back(folders);
    }

    const bool yes;
    std::vector<std::vector<std::string>> opened;
};

class ProgressWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        env_ = std::make_unique<test::PrivateEnvironment>();
        qputenv("REDODORI_FAKE_POWEROFF", QByteArray::fromStdString(env_->Dir() / "poweroff"));
    }

    void ControlsCarryTheirNamesAtTheBuiltInLayout() {
        Rig rig;
        QCOMPARE(rig.window.size(), QSize(297, 137));
        for (const char* name :
             {"Image1", "Image2", "Image3", "Label1", "Label2", "Label3", "Label4", "Label5",
              "Label6", "Label7", "Label8", "Label9", "Label10", "Label11"})
            QVERIFY2(rig.window.findChild<QLabel*>(name), name);
        for (const char* name :
             {"SpeedButton1", "SpeedButton2", "SpeedButton3", "SpeedButton4", "SpeedButton5"})
            QVERIFY2(rig.window.findChild<QAbstractButton*>(name), name);
        QVERIFY(rig.window.findChild<QWidget*>("PerformanceGraph1"));
        QCOMPARE(rig.window.findChild<QLabel*>("Label6")->pos(), QPoint(16, 119));
        QCOMPARE(rig.window.findChild<QAbstractButton*>("SpeedButton5")->geometry(),
                 QRect(256, 60, 25, 25));
        QCOMPARE(rig.Text("Label1"), QString("Preprocess"));
        QCOMPARE(rig.Text("Label7"), QString("r:0 s:0"));
    }

    // Off screen there is no notification area: the tray keeps its index, draws no image and
    // says it shows none.
    void TrayWithoutANotificationAreaDrawsNoImages() {
        Rig rig;
        QVERIFY(!rig.tray.Icon());
        QVERIFY(rig.tray.Images().isEmpty());
        QVERIFY(!rig.tray.Set(5));
        QCOMPARE(rig.tray.Index(), 5);
        QCOMPARE(BuiltInTrayImages().size(), 33);
    }

    void NothingListedLeavesBarAndTrayAndShowsNoPercent() {
        Rig rig;
        rig.tray.Set(7);
        rig.StartCopy();
        rig.window.Timer1Timer();
        QCOMPARE(rig.Text("Label1"), QString());
        QCOMPARE(rig.Text("Label4"), QString("0 of 0"));
        QCOMPARE(rig.Text("Label11"), QString("0 of 0"));
        QCOMPARE(rig.tray.Index(), 7);
        QCOMPARE(rig.Bar("Image1")->width(), 0);
    }

    void TheTickShowsTheFiguresOfTheJob() {
        Rig rig;
        JobCounters& c = rig.ctx.state.counters;
        c.listedBytes = 2000000;
        c.doneBytes = 500000;
        c.listedFiles = 1234;
        c.filesDone = 10;
        c.retries = 3;
        c.filePercent = 50;
        rig.StartCopy();
        rig.window.Timer1Timer();
        QCOMPARE(rig.Text("Label1"), QString("25%"));
        QCOMPARE(rig.Text("Label4"), QString("500,000 of 2,000,000"));
        QCOMPARE(rig.Text("Label11"), QString("10 of 1,234"));
        QCOMPARE(rig.Text("Label7"), QString("C r:3 s:0"));
        const int picture = rig.Bar("Image1")->pixmap().width();
        QCOMPARE(rig.Bar("Image1")->width(), picture / 4);
        QCOMPARE(rig.Bar("Image2")->width(), rig.Bar("Image2")->pixmap().width() / 2);
        QCOMPARE(rig.tray.Index(), 31 * 500000 / 2000000 + 1);
        QVERIFY(rig.window.windowTitle().startsWith("RedoDori-25% {"));

        // Files that grew while copying: never more than all of it.
        c.doneBytes = 2500000;
        rig.window.Timer1Timer();
        QCOMPARE(rig.Text("Label1"), QString("100%"));
        QCOMPARE(rig.tray.Index(), 32);
        QCOMPARE(rig.Bar("Image1")->width(), picture);
    }

    void TheRemainingTimeWaitsForTheFirstBytes() {
        Rig rig;
        rig.ctx.state.counters.listedBytes = 1000;
        rig.StartCopy();
        rig.window.Timer1Timer();
        QCOMPARE(rig.Text("Label9"), QString("00:00.00"));
        rig.ctx.state.counters.copyTime = 60000;
        rig.ctx.state.counters.doneBytes = 500;
        rig.ctx.state.counters.transferredBytes = 500;
        rig.window.Timer1Timer();
        QVERIFY(rig.Text("Label9").startsWith("00:01."));
    }

    void LongFileNamesKeepTheirStartAndAsMuchOfTheEndAsFits() {
        auto fitsIn = [](int chars) {
            return [chars](const QString& s) { return s.size() <= chars; };
        };
        QCOMPARE(ShortenFileName("/home/me/a.txt", fitsIn(40)), QString("/home/me/a.txt"));
        QCOMPARE(ShortenFileName("/home/me/photos/2026/holiday/beach.jpg", fitsIn(24)),
                 QString("/home/....iday/beach.jpg"));
        // No separator after the start: the dots go before the last two characters.
        QCOMPARE(ShortenFileName("abcdefghijklmnop", fitsIn(3)), QString("abcdefghijklmn....op"));
        // Never fewer than four characters after the dots, even when that does not fit.
        QCOMPARE(ShortenFileName("/usr/share/very/long/name", fitsIn(5)), QString("/usr/....name"));

        Rig rig;
        const QString path = "/home/me/" + QString(200, 'x') + "/file.bin";
        rig.ctx.state.SetCurrentSource(path.toStdString());
        rig.StartCopy();
        rig.window.Timer1Timer();
        QLabel* label5 = rig.window.findChild<QLabel*>("Label5");
        QCOMPARE(label5->toolTip(), path);
        // A window that has not shown measures nothing: it keeps the whole name until it shows.
        QCOMPARE(label5->text(), path);
        rig.window.show();
        QCOMPARE(label5->toolTip(), path);
        QVERIFY(label5->text().startsWith("/home/...."));
        QVERIFY(label5->text().endsWith("/file.bin"));
        QVERIFY(QFontMetrics(label5->font()).horizontalAdvance(label5->text()) <= label5->width());
    }

    void TheTipKeepsFifteenAndFortyEightCharacters() {
        const QString title = "RedoDori-42% {" + QString(56, 'm') + "}";
        QCOMPARE(title.size(), 71);
        const QString seventy = title.left(70);
        const QString tip = ShortenTip(seventy);
        QCOMPARE(tip.size(), 63);
        QCOMPARE(tip, seventy.left(15) + seventy.right(48));
        QCOMPARE(ShortenTip("short"), QString("short"));
    }

    void TheQueueFollowsWithinSixteenPixels() {
        Rig rig;
        rig.window.move(100, 100);
        rig.window.show();
        rig.queue.resize(297, 137);
        rig.queue.move(100, 100 + 137 + 10);
        rig.queue.show();
        QTRY_COMPARE(rig.window.LastPosition(), QPoint(100, 100));
        rig.window.move(150, 130);
        QTRY_COMPARE(rig.queue.pos(), QPoint(150, 130 + 137));

        rig.queue.move(150, 130 + 137 + 20);
        rig.window.move(200, 100);
        QTRY_COMPARE(rig.window.LastPosition(), QPoint(200, 100));
        QCOMPARE(rig.queue.pos(), QPoint(150, 130 + 137 + 20));
    }

    // Another program's WMU_DOCKQUEUE docks the queue as a move of the window would.
    void AnotherProgramDocksTheQueue() {
        Rig rig;
        rig.window.move(100, 100);
        rig.window.show();
        rig.queue.resize(297, 137);
        rig.queue.show();
        QTRY_COMPARE(rig.window.LastPosition(), QPoint(100, 100));
        const int bottom = 100 + 137;
        rig.queue.move(100, bottom + 10);
        rig.core.HandlePacket({msg::WMU_DOCKQUEUE, 0, 0});
        QCOMPARE(rig.queue.pos(), QPoint(100, bottom));
        rig.queue.move(100, bottom + 30);
        rig.core.HandlePacket({msg::WMU_DOCKQUEUE, 0, 0});
        QCOMPARE(rig.queue.pos(), QPoint(100, bottom + 30));
    }

    void MinimiseRestoresTheQueueOnlyWhenItWasShown() {
        Rig rig;
        rig.window.show();
        // Off screen there is no notification area: the window goes to the task bar, not away.
        rig.window.Minimise();
        QVERIFY(rig.window.isMinimized());
        QVERIFY(rig.window.isVisible());
        rig.window.Restore();
        QVERIFY(!rig.window.isMinimized());
        QVERIFY(rig.window.isVisible());
        QVERIFY(!rig.queue.isVisible());

        rig.queue.show();
        rig.window.Minimise();
        QVERIFY(!rig.queue.isVisible());
        rig.window.Restore();
        QVERIFY(rig.queue.isVisible());
    }

    void AbortWithShiftKeepsTheJob() {
        Rig rig;
        rig.window.show();
        auto* abort = rig.window.findChild<QAbstractButton*>("SpeedButton2");
        QTest::mouseClick(abort, Qt::LeftButton, Qt::ShiftModifier);
        rig.core.Service();
        QTest::mouseClick(abort, Qt::LeftButton);
        rig.core.Service();
        QCOMPARE(rig.ended, std::vector<int>{2});

        Rig plain;
        QTest::mouseClick(plain.window.findChild<QAbstractButton*>("SpeedButton2"), Qt::LeftButton);
        plain.core.Service();
        QCOMPARE(plain.ended, std::vector<int>{0});
    }

    void PauseStopsTheClockAndChangesTheButton() {
        Rig rig;
        rig.StartCopy();
        rig.window.Timer1Timer();
        rig.window.SpeedButton3Click();
        QCOMPARE(rig.ctx.state.flags.Paused.load(), 1);
        QVERIFY(!rig.window.findChild<QTimer*>("Timer1")->isActive());
        QTest::qWait(300);
        rig.window.SpeedButton3Click();
        QVERIFY(rig.window.findChild<QTimer*>("Timer1")->isActive());
        rig.window.Timer1Timer();
        QVERIFY(rig.ctx.state.counters.copyTime.load() < 150);
    }

    void CompletionOpensTheDestinationsWhenAskedTo() {
        Answerer yes(true);
        Rig rig;
        rig.ctx.dests.ParseDestinations({"/tmp/one", "/tmp/two"}, rig.core);
        rig.window.SetCompletionAsker(yes);
        rig.window.ShowCompletion(CompletionStep::Question);
        QVERIFY(!rig.window.isEnabled());
        QCOMPARE(yes.opened, (std::vector<std::vector<std::string>>{{"/tmp/one", "/tmp/two"}}));
        QCOMPARE(rig.ended, std::vector<int>{0});

        Answerer no(false);
        Rig declined;
        declined.window.SetCompletionAsker(no);
        declined.window.ShowCompletion(CompletionStep::Question);
        QVERIFY(no.opened.empty());
        QCOMPARE(declined.ended, std::vector<int>{0});
    }

    // The session hears from the window: a flip of the resume option in the menu and a drop
    // write its resume record again, and the end of the job's thread reaches it on the window's
    // next turn.
    void TheSessionHearsOfResumeChangesDropsAndTheThreadsEnd() {
        Rig rig;
        rig.window.Menu()->Menu()->findChild<QAction*>("Resumeoncrash1")->trigger();
        QVERIFY(rig.policy.resume.Get());
        QCOMPARE(rig.sourcesChanged, 1);
        rig.core.AddDroppedPaths({"/src/dropped"});
        QCOMPARE(rig.core.queue.Count(), 1);
        QCOMPARE(rig.sourcesChanged, 2);
        rig.window.ThreadEnded();
        QCOMPARE(rig.threadEnds, 0);
        QTRY_COMPARE_WITH_TIMEOUT(rig.threadEnds, 1, 5000);
        QVERIFY(rig.ended.empty());
    }

    void ShutdownOnCompleteShowsTheCountdown() {
        Rig rig;
        rig.policy.shutdownDelay = 0;
        rig.window.ShowCompletion(CompletionStep::ShutdownCountdown);
        QVERIFY(rig.countdown.isVisible());
        QCOMPARE(rig.countdown.findChild<QLabel*>("Label4")->text().toInt(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(rig.ended, std::vector<int>{0}, 5000);
        QVERIFY(QFile::exists(QString::fromStdString(env_->Dir() / "poweroff")));
    }

    void TwoThreadsAskOneAfterTheOtherInThePromptWindows() {
        Rig rig;
        rig.StartCopy();
        std::atomic<ErrorAnswer> error{ErrorAnswer::Abort};
        std::atomic<ExistsAnswer> exists{ExistsAnswer::Abort};
        std::thread a(
            [&] { error = rig.core.AskError(test::Failed(ErrorStep::Read, "/src/cannot read")); });
        QTRY_VERIFY_WITH_TIMEOUT(rig.errorPrompt.isVisible(), 5000);
        QVERIFY(rig.errorPrompt.findChild<QAbstractButton*>("BitBtn1")->isEnabled());
        std::thread b(
            [&] { exists = rig.core.AskExists(test::Existing("/src/both", "/dst/both")); });
        QTest::qWait(100);
        QVERIFY(!rig.existsPrompt.isVisible());
        QCOMPARE(rig.tray.Index(), 15);
        QTest::mouseClick(rig.errorPrompt.findChild<QAbstractButton*>("BitBtn3"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(rig.existsPrompt.isVisible(), 5000);
        QCOMPARE(rig.tray.Index(), 0);
        QTest::mouseClick(rig.existsPrompt.findChild<QAbstractButton*>("BitBtn5"), Qt::LeftButton);
        a.join();
        b.join();
        QCOMPARE(error.load(), ErrorAnswer::Retry);
        QCOMPARE(exists.load(), ExistsAnswer::Skip);

        // The menu's check marks follow the "all" answers.
        rig.window.Menu()->PopupMenu2Popup();
        auto* retry = rig.window.Menu()->Menu()->findChild<QAction*>("Retryonerror1");
        auto* skip = rig.window.Menu()->Menu()->findChild<QAction*>("Skip2");
        QVERIFY(retry && retry->isChecked());
        QVERIFY(skip && skip->isChecked());
    }

    void TheAllocationQuestionIsAnsweredByItsBoxsButton() {
        Rig rig;
        std::atomic<AllocationFailure::Answer> answer{AllocationFailure::Answer::Abort};
        std::thread asker([&] { answer = static_cast<AllocationFailure&>(rig.core).Ask(); });
        QTRY_VERIFY_WITH_TIMEOUT(rig.window.findChild<QMessageBox*>(), 5000);
        QMessageBox* box = rig.window.findChild<QMessageBox*>();
        QCOMPARE(box->text(), QString(kAllocationText));
        box->button(QMessageBox::Ignore)->click();
        asker.join();
        QCOMPARE(answer.load(), AllocationFailure::Answer::Ignore);
    }

    void KeyFeedbackStaysForThreeSeconds() {
        Rig rig;
        rig.ctx.state.counters.listedBytes = 100;
        rig.ctx.state.counters.doneBytes = 40;
        rig.StartCopy();
        QTest::keyClick(&rig.window, Qt::Key_Up);
        const QString feedback = rig.Text("Label1");
        QVERIFY(!feedback.isEmpty());
        QCOMPARE(rig.policy.speedLimit.Get(), 10);
        rig.clock += 2000;
        rig.window.Timer1Timer();
        QCOMPARE(rig.Text("Label1"), feedback);
        QTest::keyClick(&rig.window, Qt::Key_H);
        QCOMPARE(rig.Text("Label1"), QString("History OFF"));
        rig.clock += 2500;
        rig.window.Timer1Timer();
        QCOMPARE(rig.Text("Label1"), QString("History OFF"));
        rig.clock += 600;
        rig.window.Timer1Timer();
        QCOMPARE(rig.Text("Label1"), QString("40%"));
    }

    void AnyLabelOrImageDragsTheWindow() {
        Rig rig;
        rig.window.move(100, 100);
        rig.window.show();
        QTRY_COMPARE(rig.window.pos(), QPoint(100, 100));
        for (const char* name : {"Label2", "Image3"}) {
            QWidget* handle = rig.window.findChild<QWidget*>(name);
            const QPoint start = rig.window.pos();
            QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(5, 5));
            QTest::mouseMove(handle, QPoint(25, 15));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(25, 15));
            QTRY_COMPARE(rig.window.pos(), start + QPoint(20, 10));
        }
        // A button is clicked, not dragged.
        const QPoint before = rig.window.pos();
        QWidget* skip = rig.window.findChild<QWidget*>("SpeedButton4");
        QTest::mousePress(skip, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(skip, QPoint(15, 15));
        QTest::mouseRelease(skip, Qt::LeftButton, {}, QPoint(15, 15));
        QCOMPARE(rig.window.pos(), before);
    }

    void CtrlQShowsAndHidesTheQueue() {
        Rig rig;
        rig.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&rig.window));
        QTest::keyClick(&rig.window, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(rig.queue.isVisible());
        rig.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&rig.window));
        QTest::keyClick(&rig.window, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!rig.queue.isVisible());
    }

private:
    std::unique_ptr<test::PrivateEnvironment> env_;
};

}  // namespace rd

QTEST_MAIN(rd::ProgressWindowTest)
#include "progress_window_test.moc"
