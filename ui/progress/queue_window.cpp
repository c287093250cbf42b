#include "ui/progress/queue_window.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

#include "engine/source_queue.h"
#include "look/captions.h"
#include "look/language.h"
#include "look/skin_pictures.h"
#include "ui/progress/progress_display.h"
#include "ui/progress/queue_model.h"

namespace rd {

namespace {

constexpr int kStateColumnWidth = 48;
// How far into the skinned window a press still takes an edge.
constexpr int kEdgeBand = 9;

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

TQueueView::TQueueView(QWidget* parent) : QTableView(parent) {
    setObjectName("QueueView");
    model_ = new TQueueModel(this);
    setModel(model_);
    // A table keeps nothing per row but the row header's size, where a tree view lays out an
    // item for every row: the queue of a million sources costs the window almost nothing.
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    FitRows();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Drops pass through to the window, which hands them on.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    QHeaderView* columns = horizontalHeader();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(0, QHeaderView::Stretch);
    columns->setSectionResizeMode(1, QHeaderView::Fixed);
    columns->resizeSection(1, kStateColumnWidth);
}

void TQueueView::FitRows() {
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
}

void TQueueView::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        FitRows();
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
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->addWidget(view_);

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

void TRedoDoriQueue::ApplySkin(const SkinPictures& skin) {
    const SkinQueue& look = skin.description.queue;
    const bool wasVisible = isVisible();
    const QPoint at = pos();
    skinned_ = look.skinned;
    opacity_ = skin.description.blend ? (255 - skin.description.blend) / 255.0 : 1.0;
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint |
                   (skinned_ ? Qt::FramelessWindowHint : Qt::WindowFlags()));
    move(at);
    QFont font(skinned_ ? QString::fromStdString(look.font) : QStringLiteral("MS Sans Serif"));
    font.setPointSize(skinned_ ? look.size : 8);
    const int style = skinned_ ? look.style.value_or(0) : 0;
    font.setBold(style & 1);
    font.setItalic(style & 2);
    font.setUnderline(style & 4);
    font.setStrikeOut(style & 8);
    view_->setFont(font);
    if (skinned_) {
        frame_.Load(skin);
        // The list's own border goes; its scroll bars are flat strips of the skin's colour.
        const int bar = look.scrollBarSize;
        QString sheet =
            QStringLiteral(
                "QTableView { border: none; color: %1; background-color: %2; %3 }"
                "QScrollBar { background: %4; border: none; }"
                "QScrollBar:vertical { width: %5px; }"
                "QScrollBar:horizontal { height: %5px; }"
                "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical "
                "{ height: %5px; background: %4; }"
                "QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal "
                "{ width: %5px; background: %4; }")
                .arg(ColorFromValue(look.color).name(), ColorFromValue(look.backColor).name(),
                     skin.queueTexture.isEmpty()
                         ? QString()
                         : "background-image: url(\"" + skin.queueTexture + "\");",
                     ColorFromValue(look.scrollBarColor).name())
                .arg(bar);
        view_->setStyleSheet(sheet);
        const QRect list = frame_.ListRect(size());
        layout_->setContentsMargins(list.left(), list.top(), width() - list.right() - 1,
                                    height() - list.bottom() - 1);
    } else {
        frame_.Clear();
        view_->setStyleSheet(QString());
        layout_->setContentsMargins(0, 0, 0, 0);
    }
    setWindowOpacity(opacity_);
    if (wasVisible)
        show();
    RebuildOutline();
    update();
}

void TRedoDoriQueue::RebuildOutline() {
    if (!skinned_) {
        clearMask();
        return;
    }
    // The list's place by the frame, not by the layout, which follows a hidden window's size
    // only once it shows.
    setMask(frame_.Outline(size(), frame_.ListRect(size())));
}

void TRedoDoriQueue::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!skinned_)
        return;
    QPainter painter(this);
    frame_.Paint(painter, size());
}

void TRedoDoriQueue::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    RebuildOutline();
}

Qt::CursorShape TRedoDoriQueue::CursorAt(QPoint at) const {
    const QSize close = frame_.CloseCorner();
    if (at.x() >= width() - close.width() && at.y() < close.height())
        return Qt::PointingHandCursor;
    const bool left = at.x() >= 1 && at.x() <= kEdgeBand;
    const bool right = at.x() >= width() - kEdgeBand;
    const bool bottom = at.y() >= height() - kEdgeBand;
    if (bottom && left)
        return Qt::SizeBDiagCursor;
    if (bottom && right)
        return Qt::SizeFDiagCursor;
    if (at.y() >= 1 && at.y() <= kEdgeBand)
        return Qt::SizeAllCursor;
    if (left || right)
        return Qt::SizeHorCursor;
    return bottom ? Qt::SizeVerCursor : Qt::ArrowCursor;
}

void TRedoDoriQueue::mousePressEvent(QMouseEvent* event) {
    if (!skinned_ || event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const QPoint at = event->position().toPoint();
    const QSize close = frame_.CloseCorner();
    if (at.x() >= width() - close.width() && at.y() < close.height()) {
        hide();
        return;
    }
    horizontalMode_ = at.x() >= 1 && at.x() <= kEdgeBand ? 1
                      : at.x() >= width() - kEdgeBand    ? 2
                                                         : 0;
    verticalMode_ = at.y() >= 1 && at.y() <= kEdgeBand ? 1 : at.y() >= height() - kEdgeBand ? 2 : 0;
    if (verticalMode_ == 1)
        horizontalMode_ = 0;
    pressCursor_ = event->globalPosition().toPoint();
    pressGeometry_ = geometry();
    // Resizing is drawn opaque: translucent redraws of a changing outline flicker.
    if (horizontalMode_ || verticalMode_ == 2)
        setWindowOpacity(1.0);
}

void TRedoDoriQueue::mouseMoveEvent(QMouseEvent* event) {
    if (!skinned_)
        return QWidget::mouseMoveEvent(event);
    if (!horizontalMode_ && !verticalMode_) {
        setCursor(CursorAt(event->position().toPoint()));
        return;
    }
    const QPoint moved = event->globalPosition().toPoint() - pressCursor_;
    QRect next = geometry();
    if (verticalMode_ == 1) {
        next.moveTopLeft(pressGeometry_.topLeft() + moved);
    } else {
        if (horizontalMode_) {
            const int wanted =
                pressGeometry_.width() + (horizontalMode_ == 1 ? -moved.x() : moved.x());
            const int width = QueueFrame::SteppedExtent(next.width(), wanted, frame_.WidthStep());
            if (horizontalMode_ == 1 && width != next.width())
                next.setLeft(pressGeometry_.right() + 1 - width);
            next.setWidth(width);
        }
        if (verticalMode_ == 2)
            next.setHeight(QueueFrame::SteppedExtent(
                next.height(), pressGeometry_.height() + moved.y(), frame_.HeightStep()));
    }
    if (next != geometry())
        setGeometry(next);
}

void TRedoDoriQueue::mouseReleaseEvent(QMouseEvent* event) {
    if (!skinned_)
        return QWidget::mouseReleaseEvent(event);
    horizontalMode_ = verticalMode_ = 0;
    setWindowOpacity(opacity_);
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
