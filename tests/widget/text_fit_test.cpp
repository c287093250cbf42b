// Every text of the windows fits its place, measured with the fonts' own metrics, in both
// shipped skins and both shipped languages: the progress window with the long figures of a big
// job and the keys' feedback, the three prompts, the shutdown countdown, the queue window and the
// settings dialog of a start without a job. The progress window's texts overlap neither one
// another nor its buttons.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QtTest>
#include <memory>
#include <string>

#include "app/progress_core.h"
#include "app/settings_policy.h"
#include "engine/engine_context.h"
#include "look/captions.h"
#include "look/language.h"
#include "look/skin_pictures.h"
#include "platform/clock.h"
#include "platform/message_table.h"
#include "platform/message_texts.h"
#include "platform/store.h"
#include "question_facts.h"
#include "test_support.h"
#include "ui/controls/speed_button.h"
#include "ui/progress/error_prompt.h"
#include "ui/progress/exists_prompt.h"
#include "ui/progress/names_prompt.h"
#include "ui/progress/progress_menu.h"
#include "ui/progress/queue_window.h"
#include "ui/progress/redodori_wnd.h"
#include "ui/progress/shutdown_countdown.h"
#include "ui/settings/settings_dialog.h"

namespace rd {

namespace {

// The text as drawn: "&&" shows one ampersand, a lone "&" marks the mnemonic and shows none.
QString Shown(QString text) {
    text.replace("&&", QChar(0x1F));
    text.remove('&');
    return text.replace(QChar(0x1F), '&');
}

// Where `widget` draws its text, and how wide the text is; an empty rectangle for a widget
// without text.
struct TextPlace {
    QRect room;
    int width = 0;
};

TextPlace PlaceOf(const QWidget& widget) {
    const QFontMetrics metrics = widget.fontMetrics();
    QStyle* style = widget.style();
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (label->text().isEmpty() || label->wordWrap())
            return {};
        const int inset = label->margin() + std::max(label->indent(), 0);
        return {label->contentsRect().adjusted(inset, 0, -inset, 0),
                metrics.horizontalAdvance(label->text())};
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(&widget)) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxLabel;
        const QRect room =
            style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        return {room.intersected(box->rect()), metrics.horizontalAdvance(Shown(box->title()))};
    }
    if (const auto* list = qobject_cast<const QComboBox*>(&widget)) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.editable = list->isEditable();
        return {
            style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list),
            metrics.horizontalAdvance(list->currentText())};
    }
    const auto* button = qobject_cast<const QAbstractButton*>(&widget);
    if (!button || button->text().isEmpty())
        return {};
    const int width = metrics.horizontalAdvance(Shown(button->text()));
    if (qobject_cast<const TSpeedButton*>(button))
        return {QRect(0, 0, button->width() - (button->sizeHint().width() - width), 1), width};
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QStyle::SubElement element =
        qobject_cast<const QCheckBox*>(button)      ? QStyle::SE_CheckBoxContents
        : qobject_cast<const QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                    : QStyle::SE_PushButtonContents;
    return {style->subElementRect(element, &option, button), width};
}

// Every shown text of `window` that does not fit its place, with its control's name.
QStringList CutTexts(const QWidget& window) {
    QStringList cut;
    QList<const QWidget*> widgets = window.findChildren<const QWidget*>();
    widgets.prepend(&window);
    for (const QWidget* widget : widgets) {
        if (!widget->isVisibleTo(&window) && widget != &window)
            continue;
        const TextPlace place = PlaceOf(*widget);
        if (place.room.isNull() && place.width == 0)
            continue;
        if (place.width > place.room.width())
            cut << QStringLiteral("%1 needs %2 pixels for \"%3\", has %4")
                       .arg(widget->objectName())
                       .arg(place.width)
                       .arg(widget->property("text").toString())
                       .arg(place.room.width());
        else if (widget->fontMetrics().height() > widget->height())
            cut << QStringLiteral("%1 is lower than its font").arg(widget->objectName());
    }
    return cut;
}

// The texts of the progress window that overlap another text or a button, or leave the window.
QStringList Collisions(const QWidget& window) {
    QList<const QWidget*> shown;
    for (const QWidget* widget : window.findChildren<const QWidget*>()) {
        const auto* label = qobject_cast<const QLabel*>(widget);
        if (widget->isVisibleTo(&window) &&
            ((label && !label->text().isEmpty()) || qobject_cast<const TSpeedButton*>(widget)))
            shown << widget;
    }
    const auto hasText = [](const QWidget* widget) {
        return !widget->property("text").toString().isEmpty();
    };
    QStringList collisions;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (!window.rect().contains(shown[i]->geometry()))
            collisions << shown[i]->objectName() + " leaves the window";
        for (qsizetype j = i + 1; j < shown.size(); ++j)
            if ((hasText(shown[i]) || hasText(shown[j])) &&
                shown[i]->geometry().intersects(shown[j]->geometry()))
                collisions << shown[i]->objectName() + " overlaps " + shown[j]->objectName();
    }
    return collisions;
}

// A job of twenty gigabytes half copied, with the windows the progress window serves.
struct ProgressRig {
    ProgressRig() : ctx(policy, window, core.queue) {
        core.Attach(ctx, nullptr, nullptr);
        window.Host(core);
        window.now = [] { return TickMs(); };
        TRedoDoriWnd::Windows windows;
        windows.queue = &queue;
        windows.errorPrompt = &errorPrompt;
        windows.existsPrompt = &existsPrompt;
        windows.namesPrompt = &namesPrompt;
        windows.countdown = &countdown;
        window.SetWindows(windows);
        queue.Attach(core.queue, ctx.list, ctx.state.counters);
    }
    void Dress(const std::string& skin, const Language& language) {
        const std::string data = test::SourceDataDir();
        window.UseSkin([&] { return LoadSkin(data, skin); });
        window.ApplyWaitingSkin();
        language.FillMessages(ctx.messages);
        window.ApplyLanguage(language, ctx.messages);
        errorPrompt.ApplyLanguage(language, ctx.messages);
        existsPrompt.Translate(section::kExistsPrompt, language);
        namesPrompt.Translate(section::kNamesPrompt, language);
        countdown.ApplyLanguage(language);
        queue.ApplyLanguage(language);
    }
    void CopyBigJob() {
        JobCounters& c = ctx.state.counters;
        c.listedBytes = 21474836480;
        c.doneBytes = c.transferredBytes = 10737418240;
        c.listedFiles = 12345;
        c.filesDone = 6789;
        c.speed = 2096;
        c.dutyPercent = 99;
        c.copyTime = 3723000;
        c.retries = 3;
        c.skips = 12;
        c.filePercent = 50;
        ctx.jobState = 1;
        ctx.copyStartedAt = TickMs();
        const std::string folder = "/home/someone/Pictures/holidays/2026/at-the-seaside/";
        for (const char* name : {"a.raw", "with-the-whole-family-and-the-dog.raw", "b.raw"})
            core.queue.Add(folder + name);
        core.queue.SetState(core.queue.EntryAt(0), kStateDone);
        core.queue.SetState(core.queue.EntryAt(1), kStateCopy);
        core.ShowFile(folder + "with-the-whole-family-and-the-dog.raw");
        window.Timer1Timer();
        queue.Refresh();
    }

    JobPolicy policy;
    TRedoDoriWnd window;
    ProgressCore core;
    EngineContext ctx;
    TRedoDoriQueue queue;
    TForm3 errorPrompt;
    TForm5 existsPrompt;
    TFormNames namesPrompt;
    TForm6 countdown;
};

// The state column's texts that do not fit it.
QStringList CutStates(const TRedoDoriQueue& queue) {
    const TQueueView& view = *queue.View();
    QStringList cut;
    const int margin = 2 * (view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    for (int row = 0; row < view.model()->rowCount(); ++row) {
        const QString state = view.model()->index(row, 1).data().toString();
        if (view.fontMetrics().horizontalAdvance(state) + margin > view.columnWidth(1))
            cut << state;
    }
    return cut;
}

}  // namespace

class TextFitTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { env_ = std::make_unique<test::PrivateEnvironment>(); }

    void TextsFitTheirPlaces_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("language");
        // The settings dialog comes first: a start without a job makes no progress window, so
        // its fonts are the system's matches for the dialog's own, with no substitutes.
        for (const char* window :
             {"settings", "progress", "error", "exists", "names", "countdown", "queue"})
            for (const char* skin : {"Default", "Midnight"})
                for (const char* language : {"english.lng", "german.lng"})
                    QTest::addRow("%s %s %s", window, skin, language) << window << skin << language;
    }

    void TextsFitTheirPlaces() {
        QFETCH(QString, window);
        QFETCH(QString, skin);
        QFETCH(QString, language);
        Language lang;
        lang.Load(test::SourceDataDir(), language.toStdString());
        QVERIFY(lang.Active());
        if (window == "settings")
            return CheckSettingsWithoutJob(lang, language);
        ProgressRig rig;
        rig.Dress(skin.toStdString(), lang);
        rig.CopyBigJob();
        QWidget* shown = &rig.window;
        if (window == "error") {
            rig.errorPrompt.Pose(
                test::Failed(ErrorStep::Read, "/home/someone/Pictures/holidays/2026/notes.txt",
                             EIO),
                rig.ctx.messages);
            shown = &rig.errorPrompt;
        } else if (window == "exists") {
            rig.existsPrompt.Pose(
                test::Existing("/home/someone/notes.txt", "/backup/notes.txt", true),
                rig.ctx.messages);
            shown = &rig.existsPrompt;
        } else if (window == "names") {
            NamesFacts facts;
            facts.findings = {
                test::Finding(NameProblem::Refused, "/media/stick/holidays/2026/notes: day 1.txt",
                              "/media/stick/holidays/2026/notes\uA789 day 1.txt"),
                test::Finding(NameProblem::TooLarge, "/media/stick/disk.img", "", "", 5368709120,
                              4294967295)};
            facts.total = 40;
            rig.namesPrompt.Pose(facts, rig.ctx.messages);
            shown = &rig.namesPrompt;
        } else if (window == "countdown") {
            rig.countdown.powerOff = [] {};
            rig.countdown.Start(45);
            shown = &rig.countdown;
        } else if (window == "queue") {
            rig.queue.show();
            shown = &rig.queue;
        } else {
            rig.window.show();
        }
        QApplication::processEvents();
        const QStringList cut = CutTexts(*shown);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join("; ")));
        if (window == "progress") {
            const QStringList collisions = Collisions(rig.window);
            QVERIFY2(collisions.isEmpty(), qPrintable(collisions.join("; ")));
            // The figures of a big job show whole, not shortened.
            const ProgressTexts texts = rig.core.Tick(false);
            QCOMPARE(rig.window.findChild<QLabel*>("Label4")->text(), FromUtf8(texts.bytes));
            QCOMPARE(rig.window.findChild<QLabel*>("Label6")->text(), FromUtf8(texts.speed));
            // The keys' feedback takes the place of the percentage, whole.
            for (int slot = text_slot::kAutoresumeOn; slot <= text_slot::kHistoryOff; ++slot) {
                const QString feedback = FromUtf8(rig.ctx.messages.Text(slot));
                emit rig.window.Menu()->feedback(feedback);
                QCOMPARE(rig.window.findChild<QLabel*>("Label1")->text(), feedback);
                const QStringList wrong = CutTexts(rig.window) + Collisions(rig.window);
                QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join("; ")));
            }
        } else if (window == "countdown") {
            for (const QLabel* label : rig.countdown.findChildren<const QLabel*>())
                QVERIFY2(label->geometry().right() < rig.countdown.width() - 16,
                         qPrintable(label->objectName() + " runs up to the right edge"));
        } else if (window == "queue") {
            const QStringList states = CutStates(rig.queue);
            QVERIFY2(states.isEmpty(), qPrintable(states.join("; ")));
        }
    }

private:
    void CheckSettingsWithoutJob(const Language& language, const QString& name) {
        JobSettings settings;
        settings.InstallPath = test::SourceDataDir();
        settings.Lngname = name.toStdString();
        Store store(env_->ConfigDir() + "/registry.db");
        JobPolicy policy = PolicyOf(settings);
        MessageTable messages;
        language.FillMessages(messages);
        TForm4 form4(settings, policy, store, messages);
        form4.HideOk();
        form4.ApplyLanguage(language);
        form4.show();
        QApplication::processEvents();
        const QStringList cut = CutTexts(form4);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join("; ")));
        QVERIFY(form4.width() >= 473 && form4.height() >= 473);
    }

    std::unique_ptr<test::PrivateEnvironment> env_;
};

}  // namespace rd

QTEST_MAIN(rd::TextFitTest)
#include "text_fit_test.moc"
