// The error prompt as the user meets it: the buttons and keys, the Heal warning, and Abort with
// and without Shift.
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <cerrno>
#include <optional>

#include "engine/prompts.h"
#include "platform/ini_file.h"
#include "platform/message_table.h"
#include "question_facts.h"
#include "ui/progress/error_prompt.h"

namespace rd {

namespace {

QPushButton* Button(QWidget& form, const char* name) {
    return form.findChild<QPushButton*>(name);
}

// A source that cannot be opened: neither Heal nor an Abort given back is offered.
ErrorFacts Opening(const char* path) {
    return test::Failed(ErrorStep::OpenSource, path, ENOENT);
}
// A failed read: Heal is offered.
ErrorFacts Reading(const char* path) {
    return test::Failed(ErrorStep::Read, path, EIO);
}
// A failed write: Abort is given back to the asker.
ErrorFacts Writing(const char* path) {
    return test::Failed(ErrorStep::Write, path, ENOSPC);
}

ErrorAnswer AnswerOf(const QList<QVariant>& answered) {
    return answered[0].value<ErrorAnswer>();
}
// The error policy the answer set; -1 for none.
int PolicyOf(const QList<QVariant>& answered) {
    const auto policy = answered[1].value<std::optional<ErrorPolicy>>();
    return policy ? static_cast<int>(*policy) : -1;
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
        form.Pose(Opening("/src/a"), messages_);
        QVERIFY(CaptionsFit(form));
        Button(form, "BitBtn3")->setText("R&etry every failed operation of this job");
        form.findChild<QLabel*>("Label1")->setText(
            "What should be done with this problem, which is rather serious and long?");
        QVERIFY(CaptionsFit(form));
    }

    void TheTextIsMadeInTheJobsLanguageAndItsLinesShowAsLines() {
        IniFile language;
        language.Parse("[In code]\nv7=Lecture impossible\n");
        MessageTable messages;
        messages.Fill(language);
        TForm3 form;
        form.Pose(Opening("/src/a"), messages);
        QCOMPARE(form.findChild<QPlainTextEdit*>("Memo1")->toPlainText(),
                 QString::fromStdString("Lecture impossible " + ErrorText(ENOENT) + "\n /src/a\n"));
    }

    void ButtonsAnswer_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<ErrorAnswer>("answer");
        QTest::addColumn<int>("policy");
        QTest::newRow("Retry") << "BitBtn2" << ErrorAnswer::Retry << -1;
        QTest::newRow("Retry all") << "BitBtn3" << ErrorAnswer::Retry << 1;
        QTest::newRow("Skip") << "BitBtn4" << ErrorAnswer::Skip << -1;
        QTest::newRow("Skip all") << "BitBtn5" << ErrorAnswer::Skip << 2;
        QTest::newRow("Heal") << "BitBtn1" << ErrorAnswer::Heal << -1;
    }
    void ButtonsAnswer() {
        QFETCH(QString, button);
        QFETCH(ErrorAnswer, answer);
        QFETCH(int, policy);
        TForm3 form;
        form.confirmHeal = [](QWidget*, std::function<void(bool)> done) { done(true); };
        QSignalSpy answers(&form, &TForm3::answered);
        QSignalSpy ends(&form, &TForm3::endJobRequested);
        form.Pose(Reading("/src/a"), messages_);
        QVERIFY(form.isVisible());
        QTest::mouseClick(Button(form, button.toLatin1()), Qt::LeftButton);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(AnswerOf(answers[0]), answer);
        QCOMPARE(PolicyOf(answers[0]), policy);
        QCOMPARE(ends.size(), 0);
        QVERIFY(!form.isVisible());
    }

    void EnterRetriesAndEscSkipsWhereverTheFocusWasLeft() {
        TForm3 form;
        QSignalSpy answers(&form, &TForm3::answered);
        form.Pose(Opening("/src/one"), messages_);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(AnswerOf(answers[0]), ErrorAnswer::Retry);

        // The user had tabbed to Abort during the previous question.
        form.Pose(Writing("/dst/two"), messages_);
        Button(form, "BitBtn6")->setFocus();
        Button(form, "BitBtn4")->click();
        form.Pose(Writing("/dst/three"), messages_);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(answers.size(), 3);
        QCOMPARE(AnswerOf(answers[2]), ErrorAnswer::Retry);

        form.Pose(Opening("/src/four"), messages_);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(answers.size(), 4);
        QCOMPARE(AnswerOf(answers[3]), ErrorAnswer::Skip);
        QCOMPARE(PolicyOf(answers[3]), -1);
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
        form.Pose(Reading("/src/one"), messages_);
        QVERIFY(Button(form, "BitBtn1")->isEnabled());
        form.Pose(Writing("/dst/two"), messages_);
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
            form.Pose(Reading("/src/bad sector"), messages_);
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
            QCOMPARE(AnswerOf(answers[0]), ErrorAnswer::Heal);
        }
        // Another prompt window of the same process does not ask again.
        TForm3 later;
        later.confirmHeal = [&](QWidget*, std::function<void(bool)> done) {
            ++asked;
            done(false);
        };
        QSignalSpy laterAnswers(&later, &TForm3::answered);
        later.Pose(Reading("/src/bad sector again"), messages_);
        QTest::mouseClick(Button(later, "BitBtn1"), Qt::LeftButton);
        QCOMPARE(asked, 3);
        QCOMPARE(laterAnswers.size(), 1);
        QCOMPARE(AnswerOf(laterAnswers[0]), ErrorAnswer::Heal);
    }

    void TheWarningIsOwnedByThePromptAndEnterSaysNo() {
        TForm3 form;
        QSignalSpy answers(&form, &TForm3::answered);
        form.Pose(Reading("/src/bad sector"), messages_);
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
        QCOMPARE(AnswerOf(answers[0]), ErrorAnswer::Heal);
    }

    void AbortReturnsItsAnswerWhenTheAskerWantsIt() {
        TForm3 form;
        QSignalSpy answers(&form, &TForm3::answered);
        QSignalSpy ends(&form, &TForm3::endJobRequested);
        form.Pose(Writing("/dst/a"), messages_);
        QTest::mouseClick(Button(form, "BitBtn6"), Qt::LeftButton, Qt::ShiftModifier);
        form.Pose(Writing("/dst/a"), messages_);
        QTest::mouseClick(Button(form, "BitBtn6"), Qt::LeftButton);
        QCOMPARE(answers.size(), 2);
        QCOMPARE(AnswerOf(answers[0]), ErrorAnswer::AbortAndKeep);
        QCOMPARE(AnswerOf(answers[1]), ErrorAnswer::Abort);
        QCOMPARE(ends.size(), 0);
    }

    void AbortOtherwiseAsksToEndTheJobWithoutAnswering() {
        TForm3 form;
        QSignalSpy answers(&form, &TForm3::answered);
        QSignalSpy ends(&form, &TForm3::endJobRequested);
        form.Pose(Reading("/src/a"), messages_);
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
        form.Pose(Opening("/src/one"), messages_);
        Button(form, "BitBtn2")->click();
        Button(form, "BitBtn5")->click();
        QCOMPARE(answers.size(), 1);
        QCOMPARE(PolicyOf(answers[0]), -1);
    }

    void AQuestionPosedFromTheAnswerStaysOpen() {
        TForm3 form;
        connect(&form, &TForm3::answered, &form, [&](ErrorAnswer answer) {
            if (answer == ErrorAnswer::Retry)
                form.Pose(Opening("/src/next"), messages_);
        });
        form.Pose(Opening("/src/first"), messages_);
        Button(form, "BitBtn2")->click();
        QVERIFY(form.isVisible());
        QVERIFY(form.findChild<QPlainTextEdit*>("Memo1")->toPlainText().contains("/src/next"));
    }

private:
    MessageTable messages_;
};

}  // namespace rd

QTEST_MAIN(rd::ErrorPromptTest)
#include "error_prompt_test.moc"
