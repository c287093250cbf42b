// Languages on the real windows: the keys the windows ask for are the keys the program lists,
// English changes no built-in text, a broken file falls back to the built-in texts, and OK in
// the settings dialog re-captions the open windows. That the texts fit their places is
// text_fit_test's.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <map>
#include <memory>
#include <set>

#include "app/progress_core.h"
#include "engine/engine_context.h"
#include "look/language.h"
#include "platform/store.h"
#include "program/console_prompt_texts.h"
#include "test_support.h"
#include "ui/chooser/chooser_window.h"
#include "ui/look.h"
#include "ui/progress/error_prompt.h"
#include "ui/progress/exists_prompt.h"
#include "ui/progress/names_prompt.h"
#include "ui/progress/progress_menu.h"
#include "ui/progress/queue_window.h"
#include "ui/progress/redodori_wnd.h"
#include "ui/progress/shutdown_countdown.h"
#include "ui/resume/resume_item_window.h"
#include "ui/resume/resume_items.h"
#include "ui/resume/resume_manager_window.h"
#include "ui/settings/settings_dialog.h"

namespace rd {

namespace {

// Every window a language captions, over a private store, as the program makes them.
struct Windows {
    Windows()
        : store(env.ConfigDir() + "/registry.db"),
          ctx(policy, progress, core.queue),
          settingsForm(settings, policy, store, ctx.messages, &ctx.state),
          chooser(store, false),
          items(store, "/nowhere/redodori",
                [](const std::string&, const std::string&, std::string&) { return false; }),
          manager(store, items),
          item(7, [] { return AttemptResult{}; }) {
        settings.profile = "local";
        settings.InstallPath = env.DataDir();
        core.Attach(ctx, nullptr, nullptr);
        progress.Host(core);
        TRedoDoriWnd::Windows windows;
        windows.queue = &queue;
        windows.errorPrompt = &errorPrompt;
        windows.existsPrompt = &existsPrompt;
        windows.namesPrompt = &namesPrompt;
        windows.countdown = &countdown;
        windows.settings = &settingsForm;
        windows.language = &language;
        progress.SetWindows(windows);
        queue.Attach(core.queue, ctx.list, ctx.state.counters);
        QObject::connect(&settingsForm, &TForm4::applied, [this] {
            ReloadLanguage(language, settings, ctx.messages, {&settingsForm, &progress, &chooser});
        });
    }
    // Reads `name` and captions every window in it, the prompts too.
    void Apply(const std::string& name) {
        settings.Lngname = name;
        ReloadLanguage(language, settings, ctx.messages, {&settingsForm, &progress, &chooser});
        progress.CaptionPrompts(language, ctx.messages);
        core.promptTexts = ConsolePromptTextsOf(language);
        manager.ApplyLanguage(language);
        item.ApplyLanguage(language);
    }
    std::vector<QWidget*> All() {
        return {&settingsForm, &progress,    &chooser,   &queue,   &errorPrompt,
                &existsPrompt, &namesPrompt, &countdown, &manager, &item};
    }
    // Every text the windows show: titles, captions, hints, menu items and column titles.
    std::map<QString, QString> Texts() {
        std::map<QString, QString> texts;
        for (QWidget* window : All()) {
            const QString at = window->objectName() + "/";
            texts[at] = window->windowTitle();
            for (QWidget* child : window->findChildren<QWidget*>()) {
                const QString name = at + child->objectName();
                texts[name + "_h"] = child->toolTip();
                if (auto* label = qobject_cast<QLabel*>(child))
                    texts[name] = label->text();
                else if (auto* button = qobject_cast<QAbstractButton*>(child))
                    texts[name] = button->text();
                else if (auto* group = qobject_cast<QGroupBox*>(child))
                    texts[name] = group->title();
                else if (auto* table = qobject_cast<QTableWidget*>(child))
                    for (int c = 0; c < table->columnCount(); ++c)
                        texts[name + QString::number(c)] = table->horizontalHeaderItem(c)->text();
            }
            for (QAction* action : window->findChildren<QAction*>())
                texts[at + action->objectName()] = action->text();
        }
        for (QAction* action : progress.Menu()->Menu()->actions())
            texts["Menu/" + action->objectName()] = action->isSeparator() ? "-" : action->text();
        return texts;
    }
    template <typename T>
    T* Get(QWidget& window, const char* name) {
        T* child = window.findChild<T*>(name);
        if (!child)
            qFatal("no %s", name);
        return child;
    }

    test::PrivateEnvironment env;
    Store store;
    JobSettings settings;
    JobPolicy policy;
    Language language;
    TRedoDoriWnd progress;
    ProgressCore core;
    EngineContext ctx;
    TRedoDoriQueue queue;
    TForm3 errorPrompt;
    TForm5 existsPrompt;
    TFormNames namesPrompt;
    TForm6 countdown;
    TForm4 settingsForm;
    TForm1 chooser;
    ResumeItems items;
    TFormResMan manager;
    TFormResItem item;
};

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

private slots:
    void TheWindowsAskForTheListedKeys() {
        Windows w;
        std::set<LanguageKey> asked;
        w.language.asked = [&](std::string_view section, std::string_view key) {
            asked.insert({std::string(section), std::string(key)});
        };
        w.Apply("english.lng");
        std::set<LanguageKey> listed;
        for (const LanguageKey& key : AskedKeys())
            if (key.section != section::kInCode && key.section != section::kLanguage)
                listed.insert(key);
        std::vector<LanguageKey> onlyAsked, onlyListed;
        std::set_difference(asked.begin(), asked.end(), listed.begin(), listed.end(),
                            std::back_inserter(onlyAsked));
        std::set_difference(listed.begin(), listed.end(), asked.begin(), asked.end(),
                            std::back_inserter(onlyListed));
        for (const LanguageKey& key : onlyAsked)
            qWarning("asked, not listed: [%s] %s", key.section.c_str(), key.key.c_str());
        for (const LanguageKey& key : onlyListed)
            qWarning("listed, never asked: [%s] %s", key.section.c_str(), key.key.c_str());
        QVERIFY(onlyAsked.empty() && onlyListed.empty());
    }

    void EnglishChangesNoBuiltInText() {
        Windows w;
        w.Apply("");
        const std::map<QString, QString> builtIn = w.Texts();
        w.Apply("english.lng");
        const std::map<QString, QString> english = w.Texts();
        for (const auto& [name, text] : builtIn)
            if (english.at(name) != text)
                qWarning("%s: built in \"%s\", English \"%s\"", qPrintable(name), qPrintable(text),
                         qPrintable(english.at(name)));
        QVERIFY(english == builtIn);
    }

    void ABrokenFileFallsBackToTheBuiltInTexts() {
        Windows w;
        w.Apply("");
        const std::map<QString, QString> builtIn = w.Texts();
        w.Apply("german.lng");
        test::WriteFile(w.env.DataDir() + "/broken.lng",
                        "[Copy_To]\nBitBtn2_c=Stop\n[Menu\nOpen1_c=lost\n[RedoDori]\nLabel10_c\n"
                        "Label3_c=" +
                            std::string(1 << 20, 'B') + "\nLabel2_c=Fich\xE9\n");
        w.Apply("broken.lng");
        std::map<QString, QString> broken = w.Texts();
        QCOMPARE(broken["Form1/BitBtn2"], QString("Stop"));
        broken["Form1/BitBtn2"] = builtIn.at("Form1/BitBtn2");
        QVERIFY(broken == builtIn);
        QCOMPARE(w.ctx.messages.Text(11), std::string("Speed:"));
    }

    void OkInTheSettingsRecaptionsTheOpenWindows() {
        Windows w;
        w.Apply("english.lng");
        w.settingsForm.show();
        QComboBox* languages = w.Get<QComboBox>(w.settingsForm, "ComboBox4");
        languages->setCurrentIndex(languages->findText("Deutsch"));
        w.Get<QPushButton>(w.settingsForm, "BitBtn1")->click();
        QCOMPARE(w.settings.Lngname, std::string("german.lng"));
        QCOMPARE(w.settingsForm.windowTitle(), QString("RedoDori v2.85 – Einstellungen (lokal)"));
        QCOMPARE(w.Get<QPushButton>(w.settingsForm, "BitBtn3")->text(),
                 QString("Im Profil lokal speichern"));
        QCOMPARE(w.Get<QLabel>(w.settingsForm, "Label14")->text(), QString("Prüfsummenliste:"));
        QCOMPARE(w.Get<QLabel>(w.progress, "Label2")->text(), QString("Datei:"));
        QCOMPARE(w.progress.Menu()->Menu()->actions().front()->text(), QString("Öffnen"));
        QCOMPARE(w.chooser.windowTitle(), QString("RedoDori: kopieren nach..."));
        QCOMPARE(w.queue.windowTitle(), QString("RedoDori-Warteschlange"));
        QCOMPARE(w.ctx.messages.Text(11), std::string("Tempo:"));
        // The prompts keep their captions until the next job is ready to copy.
        QCOMPARE(w.errorPrompt.windowTitle(), QString("Copy process error"));
        w.progress.CaptionPrompts(w.language, w.ctx.messages);
        QCOMPARE(w.errorPrompt.windowTitle(), QString("Fehler beim Kopieren"));
        QCOMPARE(w.namesPrompt.windowTitle(), QString("Namen, die das Ziel nicht aufnehmen kann"));
        QCOMPARE(w.Get<QPushButton>(w.namesPrompt, "BitBtn2")->text(),
                 QString("Diese übe&rspringen"));
    }
};

}  // namespace rd

QTEST_MAIN(rd::LanguageTest)
#include "language_test.moc"
