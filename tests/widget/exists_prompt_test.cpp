// The existing-file prompt as the user meets it: which choices a question offers, what each
// button and key answers, and Abort with and without Shift.
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <optional>

#include "platform/message_table.h"
#include "question_facts.h"
#include "ui/progress/exists_prompt.h"

namespace rd {

namespace {

QPushButton* Button(QWidget& form, const char* name) {
    return form.findChild<QPushButton*>(name);
}

// /dst/a is there already.
ExistsFacts Existing(bool resumable, bool renamable) {
    return test::Existing("/src/a", "/dst/a", resumable, renamable);
}

ExistsAnswer AnswerOf(const QList<QVariant>& answered) {
    return answered[0].value<ExistsAnswer>();
}
// The existing-file policy the answer set; -1 for none.
int PolicyOf(const QList<QVariant>& answered) {
    const auto policy = answered[1].value<std::optional<ExistsPolicy>>();
    return policy ? static_cast<int>(*policy) : -1;
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
        form.Pose(Existing(true, true), messages_);
        QVERIFY(form.findChild<QPlainTextEdit*>("Memo1")->toPlainText().contains("/dst/a"));
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
        QTest::addColumn<ExistsAnswer>("answer");
        QTest::addColumn<int>("policy");
        QTest::newRow("Overwrite") << "BitBtn2" << ExistsAnswer::Overwrite << -1;
        QTest::newRow("Overwrite all")
            << "BitBtn3" << ExistsAnswer::Overwrite << static_cast<int>(ExistsPolicy::Overwrite);
        QTest::newRow("Skip") << "BitBtn4" << ExistsAnswer::Skip << -1;
        QTest::newRow("Skip all") << "BitBtn5" << ExistsAnswer::Skip
                                  << static_cast<int>(ExistsPolicy::Skip);
        QTest::newRow("Resume") << "BitBtn6" << ExistsAnswer::Resume << -1;
        QTest::newRow("Resume all")
            << "BitBtn7" << ExistsAnswer::Resume << static_cast<int>(ExistsPolicy::TryResume);
        QTest::newRow("Rename old") << "BitBtn8" << ExistsAnswer::RenameOld << -1;
        QTest::newRow("Rename all")
            << "BitBtn9" << ExistsAnswer::RenameOld << static_cast<int>(ExistsPolicy::RenameOld);
    }
    void ButtonsAnswer() {
        QFETCH(QString, button);
        QFETCH(ExistsAnswer, answer);
        QFETCH(int, policy);
        TForm5 form;
        QSignalSpy answers(&form, &TForm5::answered);
        QSignalSpy ends(&form, &TForm5::endJobRequested);
        form.Pose(Existing(true, true), messages_);
        QTest::mouseClick(Button(form, button.toLatin1()), Qt::LeftButton);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(AnswerOf(answers[0]), answer);
        QCOMPARE(PolicyOf(answers[0]), policy);
        QCOMPARE(ends.size(), 0);
        QVERIFY(!form.isVisible());
    }

    void ResumeAndRenameAreOfferedOnlyWhenPossible_data() {
        QTest::addColumn<bool>("resume");
        QTest::addColumn<bool>("rename");
        QTest::newRow("neither") << false << false;
        QTest::newRow("resume") << true << false;
        QTest::newRow("rename") << false << true;
    }
    void ResumeAndRenameAreOfferedOnlyWhenPossible() {
        QFETCH(bool, resume);
        QFETCH(bool, rename);
        TForm5 form;
        // A question that offered everything comes first: nothing may stay enabled from it.
        form.Pose(Existing(true, true), messages_);
        Button(form, "BitBtn4")->click();
        QSignalSpy answers(&form, &TForm5::answered);
        form.Pose(Existing(resume, rename), messages_);
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
        form.Pose(Existing(true, false), messages_);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        form.Pose(Existing(true, false), messages_);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(answers.size(), 2);
        QCOMPARE(AnswerOf(answers[0]), ExistsAnswer::Overwrite);
        QCOMPARE(PolicyOf(answers[0]), -1);
        QCOMPARE(AnswerOf(answers[1]), ExistsAnswer::Skip);
        QCOMPARE(PolicyOf(answers[1]), -1);
    }

    void AbortEndsTheJobAndKeepsItForResumeWithShift() {
        TForm5 form;
        QSignalSpy answers(&form, &TForm5::answered);
        QSignalSpy ends(&form, &TForm5::endJobRequested);
        form.Pose(Existing(true, false), messages_);
        QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton, Qt::ShiftModifier);
        QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton);
        QCOMPARE(ends.size(), 2);
        QCOMPARE(ends[0][0].toInt(), 2);
        QCOMPARE(ends[1][0].toInt(), 0);
        QCOMPARE(answers.size(), 0);
        QVERIFY(form.isVisible());
    }

private:
    MessageTable messages_;
};

}  // namespace rd

QTEST_MAIN(rd::ExistsPromptTest)
#include "exists_prompt_test.moc"
