// The progress window: the engine's messages arrive here and are handled on the window
// thread; its tick shows the job's progress in labels, bars, the title and the tray icon.
#pragma once

#include <QHash>
#include <QLabel>
#include <QPixmap>
#include <QPoint>
#include <QSet>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/progress_view.h"
#include "engine/job.h"
#include "engine/user_notice.h"
#include "ui/progress/completion_asker.h"
#include "ui/progress/menu_commands.h"

class QImage;
class QSocketNotifier;
class QTimer;

namespace rd {

class JobControl;
class Language;
class MessageTable;
class TForm1;
class ProgressCore;
class ProgressMenu;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TFormNames;
class TPerformanceGraph;
class TRedoDoriQueue;
class TSpeedButton;
class TrayIcon;
struct Question;
struct SkinGraph;
struct SkinLabel;
struct SkinPictures;
namespace bus {
class Endpoint;
}  // namespace bus

// The job's host for the engine, the core's view, the commands of its menu and the asker of the
// completion question.
class TRedoDoriWnd : public QWidget,
                     public JobHost,
                     public ProgressView,
                     private MenuCommands,
                     private CompletionAsker {
    Q_OBJECT

public:
    // The other windows the progress window works with; each may be missing.
    struct Windows {
        TRedoDoriQueue* queue = nullptr;
        // Where `queue` is not given: makes the queue window when it is first to show. Its table
        // loads the fonts as it is made, which a job that shows no window never needs.
        std::function<TRedoDoriQueue*()> makeQueue;
        TForm3* errorPrompt = nullptr;
        TForm5* existsPrompt = nullptr;
        TFormNames* namesPrompt = nullptr;
        TForm6* countdown = nullptr;
        TForm4* settings = nullptr;
        // Where the prompts and the countdown are not given: fills them in when a question or the
        // countdown first needs them (their texts load the fonts as they are made).
        std::function<void(Windows& windows)> makePrompts;
        // Where `settings` is not given: makes the settings dialog when it is first to show (its
        // boxes load the fonts as they are made).
        std::function<TForm4*()> makeSettings;
        TrayIcon* tray = nullptr;
        // The destination chooser of a job that started without a target.
        TForm1* chooser = nullptr;
        // The language the prompts take their captions from when the job becomes ready.
        const Language* language = nullptr;
    };

    explicit TRedoDoriWnd(QWidget* parent = nullptr);
    ~TRedoDoriWnd() override;

    // Serves `core` from now on: the engine's messages go to it on the window thread, and the
    // window is its view.
    void Host(ProgressCore& core);
    // Serves `core` and the session `job` that owns it: the end of the job, its thread's end
    // and the changes to its resume record go to `job`.
    void Host(ProgressCore& core, JobControl& job);
    // The prompts, the queue, the countdown and the tray; also wires their answers.
    void SetWindows(const Windows& windows);
    // The queue window, made now if it is made on first need; null when there is none.
    TRedoDoriQueue* Queue();
    // Makes the prompts and the countdown now if they are made on first need, and wires them.
    void MakePrompts();
    // After the intake: the wrapper's heartbeat when a console wrapper is attached, and the
    // packets to the window's endpoint, if there is one.
    void JobStarted(bool consoleAttached, bus::Endpoint* endpoint);
    // The completion question is asked through `asker` from now on, instead of the window's own
    // message box; `asker` outlives the window.
    void SetCompletionAsker(CompletionAsker& asker) { asker_ = &asker; }

    // The job's host: each request is handled on the window thread, the job's thread waiting
    // for it; the texts and the end request return at once. A question waits for its answer
    // while the window goes on serving everything else.
    SourceQueue::Next NextSource() override;
    void ShowFile(std::optional<std::string> name) override;
    void ShowStatus(const std::string& text) override;
    void ListComplete(uint64_t totalBytes) override;
    void OptionsLocked() override;
    void Complete(CompletionStep step) override;
    void RequestEnd(int code) override;
    void UpdateFigures() override;
    void ThreadEnded() override;

    // The core's view, on the window thread but for Wake. EndJob lets a job thread that waits
    // for the completion go on before the job ends.
    void Wake() override;
    void EndJob(int code) override;
    void LockOptions() override;
    void ListFinished() override;
    // The completion: the question that opens the destinations, or the shutdown countdown.
    void ShowCompletion(CompletionStep step) override;
    bool ShowQuestion(const Question& question) override;
    void ShowPaused(bool paused) override;
    void SourcesAdded() override;
    // A notice for the user in a message box that does not hold up the window; on stderr
    // without a display.
    void ShowNotice(NoticeIcon icon, const std::string& caption, const std::string& text) override;
    // Docks the queue window on the side it is within 16 pixels of, from where the window was.
    void DockQueue() override;

    // Re-captions the window from the "RedoDori" section of `language`, its menu from "Menu",
    // and the queue window; the texts made in code come from `messages`.
    void ApplyLanguage(const Language& language, const MessageTable& messages);
    // Re-captions the error, existing-file and names prompts and the shutdown countdown; the job
    // does this when it starts to copy.
    void CaptionPrompts(const Language& language, const MessageTable& messages);
    // Takes the look of `skin`: background and outline, bars, glyphs, label layout, buttons,
    // graph, translucency and tray images; whatever the skin lacks keeps its current look. The
    // queue window is sized like the background and placed below the window.
    void ApplySkin(const SkinPictures& skin);
    // Takes the skin `load` reads: at once when the window has shown (true), else just before
    // it first shows (false), so that a job that never shows the window decodes no pictures. A
    // later call replaces a skin still waiting.
    bool UseSkin(std::function<SkinPictures()> load);
    // Applies the skin UseSkin left waiting, if any; from now on UseSkin applies at once.
    void ApplyWaitingSkin();
    // The bars' extents for `done` of `listed` bytes and the current file's `percent`.
    void SetBarFractions(uint64_t done, uint64_t listed, uint32_t percent);

    // The tick: 500 ms while copying.
    void Timer1Timer();
    // The window's operations, also reached from the menu, the keys and the wrapper.
    void SpeedButton3Click();
    void SpeedButton4Click();
    // Abort: keeps the job for resume when Shift is held.
    void SpeedButton2Click();
    void Savejobandabort1Click();
    void Minimise();
    void Restore();
    void ToggleQueue() override;

    // Questions are shown in the prompt windows; off screen no one would see them, and they
    // keep their preset answers instead.
    bool askInWindows = true;
    // Milliseconds of the tick clock: a value, which tests set to a clock of their own.
    std::function<uint64_t()> now;

    ProgressMenu* Menu() const { return menu_; }
    // The position the queue window docks against: the window's left and top at the last
    // position change.
    QPoint LastPosition() const { return lastPosition_; }

protected:
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The menu's commands.
    void Open() override;
    void Abort() override;
    void SaveAndAbort() override;
    void Pause() override;
    void Skip() override;
    void OpenSettings() override;
    bool QueueVisible() const override;
    void ResumeChanged() override;
    bool Paused() const override;
    // The completion question in a message box; off screen no one is asked and it is answered
    // No. The folders open in the file manager.
    void AskComplete(const QString& text, std::function<void(bool yes)> answered) override;
    void OpenFolders(const std::vector<std::string>& folders) override;

    // Runs `call` on the window thread and waits for it.
    void OnWindowThread(const std::function<void()>& call);
    void BuildControls();
    void BuildImages();
    void BuildLabels();
    void BuildButtons();
    // `width` 0: the label sizes itself to its text.
    void SetLabelWidth(QLabel* label, int width);
    // Sizes the labels and cuts their texts to them. Both need the fonts, which take long to
    // load, so a window that never shows (a job without a window) never measures: until the
    // window is about to show, a label keeps its whole text and its width waits.
    void MeasureTexts();
    void ShowValue(QLabel* label, const QString& text);
    QLabel* MakeLabel(const char* name, const QString& text, const QString& font, int size,
                      int left, int top, int width, uint32_t color);
    // The buffer-allocation question in a message box; its button answers it.
    void AskAboutAllocation();
    void ShowFeedback(const QString& text);
    void SetBar(QLabel* bar, int mode, int top, uint64_t done, uint64_t listed);
    // The parts of ApplySkin, in the order it takes them.
    void ApplySkinGraph(const SkinGraph& look);
    void ApplySkinLabel(const SkinLabel& look);
    void ApplySkinButtons(const SkinPictures& skin);
    void ApplySkinBars(const SkinPictures& skin);
    void ApplySkinBackground(const QImage& picture);
    void ShowFileName(const QString& name);
    void ShowMenuAt(const QPoint& global);
    void UpdateTray(int index);
    // Captions, skins and wires a queue window just given or made.
    void WireQueue();
    // Wires the answers of the prompts and the countdown given or made.
    void WirePrompts();
    // The settings dialog, made now if it is made on first need, and wired.
    TForm4* Settings();
    void WireSettings();
    // The skin's part for the tray and the queue window, once they are known.
    void SkinCompanions();

    JobControl* job_ = nullptr;
    ProgressCore* core_ = nullptr;
    CompletionAsker* asker_ = this;
    Windows windows_;
    ProgressMenu* menu_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* heartbeat_ = nullptr;
    QSocketNotifier* packets_ = nullptr;

    QLabel* image3_ = nullptr;
    QLabel* image1_ = nullptr;
    QLabel* image2_ = nullptr;
    QSet<const QLabel*> autoSized_;
    bool measured_ = false;
    bool optionsLocked_ = false;
    QHash<QLabel*, int> pendingWidths_;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label3_ = nullptr;
    QLabel* label4_ = nullptr;
    QLabel* label5_ = nullptr;
    QLabel* label6_ = nullptr;
    QLabel* label7_ = nullptr;
    QLabel* label8_ = nullptr;
    QLabel* label9_ = nullptr;
    QLabel* label10_ = nullptr;
    QLabel* label11_ = nullptr;
    TSpeedButton* button1_ = nullptr;
    TSpeedButton* button2_ = nullptr;
    TSpeedButton* button3_ = nullptr;
    TSpeedButton* button4_ = nullptr;
    TSpeedButton* button5_ = nullptr;
    TPerformanceGraph* graph_ = nullptr;

    // The bars: growth mode (1 right, 2 down, 3 up) and the top they grow from.
    int bar1Mode_ = 1, bar2Mode_ = 1;
    int bar1Top_ = 8, bar2Top_ = 24;
    // SpeedButton3's glyphs and texts while running and while paused.
    QPixmap pauseGlyph_, resumeGlyph_;
    int glyphStates_ = 1;
    QString runningText_, pausedText_;
    bool pausedLook_ = false;
    std::unique_ptr<SkinPictures> skin_;
    std::function<SkinPictures()> waitingSkin_;
    bool skinNow_ = false;  // the window has shown, or is about to
    // The label colours for "Color" and "Color_2" of Label6 and Label7.
    QColor label6Color_, label6Color2_, label7Color_, label7Color2_;
    bool averageSpeed_ = false;
    int trayIndex_ = 0;
    QString displayedFile_;
    QString tip_;
    // Dragging by any label or image: the window's offset from the cursor.
    bool dragging_ = false;
    QPoint dragOffset_;
    // The queue window's docking: the side (0 none, 1 below, 2 right, 3 above, 4 left).
    int dockSide_ = 0;
    QPoint lastPosition_;
    // Releases the copy thread that waits for the completion to be settled.
    std::function<void()> completeSettled_;
};

}  // namespace rd
