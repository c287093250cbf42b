// The existing-file prompt as the user meets it: which choices a question offers, what each
// button and key answers, and Abort with and without Shift.
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "engine/prompts.h"
#include "settings/job_settings.h"
#include "ui/progress/exists_prompt.h"

namespace rd {

namespace {

QPushButton* Button(QWidget& form, const char* name) {
    return form.findChild<QPushButton*>(name);
}

}  // namespace

class ExistsPromptTest : public QObject {
    Q_OBJECT

private slots:
    void ControlsCarryTheNamesAndShowTheirCaptionsInFull() {
        TForm5 form;
        QCOMPARE(form.objectName(), QString("Form5"));
        QVERIFY(form.findChild<QPlainTextEdit*>("Memo1"));
        auto* label = form.findChild<QLabel*>("Label1");
        QVERIFY(label);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(128, 0, 255));
        form.Pose("/dst/a exists", promptflag::kResumePossible | promptflag::kRenamePossible);
        form.layout()->activate();
        QVERIFY(label->width() >= label->sizeHint().width());
        for (const char* name : {"BitBtn1", "BitBtn2", "BitBtn3", "BitBtn4", "BitBtn5", "BitBtn6",
                                 "BitBtn7", "BitBtn8", "BitBtn9"}) {
            QPushButton* button = Button(form, name);
            QVERIFY2(button, name);
            QVERIFY2(button->width() >= button->sizeHint().width(), name);
        }
    }

    void ButtonsAnswer_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("policy");
        QTest::newRow("Overwrite") << "BitBtn2" << onexist::kOverwrite << -1;
        QTest::newRow("Overwrite all") << "BitBtn3" << onexist::kOverwrite << onexist::kOverwrite;
        QTest::newRow("Skip") << "BitBtn4" << onexist::kSkip << -1;
        QTest::newRow("Skip all") << "BitBtn5" << onexist::kSkip << onexist::kSkip;
        QTest::newRow("Resume") << "BitBtn6" << onexist::kTryResume << -1;
        QTest::newRow("Resume all") << "BitBtn7" << onexist::kTryResume << onexist::kTryResume;
        QTest::newRow("Rename old") << "BitBtn8" << onexist::kRenameOld << -1;
        QTest::newRow("Rename all") << "BitBtn9" << onexist::kRenameOld << onexist::kRenameOld;
    }
    void ButtonsAnswer() {
        QFETCH(QString, button);
        QFETCH(int, answer);
        QFETCH(int, policy);
        TForm5 form;
        QSignalSpy answers(&form, &TForm5::answered);
        QSignalSpy ends(&form, &TForm5::endJobRequested);
        form.Pose("/dst/a exists", promptflag::kResumePossible | promptflag::kRenamePossible);
        QTest::mouseClick(Button(form, button.toLatin1()), Qt::LeftButton);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0][0].value<intptr_t>(), static_cast<intptr_t>(answer));
        QCOMPARE(answers[0][1].toInt(), policy);
        QCOMPARE(ends.size(), 0);
        QVERIFY(!form.isVisible());
    }

    void ResumeAndRenameAreOfferedOnlyWhenPossible_data() {
        QTest::addColumn<uint>("flags");
        QTest::addColumn<bool>("resume");
        QTest::addColumn<bool>("rename");
        QTest::newRow("neither") << 0u << false << false;
        QTest::newRow("resume") << uint(promptflag::kResumePossible) << true << false;
        QTest::newRow("rename") << uint(promptflag::kRenamePossible) << false << true;
    }
    void ResumeAndRenameAreOfferedOnlyWhenPossible() {
        QFETCH(uint, flags);
        QFETCH(bool, resume);
        QFETCH(bool, rename);
        TForm5 form;
        // A question that offered everything comes first: nothing may stay enabled from it.
        form.Pose("first", promptflag::kResumePossible | promptflag::kRenamePossible);
        Button(form, "BitBtn4")->click();
        QSignalSpy answers(&form, &TForm5::answered);
        form.Pose("second", flags);
        QCOMPARE(Button(form, "BitBtn6")->isEnabled(), resume);
        QCOMPARE(Button(form, "BitBtn7")->isEnabled(), resume);
        QCOMPARE(Button(form, "BitBtn8")->isEnabled(), rename);
        QCOMPARE(Button(form, "BitBtn9")->isEnabled(), rename);
        for (const char* name : {"BitBtn6", "BitBtn7", "BitBtn8", "BitBtn9"}) {
            if (!Button(form, name)->isEnabled())
                QTest::mouseClick(Button(form, name), Qt::LeftButton);
        }
        QCOMPARE(answers.size(), 0);
        QVERIFY(form.isVisible());
    }

    void EnterOverwritesAndEscSkips() {
        TForm5 form;
        QSignalSpy answers(&form, &TForm5::answered);
        form.Pose("one", promptflag::kResumePossible);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        form.Pose("two", promptflag::kResumePossible);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(answers.size(), 2);
        QCOMPARE(answers[0][0].value<intptr_t>(), static_cast<intptr_t>(onexist::kOverwrite));
        QCOMPARE(answers[0][1].toInt(), -1);
        QCOMPARE(answers[1][0].value<intptr_t>(), static_cast<intptr_t>(onexist::kSkip));
        QCOMPARE(answers[1][1].toInt(), -1);
    }

    void AbortEndsTheJobAndKeepsItForResumeWithShift() {
        TForm5 form;
        QSignalSpy answers(&form, &TForm5::answered);
        QSignalSpy ends(&form, &TForm5::endJobRequested);
        form.Pose("/dst/a exists", promptflag::kResumePossible);
        QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton, Qt::ShiftModifier);
        QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton);
        QCOMPARE(ends.size(), 2);
        QCOMPARE(ends[0][0].toInt(), 2);
        QCOMPARE(ends[1][0].toInt(), 0);
        QCOMPARE(answers.size(), 0);
        QVERIFY(form.isVisible());
    }
};

}  // namespace rd

QTEST_MAIN(rd::ExistsPromptTest)
#include "exists_prompt_test.moc"
