// The error prompt as the user meets it: the buttons and keys, the Heal warning, and Abort with
// and without Shift.
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "engine/prompts.h"
#include "ui/progress/error_prompt.h"

namespace rd {

namespace {

QPushButton* Button(QWidget& form, const char* name) {
    return form.findChild<QPushButton*>(name);
}

// Every button and the question show their whole caption.
bool CaptionsFit(QWidget& form) {
    form.layout()->activate();
    const QLabel* label = form.findChild<QLabel*>("Label1");
    if (label->width() < label->sizeHint().width())
        return false;
    for (const QPushButton* button : form.findChildren<QPushButton*>()) {
        if (button->width() < button->sizeHint().width())
            return false;
    }
    return true;
}

}  // namespace

class ErrorPromptTest : public QObject {
    Q_OBJECT

private slots:
    void init() { TForm3::ResetHealConfirmation(); }

    void ControlsCarryTheNamesLanguageFilesUse() {
        TForm3 form;
        QCOMPARE(form.objectName(), QString("Form3"));
        auto* memo = form.findChild<QPlainTextEdit*>("Memo1");
        QVERIFY(memo);
        QVERIFY(memo->isReadOnly());
        QCOMPARE(memo->focusPolicy(), Qt::NoFocus);
        auto* label = form.findChild<QLabel*>("Label1");
        QVERIFY(label);
        // The stored colour 16711808 is blue 0xFF, green 0, red 0x80.
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(128, 0, 255));
        for (const char* name : {"BitBtn1", "BitBtn2", "BitBtn3", "BitBtn4", "BitBtn5", "BitBtn6"})
            QVERIFY2(Button(form, name), name);
        QVERIFY(!Button(form, "BitBtn1")->toolTip().isEmpty());
    }

    void CaptionsShowInFullAlsoWhenReplacedByLongerOnes() {
        TForm3 form;
        form.Pose("Cannot read /src/a", 0);
        QVERIFY(CaptionsFit(form));
        Button(form, "BitBtn3")->setText("R&etry every failed operation of this job");
        form.findChild<QLabel*>("Label1")->setText(
            "What should be done with this problem, which is rather serious and long?");
        QVERIFY(CaptionsFit(form));
    }

    void TextLinesOfTheEngineShowAsLines() {
        TForm3 form;
        form.Pose("Read error\r\n /src/a", 0);
        QCOMPARE(form.findChild<QPlainTextEdit*>("Memo1")->toPlainText(),
                 QString("Read error\n /src/a"));
    }

    void ButtonsAnswer_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<qint64>("answer");
        QTest::addColumn<int>("policy");
        QTest::newRow("Retry") << "BitBtn2" << qint64(answer::kRetry) << -1;
        QTest::newRow("Retry all") << "BitBtn3" << qint64(answer::kRetry) << 1;
        QTest::newRow("Skip") << "BitBtn4" << qint64(answer::kSkip) << -1;
        QTest::newRow("Skip all") << "BitBtn5" << qint64(answer::kSkip) << 2;
        QTest::newRow("Heal") << "BitBtn1" << qint64(answer::kHeal) << -1;
    }
    void ButtonsAnswer() {
        QFETCH(QString, button);
        QFETCH(qint64, answer);
        QFETCH(int, policy);
        TForm3 form;
        form.confirmHeal = [](QWidget*, std::function<void(bool)> done) { done(true); };
        QSignalSpy answers(&form, &TForm3::answered);
        QSignalSpy ends(&form, &TForm3::endJobRequested);
        form.Pose("Cannot write /dst/a", promptflag::kHealAllowed);
        QVERIFY(form.isVisible());
        QTest::mouseClick(Button(form, button.toLatin1()), Qt::LeftButton);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0][0].value<intptr_t>(), static_cast<intptr_t>(answer));
        QCOMPARE(answers[0][1].toInt(), policy);
        QCOMPARE(ends.size(), 0);
        QVERIFY(!form.isVisible());
    }

    void EnterRetriesAndEscSkipsWhereverTheFocusWasLeft() {
        TForm3 form;
        QSignalSpy answers(&form, &TForm3::answered);
        form.Pose("one", 0);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0][0].value<intptr_t>(), answer::kRetry);

        // The user had tabbed to Abort during the previous question.
        form.Pose("two", promptflag::kAbortReturns);
        Button(form, "BitBtn6")->setFocus();
        Button(form, "BitBtn4")->click();
        form.Pose("three", promptflag::kAbortReturns);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(answers.size(), 3);
        QCOMPARE(answers[2][0].value<intptr_t>(), answer::kRetry);

        form.Pose("four", 0);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(answers.size(), 4);
        QCOMPARE(answers[3][0].value<intptr_t>(), answer::kSkip);
        QCOMPARE(answers[3][1].toInt(), -1);
        QVERIFY(!form.isVisible());
    }

    void HealIsOfferedOnlyWhenTheRequestAllowsIt() {
        TForm3 form;
        int asked = 0;
        form.confirmHeal = [&](QWidget*, std::function<void(bool)> done) {
            ++asked;
            done(true);
        };
        QSignalSpy answers(&form, &TForm3::answered);
        form.Pose("one", promptflag::kHealAllowed);
        QVERIFY(Button(form, "BitBtn1")->isEnabled());
        form.Pose("two", promptflag::kAbortReturns);
        QVERIFY(!Button(form, "BitBtn1")->isEnabled());
        QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton);
        QCOMPARE(asked, 0);
        QCOMPARE(answers.size(), 0);
        QVERIFY(form.isVisible());
    }

    void HealAsksUntilTheFirstYesOfTheProcess() {
        int asked = 0;
        bool yes = false;
        {
            TForm3 form;
            QWidget* owner = nullptr;
            form.confirmHeal = [&](QWidget* box, std::function<void(bool)> done) {
                owner = box;
                ++asked;
                done(yes);
            };
            QSignalSpy answers(&form, &TForm3::answered);
            form.Pose("bad sector", promptflag::kHealAllowed);
            QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton);
            QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton);
            QCOMPARE(asked, 2);
            QCOMPARE(owner, static_cast<QWidget*>(&form));
            QCOMPARE(answers.size(), 0);
            QVERIFY(form.isVisible());
            yes = true;
            QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton);
            QCOMPARE(asked, 3);
            QCOMPARE(answers.size(), 1);
            QCOMPARE(answers[0][0].value<intptr_t>(), answer::kHeal);
        }
        // Another prompt window of the same process does not ask again.
        TForm3 later;
        later.confirmHeal = [&](QWidget*, std::function<void(bool)> done) {
            ++asked;
            done(false);
        };
        QSignalSpy laterAnswers(&later, &TForm3::answered);
        later.Pose("bad sector again", promptflag::kHealAllowed);
        QTest::mouseClick(Button(later, "BitBtn1"), Qt::LeftButton);
        QCOMPARE(asked, 3);
        QCOMPARE(laterAnswers.size(), 1);
        QCOMPARE(laterAnswers[0][0].value<intptr_t>(), answer::kHeal);
    }

    void TheWarningIsOwnedByThePromptAndEnterSaysNo() {
        TForm3 form;
        QSignalSpy answers(&form, &TForm3::answered);
        form.Pose("bad sector", promptflag::kHealAllowed);
        QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton);
        // The box is open while the window thread goes on: no loop of its own.
        QPointer<QMessageBox> box = form.findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QString("Confirmation"));
        QVERIFY(box->text().contains("Are you sure you want to skip unreadable file's regions?"));
        // A second click while the warning is up does not open another one.
        QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton);
        QCOMPARE(form.findChildren<QMessageBox*>().size(), 1);
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_VERIFY(box.isNull());
        QCOMPARE(answers.size(), 0);
        QVERIFY(form.isVisible());

        QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton);
        box = form.findChild<QMessageBox*>();
        QVERIFY(box);
        box->button(QMessageBox::Yes)->click();
        QTRY_COMPARE(answers.size(), 1);
        QCOMPARE(answers[0][0].value<intptr_t>(), answer::kHeal);
    }

    void AbortReturnsItsAnswerWhenTheAskerWantsIt() {
        TForm3 form;
        QSignalSpy answers(&form, &TForm3::answered);
        QSignalSpy ends(&form, &TForm3::endJobRequested);
        form.Pose("write error", promptflag::kAbortReturns);
        QTest::mouseClick(Button(form, "BitBtn6"), Qt::LeftButton, Qt::ShiftModifier);
        form.Pose("write error", promptflag::kAbortReturns);
        QTest::mouseClick(Button(form, "BitBtn6"), Qt::LeftButton);
        QCOMPARE(answers.size(), 2);
        QCOMPARE(answers[0][0].value<intptr_t>(), answer::kAbortAndKeep);
        QCOMPARE(answers[1][0].value<intptr_t>(), answer::kAbort);
        QCOMPARE(ends.size(), 0);
    }

    void AbortOtherwiseAsksToEndTheJobWithoutAnswering() {
        TForm3 form;
        QSignalSpy answers(&form, &TForm3::answered);
        QSignalSpy ends(&form, &TForm3::endJobRequested);
        form.Pose("read error", promptflag::kHealAllowed);
        QTest::mouseClick(Button(form, "BitBtn6"), Qt::LeftButton, Qt::ShiftModifier);
        QTest::mouseClick(Button(form, "BitBtn6"), Qt::LeftButton);
        QCOMPARE(ends.size(), 2);
        QCOMPARE(ends[0][0].toInt(), 2);
        QCOMPARE(ends[1][0].toInt(), 0);
        QCOMPARE(answers.size(), 0);
        QVERIFY(form.isVisible());
    }

    void EachQuestionIsAnsweredOnce() {
        TForm3 form;
        QSignalSpy answers(&form, &TForm3::answered);
        form.Pose("one", 0);
        Button(form, "BitBtn2")->click();
        Button(form, "BitBtn5")->click();
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0][1].toInt(), -1);
    }

    void AQuestionPosedFromTheAnswerStaysOpen() {
        TForm3 form;
        connect(&form, &TForm3::answered, &form, [&](intptr_t answer) {
            if (answer == answer::kRetry)
                form.Pose("next", 0);
        });
        form.Pose("first", 0);
        Button(form, "BitBtn2")->click();
        QVERIFY(form.isVisible());
        QCOMPARE(form.findChild<QPlainTextEdit*>("Memo1")->toPlainText(), QString("next"));
    }
};

}  // namespace rd

QTEST_MAIN(rd::ErrorPromptTest)
#include "error_prompt_test.moc"
