// The destination chooser TForm1: a tree of roots (the machine's volumes and the favourites)
// and a combo box with the destination text and the recent destinations. OK hands the target
// text on; the texts, colours and the store's rules come from app/chooser_model,
// app/favourites and app/recent_destinations.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/share_targets.h"
#include "platform/smb_client.h"

class QComboBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace rd {

class Language;
class MessageTable;
class MountWatcher;
class NetworkBranch;
class Store;

class TForm1 : public QWidget {
    Q_OBJECT

public:
    TForm1(Store& store, bool moveMode, QWidget* parent = nullptr);

    // The job's total size once its file list is complete: it goes in front of the caption,
    // the roots' free space is measured again and the entries are coloured by whether it fits.
    void SetJobTotal(uint64_t total);

    // Re-captions the window from the "Copy_To" section of `language`, with the texts of the
    // credentials dialog ("Credentials") and its buttons from `messages`.
    void ApplyLanguage(const Language& language, const MessageTable& messages);

    // Builds the roots and pre-selects the last destination; the first show does it.
    void FormShow();
    void TreeView1Expanding(QTreeWidgetItem* item);
    void TreeView1Change();
    void TreeView1Editing(QTreeWidgetItem* item);
    void TreeView1Edited(QTreeWidgetItem* item, const QString& label);
    void TreeView1DblClick();
    void BitBtn1Click();
    void BitBtn2Click();
    // Makes a new folder in the current folder and starts editing its name.
    void NewFolder();
    // Adds the roots of volumes mounted since and drops those of volumes gone.
    void SyncRoots();

    // An edit of a label is under way.
    bool Editing() const { return !editPath_.empty(); }

    // The network root's hosts, shares and folders.
    NetworkBranch& Network() { return *network_; }

signals:
    // OK with a destination: the job's target text, every destination ending with "?", and
    // the logins of the shares among it written by their addresses, by server.
    void confirmed(const std::string& targetText,
                   const std::map<std::string, smb::Credentials>& logins);
    // The chooser went away without a destination.
    void cancelled();
    void settingsRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeWidgetItem* AddRoot(const std::string& name, int kind, int image, int at = -1);
    void RemoveRoot(QTreeWidgetItem* root);
    void ListSubFolders(QTreeWidgetItem* item);
    void RefreshVolume(QTreeWidgetItem* root);
    void Colour(QTreeWidgetItem* item) const;
    void ColourAll();
    void SelectLastDir(const std::string& lastDir);
    // Logs on to the shares of `chosen` written by their addresses on a worker thread, as the
    // network lists are, so that a server that does not answer never freezes the window; OK
    // then goes on, or the user is told why a share cannot be written to and the chooser stays.
    void CheckShares(const std::string& text, ChosenTargets chosen);
    // OK with the combo box's `text` and the job's `target`.
    void Confirm(const std::string& text, const std::string& target,
                 const std::map<std::string, smb::Credentials>& logins);
    std::string PathOf(const QTreeWidgetItem* item) const;
    // A selected entry is drawn red (cannot be written) and the destination text is still the
    // selection's.
    bool ReadOnlyChosen() const;
    QString NetworkRootText() const;

    Store& store_;
    bool moveMode_;
    uint64_t jobTotal_ = 0;
    // Texts of the current language.
    QString caption_;
    QString free_ = "free";
    QString newFolder_ = "New folder";
    QString networkName_ = "Local Area Network";
    QAction* newFolderAction_ = nullptr;
    std::vector<std::string> recent_;
    std::vector<QTreeWidgetItem*> selectionOrder_;
    // The destination text the selection made last.
    QString selectionText_;
    // The folder whose label is being edited, without its trailing "/"; empty otherwise.
    std::string editPath_;
    QTreeWidgetItem* editItem_ = nullptr;
    bool shown_ = false;
    bool answered_ = false;
    // The shares' logins are being checked after OK.
    bool checking_ = false;

    MountWatcher* mounts_ = nullptr;
    NetworkBranch* network_ = nullptr;
    QTreeWidget* TreeView1;
    QComboBox* ComboBox1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPushButton* BitBtn3;
};

}  // namespace rd
