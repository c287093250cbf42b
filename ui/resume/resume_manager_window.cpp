#include "ui/resume/resume_manager_window.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "look/captions.h"
#include "look/language.h"
#include "look/qt_translations.h"
#include "platform/store.h"
#include "resume/resume_records.h"
#include "ui/resume/resume_item_window.h"
#include "ui/resume/resume_items.h"

namespace rd {

namespace {

constexpr int kDataColumn = 0;

QAction* MenuItem(QMenu* menu, const char* name, const char* caption, const QKeySequence& keys) {
    auto* action = menu->addAction(caption);
    action->setObjectName(name);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    return action;
}

}  // namespace

TFormResMan::TFormResMan(Store& store, ResumeItems& items, QWidget* parent)
    : QDialog(parent), store_(store), items_(items) {
    setObjectName("FormResMan");
    setWindowTitle("RedoDori resume manager");
    resize(640, 280);

    listView1_ = new QTableWidget(0, 4, this);
    listView1_->setObjectName("ListView1");
    listView1_->setHorizontalHeaderLabels({"Time", "From", "To", "Autostart"});
    listView1_->setShowGrid(true);
    listView1_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listView1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView1_->setSortingEnabled(false);
    listView1_->verticalHeader()->hide();
    listView1_->setWordWrap(false);
    QHeaderView* header = listView1_->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    // At least wide enough for a whole time stamp in the font at hand.
    header->resizeSection(0,
                          std::max(100, fontMetrics().horizontalAdvance("0000-00-00 00:00") + 12));
    header->resizeSection(3, 60);
    header->setSectionsClickable(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listView1_);
    // An empty list says why it is empty.
    emptyHint_ = new QLabel("There are no interrupted jobs to resume.", listView1_->viewport());
    emptyHint_->setObjectName("EmptyHint");
    emptyHint_->setAlignment(Qt::AlignCenter);
    emptyHint_->setWordWrap(true);
    auto* hintLayout = new QVBoxLayout(listView1_->viewport());
    hintLayout->addWidget(emptyHint_);

    popupMenu1_ = new QMenu(this);
    popupMenu1_->setObjectName("PopupMenu1");
    QAction* resumeNow = MenuItem(popupMenu1_, "Resumenow1", "Resume now", Qt::Key_Return);
    popupMenu1_->setDefaultAction(resumeNow);
    QAction* onRestart = MenuItem(popupMenu1_, "Resumeonrestart1", "Resume on restart",
                                  QKeySequence(Qt::CTRL | Qt::Key_R));
    QAction* remove = MenuItem(popupMenu1_, "Deleteentry1", "Delete entry", Qt::Key_Delete);
    popupMenu1_->addSeparator();
    startminimized1_ = popupMenu1_->addAction("Start minimized");
    startminimized1_->setObjectName("Startminimized1");
    startminimized1_->setCheckable(true);
    // The shortcuts work on the list without the menu open.
    listView1_->addActions({resumeNow, onRestart, remove});
    connect(resumeNow, &QAction::triggered, this, &TFormResMan::Resumenow1Click);
    connect(onRestart, &QAction::triggered, this, &TFormResMan::Resumeonrestart1Click);
    connect(remove, &QAction::triggered, this, &TFormResMan::Deleteentry1Click);
    connect(startminimized1_, &QAction::triggered, this, &TFormResMan::Startminimized1Click);
    connect(popupMenu1_, &QMenu::aboutToShow, this, &TFormResMan::PopupMenu1Popup);
    listView1_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(listView1_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        popupMenu1_->popup(listView1_->viewport()->mapToGlobal(at));
    });
    connect(listView1_, &QTableWidget::cellDoubleClicked, this, &TFormResMan::ListView1DblClick);

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(5000);
    connect(timer1_, &QTimer::timeout, this, &TFormResMan::Timer1Timer);
    timer1_->start();
    Refresh();
}

const TFormResMan::ListedSources& TFormResMan::SourcesOf(int32_t n, const std::string& command) {
    ListedSources& listed = sources_[n];
    if (listed.count > 0 && listed.command == command)
        return listed;
    constexpr size_t kShown = 20;
    ResumeRecord record;
    record.command = command;
    std::vector<std::string> sources = RecordSources(record);
    listed.command = command;
    listed.count = sources.size();
    sources.resize(std::min(sources.size(), kShown));
    listed.shown = std::move(sources);
    return listed;
}

void TFormResMan::Refresh() {
    const std::vector<ResumeRecord> records = ReadResumeRecords(store_);
    const int rows = static_cast<int>(records.size());
    while (listView1_->rowCount() < rows) {
        const int row = listView1_->rowCount();
        listView1_->insertRow(row);
        for (int column = 0; column < 4; ++column)
            listView1_->setItem(row, column, new QTableWidgetItem);
        listView1_->item(row, kDataColumn)->setData(Qt::UserRole, -1);
    }
    listView1_->setRowCount(rows);
    std::erase_if(sources_, [&records](const auto& entry) {
        return std::none_of(records.begin(), records.end(),
                            [&entry](const ResumeRecord& r) { return r.n == entry.first; });
    });
    for (int row = 0; row < rows; ++row) {
        const ResumeRecord& record = records[row];
        const ListedSources& sources = SourcesOf(record.n, record.command);
        const std::string from = SourcesText(sources.shown.empty() ? "" : sources.shown.front(),
                                             sources.count, more_.toStdString());
        QStringList destinations, shown;
        for (const std::string& destination : RecordDestinations(record))
            destinations << FromUtf8(destination);
        for (const std::string& source : sources.shown)
            shown << FromUtf8(source);
        if (sources.count > sources.shown.size())
            shown << "...";
        listView1_->item(row, kDataColumn)->setData(Qt::UserRole, record.n);
        const QString texts[] = {record.time.empty() ? unknown_ : FromUtf8(record.time),
                                 !from.empty()         ? FromUtf8(from)
                                 : record.from.empty() ? unknown_
                                                       : FromUtf8(record.from),
                                 destinations.join('\n'), record.autostart ? yes_ : no_};
        for (int column = 0; column < 4; ++column)
            listView1_->item(row, column)->setText(texts[column]);
        listView1_->item(row, 1)->setToolTip(shown.join('\n'));
    }
    // A row is as high as its destinations, one a line.
    listView1_->resizeRowsToContents();
    emptyHint_->setVisible(rows == 0);
}

void TFormResMan::ApplyLanguage(const Language& language) {
    if (!language.Active())
        return;
    InstallQtTranslations(language.Facts());
    using section::kResumeManager;
    auto text = [&](QObject& object, const char* slot, const char* key, const QString& current) {
        return LanguageText(language, kResumeManager, key, BuiltInText(object, slot, current));
    };
    setWindowTitle(text(*this, "caption", "Form1_c", windowTitle()));
    for (int column = 0; column < listView1_->columnCount(); ++column) {
        QTableWidgetItem* header = listView1_->horizontalHeaderItem(column);
        const std::string key = "Column_c_" + std::to_string(column);
        const std::string slot = "column" + std::to_string(column);
        header->setText(text(*this, slot.c_str(), key.c_str(), header->text()));
    }
    for (QAction* item : popupMenu1_->actions())
        if (!item->objectName().isEmpty()) {
            const std::string key = item->objectName().toStdString() + "_c";
            item->setText(text(*item, "caption", key.c_str(), item->text()));
        }
    unknown_ = text(*this, "unknown", "Unknown_c", unknown_);
    more_ = text(*this, "more", "More_c", more_);
    emptyHint_->setText(text(*emptyHint_, "text", "Empty_c", emptyHint_->text()));
    yes_ = text(*this, "yes", "Yes_c", yes_);
    no_ = text(*this, "no", "No_c", no_);
    Refresh();
}

std::vector<int32_t> TFormResMan::SelectedRecords() const {
    std::set<int> rows;
    for (const QModelIndex& index : listView1_->selectionModel()->selectedRows())
        rows.insert(index.row());
    std::vector<int32_t> records;
    for (const int row : rows) {
        const int n = listView1_->item(row, kDataColumn)->data(Qt::UserRole).toInt();
        if (n >= 0)
            records.push_back(n);
    }
    return records;
}

void TFormResMan::Resumenow1Click() {
    for (const int32_t n : SelectedRecords())
        items_.Resume(n);
    Refresh();
}

void TFormResMan::ListView1DblClick() {
    Resumenow1Click();
}

void TFormResMan::Resumeonrestart1Click() {
    for (const int32_t n : SelectedRecords())
        FlipAutostart(store_, n);
    Refresh();
}

void TFormResMan::Deleteentry1Click() {
    for (const int32_t n : SelectedRecords()) {
        std::vector<std::string> lists = DeleteRecordValues(store_, n);
        if (TFormResItem* item = items_.Find(n))
            item->ForgetLists(std::move(lists));
        else
            for (const std::string& list : lists)
                RemoveResumeList(list);
    }
    Refresh();
}

void TFormResMan::Startminimized1Click() {
    SetStartMinimized(store_, startminimized1_->isChecked());
    Refresh();
}

void TFormResMan::PopupMenu1Popup() {
    startminimized1_->setChecked(StartMinimized(store_));
}

void TFormResMan::Timer1Timer() {
    Refresh();
}

}  // namespace rd
