// The settings dialog TForm4: shows the running program's settings and its job's policy, gives
// the changed ones to the running job with OK and stores the shown ones as the profile's defaults
// with BitBtn3. Created once and only shown and hidden. The values, rules and store writes come
// from settings/settings_fields, settings/settings_storage and app/running_settings.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "app/limit_captions.h"
#include "engine/job_policy.h"
#include "settings/settings_fields.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

namespace rd {

class JobState;
class Language;
class MessageTable;
class SoundPlayer;
class Store;
class TSpeedButton;

class TForm4 : public QDialog {
    Q_OBJECT

public:
    // `settings` are the running program's, `policy` its job's, `messages` its language texts;
    // `state` is the running job's (none in the settings-only start).
    TForm4(JobSettings& settings, JobPolicy& policy, Store& store, const MessageTable& messages,
           JobState* state = nullptr, QWidget* parent = nullptr);

    // The settings-only start: there is no job to apply values to, so OK is hidden.
    void HideOk();
    // Plays the test sound; unset, the test button does nothing.
    void SetSoundPlayer(SoundPlayer* player) { sound_ = player; }

    // Re-captions the window and its groups from the "Settings" section of `language`, then
    // gives the caption its profile and the store button language text 32. The lists take
    // their texts from the message table at the next show.
    void ApplyLanguage(const Language& language);

    // Fills every control from the in-memory settings and the store; the window's show runs it.
    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void TrackBar1Change();
    void TrackBar2Change();
    void RadioButton3Click();
    void RadioButton4Click();
    void CheckBox11Click();
    void SpeedButton1Click();
    void SpeedButton2Click();
    // The copy has started: the copy-only options show the running values and stay disabled.
    void LockCopyOptions();
    // The progress window's keys changed the speed limit or buffer size of the running job.
    void ShowLimits();

    // What the controls hold now.
    SettingsFields Fields() const;

    // After OK and after Store, with the resume-on-crash choice: the resume manager's start at
    // login follows it. Replaceable for tests.
    std::function<void(bool on)> resumeOnCrashChosen;
    // The file dialog of SpeedButton1: the path chosen, or empty when none was. Replaceable
    // for tests.
    std::function<QString(const QString& current)> chooseSoundFile;
    // A warning box (caption, text); replaceable for tests.
    std::function<void(const QString& caption, const QString& text)> warn;

signals:
    // OK gave the values to the running job (its resume record is to follow `resume`).
    void applied();
    // The window was hidden: by OK, Cancel or its close box.
    void hidden();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Group by group, top to bottom: the order of creation is the tab order.
    void BuildControls();
    void BuildGeneralGroup();
    void BuildLimitControls(QWidget* g);
    void BuildGeneralOptions(QWidget* g);
    void BuildCompleteGroup();
    void BuildErrorGroup();
    void BuildExistsGroup();
    void BuildFooter();
    void ConnectControls();
    QGroupBox* Group(const char* name, const QString& title);
    QCheckBox* Check(QWidget* parent, const char* name, const QString& caption,
                     const QString& hint = {});
    QRadioButton* Radio(QWidget* parent, const char* name, const QString& caption);
    QLabel* Text(QWidget* parent, const char* name, const QString& caption);
    QSpinBox* Spin(QWidget* parent, const char* name, int maximum);
    void SetFields(const SettingsFields& fields);
    void ApplyEnabling();
    // Language text `number`, or `builtIn` when the language has none.
    QString MessageOr(int number, const char* builtIn) const;
    // The profile after the caption, once; language text 32 on the store button.
    void CaptionProfile();
    void FillLists();
    LimitTexts Limits() const;

    JobSettings& settings_;
    JobPolicy& policy_;
    Store& store_;
    const MessageTable& messages_;
    JobState* state_;
    SoundPlayer* sound_ = nullptr;
    // Set while FormShow copies values into the controls.
    bool filling_ = false;
    // Set once a show has filled every control; Store writes nothing before.
    bool saveAllowed_ = false;
    bool copyOptionsLocked_ = false;
    // Centred at its first show.
    bool placed_ = false;

    QGroupBox* GroupBox1;
    QGroupBox* GroupBox2;
    QGroupBox* GroupBox3;
    QGroupBox* GroupBox4;
    QSlider* TrackBar1;
    QSlider* TrackBar2;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QComboBox* ComboBox1;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox8;
    QCheckBox* CheckBox7;
    QCheckBox* CheckBox16;
    QCheckBox* CheckBox5;
    QCheckBox* CheckBox11;
    QLabel* Label14;
    QComboBox* ComboBox6;
    QCheckBox* CheckBox13;
    QCheckBox* CheckBox10;
    QCheckBox* CheckBox9;
    QCheckBox* CheckBox12;
    QLabel* Label11;
    QComboBox* ComboBox4;
    QLabel* Label5;
    QComboBox* ComboBox2;
    QLabel* Label10;
    QComboBox* ComboBox3;
    QCheckBox* CheckBox1;
    QLineEdit* Edit1;
    TSpeedButton* SpeedButton1;
    TSpeedButton* SpeedButton2;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QSpinBox* CSpinEdit2;
    QLabel* Label7;
    QRadioButton* RadioButton3;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton1;
    QSpinBox* CSpinEdit1;
    QLabel* Label6;
    QCheckBox* CheckBox15;
    QSpinBox* CSpinEdit3;
    QLabel* Label12;
    QRadioButton* RadioButton4;
    QRadioButton* RadioButton5;
    QRadioButton* RadioButton7;
    QRadioButton* RadioButton6;
    QCheckBox* CheckBox6;
    QCheckBox* CheckBox14;
    QLabel* Label13;
    QComboBox* ComboBox5;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPushButton* BitBtn3;
    QWidget* Panel1;
    QLabel* Label8;
    QLabel* Label9;
};

}  // namespace rd
