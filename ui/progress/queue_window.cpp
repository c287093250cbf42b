#include "ui/progress/queue_window.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QSet>
#include <QUrl>
#include <QVBoxLayout>
#include <vector>

#include "app/language.h"
#include "engine/source_queue.h"
#include "ui/captions.h"

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

TQueueView::TQueueView(QWidget* parent) : QTreeWidget(parent) {
    setObjectName("QueueView");
    setColumnCount(2);
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

const QueueEntry* TQueueView::EntryOf(const QTreeWidgetItem* row) {
    return reinterpret_cast<const QueueEntry*>(row->data(0, Qt::UserRole).value<quintptr>());
}

QTreeWidgetItem* TQueueView::SelectedRow() const {
    const QList<QTreeWidgetItem*> rows = selectedItems();
    return rows.isEmpty() ? nullptr : rows.front();
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
    connect(view_, &QTreeWidget::itemSelectionChanged, this, &TRedoDoriQueue::PopupMenu1Popup);

    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popupMenu1_->popup(view_->viewport()->mapToGlobal(at)); });
}

void TRedoDoriQueue::Attach(SourceQueue& queue, FileList& list, JobCounters& counters) {
    queue_ = &queue;
    list_ = &list;
    counters_ = &counters;
    view_->clear();
    Refresh();
}

void TRedoDoriQueue::Refresh() {
    if (!queue_)
        return;
    // Only this thread removes entries; other threads append, so the first Count() entries
    // stay put while they are read.
    const int count = queue_->Count();
    std::vector<const QueueEntry*> entries;
    entries.reserve(static_cast<size_t>(count));
    QSet<const QueueEntry*> live;
    for (int index = 0; index < count; ++index) {
        const QueueEntry* entry = queue_->EntryAt(index);
        if (!entry)
            break;
        entries.push_back(entry);
        live.insert(entry);
    }
    for (int row = view_->topLevelItemCount() - 1; row >= 0; --row)
        if (!live.contains(TQueueView::EntryOf(view_->topLevelItem(row))))
            delete view_->takeTopLevelItem(row);
    // The rows left are in queue order, so each row either is the entry at its index or comes
    // later, and a missing entry is a new one.
    for (int index = 0; index < static_cast<int>(entries.size()); ++index) {
        QTreeWidgetItem* row = view_->topLevelItem(index);
        if (!row || TQueueView::EntryOf(row) != entries[index]) {
            row = new QTreeWidgetItem;
            row->setText(0, QString::fromStdString(queue_->EntryPath(index)));
            row->setData(0, Qt::UserRole, QVariant::fromValue(quintptr(entries[index])));
            view_->insertTopLevelItem(index, row);
        }
        const std::string entryState = queue_->EntryState(index);
        const QString state = entryState == kStateWait   ? wait_
                              : entryState == kStateCopy ? copy_
                              : entryState == kStateDone ? done_
                                                         : FromUtf8(entryState);
        if (row->text(1) != state)
            row->setText(1, state);
    }
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
    wait_ = LanguageText(language, kQueue, "Wait_c", BuiltInText(*this, "wait", wait_));
    copy_ = LanguageText(language, kQueue, "Copy_c", BuiltInText(*this, "copy", copy_));
    done_ = LanguageText(language, kQueue, "Done_c", BuiltInText(*this, "done", done_));
    for (int row = 0; row < view_->topLevelItemCount(); ++row)
        view_->topLevelItem(row)->setText(1, QString());
    Refresh();
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
    QTreeWidgetItem* row = view_->SelectedRow();
    if (!queue_ || !row)
        return -1;
    return queue_->IndexOf(TQueueView::EntryOf(row));
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
