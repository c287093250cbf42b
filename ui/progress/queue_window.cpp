#include "ui/progress/queue_window.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <QVBoxLayout>

#include "app/language.h"
#include "engine/source_queue.h"
#include "ui/captions.h"
#include "ui/progress/queue_model.h"

namespace rd {

namespace {

constexpr int kStateColumnWidth = 48;

// The local paths among dropped data; other URLs cannot be copied.
QStringList DroppedPaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << url.toLocalFile();
    return paths;
}

}  // namespace

TQueueView::TQueueView(QWidget* parent) : QTreeView(parent) {
    setObjectName("QueueView");
    model_ = new TQueueModel(this);
    setModel(model_);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Drops pass through to the window, which hands them on.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    QHeaderView* columns = header();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(0, QHeaderView::Stretch);
    columns->setSectionResizeMode(1, QHeaderView::Fixed);
    columns->resizeSection(1, kStateColumnWidth);
}

const QueueEntry* TQueueView::SelectedEntry() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return nullptr;
    return reinterpret_cast<const QueueEntry*>(
        rows.front().data(TQueueModel::kEntryRole).value<quintptr>());
}

void TQueueView::SelectRow(int row) {
    if (row < 0) {
        clearSelection();
        return;
    }
    selectionModel()->select(model_->index(row, 0),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

TRedoDoriQueue::TRedoDoriQueue(QWidget* parent) : QWidget(parent) {
    setObjectName("RedoDoriQueue");
    setWindowTitle("RedoDori queue");
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    setAcceptDrops(true);
    resize(360, 160);

    view_ = new TQueueView(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    popupMenu1_ = new QMenu(this);
    popupMenu1_->setObjectName("PopupMenu1");
    delete1_ = new QAction("Delete", this);
    delete1_->setObjectName("Delete1");
    delete1_->setShortcut(QKeySequence::Delete);
    // Del works anywhere in the window, not only while the menu is open.
    delete1_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    delete1_->setEnabled(false);
    popupMenu1_->addAction(delete1_);
    addAction(delete1_);
    connect(delete1_, &QAction::triggered, this, &TRedoDoriQueue::Delete1Click);
    connect(popupMenu1_, &QMenu::aboutToShow, this, &TRedoDoriQueue::PopupMenu1Popup);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        selected_ = view_->SelectedEntry();
        PopupMenu1Popup();
    });

    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popupMenu1_->popup(view_->viewport()->mapToGlobal(at)); });
}

void TRedoDoriQueue::Attach(SourceQueue& queue, FileList& list, JobCounters& counters) {
    queue_ = &queue;
    list_ = &list;
    counters_ = &counters;
    view_->Model()->Attach(&queue);
    seenRemovals_ = queue.Removals();
    Refresh();
}

void TRedoDoriQueue::Refresh() {
    if (!queue_)
        return;
    // Rows are read again after a removal: the selection follows its entry, not its index.
    const QueueEntry* selected = selected_;
    const uint64_t removals = queue_->Removals();
    view_->Model()->Sync();
    if (selected && removals != seenRemovals_)
        view_->SelectRow(queue_->IndexOf(selected));
    seenRemovals_ = removals;
    PopupMenu1Popup();
}

void TRedoDoriQueue::ApplyLanguage(const Language& language) {
    if (!language.Active())
        return;
    using section::kQueue;
    setWindowTitle(
        LanguageText(language, kQueue, "Form_c", BuiltInText(*this, "caption", windowTitle())));
    delete1_->setText(LanguageText(language, kQueue, "Delete1_c",
                                   BuiltInText(*delete1_, "caption", delete1_->text())));
    TQueueModel& model = *view_->Model();
    model.SetStateTexts(
        LanguageText(language, kQueue, "Wait_c", BuiltInText(*this, "wait", model.StateText(0))),
        LanguageText(language, kQueue, "Copy_c", BuiltInText(*this, "copy", model.StateText(1))),
        LanguageText(language, kQueue, "Done_c", BuiltInText(*this, "done", model.StateText(2))));
}

void TRedoDoriQueue::HideForMinimise() {
    if (!isVisible())
        return;
    hiddenByMinimise_ = true;
    hide();
}

void TRedoDoriQueue::ShowAfterRestore() {
    if (hiddenByMinimise_)
        show();
    hiddenByMinimise_ = false;
}

int TRedoDoriQueue::SelectedIndex() const {
    if (!queue_ || !selected_)
        return -1;
    return queue_->IndexOf(selected_);
}

void TRedoDoriQueue::PopupMenu1Popup() {
    const int index = SelectedIndex();
    delete1_->setEnabled(index >= 0 && queue_->EntryState(index) != kStateDone);
}

void TRedoDoriQueue::Delete1Click() {
    // The state is read again: the job may have finished the source since the menu opened.
    const int index = SelectedIndex();
    if (index >= 0 && queue_->EntryState(index) != kStateDone)
        queue_->DeleteSource(index, *list_, *counters_);
    Refresh();
}

void TRedoDoriQueue::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TRedoDoriQueue::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TRedoDoriQueue::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedPaths(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    emit pathsDropped(paths);
}

}  // namespace rd
