// The progress window's pop-up menu and shortcut keys: what each item and key does to the
// running job's policy, the marks and captions the menu shows, and the keys' feedback.
#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>
#include <map>
#include <string>
#include <tuple>

#include "ui/progress/progress_menu.h"

namespace rd {

namespace {

// Records the window commands the menu and keys ask for.
struct Commands : MenuCommands {
    explicit Commands(const JobPolicy& policy) : policy(policy) {}

    void Open() override { ++calls["open"]; }
    void Abort() override { ++calls["abort"]; }
    void SaveAndAbort() override { ++calls["saveAndAbort"]; }
    void Pause() override { ++calls["pause"]; }
    void Skip() override { ++calls["skip"]; }
    void OpenSettings() override { ++calls["settings"]; }
    void ToggleQueue() override { ++calls["toggleQueue"]; }
    bool QueueVisible() const override { return queueVisible; }
    void ResumeChanged() override { resumeSeen.push_back(policy.resume); }
    bool Paused() const override { return paused; }

    const JobPolicy& policy;
    std::map<std::string, int> calls;
    bool queueVisible = false, paused = false;
    std::vector<int32_t> resumeSeen;  // `resume` as each ResumeChanged found it
};

QAction* Item(ProgressMenu& menu, const char* name) {
    QAction* action = menu.Menu()->findChild<QAction*>(name);
    if (!action)
        qFatal("no menu item %s", name);
    return action;
}

// As the user does it: the menu opens, then the item is clicked.
void Click(ProgressMenu& menu, const char* name) {
    menu.PopupMenu2Popup();
    Item(menu, name)->trigger();
}

// The marks of `names` after the menu opened, as a string of 0 and 1.
QString Marks(ProgressMenu& menu, std::initializer_list<const char*> names) {
    menu.PopupMenu2Popup();
    QString marks;
    for (const char* name : names)
        marks += Item(menu, name)->isChecked() ? '1' : '0';
    return marks;
}

QString Last(const QSignalSpy& spy) {
    return spy.isEmpty() ? QString() : spy.last().at(0).toString();
}

}  // namespace

class ProgressMenuTest : public QObject {
    Q_OBJECT

private slots:
    void ItemsInOrderWithSeparators() {
        JobPolicy policy;
        Commands commands(policy);
        ProgressMenu menu(policy, commands);
        QStringList layout;
        for (QAction* action : menu.Menu()->actions())
            layout << (action->isSeparator() ? QString("-") : action->objectName());
        QCOMPARE(layout.join(' '),
                 QString("Open1 Abort2 Savejobandabort1 Pause1 Skip1 Settings1 - Showqueue1 "
                         "Resumeoncrash1 - Shutdownoncomplete1 Promptoncomplete1 - Promptonerror1 "
                         "Skiponerror1 Retryonerror1 Retrytimeout1 - Overwriteolder1 "
                         "Resumeexisting1 Prompt1 Skip2 Overwrite1 Renameold1"));
        QCOMPARE(menu.Menu()->objectName(), QString("PopupMenu2"));
        QCOMPARE(menu.Menu()->defaultAction(), Item(menu, "Open1"));
        QCOMPARE(Item(menu, "Showqueue1")->shortcut(), QKeySequence("Ctrl+Q"));
    }

    void CommandsQueueMarkAndPauseCaption() {
        JobPolicy policy;
        Commands commands(policy);
        ProgressMenu menu(policy, commands);
        for (const char* item :
             {"Open1", "Abort2", "Savejobandabort1", "Pause1", "Skip1", "Settings1", "Showqueue1"})
            Click(menu, item);
        const std::map<std::string, int> once = {
            {"open", 1}, {"abort", 1},    {"saveAndAbort", 1}, {"pause", 1},
            {"skip", 1}, {"settings", 1}, {"toggleQueue", 1}};
        QVERIFY(commands.calls == once);
        QCOMPARE(Marks(menu, {"Showqueue1"}), QString("0"));
        QCOMPARE(Item(menu, "Pause1")->text(), QString("Pause"));
        commands.queueVisible = commands.paused = true;
        menu.resumeText = "Go on";
        QCOMPARE(Marks(menu, {"Showqueue1"}), QString("1"));
        QCOMPARE(Item(menu, "Pause1")->text(), QString("Go on"));
    }

    void Flips() {
        JobPolicy policy;
        Commands commands(policy);
        ProgressMenu menu(policy, commands);
        const char* items[] = {"Resumeoncrash1", "Shutdownoncomplete1", "Promptoncomplete1",
                               "Retrytimeout1"};
        auto values = [&] {
            return QString("%1%2%3%4")
                .arg(int(policy.resume.Get()))
                .arg(int(policy.shutdown.Get()))
                .arg(int(policy.openTargets.Get()))
                .arg(static_cast<int>(policy.giveUp.Get()));
        };
        for (const char* item : items)
            Click(menu, item);
        QCOMPARE(values(), QString("1111"));
        QCOMPARE(Marks(menu, {items[0], items[1], items[2], items[3]}), QString("1111"));
        for (const char* item : items)
            Click(menu, item);
        QCOMPARE(values(), QString("0000"));
        QCOMPARE(Marks(menu, {items[0], items[1], items[2], items[3]}), QString("0000"));
        // The resume record follows the new state each time.
        QCOMPARE(commands.resumeSeen, std::vector<int32_t>({1, 0}));
    }

    void ErrorPolicy() {
        JobPolicy policy;
        Commands commands(policy);
        ProgressMenu menu(policy, commands);
        const std::tuple<const char*, int32_t, const char*> cases[] = {
            {"Skiponerror1", 2, "001"}, {"Retryonerror1", 1, "010"}, {"Promptonerror1", 0, "100"}};
        for (const auto& [item, value, marks] : cases) {
            Click(menu, item);
            QCOMPARE(static_cast<int32_t>(policy.onError.Get()), value);
            QCOMPARE(Marks(menu, {"Promptonerror1", "Retryonerror1", "Skiponerror1"}),
                     QString(marks));
        }
    }

    void ExistingFilePolicy_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("after");
        QTest::addColumn<QString>("marks");  // older, resume, prompt, skip, overwrite, rename
        QTest::newRow("skip keeps older") << 0x10 << "Skip2" << 0x12 << "100100";
        QTest::newRow("overwrite") << 0x02 << "Overwrite1" << 0x01 << "000010";
        QTest::newRow("rename") << 0x11 << "Renameold1" << 0x18 << "100001";
        QTest::newRow("prompt") << 0x1F << "Prompt1" << 0x14 << "111000";
        QTest::newRow("older off") << 0x1A << "Overwriteolder1" << 0x0A << "000101";
        QTest::newRow("older off, overwrite") << 0x11 << "Overwriteolder1" << 0x00 << "001000";
        QTest::newRow("older on, overwrite") << 0x05 << "Overwriteolder1" << 0x14 << "111000";
        QTest::newRow("resume off") << 0x1C << "Resumeexisting1" << 0x18 << "100001";
    }

    void ExistingFilePolicy() {
        QFETCH(int, before);
        QFETCH(QString, item);
        QFETCH(int, after);
        QFETCH(QString, marks);
        JobPolicy policy;
        policy.onExist = static_cast<ExistsPolicy>(before);
        Commands commands(policy);
        ProgressMenu menu(policy, commands);
        Item(menu, "Prompt1")->setChecked(true);
        Item(menu, item.toUtf8().constData())->trigger();
        QCOMPARE(static_cast<int32_t>(policy.onExist.Get()), after);
        // Right after the click, before the menu opens again: Qt must not have flipped marks.
        QString shown;
        for (const char* name :
             {"Overwriteolder1", "Resumeexisting1", "Prompt1", "Skip2", "Overwrite1", "Renameold1"})
            shown += Item(menu, name)->isChecked() ? '1' : '0';
        QCOMPARE(shown, marks);
    }

    void MarksAndCaptionFollowChangesMadeElsewhere() {
        JobPolicy policy;
        Commands commands(policy);
        ProgressMenu menu(policy, commands);
        QAction* retry = Item(menu, "Retrytimeout1");
        QCOMPARE(Marks(menu, {"Promptonerror1", "Skiponerror1", "Prompt1", "Skip2"}),
                 QString("1010"));
        QCOMPARE(retry->text(), QString("Retry timeout: 60000 msec"));
        // An all-answer in a prompt changes the policies behind the menu's back.
        policy.onError = rd::ErrorPolicy::Skip;
        policy.onExist = ExistsPolicy::Skip;
        policy.giveUpAfterMs = 1500;
        menu.Menu()->popup(QPoint(0, 0));
        menu.Menu()->hide();
        QCOMPARE(retry->text(), QString("Retry timeout: 1500 msec"));
        QCOMPARE(Marks(menu, {"Promptonerror1", "Skiponerror1", "Prompt1", "Skip2"}),
                 QString("0101"));
        // A language's caption is cut after its first ": ".
        retry->setText("Delai: a: b");
        menu.PopupMenu2Popup();
        QCOMPARE(retry->text(), QString("Delai: 1500 msec"));
    }

    void SpeedLimitKeys() {
        JobPolicy policy;
        policy.speedUnit = SpeedUnit::Kbps;
        Commands commands(policy);
        ProgressMenu menu(policy, commands);
        QSignalSpy spy(&menu, &ProgressMenu::feedback);
        // At the ends the position stays, but the feedback is shown.
        QVERIFY(menu.HandleKey(Qt::Key_Up, Qt::NoModifier));
        QCOMPARE(policy.speedLimit.Get(), 10);
        QCOMPARE(Last(spy), QString("No limit Kbps"));
        QVERIFY(menu.HandleKey(Qt::Key_Down, Qt::NoModifier));
        QCOMPARE(Last(spy), QString("16384 Kbps"));
        policy.speedLimit = 0;
        menu.HandleKey(Qt::Key_Down, Qt::NoModifier);
        QCOMPARE(policy.speedLimit.Get(), 0);
        QCOMPARE(Last(spy), QString("16 Kbps"));
        QCOMPARE(spy.count(), 3);
        // A stored position outside the track bar is first held at its end.
        policy.speedLimit = 42;
        menu.HandleKey(Qt::Key_Down, Qt::NoModifier);
        QCOMPARE(policy.speedLimit.Get(), 9);

        policy.speedLimit = 4;
        menu.limitTexts.kbps = "KB/s";
        QVERIFY(menu.HandleKey(Qt::Key_Backspace, Qt::NoModifier));
        QCOMPARE(policy.speedUnit.Get(), SpeedUnit::Bps);
        QCOMPARE(Last(spy), QString("512 bps"));
        menu.HandleKey(Qt::Key_Backspace, Qt::NoModifier);
        QCOMPARE(policy.speedUnit.Get(), SpeedUnit::Kbps);
        QCOMPARE(Last(spy), QString("512 KB/s"));
        policy.speedUnit = SpeedUnit::Percent;
        menu.HandleKey(Qt::Key_Backspace, Qt::NoModifier);
        QCOMPARE(policy.speedUnit.Get(), SpeedUnit::Percent);
        QCOMPARE(Last(spy), QString("50 %"));
        QCOMPARE(policy.speedLimit.Get(), 4);
    }

    void OtherKeys() {
        JobPolicy policy;
        Commands commands(policy);
        ProgressMenu menu(policy, commands);
        QSignalSpy spy(&menu, &ProgressMenu::feedback);
        QVERIFY(menu.HandleKey(Qt::Key_Space, Qt::NoModifier));
        QCOMPARE(commands.calls["pause"], 1);
        QCOMPARE(spy.count(), 0);
        QVERIFY(!menu.FeedbackActive(0));

        menu.HandleKey(Qt::Key_Right, Qt::NoModifier);
        QCOMPARE(policy.bufferSize.Get(), 7);
        QCOMPARE(Last(spy), QString("2 Mbytes"));
        policy.bufferSize = 0;
        menu.HandleKey(Qt::Key_Left, Qt::NoModifier);
        QCOMPARE(policy.bufferSize.Get(), 0);
        QCOMPARE(Last(spy), QString("512 bytes"));

        menu.HandleKey(Qt::Key_R, Qt::NoModifier);
        QCOMPARE(Last(spy), QString("Autoresume ON"));
        menu.HandleKey(Qt::Key_R, Qt::ShiftModifier);
        QCOMPARE(Last(spy), QString("Autoresume OFF"));
        QCOMPARE(commands.resumeSeen, std::vector<int32_t>({1, 0}));
        menu.HandleKey(Qt::Key_H, Qt::NoModifier);
        QCOMPARE(policy.history.Get(), false);
        QCOMPARE(Last(spy), QString("History OFF"));

        // Combinations belong to shortcuts such as Ctrl+Q.
        QVERIFY(!menu.HandleKey(Qt::Key_R, Qt::ControlModifier));
        QVERIFY(!menu.HandleKey(Qt::Key_A, Qt::NoModifier));
        QCOMPARE(policy.resume.Get(), false);
        QCOMPARE(spy.count(), 5);
    }

    void FeedbackLastsThreeSecondsAfterTheLastKey() {
        JobPolicy policy;
        Commands commands(policy);
        ProgressMenu menu(policy, commands);
        uint64_t now = 50000;
        menu.SetClock([&now] { return now; });
        QSignalSpy spy(&menu, &ProgressMenu::feedback);
        QVERIFY(!menu.FeedbackActive(now));
        menu.HandleKey(Qt::Key_Right, Qt::NoModifier);
        now += 2000;
        QVERIFY(menu.FeedbackActive(now));
        menu.HandleKey(Qt::Key_H, Qt::NoModifier);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toString(), QString("2 Mbytes"));
        QCOMPARE(spy.at(1).at(0).toString(), QString("History OFF"));
        QVERIFY(menu.FeedbackActive(now + 3000));
        QVERIFY(!menu.FeedbackActive(now + 3001));
        // Space does not renew the time.
        now += 2900;
        menu.HandleKey(Qt::Key_Space, Qt::NoModifier);
        QVERIFY(!menu.FeedbackActive(now + 200));
    }
};

}  // namespace rd

QTEST_MAIN(rd::ProgressMenuTest)
#include "progress_menu_test.moc"
