#include "ui/settings/settings_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>
#include <array>
#include <climits>

#include "app/running_settings.h"
#include "engine/job_end.h"
#include "look/captions.h"
#include "look/language.h"
#include "look/look_choices.h"
#include "platform/message_table.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "resume/autostart.h"
#include "resume/resume_records.h"
#include "settings/settings_storage.h"
#include "ui/controls/speed_button.h"

namespace rd {

namespace {

constexpr QSize kDesignSize(473, 473);

// The test button's glyph: a loudspeaker.
QPixmap SpeakerGlyph() {
    QPixmap glyph(16, 16);
    glyph.fill(Qt::transparent);
    QPainter painter(&glyph);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawPolygon(QPolygonF({{2, 6}, {5, 6}, {9, 2}, {9, 14}, {5, 10}, {2, 10}}));
    painter.setPen(QPen(Qt::black, 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(7, 4, 6, 8), -60 * 16, 120 * 16);
    painter.drawArc(QRectF(6, 2, 9, 12), -60 * 16, 120 * 16);
    return glyph;
}

// A label that opens `url` when clicked, drawn as a link.
class LinkLabel : public QLabel {
public:
    LinkLabel(const QString& text, QUrl url, QWidget* parent) : QLabel(text, parent), url_(url) {
        QFont underlined = font();
        underlined.setUnderline(true);
        setFont(underlined);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mouseReleaseEvent(QMouseEvent*) override { QDesktopServices::openUrl(url_); }

private:
    QUrl url_;
};

}  // namespace

TForm4::TForm4(JobSettings& settings, JobPolicy& policy, Store& store, const MessageTable& messages,
               JobState* state, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      settings_(settings),
      policy_(policy),
      store_(store),
      messages_(messages),
      state_(state) {
    setObjectName("Form4");
    setWindowTitle("RedoDori v2.85 configuration");
    setFont(QFont("MS Sans Serif", 8));
    BuildControls();
    // The design size, or more where the captions need it.
    resize(kDesignSize.expandedTo(minimumSizeHint()));
    resumeOnCrashChosen = [this](bool on) {
        std::string error;
        if (!AutostartAfterChoice(on, store_, OwnProgramPath(), error))
            warn(MessageOr(text_slot::kWarning, "Warning"), FromUtf8(error));
    };
    chooseSoundFile = [this](const QString& current) {
        return QFileDialog::getOpenFileName(this, QString(), current, "Windows sound (*.wav)");
    };
    warn = [this](const QString& caption, const QString& text) {
        QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, this);
        CaptionButtons(box, messages_);
        box.exec();
    };
}

QGroupBox* TForm4::Group(const char* name, const QString& title) {
    auto* group = new QGroupBox(title, this);
    group->setObjectName(name);
    return group;
}

QCheckBox* TForm4::Check(QWidget* parent, const char* name, const QString& caption,
                         const QString& hint) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setToolTip(hint);
    return box;
}

QRadioButton* TForm4::Radio(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

QLabel* TForm4::Text(QWidget* parent, const char* name, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QSpinBox* TForm4::Spin(QWidget* parent, const char* name, int maximum) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(0, maximum);
    return spin;
}

// The controls keep the window and its groups as their parents, which the language file
// addresses; the layouts give every caption the room it needs in any language and font.
void TForm4::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    // The window never gets smaller than its contents.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    BuildGeneralGroup();
    BuildCompleteGroup();
    BuildErrorGroup();
    BuildExistsGroup();
    for (QGroupBox* group : {GroupBox3, GroupBox2, GroupBox1, GroupBox4})
        layout->addWidget(group);
    layout->addStretch();
    BuildFooter();
    ConnectControls();
}

void TForm4::BuildGeneralGroup() {
    GroupBox3 = Group("GroupBox3", "General settings");
    auto* grid = new QGridLayout(GroupBox3);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    BuildLimitControls(GroupBox3);
    BuildGeneralOptions(GroupBox3);
}

void TForm4::BuildLimitControls(QWidget* g) {
    auto* grid = static_cast<QGridLayout*>(g->layout());
    Label1 = Text(g, "Label1", "Speed limit:");
    Label2 = Text(g, "Label2", "");
    TrackBar1 = new QSlider(Qt::Horizontal, g);
    TrackBar1->setObjectName("TrackBar1");
    TrackBar1->setToolTip(
        "Copy speed limit. You can set maximum transfer rate in Kbps or percantage of maximum "
        "available transfer rate");
    ComboBox1 = new QComboBox(g);
    ComboBox1->setObjectName("ComboBox1");
    Label3 = Text(g, "Label3", "Buffer size:");
    Label4 = Text(g, "Label4", "");
    TrackBar2 = new QSlider(Qt::Horizontal, g);
    TrackBar2->setObjectName("TrackBar2");
    TrackBar2->setToolTip(
        "Size of copy buffer. Set low values if to increase copy speed when many read/write "
        "errors occured. In other cases low value can dramatically decrase transfer rate.");
    for (QSlider* bar : {TrackBar1, TrackBar2}) {
        bar->setRange(0, kLastLimitPosition);
        bar->setPageStep(1);
        bar->setTickPosition(QSlider::TicksBelow);
        bar->setTickInterval(1);
    }
    auto row = [](std::initializer_list<QWidget*> widgets, bool stretch) {
        auto* line = new QHBoxLayout;
        for (QWidget* widget : widgets)
            line->addWidget(widget);
        if (stretch)
            line->addStretch();
        return line;
    };
    grid->addLayout(row({Label1, Label2}, true), 0, 0);
    grid->addLayout(row({Label3, Label4}, true), 0, 1);
    grid->addLayout(row({TrackBar1, ComboBox1}, false), 1, 0);
    grid->addWidget(TrackBar2, 1, 1);
}

void TForm4::BuildGeneralOptions(QWidget* g) {
    CheckBox4 = Check(g, "CheckBox4", "Resume this copy on crash",
                      "Automatically resume  copy process after system restarts");
    CheckBox8 = Check(g, "CheckBox8", "Log this copy to history",
                      "Add notation about this copy to HISTORY.TXT file in RedoDori folder");
    CheckBox7 = Check(g, "CheckBox7", "Read burst",
                      "Enable copy boost mode. Can greatly increase copy perfomance when copy "
                      "local files. Not recommended to use on network");
    CheckBox16 = Check(g, "CheckBox16", "Write burst");
    CheckBox5 = Check(g, "CheckBox5", "Parallel read/write",
                      "Parallel read/write threads. Increase transfer perfomance when coping "
                      "between different media, but can slow down copy when copy from one "
                      "directory to another of one phtsical drive");
    CheckBox11 = Check(g, "CheckBox11", "Copy verifycation (slow)");
    Label14 = Text(g, "Label14", "Checksum manifest:");
    ComboBox6 = new QComboBox(g);
    ComboBox6->setObjectName("ComboBox6");
    CheckBox13 = Check(g, "CheckBox13", "Reserve space for file");
    CheckBox10 = Check(g, "CheckBox10", "Enable RedoDori menu items");
    CheckBox9 = Check(g, "CheckBox9", "Make RedoDori as default drag&&drop handler");
    CheckBox12 = Check(g, "CheckBox12", "Enable Create NTFS link menu item");
    Label11 = Text(g, "Label11", "Language:");
    Label5 = Text(g, "Label5", "Base skin:");
    Label10 = Text(g, "Label10", "Move mode:");
    ComboBox4 = new QComboBox(g);
    ComboBox4->setObjectName("ComboBox4");
    ComboBox2 = new QComboBox(g);
    ComboBox2->setObjectName("ComboBox2");
    ComboBox3 = new QComboBox(g);
    ComboBox3->setObjectName("ComboBox3");
    // The lists are filled at every show, after the window has laid itself out.
    for (QComboBox* list : {ComboBox1, ComboBox4, ComboBox2, ComboBox3, ComboBox6})
        list->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* left = new QVBoxLayout;
    for (QCheckBox* box : {CheckBox4, CheckBox8, CheckBox7, CheckBox16, CheckBox5, CheckBox11})
        left->addWidget(box);
    auto* manifest = new QHBoxLayout;
    manifest->addWidget(Label14);
    manifest->addWidget(ComboBox6);
    manifest->addStretch();
    left->addLayout(manifest);
    left->addWidget(CheckBox13);
    left->addStretch();
    auto* right = new QVBoxLayout;
    for (QCheckBox* box : {CheckBox10, CheckBox9, CheckBox12})
        right->addWidget(box);
    auto* lists = new QGridLayout;
    lists->setColumnStretch(1, 1);
    const std::pair<QLabel*, QComboBox*> rows[] = {
        {Label11, ComboBox4}, {Label5, ComboBox2}, {Label10, ComboBox3}};
    for (int i = 0; i < 3; ++i) {
        lists->addWidget(rows[i].first, i, 0);
        lists->addWidget(rows[i].second, i, 1);
    }
    right->addLayout(lists);
    right->addStretch();
    auto* grid = static_cast<QGridLayout*>(g->layout());
    grid->addLayout(left, 2, 0);
    grid->addLayout(right, 2, 1);
}

void TForm4::BuildCompleteGroup() {
    GroupBox2 = Group("GroupBox2", "On copy complete");
    QWidget* g = GroupBox2;
    CheckBox1 = Check(g, "CheckBox1", "Play sound:");
    Edit1 = new QLineEdit(g);
    Edit1->setObjectName("Edit1");
    SpeedButton1 = new TSpeedButton(g);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setText("...");
    SpeedButton1->setToolTip("Find sound file");
    SpeedButton2 = new TSpeedButton(g);
    SpeedButton2->setObjectName("SpeedButton2");
    SpeedButton2->SetGlyph(SpeakerGlyph(), 1);
    SpeedButton2->setToolTip("Test sound");
    for (TSpeedButton* button : {SpeedButton1, SpeedButton2})
        button->setFixedSize(22, 22);
    CheckBox2 = Check(g, "CheckBox2", "Promt to open target directory");
    CheckBox3 = Check(g, "CheckBox3", "Shutdown system in");
    CSpinEdit2 = Spin(g, "CSpinEdit2", kSpinMax);
    CSpinEdit2->setValue(45);
    Label7 = Text(g, "Label7", "seconds");

    auto* sound = new QHBoxLayout;
    sound->addWidget(CheckBox1);
    sound->addWidget(Edit1, 1);
    sound->addWidget(SpeedButton1);
    sound->addWidget(SpeedButton2);
    auto* after = new QHBoxLayout;
    after->addWidget(CheckBox2);
    after->addStretch();
    after->addWidget(CheckBox3);
    after->addWidget(CSpinEdit2);
    after->addWidget(Label7);
    auto* layout = new QVBoxLayout(g);
    layout->addLayout(sound);
    layout->addLayout(after);
}

void TForm4::BuildErrorGroup() {
    GroupBox1 = Group("GroupBox1", "On error");
    QWidget* g = GroupBox1;
    RadioButton3 = Radio(g, "RadioButton3", "Promt");
    RadioButton1 = Radio(g, "RadioButton1", "Skip");
    RadioButton2 = Radio(g, "RadioButton2", "Retry in:");
    CSpinEdit1 = Spin(g, "CSpinEdit1", kSpinMax);
    Label6 = Text(g, "Label6", "milliseconds");
    CheckBox15 = Check(g, "CheckBox15", "Skip after");
    // No bounds but the value's own: a negative time has no meaning.
    CSpinEdit3 = Spin(g, "CSpinEdit3", INT_MAX);
    Label12 = Text(g, "Label12", "milliseconds");
    auto* grid = new QGridLayout(g);
    QWidget* const cells[2][4] = {{RadioButton3, RadioButton2, CSpinEdit1, Label6},
                                  {RadioButton1, CheckBox15, CSpinEdit3, Label12}};
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 4; ++column)
            grid->addWidget(cells[row][column], row, column);
    grid->setColumnStretch(4, 1);
}

void TForm4::BuildExistsGroup() {
    GroupBox4 = Group("GroupBox4", "If file exists");
    QWidget* g = GroupBox4;
    RadioButton4 = Radio(g, "RadioButton4", "Promt");
    RadioButton5 = Radio(g, "RadioButton5", "Overwrite");
    RadioButton7 = Radio(g, "RadioButton7", "Skip");
    RadioButton6 = Radio(g, "RadioButton6", "Rename old");
    CheckBox6 = Check(g, "CheckBox6", "Try resume", "Resume file if no differences found");
    CheckBox14 = Check(g, "CheckBox14", "Overwrite if older");
    Label13 = Text(g, "Label13", "Names the destination cannot take:");
    ComboBox5 = new QComboBox(g);
    ComboBox5->setObjectName("ComboBox5");
    ComboBox5->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* grid = new QGridLayout(g);
    const std::array<QRadioButton*, 4> choices = {RadioButton4, RadioButton5, RadioButton7,
                                                  RadioButton6};
    for (int column = 0; column < 4; ++column)
        grid->addWidget(choices[column], 0, column);
    grid->addWidget(CheckBox6, 1, 0, 1, 2);
    grid->addWidget(CheckBox14, 1, 2, 1, 2);
    auto* names = new QHBoxLayout;
    names->addWidget(Label13);
    names->addWidget(ComboBox5);
    names->addStretch();
    grid->addLayout(names, 2, 0, 1, 5);
    grid->setColumnStretch(4, 1);
}

void TForm4::BuildFooter() {
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    const QString data = FromUtf8(paths::UserDataDir());
    Label8 = new LinkLabel("Data folder", QUrl::fromLocalFile(data), Panel1);
    Label8->setObjectName("Label8");
    Label9 = new LinkLabel("History", QUrl::fromLocalFile(data + "/history.txt"), Panel1);
    Label9->setObjectName("Label9");
    auto* links = new QHBoxLayout(Panel1);
    links->setContentsMargins(2, 0, 2, 0);
    links->addWidget(Label8);
    links->addWidget(Label9);
    BitBtn1 = new QPushButton("Ok", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton("Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn3 = new QPushButton(this);
    BitBtn3->setObjectName("BitBtn3");
    auto* footer = new QHBoxLayout;
    footer->addWidget(Panel1);
    footer->addStretch();
    for (QPushButton* button : {BitBtn1, BitBtn2, BitBtn3})
        footer->addWidget(button);
    static_cast<QBoxLayout*>(layout())->addLayout(footer);
}

void TForm4::ConnectControls() {
    connect(TrackBar1, &QSlider::valueChanged, this, &TForm4::TrackBar1Change);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TForm4::TrackBar1Change);
    connect(TrackBar2, &QSlider::valueChanged, this, &TForm4::TrackBar2Change);
    for (QRadioButton* b : {RadioButton1, RadioButton2, RadioButton3})
        connect(b, &QRadioButton::toggled, this, &TForm4::RadioButton3Click);
    connect(CheckBox15, &QCheckBox::toggled, this, &TForm4::RadioButton3Click);
    for (QRadioButton* b : {RadioButton4, RadioButton5, RadioButton6, RadioButton7})
        connect(b, &QRadioButton::toggled, this, &TForm4::RadioButton4Click);
    for (QCheckBox* b : {CheckBox6, CheckBox14})
        connect(b, &QCheckBox::toggled, this, &TForm4::RadioButton4Click);
    connect(CheckBox11, &QCheckBox::toggled, this, &TForm4::CheckBox11Click);
    connect(SpeedButton1, &QAbstractButton::clicked, this, &TForm4::SpeedButton1Click);
    connect(SpeedButton2, &QAbstractButton::clicked, this, &TForm4::SpeedButton2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm4::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm4::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm4::BitBtn3Click);
}

void TForm4::HideOk() {
    BitBtn1->hide();
}

QString TForm4::MessageOr(int number, const char* builtIn) const {
    const std::string& text = messages_.Text(number);
    return text.empty() ? QString(builtIn) : FromUtf8(text);
}

LimitTexts TForm4::Limits() const {
    LimitTexts texts;
    texts.bps = MessageOr(28, "bps").toStdString();
    texts.kbps = MessageOr(29, "Kbps").toStdString();
    texts.percent = MessageOr(30, "%").toStdString();
    texts.noLimit = MessageOr(31, "No limit").toStdString();
    texts.bytes = MessageOr(text_slot::kBytes, "bytes").toStdString();
    texts.kbytes = MessageOr(text_slot::kKbytes, "Kbytes").toStdString();
    texts.mbytes = MessageOr(text_slot::kMbytes, "Mbytes").toStdString();
    return texts;
}

void TForm4::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
    // Centred once its texts are in, since they decide its size.
    if (!placed_) {
        placed_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
}

void TForm4::closeEvent(QCloseEvent* event) {
    // The window lives as long as the program: closing it only hides it.
    event->ignore();
    BitBtn2Click();
}

void TForm4::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    emit hidden();
}

void TForm4::FillLists() {
    ComboBox3->clear();
    ComboBox3->addItems({MessageOr(24, "Don't overwrite"), MessageOr(25, "Overwrite once"),
                         MessageOr(26, "Overwrite twice"), MessageOr(27, "Overwrite three times")});
    // In the order of the `names` values.
    ComboBox5->clear();
    ComboBox5->addItems({MessageOr(text_slot::kNamesAsk, "Ask"),
                         MessageOr(text_slot::kNamesRename, "Rename"),
                         MessageOr(text_slot::kNamesSkip, "Skip")});
    // In the order of the `manifest` values; the kinds go by the checksum tools' own names.
    ComboBox6->clear();
    ComboBox6->addItems({MessageOr(text_slot::kManifestNone, "None"), "XXH3-128", "SHA-256"});
    const LimitTexts limits = Limits();
    ComboBox1->clear();
    ComboBox1->addItems({FromUtf8(limits.bps), FromUtf8(limits.kbps), FromUtf8(limits.percent)});
    auto fill = [](QComboBox* list, const std::vector<std::string>& names,
                   const std::string& wanted) {
        list->clear();
        for (const std::string& name : names)
            list->addItem(FromUtf8(name));
        list->setCurrentIndex(ChoiceIndex(names, wanted));
    };
    fill(ComboBox2, SkinFolders(settings_.InstallPath), settings_.Skin);
    // Each language by its own name; the entry keeps its file name, which is what is stored.
    const std::vector<std::string> files = LanguageFiles(settings_.InstallPath);
    ComboBox4->clear();
    for (const std::string& file : files)
        ComboBox4->addItem(FromUtf8(LanguageName(settings_.InstallPath, file)), FromUtf8(file));
    ComboBox4->setCurrentIndex(ChoiceIndex(files, settings_.Lngname));
}

void TForm4::CaptionProfile() {
    const QString profile = settings_.profile == "network"
                                ? MessageOr(text_slot::kNetworkProfile, "network")
                                : MessageOr(text_slot::kLocalProfile, "local");
    if (!windowTitle().contains(" ("))
        setWindowTitle(windowTitle() + " (" + profile + ")");
    QString store = MessageOr(32, "Store in %s profile");
    BitBtn3->setText(store.contains("%s") ? store.replace("%s", profile) : store);
}

void TForm4::ApplyLanguage(const Language& language) {
    TranslateWindow(*this, section::kSettings, language);
    for (QWidget* group :
         std::initializer_list<QWidget*>{GroupBox1, GroupBox2, GroupBox3, GroupBox4, Panel1})
        TranslateWindow(*group, section::kSettings, language);
    CaptionProfile();
}

void TForm4::FormShow() {
    filling_ = true;
    raise();
    saveAllowed_ = false;
    CaptionProfile();
    FillLists();
    SetFields(FieldsFromRunningJob(policy_, settings_, ReadShellValues(store_, settings_.profile)));
    TrackBar1Change();
    TrackBar2Change();
    filling_ = false;
    saveAllowed_ = true;
}

void TForm4::SetFields(const SettingsFields& f) {
    TrackBar1->setValue(f.speedLimit);
    ComboBox1->setCurrentIndex(f.unitEntry);
    TrackBar2->setValue(f.bufferSize);
    CheckBox4->setChecked(f.resume);
    CheckBox8->setChecked(f.hist);
    CheckBox11->setChecked(f.verify);
    CheckBox7->setChecked(f.readBurst);
    CheckBox16->setChecked(f.writeBurst);
    CheckBox5->setChecked(f.parallel);
    CheckBox13->setChecked(f.reserve);
    CheckBox9->setChecked(f.shell.defaultHandler);
    CheckBox10->setChecked(f.shell.shellMenus);
    CheckBox12->setChecked(f.shell.hardLinkItem);
    ComboBox3->setCurrentIndex(f.wipePasses);
    CheckBox1->setChecked(f.sound);
    Edit1->setText(FromUtf8(f.soundPath));
    CheckBox2->setChecked(f.openTargets);
    CheckBox3->setChecked(f.shutdown);
    CSpinEdit2->setValue(f.shutdownDelay);
    (f.onError == 2   ? RadioButton1
     : f.onError == 1 ? RadioButton2
                      : RadioButton3)
        ->setChecked(true);
    CSpinEdit1->setValue(f.retryDelay);
    CheckBox15->setChecked(f.giveUp);
    CSpinEdit3->setValue(f.giveUpAfter);
    CheckBox14->setChecked(f.overwriteOlder);
    CheckBox6->setChecked(f.tryResume);
    QRadioButton* choice = f.existChoice == onexist::kOverwrite   ? RadioButton5
                           : f.existChoice == onexist::kSkip      ? RadioButton7
                           : f.existChoice == onexist::kRenameOld ? RadioButton6
                                                                  : RadioButton4;
    choice->setChecked(true);
    ComboBox5->setCurrentIndex(f.names);
    ComboBox6->setCurrentIndex(f.manifest);
    ApplyEnabling();
}

SettingsFields TForm4::Fields() const {
    SettingsFields f;
    f.speedLimit = TrackBar1->value();
    f.unitEntry = ComboBox1->currentIndex();
    f.bufferSize = TrackBar2->value();
    f.resume = CheckBox4->isChecked();
    f.hist = CheckBox8->isChecked();
    f.readBurst = CheckBox7->isChecked();
    f.writeBurst = CheckBox16->isChecked();
    f.parallel = CheckBox5->isChecked();
    f.verify = CheckBox11->isChecked();
    f.reserve = CheckBox13->isChecked();
    f.shell.defaultHandler = CheckBox9->isChecked();
    f.shell.shellMenus = CheckBox10->isChecked();
    f.shell.hardLinkItem = CheckBox12->isChecked();
    f.language = ComboBox4->currentData().toString().toStdString();
    f.skin = ComboBox2->currentText().toStdString();
    f.wipePasses = std::max(0, ComboBox3->currentIndex());
    f.sound = CheckBox1->isChecked();
    f.soundPath = Edit1->text().toStdString();
    f.openTargets = CheckBox2->isChecked();
    f.shutdown = CheckBox3->isChecked();
    f.shutdownDelay = CSpinEdit2->value();
    f.onError = RadioButton1->isChecked() ? 2 : RadioButton2->isChecked() ? 1 : 0;
    f.retryDelay = CSpinEdit1->value();
    f.giveUp = CheckBox15->isChecked();
    f.giveUpAfter = CSpinEdit3->value();
    f.existChoice = RadioButton6->isChecked()   ? onexist::kRenameOld
                    : RadioButton5->isChecked() ? onexist::kOverwrite
                    : RadioButton7->isChecked() ? onexist::kSkip
                                                : 0;
    f.tryResume = CheckBox6->isChecked();
    f.overwriteOlder = CheckBox14->isChecked();
    f.names = std::max(0, ComboBox5->currentIndex());
    f.manifest = std::max(0, ComboBox6->currentIndex());
    return f;
}

void TForm4::ApplyEnabling() {
    const FieldEnabling e = EnablingOf(Fields());
    CSpinEdit1->setEnabled(e.retryDelay);
    Label6->setEnabled(e.retryDelay);
    CheckBox15->setEnabled(e.giveUp);
    CSpinEdit3->setEnabled(e.giveUpAfter);
    Label12->setEnabled(e.giveUpAfter);
    RadioButton5->setEnabled(e.overwrite);
}

void TForm4::TrackBar1Change() {
    const int32_t limtip = LimtipOfUnitEntry(ComboBox1->currentIndex());
    Label2->setText(FromUtf8(SpeedLimitCaption(TrackBar1->value(), limtip, Limits())));
}

void TForm4::TrackBar2Change() {
    Label4->setText(FromUtf8(BufferSizeCaption(TrackBar2->value(), Limits())));
}

void TForm4::RadioButton3Click() {
    ApplyEnabling();
}

void TForm4::RadioButton4Click() {
    SettingsFields f = Fields();
    SettleExistChoice(f);
    if (f.existChoice == 0 && RadioButton5->isChecked())
        RadioButton4->setChecked(true);
    ApplyEnabling();
}

void TForm4::CheckBox11Click() {
    TrackBar1Change();
    if (filling_ || !CheckBox11->isChecked())
        return;
    SettingsFields f = Fields();
    VerificationChecked(f);
    CheckBox7->setChecked(f.readBurst);
    CheckBox16->setChecked(f.writeBurst);
}

void TForm4::SpeedButton1Click() {
    const QString chosen = chooseSoundFile(Edit1->text());
    if (!chosen.isEmpty())
        Edit1->setText(chosen);
}

void TForm4::SpeedButton2Click() {
    if (sound_)
        sound_->PlayFile(Edit1->text().toStdString());
}

void TForm4::LockCopyOptions() {
    copyOptionsLocked_ = true;
    CheckBox5->setChecked(policy_.parallel);
    CheckBox7->setChecked(policy_.readBurst);
    CheckBox16->setChecked(policy_.writeBurst);
    CheckBox13->setChecked(policy_.reserve);
    for (QCheckBox* box : {CheckBox5, CheckBox7, CheckBox16, CheckBox11, CheckBox13})
        box->setEnabled(false);
    // The job read its manifest choice when the copy began.
    ComboBox6->setCurrentIndex(FieldsFromRunningJob(policy_, settings_, {}).manifest);
    ComboBox6->setEnabled(false);
    Label14->setEnabled(false);
}

void TForm4::ShowLimits() {
    const SettingsFields running = FieldsFromRunningJob(policy_, settings_, {});
    TrackBar1->setValue(running.speedLimit);
    ComboBox1->setCurrentIndex(running.unitEntry);
    TrackBar2->setValue(running.bufferSize);
    TrackBar1Change();
    TrackBar2Change();
}

void TForm4::BitBtn1Click() {
    const SettingsFields f = Fields();
    ApplyToRunningJob(f, copyOptionsLocked_, policy_, settings_, state_);
    hide();
    emit applied();
    if (resumeOnCrashChosen)
        resumeOnCrashChosen(f.resume);
}

void TForm4::BitBtn2Click() {
    hide();
}

void TForm4::BitBtn3Click() {
    if (!saveAllowed_) {
        warn(MessageOr(text_slot::kWarning, "Warning"),
             MessageOr(text_slot::kCannotSave, "Can't save settings now"));
        return;
    }
    const SettingsFields f = Fields();
    const std::string language =
        f.language.empty() ? std::string() : paths::FindDataFile(settings_.InstallPath, f.language);
    if (!StoreFields(store_, settings_.profile, f, ReadShellCaptions(language))) {
        warn(MessageOr(text_slot::kWarning, "Warning"),
             FromUtf8(
                 FillIn(MessageOr(text_slot::kNotStored, "The settings could not be stored in %s")
                            .toStdString(),
                        {store_.Path()})));
        return;
    }
    if (resumeOnCrashChosen)
        resumeOnCrashChosen(f.resume);
}

}  // namespace rd
