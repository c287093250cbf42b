#include "ui/progress/queue_model.h"

#include "engine/source_queue.h"

namespace rd {

TQueueModel::TQueueModel(QObject* parent) : QAbstractTableModel(parent) {}

void TQueueModel::Attach(SourceQueue* queue) {
    beginResetModel();
    queue_ = queue;
    rows_ = queue ? queue->Count() : 0;
    changes_ = queue ? queue->Changes() : 0;
    removals_ = queue ? queue->Removals() : 0;
    endResetModel();
}

void TQueueModel::Sync() {
    if (!queue_)
        return;
    const uint64_t changes = queue_->Changes();
    if (changes == changes_)
        return;
    const uint64_t removals = queue_->Removals();
    const int count = queue_->Count();
    changes_ = changes;
    if (removals != removals_) {
        removals_ = removals;
        beginResetModel();
        rows_ = count;
        endResetModel();
        return;
    }
    // Other threads only append: the rows shown stay the same entries.
    if (count > rows_) {
        beginInsertRows({}, rows_, count - 1);
        rows_ = count;
        endInsertRows();
    }
    if (rows_ > 0)
        emit dataChanged(index(0, 1), index(rows_ - 1, 1), {Qt::DisplayRole});
}

void TQueueModel::SetStateTexts(const QString& wait, const QString& copy, const QString& done) {
    states_[0] = wait;
    states_[1] = copy;
    states_[2] = done;
    if (rows_ > 0)
        emit dataChanged(index(0, 1), index(rows_ - 1, 1), {Qt::DisplayRole});
}

int TQueueModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TQueueModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant TQueueModel::data(const QModelIndex& index, int role) const {
    if (!queue_ || !index.isValid() || index.row() >= rows_)
        return {};
    if (role == kEntryRole)
        return QVariant::fromValue(quintptr(queue_->EntryAt(index.row())));
    if (role != Qt::DisplayRole)
        return {};
    if (index.column() == 0)
        return QString::fromStdString(queue_->EntryPath(index.row()));
    const std::string state = queue_->EntryState(index.row());
    if (state == kStateWait)
        return states_[0];
    if (state == kStateCopy)
        return states_[1];
    if (state == kStateDone)
        return states_[2];
    return QString::fromStdString(state);
}

}  // namespace rd
