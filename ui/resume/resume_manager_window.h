// The resume manager's window: the stored records in a list (time, sources, destinations one a
// line, whether they resume at start-up) or a hint that there are none, refreshed every 5 s, with a
// pop-up menu to resume them now, flip their start-up resume, delete them, and start resumed jobs
// minimised.
#pragma once

#include <QDialog>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QTableWidget;
class QTimer;

namespace rd {

class Language;
class ResumeItems;
class Store;

class TFormResMan : public QDialog {
    Q_OBJECT

public:
    TFormResMan(Store& store, ResumeItems& items, QWidget* parent = nullptr);

    // The captions of the "ResManager" section: the window, the columns, the menu and the
    // texts of the rows.
    void ApplyLanguage(const Language& language);

    // Rebuilds the list from the store.
    void Refresh();
    // The record numbers of the selected rows, top to bottom.
    std::vector<int32_t> SelectedRecords() const;

    void Resumenow1Click();
    void ListView1DblClick();
    void Resumeonrestart1Click();
    // Deletes the selected records with their list files; a record that a pop-up is resuming
    // keeps its list until that pop-up is over, and the list stays for a job it started.
    void Deleteentry1Click();
    void Startminimized1Click();
    void PopupMenu1Popup();
    void Timer1Timer();

private:
    // A record's sources as its list file gave them, kept until its command changes: a refresh
    // every 5 s does not read every list again.
    struct ListedSources {
        std::string command;
        std::vector<std::string> shown;  // the first ones, for the row's tooltip
        size_t count = 0;
    };
    const ListedSources& SourcesOf(int32_t n, const std::string& command);

    Store& store_;
    ResumeItems& items_;
    QTableWidget* listView1_ = nullptr;
    QLabel* emptyHint_ = nullptr;
    QMenu* popupMenu1_ = nullptr;
    QAction* startminimized1_ = nullptr;
    QTimer* timer1_ = nullptr;
    std::map<int32_t, ListedSources> sources_;
    // The texts of the rows.
    QString unknown_ = "Unknown", yes_ = "Yes", no_ = "No", more_ = "%s + %u more";
};

}  // namespace rd
