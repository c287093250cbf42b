// The queue window: the job's sources in the order they arrived, each with its state. A source
// the job has not finished can be taken out of the job from here, and files dropped on the
// window join the job.
#pragma once

#include <QStringList>
#include <QTableView>
#include <QWidget>

#include "ui/progress/queue_frame.h"

class QAction;
class QMenu;
class QVBoxLayout;

namespace rd {

class FileList;
class Language;
class SourceQueue;
struct JobCounters;
struct QueueEntry;
struct SkinPictures;
class TQueueModel;

// One row per queued source: its path, and its state in a narrow second column.
class TQueueView : public QTableView {
    Q_OBJECT

public:
    explicit TQueueView(QWidget* parent = nullptr);

    TQueueModel* Model() const { return model_; }
    // The queue entry the selected row shows, or null.
    const QueueEntry* SelectedEntry() const;
    // Selects `row`; none when it is -1.
    void SelectRow(int row);

protected:
    void changeEvent(QEvent* event) override;

private:
    // Rows as high as the font's lines, as in a plain list.
    void FitRows();

    TQueueModel* model_ = nullptr;
};

class TRedoDoriQueue : public QWidget {
    Q_OBJECT

public:
    explicit TRedoDoriQueue(QWidget* parent = nullptr);

    // Shows `queue` from now on; Delete takes sources out of `list` and `counters`.
    void Attach(SourceQueue& queue, FileList& list, JobCounters& counters);
    // Brings the rows up to date with the queue: new entries, removed ones and states. Rows
    // that stay keep their selection.
    void Refresh();

    // Hides the window while the progress window is minimised, remembering whether it was
    // visible; the restore shows it again only if it was.
    void HideForMinimise();
    void ShowAfterRestore();

    // The caption, the menu item and the state texts from the "Queue" section of `language`.
    void ApplyLanguage(const Language& language);

    // The skin's frame, fonts, colours, texture and flat scroll bars when its queue section
    // asks for them; else a plain tool window.
    void ApplySkin(const SkinPictures& skin);
    // The window's outline: the frame's while skinned, none (rectangular) while plain.
    void RebuildOutline();
    bool Skinned() const { return skinned_; }

    // Delete1 is offered for a selected source that is not done yet.
    void PopupMenu1Popup();
    // Takes the selected source out of the job.
    void Delete1Click();

    TQueueView* View() const { return view_; }

signals:
    // Files or folders dropped on the window; the progress window adds them to the job.
    void pathsDropped(QStringList paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The cursor that shows what a press at `at` would do.
    Qt::CursorShape CursorAt(QPoint at) const;

    // The selected row's index in the queue, or -1.
    int SelectedIndex() const;

    TQueueView* view_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
    QueueFrame frame_;
    bool skinned_ = false;
    double opacity_ = 1.0;
    // The mouse on the skinned frame: horizontal mode (0 none, 1 left edge, 2 right edge),
    // vertical mode (0 none, 1 moving, 2 bottom edge), and where the press found the window.
    int horizontalMode_ = 0, verticalMode_ = 0;
    QPoint pressCursor_;
    QRect pressGeometry_;
    QMenu* popupMenu1_ = nullptr;
    QAction* delete1_ = nullptr;
    SourceQueue* queue_ = nullptr;
    FileList* list_ = nullptr;
    JobCounters* counters_ = nullptr;
    bool hiddenByMinimise_ = false;
    uint64_t seenRemovals_ = 0;
    // The selected row's entry, kept from the moment it was selected: a removal shifts what
    // the rows show before they are read again.
    const QueueEntry* selected_ = nullptr;
};

}  // namespace rd
