#include "ui/progress/redodori_wnd.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMetaObject>
#include <QMimeData>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <future>
#include <utility>

#include "app/job_control.h"
#include "app/progress_core.h"
#include "app/stderr_lines.h"
#include "engine/engine_context.h"
#include "look/captions.h"
#include "look/language.h"
#include "look/skin_pictures.h"
#include "platform/bus.h"
#include "platform/clock.h"
#include "ui/chooser/chooser_images.h"
#include "ui/chooser/chooser_window.h"
#include "ui/controls/performance_graph.h"
#include "ui/controls/speed_button.h"
#include "ui/progress/built_in_pictures.h"
#include "ui/progress/error_prompt.h"
#include "ui/progress/exists_prompt.h"
#include "ui/progress/names_prompt.h"
#include "ui/progress/progress_display.h"
#include "ui/progress/progress_menu.h"
#include "ui/progress/queue_window.h"
#include "ui/progress/shutdown_countdown.h"
#include "ui/progress/tray_icon.h"
#include "ui/settings/settings_dialog.h"

namespace rd {

namespace {

constexpr uint32_t kWindowText = 0x80000008;
constexpr int kDockDistance = 16;

// The chooser's list entries: settings, minimise, pause, resume (twice), skip, abort.
void SkinChooserEntries(const SkinPictures& skin) {
    const int entries[] = {2, 3, 4, 5, 6, 8, 9};
    const int files[] = {0, 1, 2, 3, 3, 4, 5};
    for (size_t i = 0; i < std::size(entries); ++i)
        if (const QImage& entry = skin.listEntries[files[i]]; !entry.isNull())
            SetChooserImage(entries[i], QIcon(KeyedPixmap(entry, BottomRight(entry))));
}

}  // namespace

TRedoDoriWnd::TRedoDoriWnd(QWidget* parent) : QWidget(parent) {
    setObjectName("RedoDoriWnd");
    setWindowTitle("RedoDori");
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAcceptDrops(true);
    resize(297, 137);
    InstallFontSubstitutes();
    askInWindows = QGuiApplication::platformName() != "offscreen";
    now = [] { return TickMs(); };
    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(500);
    connect(timer1_, &QTimer::timeout, this, &TRedoDoriWnd::Timer1Timer);
    heartbeat_ = new QTimer(this);
    heartbeat_->setInterval(1000);
    BuildControls();
    lastPosition_ = pos();
}

TRedoDoriWnd::~TRedoDoriWnd() = default;

QLabel* TRedoDoriWnd::MakeLabel(const char* name, const QString& text, const QString& font,
                                int size, int left, int top, int width, uint32_t color) {
    auto* label = new QLabel(text, this);
    label->setObjectName(name);
    QFont f(font);
    f.setPointSize(size);
    label->setFont(f);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ColorFromValue(color));
    label->setPalette(palette);
    label->move(left, top);
    SetLabelWidth(label, width);
    label->installEventFilter(this);
    return label;
}

void TRedoDoriWnd::SetLabelWidth(QLabel* label, int width) {
    if (!measured_) {
        pendingWidths_[label] = width;
        return;
    }
    if (width > 0) {
        autoSized_.remove(label);
        label->resize(width, label->sizeHint().height());
    } else {
        autoSized_.insert(label);
        label->adjustSize();
    }
}

// A label without a width of its own takes the text's; one with a width shows what fits of
// the text, so that it never runs into its neighbours.
void TRedoDoriWnd::ShowValue(QLabel* label, const QString& text) {
    if (!measured_) {
        label->setText(text);
        return;
    }
    if (autoSized_.contains(label)) {
        label->setText(text);
        label->adjustSize();
        return;
    }
    label->setText(
        label->fontMetrics().elidedText(text, Qt::ElideRight, label->contentsRect().width()));
}

void TRedoDoriWnd::BuildControls() {
    BuildImages();
    BuildLabels();
    BuildButtons();

    pauseGlyph_ = BuiltInGlyph(Glyph::Pause);
    resumeGlyph_ = BuiltInGlyph(Glyph::Resume);

    graph_ = new TPerformanceGraph(this);
    graph_->setObjectName("PerformanceGraph1");
    graph_->hide();

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ShowMenuAt(mapToGlobal(at)); });
}

void TRedoDoriWnd::BuildImages() {
    image3_ = new QLabel(this);
    image3_->setObjectName("Image3");
    image3_->setPixmap(BuiltInBackground());
    image3_->setGeometry(0, 0, 297, 137);
    image3_->installEventFilter(this);
    setMask(image3_->pixmap().mask());

    image1_ = new QLabel(this);
    image1_->setObjectName("Image1");
    image1_->setPixmap(BuiltInBar(true));
    image1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image1_->setGeometry(16, bar1Top_, 0, image1_->pixmap().height());
    image1_->installEventFilter(this);
    image2_ = new QLabel(this);
    image2_->setObjectName("Image2");
    image2_->setPixmap(BuiltInBar(false));
    image2_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image2_->setGeometry(16, bar2Top_, 0, image2_->pixmap().height());
    image2_->installEventFilter(this);
}

void TRedoDoriWnd::BuildLabels() {
    const QString sans = "MS Sans Serif";
    label1_ = MakeLabel("Label1", "Preprocess", sans, 8, 72, 26, 73, 0xFFFF00);
    label1_->setAlignment(Qt::AlignCenter);
    label10_ = MakeLabel("Label10", "Files:", sans, 8, 16, 64, 0, kWindowText);
    label3_ = MakeLabel("Label3", "Bytes:", sans, 8, 16, 80, 0, kWindowText);
    label2_ = MakeLabel("Label2", "File:", sans, 8, 16, 96, 0, kWindowText);
    label11_ = MakeLabel("Label11", "Processing filelist...", sans, 8, 56, 64, 0, kWindowText);
    label4_ = MakeLabel("Label4", "Processing filelist...", sans, 8, 56, 80, 193, kWindowText);
    label5_ = MakeLabel("Label5", "....", sans, 8, 56, 96, 225, kWindowText);
    label6_ = MakeLabel("Label6", "Speed: unknown", "Arial", 7, 16, 119, 121, 0xDD00);
    label8_ = MakeLabel("Label8", "00:00.00", "Arial", 7, 140, 119, 36, 0x4080FF);
    label9_ = MakeLabel("Label9", "00:00.00", "Arial", 7, 184, 119, 36, 0xFFFF00);
    label9_->setToolTip("Time remaining");
    label7_ = MakeLabel("Label7", "r:0 s:0", "Arial", 7, 228, 119, 61, 0x400080);
    label6Color_ = label6Color2_ = ColorFromValue(0xDD00);
    label7Color_ = label7Color2_ = ColorFromValue(0x400080);
}

void TRedoDoriWnd::BuildButtons() {
    struct ButtonPlace {
        TSpeedButton** button;
        const char* name;
        int left, top;
        Glyph glyph;
        const char* hint;
    };
    const ButtonPlace places[] = {
        {&button1_, "SpeedButton1", 232, 10, Glyph::Minimise, ""},
        {&button2_, "SpeedButton2", 256, 10, Glyph::Abort, ""},
        {&button3_, "SpeedButton3", 232, 35, Glyph::Pause, ""},
        {&button4_, "SpeedButton4", 256, 35, Glyph::Skip, "Skip current file"},
        {&button5_, "SpeedButton5", 256, 60, Glyph::Settings, "RedoDori configuration"},
    };
    for (const ButtonPlace& place : places) {
        auto* button = new TSpeedButton(this);
        button->setObjectName(place.name);
        button->setGeometry(place.left, place.top, 25, 25);
        button->SetGlyph(BuiltInGlyph(place.glyph), 1);
        button->SetFlat(true);
        button->setToolTip(place.hint);
        button->installEventFilter(this);
        *place.button = button;
    }
    connect(button1_, &QAbstractButton::clicked, this, &TRedoDoriWnd::Minimise);
    connect(button2_, &QAbstractButton::clicked, this, &TRedoDoriWnd::SpeedButton2Click);
    connect(button3_, &QAbstractButton::clicked, this, &TRedoDoriWnd::SpeedButton3Click);
    connect(button4_, &QAbstractButton::clicked, this, &TRedoDoriWnd::SpeedButton4Click);
    connect(button5_, &QAbstractButton::clicked, this, [this] {
        if (TForm4* settings = Settings()) {
            settings->show();
            settings->raise();
        }
    });
}

void TRedoDoriWnd::Host(ProgressCore& core) {
    core_ = &core;
    core.SetView(this);
    if (menu_)
        return;
    menu_ = new ProgressMenu(core.Policy(), *this, this);
    connect(menu_, &ProgressMenu::feedback, this, &TRedoDoriWnd::ShowFeedback);
    // The menu's shortcuts (Ctrl+Q) work while the window has the keyboard.
    addActions(menu_->Menu()->actions());
}

void TRedoDoriWnd::Host(ProgressCore& core, JobControl& job) {
    job_ = &job;
    Host(core);
}

void TRedoDoriWnd::EndJob(int code) {
    // A job thread waiting for the shutdown countdown goes on, and sees the end.
    if (completeSettled_) {
        completeSettled_();
        completeSettled_ = nullptr;
    }
    if (job_)
        job_->End(code);
}

void TRedoDoriWnd::LockOptions() {
    // The copy-only options are fixed once the copy starts.
    optionsLocked_ = true;
    if (windows_.settings)
        windows_.settings->LockCopyOptions();
}

// The chooser still open learns the job's size: its caption and free space tell whether the job
// fits.
void TRedoDoriWnd::ListFinished() {
    if (windows_.chooser && windows_.chooser->isVisible())
        windows_.chooser->SetJobTotal(core_->Context().jobTotalBytes.load());
}

void TRedoDoriWnd::SourcesAdded() {
    if (job_)
        job_->SourcesChanged();
}

void TRedoDoriWnd::Open() {
    Restore();
}

void TRedoDoriWnd::Abort() {
    SpeedButton2Click();
}

void TRedoDoriWnd::SaveAndAbort() {
    Savejobandabort1Click();
}

void TRedoDoriWnd::Pause() {
    SpeedButton3Click();
}

void TRedoDoriWnd::Skip() {
    SpeedButton4Click();
}

void TRedoDoriWnd::OpenSettings() {
    button5_->click();
}

bool TRedoDoriWnd::QueueVisible() const {
    return windows_.queue && windows_.queue->isVisible();
}

TRedoDoriQueue* TRedoDoriWnd::Queue() {
    if (!windows_.queue && windows_.makeQueue) {
        windows_.queue = windows_.makeQueue();
        WireQueue();
    }
    return windows_.queue;
}

void TRedoDoriWnd::MakePrompts() {
    if (!windows_.makePrompts)
        return;
    const std::function<void(Windows&)> make = std::exchange(windows_.makePrompts, nullptr);
    make(windows_);
    WirePrompts();
    if (windows_.language && core_)
        CaptionPrompts(*windows_.language, core_->Context().messages);
}

void TRedoDoriWnd::WirePrompts() {
    if (windows_.errorPrompt) {
        connect(windows_.errorPrompt, &TForm3::answered, this,
                [this](ErrorAnswer answer, std::optional<ErrorPolicy> newPolicy) {
                    core_->Answer(answer, newPolicy);
                });
        connect(windows_.errorPrompt, &TForm3::endJobRequested, this,
                [this](int code) { core_->Abort(code); });
    }
    if (windows_.existsPrompt) {
        connect(windows_.existsPrompt, &TForm5::answered, this,
                [this](ExistsAnswer answer, std::optional<ExistsPolicy> newPolicy) {
                    core_->Answer(answer, newPolicy);
                });
        connect(windows_.existsPrompt, &TForm5::endJobRequested, this,
                [this](int code) { core_->Abort(code); });
    }
    if (windows_.namesPrompt) {
        connect(windows_.namesPrompt, &TFormNames::answered, this,
                [this](NamesAnswer answer) { core_->Answer(answer); });
        connect(windows_.namesPrompt, &TFormNames::endJobRequested, this,
                [this](int code) { core_->Abort(code); });
    }
    if (windows_.countdown)
        connect(windows_.countdown, &TForm6::endJobRequested, this,
                [this](int code) { EndJob(code); });
}

TForm4* TRedoDoriWnd::Settings() {
    if (!windows_.settings && windows_.makeSettings) {
        windows_.settings = windows_.makeSettings();
        WireSettings();
    }
    return windows_.settings;
}

void TRedoDoriWnd::WireSettings() {
    // The keys' limits show in the settings dialog at once.
    if (menu_)
        connect(menu_, &ProgressMenu::feedback, windows_.settings, &TForm4::ShowLimits);
    if (optionsLocked_)
        windows_.settings->LockCopyOptions();
}

void TRedoDoriWnd::WireQueue() {
    if (windows_.language)
        windows_.queue->ApplyLanguage(*windows_.language);
    SkinCompanions();
    connect(windows_.queue, &TRedoDoriQueue::pathsDropped, this, [this](const QStringList& paths) {
        std::vector<std::string> dropped;
        for (const QString& path : paths)
            dropped.push_back(path.toStdString());
        core_->AddDroppedPaths(dropped);
        windows_.queue->Refresh();
    });
}

void TRedoDoriWnd::ResumeChanged() {
    if (job_)
        job_->SourcesChanged();
}

bool TRedoDoriWnd::Paused() const {
    return core_ && core_->Paused();
}

void TRedoDoriWnd::SetWindows(const Windows& windows) {
    windows_ = windows;
    SkinCompanions();
    if (windows_.queue)
        WireQueue();
    WirePrompts();
    if (windows_.settings)
        WireSettings();
    if (windows_.tray && windows_.tray->Icon())
        connect(windows_.tray->Icon(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Context) {
                        raise();
                        ShowMenuAt(QCursor::pos());
                    } else if (reason == QSystemTrayIcon::DoubleClick) {
                        Restore();
                    }
                });
}

void TRedoDoriWnd::ApplyLanguage(const Language& language, const MessageTable& messages) {
    TranslateWindow(*this, section::kProgress, language);
    // The titles keep their places and take the width their new texts need.
    for (QLabel* title : {label10_, label3_, label2_, label11_})
        SetLabelWidth(title, 0);
    if (menu_)
        menu_->ApplyLanguage(language, messages);
    if (windows_.queue)
        windows_.queue->ApplyLanguage(language);
    // The figures of a running job come back at once instead of the design texts.
    displayedFile_.clear();
    if (core_ && core_->Context().copyStartedAt)
        Timer1Timer();
    else if (core_ && !core_->CurrentFileName().empty())
        ShowFileName(FromUtf8(core_->CurrentFileName()));
}

void TRedoDoriWnd::CaptionPrompts(const Language& language, const MessageTable& messages) {
    if (windows_.errorPrompt)
        windows_.errorPrompt->ApplyLanguage(language, messages);
    if (windows_.existsPrompt)
        windows_.existsPrompt->Translate(section::kExistsPrompt, language);
    if (windows_.namesPrompt)
        windows_.namesPrompt->Translate(section::kNamesPrompt, language);
    if (windows_.countdown)
        windows_.countdown->ApplyLanguage(language);
}

void TRedoDoriWnd::JobStarted(bool consoleAttached, bus::Endpoint* endpoint) {
    timer1_->start();
    if (consoleAttached) {
        connect(heartbeat_, &QTimer::timeout, this, [this] { core_->Heartbeat(); });
        heartbeat_->start();
    }
    if (endpoint) {
        packets_ = new QSocketNotifier(endpoint->Fd(), QSocketNotifier::Read, this);
        connect(packets_, &QSocketNotifier::activated, this, [this] { core_->ServePackets(); });
    }
}

void TRedoDoriWnd::Wake() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (core_)
                core_->Service();
        },
        Qt::QueuedConnection);
}

void TRedoDoriWnd::OnWindowThread(const std::function<void()>& call) {
    if (QThread::currentThread() == thread())
        call();
    else
        QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
}

// Straight from the job's thread: the queue and the intake's end have their locks, and a round
// trip to the window for each of a million listed sources cost more than their walk.
SourceQueue::Next TRedoDoriWnd::NextSource() {
    return core_ ? core_->NextSource() : SourceQueue::Next{};
}

// The texts show at the next tick; a round trip to the window per file would only slow down
// jobs of many small files.
void TRedoDoriWnd::ShowFile(std::optional<std::string> name) {
    if (core_)
        core_->ShowFile(std::move(name));
}

void TRedoDoriWnd::ShowStatus(const std::string& text) {
    if (core_)
        core_->ShowStatus(text);
}

void TRedoDoriWnd::ListComplete(uint64_t) {
    OnWindowThread([this] {
        if (core_)
            core_->ListComplete();
    });
}

void TRedoDoriWnd::OptionsLocked() {
    OnWindowThread([this] {
        if (!core_)
            return;
        // The prompts take the captions of the language the job copies in.
        if (windows_.language)
            CaptionPrompts(*windows_.language, core_->Context().messages);
        core_->OptionsLocked();
    });
}

void TRedoDoriWnd::Complete(CompletionStep step) {
    if (!core_)
        return;
    if (QThread::currentThread() == thread()) {
        core_->Complete(step);
        return;
    }
    // The job thread waits until the question has been answered, or until the countdown has
    // ended the job.
    auto settled = std::make_shared<std::promise<void>>();
    std::future<void> done = settled->get_future();
    QMetaObject::invokeMethod(
        this,
        [this, step, settled] {
            completeSettled_ = [settled] { settled->set_value(); };
            core_->Complete(step);
        },
        Qt::QueuedConnection);
    done.wait();
}

void TRedoDoriWnd::RequestEnd(int code) {
    if (core_)
        core_->RequestEnd(code);
}

void TRedoDoriWnd::ThreadEnded() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (job_)
                job_->JobThreadEnded();
        },
        Qt::QueuedConnection);
}

void TRedoDoriWnd::UpdateFigures() {
    // The figures of the history line, the copy time up to now included.
    OnWindowThread([this] {
        if (core_)
            core_->Tick(averageSpeed_);
    });
}

void TRedoDoriWnd::SetBar(QLabel* bar, int mode, int top, uint64_t done, uint64_t listed) {
    const QSize picture = bar->pixmap().size();
    if (mode == 2) {
        bar->resize(picture.width(), BarExtent(picture.height(), done, listed));
    } else if (mode == 3) {
        const int height = BarExtent(picture.height(), done, listed);
        bar->setGeometry(bar->x(), top + picture.height() - height, picture.width(), height);
    } else {
        bar->resize(BarExtent(picture.width(), done, listed), picture.height());
    }
}

void TRedoDoriWnd::ApplySkin(const SkinPictures& skin) {
    const SkinDescription& d = skin.description;
    ApplySkinGraph(d.graph);
    setWindowOpacity(d.blend ? (255 - d.blend) / 255.0 : 1.0);
    for (const SkinLabel& look : d.labels)
        ApplySkinLabel(look);
    // Before the buttons: a glyph the skin lacks is taken from these entries.
    SkinChooserEntries(skin);
    ApplySkinButtons(skin);
    ApplySkinBars(skin);
    ApplySkinBackground(skin.main);
    skin_ = std::make_unique<SkinPictures>(skin);
    SkinCompanions();
}

void TRedoDoriWnd::ApplySkinGraph(const SkinGraph& look) {
    if (look.visible) {
        graph_->setGeometry(look.left, look.top, look.width, look.height);
        graph_->SetBackColor(ColorFromValue(look.backColor));
        graph_->SetForeColor(ColorFromValue(look.foreColor));
        graph_->SetStepSize(look.stepSize);
        graph_->SetGraphKind(look.style);
        graph_->show();
    } else {
        graph_->hide();
    }
}

void TRedoDoriWnd::ApplySkinLabel(const SkinLabel& look) {
    auto* label = findChild<QLabel*>(QString::fromStdString(look.section));
    QFont font = label->font();
    font.setFamily(QString::fromStdString(look.font));
    if (look.style) {
        font.setBold(*look.style & 1);
        font.setItalic(*look.style & 2);
        font.setUnderline(*look.style & 4);
        font.setStrikeOut(*look.style & 8);
    }
    font.setPointSize(look.size);
    label->setFont(font);
    if (look.caption)
        label->setText(QString::fromStdString(*look.caption));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ColorFromValue(look.color));
    label->setPalette(palette);
    SetLabelWidth(label, look.width);
    label->move(look.left, look.top);
    if (label == label6_) {
        label6Color_ = ColorFromValue(look.color);
        label6Color2_ = ColorFromValue(look.color2);
    } else if (label == label7_) {
        label7Color_ = ColorFromValue(look.color);
        label7Color2_ = ColorFromValue(look.color2);
    }
}

void TRedoDoriWnd::ApplySkinButtons(const SkinPictures& skin) {
    const SkinDescription& d = skin.description;
    // A glyph file the skin lacks gives the chooser's entry, or the built-in glyph while no
    // skin gave one; an Image flag of 0 gives none.
    glyphStates_ = d.buttonStates ? 4 : 1;
    auto glyph = [&](SkinGlyph which, Glyph builtIn, int entry, bool wanted, int& states) {
        const QImage& picture = skin.glyphs[static_cast<int>(which)];
        states = picture.isNull() ? 1 : glyphStates_;
        if (!wanted)
            return QPixmap();
        if (!picture.isNull())
            return KeyedPixmap(picture, BottomLeft(picture));
        return ChooserImageFromSkin(entry) ? ChooserImage(entry).pixmap(16, 16)
                                           : BuiltInGlyph(builtIn);
    };
    const struct {
        TSpeedButton* button;
        SkinGlyph glyph;
        Glyph builtIn;
        int entry;
    } buttons[] = {
        {button1_, SkinGlyph::Minimise, Glyph::Minimise, 3},
        {button2_, SkinGlyph::Abort, Glyph::Abort, 9},
        {button3_, SkinGlyph::Pause, Glyph::Pause, 4},
        {button4_, SkinGlyph::Skip, Glyph::Skip, 8},
        {button5_, SkinGlyph::Settings, Glyph::Settings, 2},
    };
    for (size_t i = 0; i < std::size(buttons); ++i) {
        const SkinButton& look = d.buttons[i];
        TSpeedButton* button = buttons[i].button;
        button->setGeometry(look.left, look.top, look.width, look.height);
        button->setText(QString::fromStdString(look.caption));
        button->SetFlat(look.flat);
        int states = 1;
        const QPixmap picture =
            glyph(buttons[i].glyph, buttons[i].builtIn, buttons[i].entry, look.image, states);
        if (button == button3_) {
            pauseGlyph_ = picture;
            resumeGlyph_ = glyph(SkinGlyph::Resume, Glyph::Resume, 5, look.image, states);
            runningText_ = QString::fromStdString(look.caption);
            pausedText_ = QString::fromStdString(look.caption2);
        } else {
            button->SetGlyph(picture, states);
        }
    }
    ShowPaused(pausedLook_);
}

void TRedoDoriWnd::ApplySkinBars(const SkinPictures& skin) {
    const SkinDescription& d = skin.description;
    bar1Mode_ = d.bars[0].mode;
    bar2Mode_ = d.bars[1].mode;
    bar1Top_ = d.bars[0].top;
    bar2Top_ = d.bars[1].top;
    const QImage* barPictures[] = {&skin.progback, &skin.progfore};
    QLabel* bars[] = {image1_, image2_};
    for (int i = 0; i < 2; ++i) {
        if (!barPictures[i]->isNull())
            bars[i]->setPixmap(KeyedPixmap(*barPictures[i], BottomLeft(*barPictures[i])));
        const QSize picture = bars[i]->pixmap().size();
        const int mode = d.bars[i].mode;
        const QSize empty =
            mode == 2 || mode == 3 ? QSize(picture.width(), 0) : QSize(0, picture.height());
        bars[i]->setGeometry(QRect(QPoint(d.bars[i].left, d.bars[i].top), empty));
    }
}

void TRedoDoriWnd::ApplySkinBackground(const QImage& picture) {
    if (picture.isNull())
        return;
    image3_->setPixmap(QPixmap::fromImage(picture));
    image3_->setGeometry(QRect(QPoint(0, 0), picture.size()));
    lastPosition_ = pos();
    // A size stored under another skin never cuts this one's buttons and texts off.
    setMinimumSize(picture.size());
    resize(picture.size());
    setMask(OutlineFromPicture(picture));
}

bool TRedoDoriWnd::UseSkin(std::function<SkinPictures()> load) {
    if (!skinNow_) {
        waitingSkin_ = std::move(load);
        return false;
    }
    waitingSkin_ = nullptr;
    ApplySkin(load());
    return true;
}

void TRedoDoriWnd::MeasureTexts() {
    if (measured_)
        return;
    measured_ = true;
    for (auto pending = pendingWidths_.cbegin(); pending != pendingWidths_.cend(); ++pending)
        SetLabelWidth(pending.key(), pending.value());
    pendingWidths_.clear();
    // The whole texts kept meanwhile are cut to their labels now.
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label != label5_ && !label->text().isEmpty() && !autoSized_.contains(label))
            ShowValue(label, label->text());
    }
    if (!displayedFile_.isEmpty())
        ShowFileName(displayedFile_);
}

void TRedoDoriWnd::ApplyWaitingSkin() {
    MeasureTexts();
    skinNow_ = true;
    if (const std::function<SkinPictures()> load = std::exchange(waitingSkin_, nullptr))
        ApplySkin(load());
}

void TRedoDoriWnd::SkinCompanions() {
    if (!skin_)
        return;
    if (windows_.tray) {
        QVector<QIcon> images = windows_.tray->Images();
        for (int n = 1; n <= 32 && n < images.size(); ++n)
            if (!skin_->tray[n].isNull())
                images[n] = QIcon(KeyedPixmap(skin_->tray[n], BottomRight(skin_->tray[n])));
        windows_.tray->SetImages(images);
    }
    if (TRedoDoriQueue* queue = windows_.queue) {
        queue->ApplySkin(*skin_);
        queue->resize(image3_->size());
        queue->move(x(), y() + image3_->height());
        queue->RebuildOutline();
    }
}

void TRedoDoriWnd::SetBarFractions(uint64_t done, uint64_t listed, uint32_t percent) {
    // The total bar keeps its extent while nothing is listed.
    if (listed)
        SetBar(image1_, bar1Mode_, bar1Top_, done, listed);
    SetBar(image2_, bar2Mode_, bar2Top_, std::min<uint32_t>(percent, 100), 100);
}

void TRedoDoriWnd::UpdateTray(int index) {
    trayIndex_ = index;
    if (windows_.tray)
        windows_.tray->Set(index);
}

void TRedoDoriWnd::ShowFileName(const QString& name) {
    label5_->setToolTip(name);
    displayedFile_ = name;
    if (!measured_) {
        label5_->setText(name);
        return;
    }
    const QFontMetrics metrics(label5_->font());
    const int room = label5_->width();
    const QString shown = ShortenFileName(
        name, [&](const QString& text) { return metrics.horizontalAdvance(text) <= room; });
    label5_->setText(shown);
}

void TRedoDoriWnd::Timer1Timer() {
    if (!core_)
        return;
    EngineContext& ctx = core_->Context();
    // While the list is built the tick only shows what the listing reports.
    if (!ctx.copyStartedAt) {
        const std::string status = core_->StatusText();
        if (!status.empty())
            label4_->setText(FromUtf8(status));
        const QString name = FromUtf8(core_->CurrentFileName());
        if (!name.isEmpty() && name != displayedFile_)
            ShowFileName(name);
        return;
    }
    const ProgressTexts texts = core_->Tick(averageSpeed_);
    const JobCounters& c = ctx.state.counters;
    const uint64_t done = c.doneBytes, listed = c.listedBytes;

    ShowValue(label7_, FromUtf8(texts.counts));
    QPalette palette = label7_->palette();
    palette.setColor(QPalette::WindowText, c.retries || c.skips ? label7Color2_ : label7Color_);
    label7_->setPalette(palette);
    SetBarFractions(done, listed, c.filePercent);
    if (ctx.state.flags.Terminating || !menu_->FeedbackActive(now()))
        ShowValue(label1_, FromUtf8(texts.percent));
    if (listed)
        UpdateTray(TrayImageIndex(done, listed));
    ShowValue(label4_, FromUtf8(texts.bytes));
    ShowValue(label11_, FromUtf8(texts.files));
    ShowValue(label6_, FromUtf8(texts.speed));
    if (graph_->isVisible()) {
        graph_->DataPoint(graph_->ForeColor(), std::max<int>(1, static_cast<int>(c.speed.load())));
        graph_->Update();
    }
    palette = label6_->palette();
    palette.setColor(QPalette::WindowText,
                     ctx.policy.speedLimit < kLastPosition ? label6Color2_ : label6Color_);
    label6_->setPalette(palette);
    ShowValue(label8_, FromUtf8(texts.elapsed));
    if (!texts.remaining.empty())
        ShowValue(label9_, FromUtf8(texts.remaining));

    const QString title = "RedoDori-" + label1_->text() + " {" + label5_->text() + "}";
    setWindowTitle(title);
    tip_ = ShortenTip(title);
    if (windows_.tray)
        windows_.tray->SetTip(tip_);

    const QString current = FromUtf8(core_->CurrentFileName());
    if (current != displayedFile_)
        ShowFileName(current);
    if (windows_.queue)
        windows_.queue->Refresh();
}

bool TRedoDoriWnd::ShowQuestion(const Question& question) {
    if (!askInWindows)
        return false;
    if (question.kind != QuestionKind::Allocation)
        MakePrompts();
    switch (question.kind) {
        case QuestionKind::Allocation: AskAboutAllocation(); return true;
        case QuestionKind::Error:
            if (!windows_.errorPrompt)
                return false;
            windows_.errorPrompt->Pose(question.error, core_->Context().messages);
            UpdateTray(15);
            return true;
        case QuestionKind::Exists:
            if (!windows_.existsPrompt)
                return false;
            windows_.existsPrompt->Pose(question.exists, core_->Context().messages);
            UpdateTray(0);
            return true;
        case QuestionKind::Names:
            if (!windows_.namesPrompt)
                return false;
            windows_.namesPrompt->Pose(question.names, core_->Context().messages);
            UpdateTray(kExistsTrayImage);
            return true;
    }
    return false;
}

void TRedoDoriWnd::AskAboutAllocation() {
    auto* box =
        new QMessageBox(QMessageBox::Critical, "RedoDori", kAllocationText,
                        QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box] {
        const QMessageBox::StandardButton button = box->standardButton(box->clickedButton());
        if (core_)
            core_->Answer(button == QMessageBox::Retry    ? AllocationFailure::Answer::Retry
                          : button == QMessageBox::Ignore ? AllocationFailure::Answer::Ignore
                                                          : AllocationFailure::Answer::Abort);
    });
    box->open();
}

void TRedoDoriWnd::ShowNotice(NoticeIcon icon, const std::string& caption,
                              const std::string& text) {
    if (!askInWindows) {
        SayOnStderr(caption + ": " + text);
        return;
    }
    const QMessageBox::Icon shown = icon == NoticeIcon::Error      ? QMessageBox::Critical
                                    : icon == NoticeIcon::Warning  ? QMessageBox::Warning
                                    : icon == NoticeIcon::Question ? QMessageBox::Question
                                                                   : QMessageBox::Information;
    auto* box = new QMessageBox(shown, FromUtf8(caption), FromUtf8(text), QMessageBox::Ok, this);
    if (core_)
        CaptionButtons(*box, core_->Context().messages);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void TRedoDoriWnd::ShowPaused(bool paused) {
    pausedLook_ = paused;
    button3_->SetGlyph(paused ? resumeGlyph_ : pauseGlyph_, glyphStates_);
    button3_->setText(paused ? pausedText_ : runningText_);
    if (!core_ || !core_->Context().copyStartedAt)
        return;
    if (paused)
        timer1_->stop();
    else
        timer1_->start();
}

void TRedoDoriWnd::SpeedButton3Click() {
    if (core_)
        core_->TogglePause(true);
}

void TRedoDoriWnd::SpeedButton4Click() {
    if (core_)
        core_->SkipFile();
}

void TRedoDoriWnd::SpeedButton2Click() {
    const bool shift = QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
    if (core_)
        core_->Abort(shift ? 2 : 0);
}

void TRedoDoriWnd::Savejobandabort1Click() {
    if (core_)
        core_->Abort(2);
}

void TRedoDoriWnd::Minimise() {
    if (windows_.queue)
        windows_.queue->HideForMinimise();
    // Without a notification area there is no icon to come back by: the task bar keeps it.
    if (windows_.tray && windows_.tray->Icon())
        hide();
    else
        showMinimized();
}

void TRedoDoriWnd::Restore() {
    ApplyWaitingSkin();
    if (windows_.queue)
        windows_.queue->ShowAfterRestore();
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void TRedoDoriWnd::showEvent(QShowEvent* event) {
    // Whoever shows the window without applying the waiting skin first: it is applied now.
    ApplyWaitingSkin();
    QWidget::showEvent(event);
}

void TRedoDoriWnd::changeEvent(QEvent* event) {
    // Back from the task bar: the queue comes back with the window.
    if (event->type() == QEvent::WindowStateChange && !isMinimized() && windows_.queue)
        windows_.queue->ShowAfterRestore();
    QWidget::changeEvent(event);
}

void TRedoDoriWnd::ToggleQueue() {
    TRedoDoriQueue* queue = Queue();
    if (!queue)
        return;
    if (queue->isVisible()) {
        queue->hide();
        return;
    }
    queue->Refresh();
    queue->show();
}

void TRedoDoriWnd::ShowCompletion(CompletionStep step) {
    setEnabled(false);
    if (step == CompletionStep::ShutdownCountdown) {
        MakePrompts();
        if (windows_.countdown && core_)
            windows_.countdown->Start(core_->Policy().shutdownDelay);
        return;
    }
    const QString text = core_ ? FromUtf8(core_->Context().messages.Text(10)) : QString();
    // The job ends once the question is answered, whatever the answer.
    asker_->AskComplete(text, [this](bool yes) {
        if (yes && core_) {
            std::vector<std::string> folders;
            const DestTable& dests = core_->Context().dests;
            for (uint32_t i = 0; i < dests.Count(); ++i)
                folders.push_back(dests[i].root);
            asker_->OpenFolders(folders);
        }
        EndJob(0);
    });
}

void TRedoDoriWnd::AskComplete(const QString& text, std::function<void(bool yes)> answered) {
    if (!askInWindows) {
        std::fputs("redodori: no one to ask whether to open the destinations: not opened\n",
                   stderr);
        answered(false);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Question, "RedoDori", text,
                                QMessageBox::Yes | QMessageBox::No);
    if (core_)
        CaptionButtons(*box, core_->Context().messages);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    connect(box, &QMessageBox::finished, this,
            [answered = std::move(answered)](int result) { answered(result == QMessageBox::Yes); });
    box->open();
}

void TRedoDoriWnd::OpenFolders(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders)
        QDesktopServices::openUrl(QUrl::fromLocalFile(FromUtf8(folder.empty() ? "/" : folder)));
}

void TRedoDoriWnd::ShowFeedback(const QString& text) {
    ShowValue(label1_, text);
}

void TRedoDoriWnd::ShowMenuAt(const QPoint& global) {
    menu_->Menu()->popup(global);
}

void TRedoDoriWnd::DockQueue() {
    TRedoDoriQueue* queue = windows_.queue;
    const QPoint at = pos();
    if (!queue) {
        lastPosition_ = at;
        return;
    }
    const QSize background = image3_->size();
    const QRect q = queue->frameGeometry();
    const QPoint previous = lastPosition_;
    dockSide_ = 0;
    if (std::abs(q.top() - (previous.y() + background.height())) < kDockDistance)
        dockSide_ = 1;
    if (std::abs(q.left() - (previous.x() + background.width())) < kDockDistance)
        dockSide_ = 2;
    if (std::abs(q.top() + q.height() - previous.y()) < kDockDistance)
        dockSide_ = 3;
    if (std::abs(q.left() + q.width() - previous.x()) < kDockDistance)
        dockSide_ = 4;
    switch (dockSide_) {
        case 1: queue->move(at.x(), at.y() + background.height()); break;
        case 2: queue->move(at.x() + background.width(), at.y()); break;
        case 3: queue->move(at.x(), at.y() - q.height()); break;
        case 4: queue->move(at.x() - q.width(), at.y()); break;
        default: break;
    }
    lastPosition_ = at;
}

void TRedoDoriWnd::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    DockQueue();
}

void TRedoDoriWnd::keyPressEvent(QKeyEvent* event) {
    if (menu_ && menu_->HandleKey(event->key(), event->modifiers())) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TRedoDoriWnd::closeEvent(QCloseEvent* event) {
    // The window is never closed by the system: closing it ends the job.
    event->ignore();
    if (core_)
        core_->RequestEnd(0);
}

void TRedoDoriWnd::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TRedoDoriWnd::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    if (core_)
        core_->AddDroppedPaths(paths);
    if (windows_.queue)
        windows_.queue->Refresh();
    event->acceptProposedAction();
}

bool TRedoDoriWnd::eventFilter(QObject* watched, QEvent* event) {
    auto* control = qobject_cast<QWidget*>(watched);
    if (!control || control->parentWidget() != this)
        return QWidget::eventFilter(watched, event);
    const bool button = qobject_cast<TSpeedButton*>(watched) != nullptr;
    switch (event->type()) {
        case QEvent::ContextMenu:
            ShowMenuAt(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        case QEvent::MouseButtonDblClick:
            if (watched == label6_) {
                averageSpeed_ = !averageSpeed_;
                return true;
            }
            break;
        case QEvent::MouseButtonPress:
            if (!button && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                dragging_ = true;
                dragOffset_ = pos() - static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
                return true;
            }
            break;
        case QEvent::MouseMove:
            if (dragging_) {
                move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() + dragOffset_);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (dragging_) {
                dragging_ = false;
                return true;
            }
            break;
        default: break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace rd
