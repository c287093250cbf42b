// The settings dialog: what a show fills in, the enabling rules as the user clicks, the captions
// at the converters' ends, OK versus Cancel versus Store for the running job and the store, the
// two profiles, the lock during a copy, the progress window's keys, and the next job reading
// what was stored.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "app/progress_core.h"
#include "app/settings_policy.h"
#include "engine/engine_context.h"
#include "engine/job_end.h"
#include "platform/messages.h"
#include "platform/store.h"
#include "settings/store_keys.h"
#include "test_support.h"
#include "ui/progress/progress_menu.h"
#include "ui/progress/redodori_wnd.h"
#include "ui/settings/settings_dialog.h"

namespace rd {

namespace {

struct RecordingSound : SoundPlayer {
    std::vector<std::string> played;
    void PlayFile(const std::string& path) override { played.push_back(path); }
};

// A dialog over a private store and a job's settings and policy, with its warnings recorded.
struct Dialog {
    explicit Dialog(const std::string& profile = "local", JobState* state = nullptr)
        : store(env.ConfigDir() + "/registry.db") {
        settings.profile = profile;
        settings.sndpath = "/opt/finish.wav";
        policy = PolicyOf(settings);
        form = std::make_unique<TForm4>(settings, policy, store, messages, state);
        form->warn = [this](const QString&, const QString& text) { warnings << text; };
    }
    template <typename T>
    T* Get(const char* name) {
        T* child = form->findChild<T*>(name);
        if (!child)
            qFatal("no control %s", name);
        return child;
    }
    QCheckBox* Box(const char* name) { return Get<QCheckBox>(name); }
    QRadioButton* Radio(const char* name) { return Get<QRadioButton>(name); }
    QString Text(const char* name) { return Get<QLabel>(name)->text(); }
    void Click(const char* name) { Get<QAbstractButton>(name)->click(); }
    std::optional<int32_t> Stored(const char* name, const std::string& profile = "local") {
        return store.ReadInt(StoreRoot::CurrentUser, ProfileKey(profile), name);
    }

    test::PrivateEnvironment env;
    Store store;
    JobSettings settings;
    JobPolicy policy;
    MessageTable messages;
    std::unique_ptr<TForm4> form;
    QStringList warnings;
};

}  // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

private slots:
    void ShowFillsEveryControlFromTheRunningSettings() {
        Dialog d;
        JobSettings& s = d.settings;
        s.splim = 4, s.limtip = 0, s.bufsz = 9, s.resume = 1, s.hist = 0, s.readburst = 1;
        s.parcopy = 1, s.resfsz = 1, s.delmode = 1 | 4, s.snden = 1, s.popup = 1, s.shutd = 1;
        s.sddel = 30, s.onerror = 1, s.rtdel = 500, s.enskdel = 1, s.skdel = 7000;
        s.onexist = 2 | 4 | 16;
        s.names = names::kSkip;
        s.manifest = manifest::kSha256;
        d.policy = PolicyOf(s);
        d.store.WriteInt(StoreRoot::CurrentUser, ProfileKey("local"), "default", 1);
        d.form->show();
        QCOMPARE(d.Get<QSlider>("TrackBar1")->value(), 4);
        QCOMPARE(d.Get<QComboBox>("ComboBox1")->currentText(), QString("Kbps"));
        QCOMPARE(d.Text("Label2"), QString("512"));
        QCOMPARE(d.Text("Label4"), QString("16 Mbytes"));
        QCOMPARE(d.Get<QComboBox>("ComboBox3")->currentIndex(), 2);
        QString boxes;
        for (const char* name :
             {"CheckBox4", "CheckBox8", "CheckBox7", "CheckBox16", "CheckBox5", "CheckBox11",
              "CheckBox13", "CheckBox9", "CheckBox10", "CheckBox12", "CheckBox1", "CheckBox2",
              "CheckBox3", "CheckBox15", "CheckBox6", "CheckBox14"})
            boxes += d.Box(name)->isChecked() ? '1' : '0';
        QCOMPARE(boxes, QString("1010101111111111"));
        QVERIFY(d.Radio("RadioButton2")->isChecked());
        QVERIFY(d.Radio("RadioButton7")->isChecked());
        QCOMPARE(d.Text("Label13"), QString("Names the destination cannot take:"));
        auto* names = d.Get<QComboBox>("ComboBox5");
        QCOMPARE(names->count(), 3);
        QCOMPARE(names->itemText(0) + "|" + names->itemText(1) + "|" + names->itemText(2),
                 QString("Ask|Rename|Skip"));
        QCOMPARE(names->currentText(), QString("Skip"));
        QCOMPARE(d.Text("Label14"), QString("Checksum manifest:"));
        auto* manifests = d.Get<QComboBox>("ComboBox6");
        QCOMPARE(manifests->count(), 3);
        QCOMPARE(
            manifests->itemText(0) + "|" + manifests->itemText(1) + "|" + manifests->itemText(2),
            QString("None|XXH3-128|SHA-256"));
        QCOMPARE(manifests->currentText(), QString("SHA-256"));
        QCOMPARE(d.Get<QSpinBox>("CSpinEdit1")->value(), 500);
        QCOMPARE(d.Get<QSpinBox>("CSpinEdit2")->value(), 30);
        QCOMPARE(d.Get<QSpinBox>("CSpinEdit3")->value(), 7000);
        QCOMPARE(d.Get<QLineEdit>("Edit1")->text(), QString("/opt/finish.wav"));
        QVERIFY(d.Get<QPushButton>("BitBtn1")->isVisibleTo(d.form.get()));
        d.form->HideOk();
        QVERIFY(!d.Get<QPushButton>("BitBtn1")->isVisibleTo(d.form.get()));
    }

    void EnablingRulesFollowTheClicks() {
        Dialog d;
        d.form->show();
        auto enabled = [&d] {
            QString e;
            for (const char* name :
                 {"CSpinEdit1", "Label6", "CheckBox15", "CSpinEdit3", "Label12", "RadioButton5"})
                e += d.Get<QWidget>(name)->isEnabled() ? '1' : '0';
            return e;
        };
        QCOMPARE(enabled(), QString("000001"));
        d.Click("RadioButton2");
        QCOMPARE(enabled(), QString("111001"));
        d.Click("CheckBox15");
        QCOMPARE(enabled(), QString("111111"));
        d.Click("RadioButton1");
        QCOMPARE(enabled(), QString("000001"));
        d.Click("RadioButton5");
        d.Click("CheckBox14");
        QCOMPARE(enabled(), QString("000000"));
        QVERIFY(d.Radio("RadioButton4")->isChecked());
        d.Click("CheckBox14");
        QCOMPARE(enabled(), QString("000001"));
        // Verification checked by hand checks both bursts; filling with it on does not.
        d.Click("CheckBox11");
        QVERIFY(d.Box("CheckBox7")->isChecked() && d.Box("CheckBox16")->isChecked());
        d.policy.verify = true;
        d.form->hide();
        d.form->show();
        QVERIFY(!d.Box("CheckBox7")->isChecked() && !d.Box("CheckBox16")->isChecked());
    }

    void CaptionsAtTheConvertersEnds() {
        Dialog d;
        test::WriteFile(d.env.DataDir() + "/strange.lng", "[In code]\r\nv31=Unbounded\r\n");
        d.messages.Load(d.env.DataDir() + "/strange.lng");
        d.form->show();
        auto* bar = d.Get<QSlider>("TrackBar1");
        auto* unit = d.Get<QComboBox>("ComboBox1");
        const struct {
            int entry, position;
            const char* caption;
        } cases[] = {{2, 9, "95"}, {2, 0, "10"},    {2, 10, "100"}, {1, 10, "Unbounded"},
                     {1, 0, "16"}, {0, 9, "16384"}, {0, 2, "128"},  {0, 10, "Unbounded"}};
        for (auto c : cases) {
            bar->setValue(c.position);
            unit->setCurrentIndex(c.entry);
            QCOMPARE(d.Text("Label2"), QString(c.caption));
        }
        auto* buffer = d.Get<QSlider>("TrackBar2");
        QCOMPARE(bar->maximum(), 10);
        QCOMPARE(buffer->maximum(), 10);
        buffer->setValue(0);
        QCOMPARE(d.Text("Label4"), QString("512 bytes"));
        buffer->setValue(10);
        QCOMPARE(d.Text("Label4"), QString("32 Mbytes"));
        QCOMPARE(d.Get<QSpinBox>("CSpinEdit1")->maximum(), 999999);
        QCOMPARE(d.Get<QSpinBox>("CSpinEdit2")->maximum(), 999999);
    }

    void OkCancelAndStore() {
        Dialog d;
        JobState state;
        d.form = std::make_unique<TForm4>(d.settings, d.policy, d.store, d.messages, &state);
        d.form->warn = [&d](const QString&, const QString& text) { d.warnings << text; };
        std::vector<bool> chosen;
        d.form->resumeOnCrashChosen = [&chosen](bool on) { chosen.push_back(on); };
        QSignalSpy applied(d.form.get(), &TForm4::applied);
        // Store before the window was ever filled writes nothing.
        d.form->BitBtn3Click();
        QCOMPARE(d.warnings, QStringList{"Can't save settings now"});
        QVERIFY(!d.Stored("bufsz"));

        auto change = [&d] {
            d.form->show();
            d.Get<QSlider>("TrackBar2")->setValue(2);
            d.Click("CheckBox4");
            d.Click("RadioButton1");
            d.Get<QComboBox>("ComboBox5")->setCurrentIndex(names::kRename);
            d.Get<QComboBox>("ComboBox6")->setCurrentIndex(manifest::kXxh128);
        };
        change();
        QTest::keyClick(d.form.get(), Qt::Key_Escape);
        QVERIFY(!d.form->isVisible());
        QCOMPARE(d.policy.bufferSize.Get(), 6);
        QVERIFY(!d.Stored("bufsz"));
        d.form->show();
        QCOMPARE(d.Get<QSlider>("TrackBar2")->value(), 6);

        change();
        d.Click("BitBtn3");
        QVERIFY(d.form->isVisible());
        QCOMPARE(d.Stored("bufsz"), 2);
        QCOMPARE(d.Stored("resume"), 1);
        QCOMPARE(d.Stored("onerror"), 2);
        QCOMPARE(d.Stored("names"), names::kRename);
        QCOMPARE(d.Stored("manifest"), manifest::kXxh128);
        QCOMPARE(d.policy.bufferSize.Get(), 6);
        QVERIFY(d.policy.names == NamesPolicy::Ask);
        QVERIFY(d.policy.manifest == ManifestPolicy::None);
        QCOMPARE(applied.count(), 0);

        d.Click("BitBtn1");
        QVERIFY(!d.form->isVisible());
        QCOMPARE(d.policy.bufferSize.Get(), 2);
        QVERIFY(d.policy.resume);
        QVERIFY(d.policy.onError == ErrorPolicy::Skip);
        QVERIFY(d.policy.names == NamesPolicy::Rename);
        QVERIFY(d.policy.manifest == ManifestPolicy::Xxh128);
        QCOMPARE(applied.count(), 1);
        QCOMPARE(state.flags.Paused, 0);
        QCOMPARE(chosen, (std::vector<bool>{true, true}));
        // The close box hides, as Cancel does.
        d.form->show();
        d.form->close();
        QVERIFY(!d.form->isVisible());
        QCOMPARE(d.warnings.size(), 1);
    }

    void SoundButtons() {
        Dialog d;
        RecordingSound sound;
        d.form->SetSoundPlayer(&sound);
        d.form->chooseSoundFile = [](const QString& current) {
            return current == "/opt/finish.wav" ? QString("/home/me/bell.wav") : QString();
        };
        d.form->show();
        d.Click("SpeedButton1");
        d.Click("SpeedButton2");
        d.Click("SpeedButton1");
        QCOMPARE(d.Get<QLineEdit>("Edit1")->text(), QString("/home/me/bell.wav"));
        QCOMPARE(sound.played, std::vector<std::string>{"/home/me/bell.wav"});
    }

    void ProfilesCaptionAndStore() {
        Dialog d("network");
        d.form->show();
        d.form->hide();
        d.form->show();
        QCOMPARE(d.form->windowTitle(), QString("RedoDori v2.85 configuration (network)"));
        QCOMPARE(d.Get<QPushButton>("BitBtn3")->text(), QString("Store in network profile"));
        d.Get<QSlider>("TrackBar1")->setValue(3);
        d.Click("CheckBox10");
        d.Click("BitBtn3");
        QCOMPARE(d.Stored("splim", "network"), 3);
        QCOMPARE(d.Stored("nomenu", "network"), 1);
        QVERIFY(!d.Stored("splim", "local"));
        // The local profile's dialog over the same store, with its own values.
        JobSettings local;
        JobPolicy localPolicy;
        TForm4 localForm(local, localPolicy, d.store, d.messages);
        localForm.show();
        QCOMPARE(localForm.windowTitle(), QString("RedoDori v2.85 configuration (local)"));
        localForm.findChild<QSlider*>("TrackBar2")->setValue(0);
        localForm.findChild<QAbstractButton*>("BitBtn3")->click();
        QCOMPARE(d.Stored("bufsz", "local"), 0);
        QCOMPARE(d.Stored("bufsz", "network"), 6);
        // The next job of each profile reads what was stored, through the real programs.
        const std::string reg =
            std::string(REDODORI_REG_BIN) + " get 'SOFTWARE\\DiraRedi\\RedoDori\\";
        QCOMPARE(test::RunCommand(reg + "network' splim"), std::string("3\n"));
        QCOMPARE(test::RunCommand(reg + "local' bufsz"), std::string("0\n"));
        const std::string explain = std::string(REDODORI_BIN) + " --explain '|/tmp/a|/tmp/b/?|e";
        const std::string network = test::RunCommand(explain + "q1'");
        QVERIFY(network.find("Speed limit: 40%") != std::string::npos);
        QVERIFY(network.find("Buffer size: 1 Mbytes") != std::string::npos);
        const std::string plain = test::RunCommand(explain + "'");
        QVERIFY(plain.find("Speed limit:  None") != std::string::npos);
        QVERIFY(plain.find("Buffer size: 512 bytes") != std::string::npos);
    }

    void TheLanguagesShowByTheirOwnNamesAndTheProfileInTheLanguage() {
        Dialog d;
        d.settings.InstallPath = d.env.DataDir();
        d.settings.Lngname = "GERMAN.lng";
        test::WriteFile(d.env.DataDir() + "/mine.lng", "[Language]\r\nName=Plattdüütsch\r\n");
        test::WriteFile(d.env.DataDir() + "/old.lng", "[In code]\r\nv31=Unbounded\r\n");
        d.messages.Load(std::string(REDODORI_SOURCE_DATA_DIR) + "/german.lng");
        d.form->show();
        auto* languages = d.Get<QComboBox>("ComboBox4");
        QStringList names;
        for (int i = 0; i < languages->count(); ++i)
            names << languages->itemText(i);
        QCOMPARE(names, QStringList({"Plattdüütsch", "old.lng", "English", "Deutsch"}));
        QCOMPARE(languages->currentText(), QString("Deutsch"));
        auto* manifests = d.Get<QComboBox>("ComboBox6");
        QCOMPARE(
            manifests->itemText(0) + "|" + manifests->itemText(1) + "|" + manifests->itemText(2),
            QString("Keine|XXH3-128|SHA-256"));
        QCOMPARE(d.form->windowTitle(), QString("RedoDori v2.85 configuration (lokal)"));
        QCOMPARE(d.Get<QPushButton>("BitBtn3")->text(), QString("Im Profil lokal speichern"));
        languages->setCurrentIndex(0);
        d.Click("BitBtn3");
        QCOMPARE(d.store.ReadText(StoreRoot::CurrentUser, ProfileKey("local"), "Lngname"),
                 std::optional<std::string>("mine.lng"));
        d.Click("BitBtn1");
        QCOMPARE(d.settings.Lngname, std::string("mine.lng"));
    }

    void TheCopyLocksItsOptionsAndTheKeysShowInTheDialog() {
        test::PrivateEnvironment env;
        JobSettings settings;
        JobPolicy policy;
        TRedoDoriWnd window;
        ProgressCore core;
        EngineContext ctx(policy, window, core.queue);
        core.Attach(ctx, nullptr, nullptr);
        window.Host(core);
        Store store(env.ConfigDir() + "/registry.db");
        TForm4 form(settings, policy, store, ctx.messages, &ctx.state);
        TRedoDoriWnd::Windows windows;
        windows.settings = &form;
        window.SetWindows(windows);
        window.Menu()->Menu()->findChild<QAction*>("Settings1")->trigger();
        QVERIFY(form.isVisible());
        policy.parallel = true;
        policy.writeBurst = true;
        policy.manifest = ManifestPolicy::Sha256;
        window.OptionsLocked();
        QString locked;
        for (const char* name :
             {"CheckBox5", "CheckBox7", "CheckBox16", "CheckBox11", "CheckBox13"}) {
            auto* box = form.findChild<QCheckBox*>(name);
            locked += box->isEnabled() ? 'e' : box->isChecked() ? '1' : '0';
        }
        QCOMPARE(locked, QString("10100"));
        // The manifest was chosen when the copy began: it shows the job's and stays.
        auto* manifests = form.findChild<QComboBox*>("ComboBox6");
        QVERIFY(!manifests->isEnabled());
        QCOMPARE(manifests->currentText(), QString("SHA-256"));
        // OK leaves the copy-only options running as they are; Store writes what the boxes show.
        policy.parallel = false;
        form.findChild<QAbstractButton*>("BitBtn3")->click();
        QCOMPARE(store.ReadInt(StoreRoot::CurrentUser, ProfileKey("local"), "parcopy"), 1);
        form.findChild<QAbstractButton*>("BitBtn1")->click();
        QVERIFY(!policy.parallel);
        QVERIFY(policy.writeBurst);
        QVERIFY(policy.manifest == ManifestPolicy::Sha256);
        // A later show keeps the lock.
        form.show();
        QVERIFY(!form.findChild<QCheckBox*>("CheckBox7")->isEnabled());

        // The window's keys move the dialog's track bars and unit with the running job.
        QTest::keyClick(&window, Qt::Key_Down);
        QTest::keyClick(&window, Qt::Key_Left);
        QCOMPARE(form.findChild<QSlider*>("TrackBar1")->value(), 9);
        QCOMPARE(form.findChild<QLabel*>("Label2")->text(), QString("95"));
        QCOMPARE(form.findChild<QLabel*>("Label4")->text(), QString("512 Kbytes"));
        policy.speedUnit = SpeedUnit::Kbps;
        QTest::keyClick(&window, Qt::Key_Backspace);
        QCOMPARE(form.findChild<QComboBox*>("ComboBox1")->currentText(), QString("bps"));
        QCOMPARE(form.findChild<QLabel*>("Label2")->text(), QString("16384"));
    }
};

}  // namespace rd

QTEST_MAIN(rd::SettingsDialogTest)
#include "settings_dialog_test.moc"
