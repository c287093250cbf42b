// The end-of-job countdown: it counts down once a second, powers off one second after showing
// 0 and then ends the job; Abort shutdown ends the job without powering off.
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <string>

#include "test_support.h"
#include "ui/progress/shutdown_countdown.h"

namespace rd {

class ShutdownCountdownTest : public QObject {
    Q_OBJECT

public:
    // Before any test can reach the power-off, it is pointed at a file of our own.
    ShutdownCountdownTest() {
        qputenv("REDODORI_FAKE_POWEROFF", QByteArray::fromStdString(fakeFile_));
    }

private:
    // Every power-off and end of the job, in the order they happened.
    struct Recorder {
        QStringList events;
        void Watch(TForm6& form) {
            form.powerOff = [this] { events << "power"; };
            QObject::connect(&form, &TForm6::endJobRequested,
                             [this](int code) { events << QString("end %1").arg(code); });
        }
    };

    static QString Counter(TForm6& form) { return form.findChild<QLabel*>("Label4")->text(); }
    static QTimer* Timer(TForm6& form) { return form.findChild<QTimer*>("Timer1"); }

    test::TempDir dir_;
    const std::string fakeFile_ = dir_ / "poweroff";

private slots:
    void CountsDownOncePerTickAndPowersOffAfterZero() {
        TForm6 form;
        Recorder recorder;
        recorder.Watch(form);
        form.Start(3);
        QVERIFY(form.isVisible());
        QCOMPARE(Counter(form), QString("3"));
        QVERIFY(Timer(form)->isActive());
        QCOMPARE(Timer(form)->interval(), 1000);

        for (const char* shown : {"2", "1", "0"}) {
            form.Timer1Timer();
            QCOMPARE(Counter(form), QString(shown));
        }
        QVERIFY(recorder.events.isEmpty());

        form.Timer1Timer();
        // The end of the job ends the process: the power-off has to be asked for before it.
        QCOMPARE(recorder.events, QStringList({"power", "end 0"}));
        QVERIFY(!Timer(form)->isActive());
    }

    void ZeroShowsZeroAndPowersOffOnTheNextSecond() {
        TForm6 form;
        Recorder recorder;
        recorder.Watch(form);
        QElapsedTimer clock;
        clock.start();
        form.Start(0);
        QCOMPARE(Counter(form), QString("0"));
        QVERIFY(recorder.events.isEmpty());

        QTRY_VERIFY_WITH_TIMEOUT(!recorder.events.isEmpty(), 5000);
        QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(recorder.events, QStringList({"power", "end 0"}));
    }

    void AbortDuringTheCountdownEndsWithoutPowerOff() {
        TForm6 form;
        Recorder recorder;
        recorder.Watch(form);
        form.Start(1);
        form.Timer1Timer();
        QCOMPARE(Counter(form), QString("0"));

        QTest::mouseClick(form.findChild<QPushButton*>("Button1"), Qt::LeftButton);
        QCOMPARE(recorder.events, QStringList({"end 0"}));
        QVERIFY(!Timer(form)->isActive());
        // Past the moment the power-off was due: it never comes.
        QTest::qWait(1500);
        QCOMPARE(recorder.events, QStringList({"end 0"}));
    }

    void EscapeAndEnterBothAbort() {
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            TForm6 form;
            Recorder recorder;
            recorder.Watch(form);
            form.Start(45);
            QTest::keyClick(&form, key);
            QCOMPARE(recorder.events, QStringList({"end 0"}));
            QVERIFY(!Timer(form)->isActive());
        }
    }

    void DefaultPowerOffWritesTheStandInFile() {
        QFile::remove(QString::fromStdString(fakeFile_));
        TForm6 form;
        QSignalSpy ended(&form, &TForm6::endJobRequested);
        form.Start(0);
        form.Timer1Timer();
        QCOMPARE(test::ReadFile(fakeFile_), std::string("poweroff\n"));
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended[0][0].toInt(), 0);
    }
};

}  // namespace rd

QTEST_MAIN(rd::ShutdownCountdownTest)
#include "shutdown_countdown_test.moc"
