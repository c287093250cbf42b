// The names prompt as the user meets it: the lines it lists, what each button answers, Enter,
// and Esc or the close box, which abort.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include "platform/message_table.h"
#include "question_facts.h"
#include "ui/progress/names_prompt.h"

namespace rd {

namespace {

QPushButton* Button(QWidget& form, const char* name) {
    return form.findChild<QPushButton*>(name);
}

NamesFacts TwoOfFive() {
    NamesFacts facts;
    facts.findings = {test::Finding(NameProblem::Refused, "/fat/a:b", "/fat/a\uA789b"),
                      test::Finding(NameProblem::NoLinks, "/fat/latest")};
    facts.total = 5;
    return facts;
}

}  // namespace

class NamesPromptTest : public QObject {
    Q_OBJECT

private slots:
    void ShowsEveryLineAndTheQuestion() {
        TFormNames form;
        QCOMPARE(form.objectName(), QString("FormNames"));
        QCOMPARE(form.windowTitle(), QString("Names the destination cannot take"));
        form.Pose(TwoOfFive(), messages_);
        auto* memo = form.findChild<QPlainTextEdit*>("Memo1");
        QVERIFY(memo && memo->isReadOnly());
        QCOMPARE(memo->toPlainText(),
                 QString("The destinations cannot take these files as they are:\n"
                         "/fat/a:b: the file system refuses this name; renamed it becomes "
                         "/fat/a\uA789b\n"
                         "/fat/latest: this file system cannot hold a symbolic link\n"
                         "\u2026 and 3 more"));
        QCOMPARE(form.findChild<QLabel*>("Label1")->text(),
                 QString("Rename them, skip them, or abort the job?"));
        QCOMPARE(Button(form, "BitBtn1")->text(), QString("&Rename"));
        QCOMPARE(Button(form, "BitBtn2")->text(), QString("&Skip those"));
        QCOMPARE(Button(form, "BitBtn3")->text(), QString("&Abort"));
        QVERIFY(form.isVisible());
    }

    void ButtonsAnswer_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<NamesAnswer>("answer");
        QTest::newRow("Rename") << "BitBtn1" << NamesAnswer::Rename;
        QTest::newRow("Skip those") << "BitBtn2" << NamesAnswer::Skip;
    }
    void ButtonsAnswer() {
        QFETCH(QString, button);
        QFETCH(NamesAnswer, answer);
        TFormNames form;
        QSignalSpy answers(&form, &TFormNames::answered);
        QSignalSpy ends(&form, &TFormNames::endJobRequested);
        form.Pose(TwoOfFive(), messages_);
        QTest::mouseClick(Button(form, button.toLatin1()), Qt::LeftButton);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0][0].value<NamesAnswer>(), answer);
        QCOMPARE(ends.size(), 0);
        QVERIFY(!form.isVisible());
        // Answered once: a second click gives nothing.
        QTest::mouseClick(Button(form, button.toLatin1()), Qt::LeftButton);
        QCOMPARE(answers.size(), 1);
    }

    void AbortEndsTheJobAndKeepsItForResumeWithShift() {
        TFormNames form;
        QSignalSpy answers(&form, &TFormNames::answered);
        QSignalSpy ends(&form, &TFormNames::endJobRequested);
        form.Pose(TwoOfFive(), messages_);
        QTest::mouseClick(Button(form, "BitBtn3"), Qt::LeftButton, Qt::ShiftModifier);
        QTest::mouseClick(Button(form, "BitBtn3"), Qt::LeftButton);
        QCOMPARE(ends.size(), 2);
        QCOMPARE(ends[0][0].toInt(), 2);
        QCOMPARE(ends[1][0].toInt(), 0);
        QCOMPARE(answers.size(), 0);
    }

    void EnterRenamesAndEscAborts() {
        TFormNames form;
        QSignalSpy answers(&form, &TFormNames::answered);
        QSignalSpy ends(&form, &TFormNames::endJobRequested);
        form.Pose(TwoOfFive(), messages_);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0][0].value<NamesAnswer>(), NamesAnswer::Rename);
        form.Pose(TwoOfFive(), messages_);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(ends.size(), 1);
        QCOMPARE(ends[0][0].toInt(), 0);
        // The close box aborts as well; the question stays open until the job ends.
        QVERIFY(!form.close());
        QCOMPARE(ends.size(), 2);
        QCOMPARE(answers.size(), 1);
    }

private:
    MessageTable messages_;
};

}  // namespace rd

QTEST_MAIN(rd::NamesPromptTest)
#include "names_prompt_test.moc"
