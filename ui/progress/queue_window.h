// The queue window: the job's sources in the order they arrived, each with its state. A source
// the job has not finished can be taken out of the job from here, and files dropped on the
// window join the job.
#pragma once

#include <QStringList>
#include <QTreeWidget>
#include <QWidget>

class QAction;
class QMenu;

namespace rd {

class FileList;
class Language;
class SourceQueue;
struct JobCounters;
struct QueueEntry;

// One row per queued source: its path, and its state in a narrow second column.
class TQueueView : public QTreeWidget {
    Q_OBJECT

public:
    explicit TQueueView(QWidget* parent = nullptr);

    // The queue entry a row shows.
    static const QueueEntry* EntryOf(const QTreeWidgetItem* row);
    // The selected row, or null.
    QTreeWidgetItem* SelectedRow() const;
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

private:
    // The selected row's index in the queue, or -1.
    int SelectedIndex() const;

    TQueueView* view_ = nullptr;
    QMenu* popupMenu1_ = nullptr;
    QAction* delete1_ = nullptr;
    SourceQueue* queue_ = nullptr;
    FileList* list_ = nullptr;
    JobCounters* counters_ = nullptr;
    bool hiddenByMinimise_ = false;
    // How the states "Wait", "Copy" and "Done" are shown.
    QString wait_ = "Wait", copy_ = "Copy", done_ = "Done";
};

}  // namespace rd
