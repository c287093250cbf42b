// The resume manager's window: the stored records in a list (time, source folder, destinations,
// whether they resume at start-up), refreshed every 5 s, with a pop-up menu to resume them
// now, flip their start-up resume, delete them, and start resumed jobs minimised.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <vector>

class QAction;
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
    Store& store_;
    ResumeItems& items_;
    QTableWidget* listView1_ = nullptr;
    QMenu* popupMenu1_ = nullptr;
    QAction* startminimized1_ = nullptr;
    QTimer* timer1_ = nullptr;
    // The texts of the rows.
    QString unknown_ = "Unknown", yes_ = "Yes", no_ = "No";
};

}  // namespace rd
