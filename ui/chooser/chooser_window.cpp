#include "ui/chooser/chooser_window.h"

#include <QAction>
#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "app/chooser_model.h"
#include "app/favourites.h"
#include "app/network_places.h"
#include "app/recent_destinations.h"
#include "app/share_targets.h"
#include "app/stderr_lines.h"
#include "look/captions.h"
#include "look/language.h"
#include "platform/fs.h"
#include "platform/mounts.h"
#include "ui/chooser/chooser_images.h"
#include "ui/chooser/chooser_nodes.h"
#include "ui/chooser/chooser_volumes.h"
#include "ui/chooser/mount_watcher.h"
#include "ui/chooser/network_branch.h"

namespace rd {

namespace {

using namespace chooser_node;

// Names are bytes on disk; a name that is not UTF-8 still reaches the right folder.
QString Shown(const QByteArray& name) {
    return QString::fromUtf8(name);
}

bool HasRecord(const QTreeWidgetItem* item) {
    return item->data(0, kKindRole).isValid();
}

const QTreeWidgetItem* RootOf(const QTreeWidgetItem* item) {
    while (item->parent())
        item = item->parent();
    return item;
}

int Depth(const QTreeWidgetItem* item) {
    int depth = 0;
    for (; item->parent(); item = item->parent())
        ++depth;
    return depth;
}

// The node whose free space applies to `item`: a share for its folders, a root for the rest.
const QTreeWidgetItem* VolumeOf(const QTreeWidgetItem* item) {
    if (RootOf(item)->data(0, kKindRole).toInt() != kNetwork)
        return RootOf(item);
    while (Depth(item) > 2)
        item = item->parent();
    return item;
}

bool Within(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
    for (; item; item = item->parent()) {
        if (item == ancestor)
            return true;
    }
    return false;
}

// Tells the window when a label edit starts and what it ends with; the window renames the
// folder and sets the label itself, so a failed rename never shows the new name.
class LabelDelegate : public QStyledItemDelegate {
public:
    LabelDelegate(QTreeWidget* tree, std::function<void(QTreeWidgetItem*)> started,
                  std::function<void(QTreeWidgetItem*, const QString&)> edited,
                  std::function<void()> ended)
        : QStyledItemDelegate(tree),
          tree_(tree),
          started_(std::move(started)),
          edited_(std::move(edited)),
          ended_(std::move(ended)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        started_(tree_->itemFromIndex(index));
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            edited_(tree_->itemFromIndex(index), line->text());
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        QStyledItemDelegate::destroyEditor(editor, index);
        ended_();
    }

private:
    QTreeWidget* tree_;
    std::function<void(QTreeWidgetItem*)> started_;
    std::function<void(QTreeWidgetItem*, const QString&)> edited_;
    std::function<void()> ended_;
};

// The child of `parent` whose own name is `name`; null when there is none.
QTreeWidgetItem* ChildNamed(QTreeWidgetItem* parent, const std::string& name) {
    const QByteArray wanted = QByteArray::fromStdString(name);
    for (int i = 0; i < parent->childCount(); ++i) {
        if (parent->child(i)->data(0, kNameRole).toByteArray() == wanted)
            return parent->child(i);
    }
    return nullptr;
}

// The roots' pictures in their order: fixed drives are numbered from the top.
std::vector<int> RootImages(const std::vector<LocalRoot>& roots) {
    std::vector<int> images;
    int fixed = 0;
    for (const LocalRoot& root : roots) {
        images.push_back(RootImage(root.type, fixed));
        fixed += root.type == VolumeType::Fixed;
    }
    return images;
}

}  // namespace

TForm1::TForm1(Store& store, bool moveMode, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), store_(store), moveMode_(moveMode) {
    setObjectName("Form1");
    caption_ = moveMode_ ? "VornMove to..." : "RedoDori to...";
    setWindowTitle(caption_);
    setWindowIcon(ChooserImage(chooser_image::kWindow));
    TreeView1 = new QTreeWidget(this);
    TreeView1->setObjectName("TreeView1");
    TreeView1->setHeaderHidden(true);
    TreeView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    TreeView1->setEditTriggers(QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::SelectedClicked);
    TreeView1->setItemDelegate(new LabelDelegate(
        TreeView1, [this](QTreeWidgetItem* item) { TreeView1Editing(item); },
        [this](QTreeWidgetItem* item, const QString& label) { TreeView1Edited(item, label); },
        [this] {
            editPath_.clear();
            editItem_ = nullptr;
        }));
    auto* newFolder = new QAction(newFolder_, TreeView1);
    newFolder->setObjectName("NewFolder");
    newFolderAction_ = newFolder;
    newFolder->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    connect(newFolder, &QAction::triggered, this, &TForm1::NewFolder);
    TreeView1->addAction(newFolder);
    TreeView1->setContextMenuPolicy(Qt::ActionsContextMenu);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setEditable(true);
    // Enter means OK, not "add the text to the list": the list is the recent destinations.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn2 = new QPushButton("Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn3 = new QPushButton("Settings", this);
    BitBtn3->setObjectName("BitBtn3");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addStretch();
    buttons->addWidget(BitBtn3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TreeView1, 1);
    layout->addWidget(ComboBox1);
    layout->addLayout(buttons);
    resize(360, 420);

    connect(TreeView1, &QTreeWidget::itemExpanded, this, &TForm1::TreeView1Expanding);
    connect(TreeView1, &QTreeWidget::itemSelectionChanged, this, &TForm1::TreeView1Change);
    connect(TreeView1, &QTreeWidget::itemDoubleClicked, this, &TForm1::TreeView1DblClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm1::settingsRequested);
    network_ = new NetworkBranch(TreeView1);
    connect(network_, &NetworkBranch::filled, this, [this](QTreeWidgetItem* item) {
        for (int i = 0; i < item->childCount(); ++i)
            Colour(item->child(i));
    });
    mounts_ = new MountWatcher(this);
    connect(mounts_, &MountWatcher::changed, this, &TForm1::SyncRoots);
    // The window sees Enter and Escape before its controls do.
    for (QObject* watched : std::initializer_list<QObject*>{
             this, TreeView1, ComboBox1, ComboBox1->lineEdit(), BitBtn1, BitBtn2, BitBtn3})
        watched->installEventFilter(this);
}

QString TForm1::NetworkRootText() const {
    return FromUtf8(std::string(kNetworkRootName)) + " (" + networkName_ + ")";
}

void TForm1::ApplyLanguage(const Language& language, const MessageTable& messages) {
    if (!language.Active())
        return;
    using section::kChooser;
    TranslateWindow(*this, kChooser, language);
    // The caption of the mode the chooser is in, after the job's size once it is known.
    const QString copy = LanguageText(language, kChooser, "Form_c", "RedoDori to...");
    const QString move = LanguageText(language, kChooser, "FormMove_c", "VornMove to...");
    caption_ = moveMode_ ? move : copy;
    setWindowTitle(FromUtf8(CaptionWithTotal(caption_.toStdString(), jobTotal_)));
    free_ = LanguageText(language, kChooser, "Free_c", "free");
    // A folder is made with this name: it cannot be empty or hold a separator.
    newFolder_ = LanguageText(language, kChooser, "NewFolder_c", "New folder");
    if (newFolder_.isEmpty() || newFolder_.contains('/') || newFolder_ == "." || newFolder_ == "..")
        newFolder_ = "New folder";
    newFolderAction_->setText(newFolder_);
    networkName_ = LanguageText(language, kChooser, "Network_c", "Local Area Network");
    network_->notAvailableText = LanguageText(language, kChooser, "NoNetwork_c",
                                              "Network places are not available in this build");
    network_->noSharesText = LanguageText(language, kChooser, "NoShares_c",
                                          "No shares found; type one as smb://host/share below");
    network_->freeText = free_;
    network_->unknownText = LanguageText(language, kChooser, "Unknown_c", "unknown");
    network_->credentialsTexts = CredentialsTextsOf(language, messages);
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* root = TreeView1->topLevelItem(i);
        if (root->data(0, kKindRole).toInt() == kNetwork)
            root->setText(0, NetworkRootText());
        else
            RefreshVolume(root);
    }
}

void TForm1::SetJobTotal(uint64_t total) {
    jobTotal_ = total;
    setWindowTitle(FromUtf8(CaptionWithTotal(caption_.toStdString(), total)));
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i)
        RefreshVolume(TreeView1->topLevelItem(i));
    ColourAll();
}

void TForm1::FormShow() {
    if (shown_)
        return;
    shown_ = true;
    const std::vector<LocalRoot> roots = LocalRoots();
    const std::vector<int> images = RootImages(roots);
    for (size_t i = 0; i < roots.size(); ++i)
        RefreshVolume(AddRoot(roots[i].path, kLocal, images[i]));
    AddRoot(std::string(kNetworkRootName), kNetwork, chooser_image::kNetworkRoot)
        ->setText(0, NetworkRootText());
    for (const std::string& name : ListFavourites(FavouritesFolder()))
        AddRoot(name, kFavourite, chooser_image::kFavourite);
    ChooserMemory memory = LoadChooserMemory(store_);
    recent_ = std::move(memory.recent);
    for (const std::string& entry : recent_)
        ComboBox1->addItem(QString::fromStdString(entry));
    ComboBox1->setEditText(QString::fromStdString(memory.lastDir));
    SelectLastDir(memory.lastDir);
    ColourAll();
}

QTreeWidgetItem* TForm1::AddRoot(const std::string& name, int kind, int image, int at) {
    const QByteArray bytes = QByteArray::fromStdString(name);
    auto* item = new QTreeWidgetItem(QStringList(Shown(bytes)));
    TreeView1->insertTopLevelItem(at < 0 ? TreeView1->topLevelItemCount() : at, item);
    item->setIcon(0, ChooserImage(image));
    item->setData(0, kNameRole, bytes);
    item->setData(0, kKindRole, kind);
    item->setData(0, kWritableRole, -1);
    item->setData(0, kFreeRole, QVariant::fromValue<qulonglong>(kUnknownFree));
    // A root keeps its mount point: renaming it would move the volume's mount point.
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    if (kind != kFavourite)
        new QTreeWidgetItem(item, QStringList(kPlaceholder));
    return item;
}

void TForm1::RemoveRoot(QTreeWidgetItem* root) {
    const auto within = [root](QTreeWidgetItem* item) { return Within(item, root); };
    const bool heldSelection = std::any_of(selectionOrder_.begin(), selectionOrder_.end(), within);
    std::erase_if(selectionOrder_, within);
    if (editItem_ && Within(editItem_, root)) {
        editPath_.clear();
        editItem_ = nullptr;
    }
    {
        const QSignalBlocker quiet(TreeView1);
        delete root;
    }
    if (!heldSelection)
        return;
    // A destination on the volume that went would now land in the bare mount point.
    if (selectionOrder_.empty())
        ComboBox1->clearEditText();
    else
        TreeView1Change();
}

void TForm1::SyncRoots() {
    if (!shown_)
        return;
    const std::vector<LocalRoot> roots = LocalRoots();
    const std::vector<int> images = RootImages(roots);
    int lastLocal = -1;
    for (int i = TreeView1->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* item = TreeView1->topLevelItem(i);
        if (item->data(0, kKindRole).toInt() != kLocal)
            continue;
        const std::string path = item->data(0, kNameRole).toByteArray().toStdString();
        if (std::none_of(roots.begin(), roots.end(),
                         [&path](const LocalRoot& root) { return root.path == path; }))
            RemoveRoot(item);
    }
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        if (TreeView1->topLevelItem(i)->data(0, kKindRole).toInt() == kLocal)
            lastLocal = i;
    }
    for (size_t i = 0; i < roots.size(); ++i) {
        QTreeWidgetItem* item = ChildNamed(TreeView1->invisibleRootItem(), roots[i].path);
        if (item) {
            item->setIcon(0, ChooserImage(images[i]));
            continue;
        }
        item = AddRoot(roots[i].path, kLocal, images[i], ++lastLocal);
        RefreshVolume(item);
        Colour(item);
    }
}

void TForm1::NewFolder() {
    QTreeWidgetItem* parent = TreeView1->currentItem();
    if (!parent || !parent->data(0, kNameRole).isValid() ||
        parent->data(0, kKindRole).toInt() == kFavourite || Editing())
        return;
    const std::string folder = PathOf(parent);
    std::string name;
    for (int n = 1; n <= 1000 && name.empty(); ++n) {
        const std::string candidate = NewFolderName(n, newFolder_.toStdString());
        const int error = fs::MakeFolder(folder + candidate);
        if (error == 0)
            name = candidate;
        else if (error != EEXIST)
            break;
    }
    if (name.empty())
        return;
    // Listing the folder again shows the new one where the sorting puts it.
    parent->setExpanded(false);
    parent->setExpanded(true);
    QTreeWidgetItem* child = ChildNamed(parent, name);
    if (!child)
        return;
    TreeView1->clearSelection();
    TreeView1->setCurrentItem(child);
    TreeView1->scrollToItem(child);
    TreeView1->editItem(child);
}

std::string TForm1::PathOf(const QTreeWidgetItem* item) const {
    std::vector<std::string> names;
    for (; item; item = item->parent())
        names.push_back(item->data(0, kNameRole).toByteArray().toStdString());
    std::reverse(names.begin(), names.end());
    if (names.front() != kNetworkRootName)
        return NodePath(names);
    // The network branch: smb://host/share/folders/.
    std::string path = "smb:/";
    for (size_t i = 1; i < names.size(); ++i)
        path += "/" + names[i];
    return path + "/";
}

void TForm1::ListSubFolders(QTreeWidgetItem* item) {
    const std::string path = PathOf(item);
    if (!HasRecord(item)) {
        item->setData(0, kKindRole, kLocal);
        item->setData(0, kWritableRole, FolderWritable(path));
        Colour(item);
    }
    std::vector<fs::DirEntry> entries;
    // A folder that cannot be listed (no permission, gone meanwhile) simply has no children.
    if (fs::ListFolder(path, "*", entries) != 0)
        return;
    std::vector<QByteArray> names;
    for (const fs::DirEntry& entry : entries) {
        if (entry.isFolder)
            names.push_back(QByteArray::fromStdString(entry.name));
    }
    // As file managers sort: by the reader's language, ignoring case, numbers by value.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(), [&collator](const QByteArray& a, const QByteArray& b) {
        return collator.compare(Shown(a), Shown(b)) < 0;
    });
    for (const QByteArray& name : names) {
        auto* child = new QTreeWidgetItem(item, QStringList(Shown(name)));
        child->setData(0, kNameRole, name);
        child->setFlags(child->flags() | Qt::ItemIsEditable);
        child->setIcon(0, ChooserImage(FolderImage(kLocal, Depth(child))));
    }
}

void TForm1::TreeView1Expanding(QTreeWidgetItem* item) {
    if (item->data(0, kKindRole).toInt() == kFavourite)
        return;
    if (RootOf(item)->data(0, kKindRole).toInt() == kNetwork) {
        std::erase_if(selectionOrder_,
                      [item](QTreeWidgetItem* s) { return s != item && Within(s, item); });
        qDeleteAll(item->takeChildren());
        new QTreeWidgetItem(item, QStringList(kPlaceholder));
        network_->Fill(item);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The children are rebuilt on every expansion: forget whatever pointed at the old ones.
    std::erase_if(selectionOrder_,
                  [item](QTreeWidgetItem* s) { return s != item && Within(s, item); });
    // An editor open on a removed child is released by the view, which ends the edit.
    qDeleteAll(item->takeChildren());
    if (!item->parent())
        RefreshVolume(item);
    ListSubFolders(item);
    if (item->parent() || item->childCount() > 0) {
        // One level ahead, so that each child shows an expand button only when it has folders.
        for (int i = 0; i < item->childCount(); ++i)
            ListSubFolders(item->child(i));
        for (int i = 0; i < item->childCount(); ++i)
            Colour(item->child(i));
    } else {
        new QTreeWidgetItem(item, QStringList(kPlaceholder));
        item->setExpanded(false);
    }
    QApplication::restoreOverrideCursor();
}

void TForm1::RefreshVolume(QTreeWidgetItem* root) {
    if (root->parent() || root->data(0, kKindRole).toInt() != kLocal)
        return;
    const std::string name = root->data(0, kNameRole).toByteArray().toStdString();
    const VolumeFacts facts = MeasureVolume(name);
    if (!facts.known)
        return;
    root->setData(0, kFreeRole, QVariant::fromValue<qulonglong>(facts.freeBytes));
    root->setData(0, kWritableRole, FolderWritable(name));
    root->setText(0, FromUtf8(RootText(name, facts.label, facts.freeBytes, free_.toStdString())));
}

void TForm1::Colour(QTreeWidgetItem* item) const {
    if (!HasRecord(item)) {
        item->setData(0, Qt::ForegroundRole, QVariant());
        return;
    }
    const uint64_t free = VolumeOf(item)->data(0, kFreeRole).toULongLong();
    const EntryColour colour = ColourOfEntry(item->data(0, kWritableRole).toInt(), jobTotal_, free);
    if (colour == EntryColour::Default) {
        item->setData(0, Qt::ForegroundRole, QVariant());
        return;
    }
    const uint32_t v = ColourValue(colour);  // 0x00BBGGRR
    item->setForeground(0, QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF));
}

void TForm1::ColourAll() {
    for (QTreeWidgetItemIterator it(TreeView1); *it; ++it)
        Colour(*it);
}

void TForm1::SelectLastDir(const std::string& lastDir) {
    std::vector<std::string> roots;
    for (int i = 0; i < TreeView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* root = TreeView1->topLevelItem(i);
        if (root->data(0, kKindRole).toInt() == kLocal)
            roots.push_back(root->data(0, kNameRole).toByteArray().toStdString());
    }
    QTreeWidgetItem* node = nullptr;
    if (const auto walk = WalkToLastDir(lastDir, roots)) {
        node = ChildNamed(TreeView1->invisibleRootItem(), walk->root);
        if (!node)
            return;
        node->setExpanded(true);
        for (const std::string& name : walk->names) {
            QTreeWidgetItem* next = ChildNamed(node, name);
            // The last destination is gone: nothing is pre-selected rather than a folder above.
            if (!next)
                return;
            next->setExpanded(true);
            node = next;
        }
    } else if (TreeView1->topLevelItemCount() > 0) {
        node = TreeView1->topLevelItem(0);
    }
    if (!node)
        return;
    TreeView1->setCurrentItem(node);
    TreeView1->scrollToItem(node);
    TreeView1->setFocus();
}

void TForm1::TreeView1Change() {
    const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
    std::erase_if(selectionOrder_, [&](QTreeWidgetItem* item) { return !selected.contains(item); });
    for (QTreeWidgetItem* item : selected) {
        if (std::find(selectionOrder_.begin(), selectionOrder_.end(), item) ==
            selectionOrder_.end())
            selectionOrder_.push_back(item);
    }
    // Clearing the selection is no choice of destination: a typed text stays.
    if (selectionOrder_.empty())
        return;
    std::vector<SelectedNode> nodes;
    for (const QTreeWidgetItem* item : selectionOrder_) {
        if (item->data(0, kKindRole).toInt() == kFavourite)
            nodes.push_back({SelectedNode::Kind::Favourite,
                             item->data(0, kNameRole).toByteArray().toStdString()});
        else if (!item->data(0, kNameRole).isValid())  // a placeholder
            nodes.push_back({SelectedNode::Kind::Nothing, {}});
        else if (RootOf(item)->data(0, kKindRole).toInt() == kNetwork && Depth(item) < 2)
            nodes.push_back({SelectedNode::Kind::Nothing, {}});  // the network root or a host
        else
            nodes.push_back({SelectedNode::Kind::Folder, PathOf(item)});
    }
    selectionText_ = QString::fromStdString(SelectionText(nodes, FavouritesFolder()));
    ComboBox1->setEditText(selectionText_);
}

bool TForm1::ReadOnlyChosen() const {
    return ComboBox1->currentText() == selectionText_ &&
           std::any_of(selectionOrder_.begin(), selectionOrder_.end(), [](QTreeWidgetItem* item) {
               return HasRecord(item) && item->data(0, kWritableRole).toInt() == 0;
           });
}

void TForm1::TreeView1Editing(QTreeWidgetItem* item) {
    editItem_ = item;
    std::string path = PathOf(item);
    path.pop_back();
    editPath_ = path;
}

void TForm1::TreeView1Edited(QTreeWidgetItem* item, const QString& label) {
    if (!item || item != editItem_ || editPath_.empty())
        return;
    const std::string path = editPath_;
    editPath_.clear();
    editItem_ = nullptr;
    const QByteArray newName = label.toUtf8();
    const auto target = RenameTarget(path, newName.toStdString());
    if (target && fs::RenameNoReplace(path, *target) == 0) {
        item->setData(0, kNameRole, newName);
        item->setText(0, label);
        ComboBox1->setEditText(QString::fromStdString(PathOf(item)));
        return;
    }
    // The folder keeps its name, and so does its label.
    item->setText(0, Shown(item->data(0, kNameRole).toByteArray()));
}

void TForm1::TreeView1DblClick() {
    const QList<QTreeWidgetItem*> selected = TreeView1->selectedItems();
    if (selected.size() == 1 && selected.front()->data(0, kKindRole).toInt() == kFavourite &&
        !ComboBox1->currentText().isEmpty())
        BitBtn1Click();
}

void TForm1::BitBtn1Click() {
    // The shares' logins are being checked: that answer decides.
    if (checking_)
        return;
    const std::string text = ComboBox1->currentText().toUtf8().toStdString();
    if (text.empty()) {
        close();
        return;
    }
    ChosenTargets chosen = ResolveShareTargets(
        TargetText(text), mounts::Table(),
        [this](const std::string& host) { return network_->CredentialsFor(host); });
    if (chosen.direct.empty())
        Confirm(text, chosen.text, {});
    else
        CheckShares(text, std::move(chosen));
}

void TForm1::CheckShares(const std::string& text, ChosenTargets chosen) {
    checking_ = true;
    BitBtn1->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::vector<DirectShare> direct = chosen.direct;
    auto* watcher = new QFutureWatcher<std::string>(this);
    connect(watcher, &QFutureWatcher<std::string>::finished, this,
            [this, watcher, text, chosen = std::move(chosen)] {
                watcher->deleteLater();
                checking_ = false;
                BitBtn1->setEnabled(true);
                QApplication::restoreOverrideCursor();
                // Closed meanwhile: the job has had its answer.
                if (answered_)
                    return;
                const std::string problem = watcher->result();
                if (problem.empty()) {
                    Confirm(text, chosen.text, LoginsOf(chosen.direct));
                    return;
                }
                SayOnStderr(problem);
                QMessageBox::warning(this, windowTitle(), QString::fromStdString(problem));
            });
    const int timeout = network_->timeoutMs;
    watcher->setFuture(
        QtConcurrent::run([direct, timeout] { return CheckShareLogins(direct, timeout); }));
}

void TForm1::Confirm(const std::string& text, const std::string& target,
                     const std::map<std::string, smb::Credentials>& logins) {
    const QRect frame = geometry();
    SaveAfterOk(store_, recent_, text, {frame.left(), frame.top(), frame.width(), frame.height()});
    answered_ = true;
    emit confirmed(target, logins);
    close();
}

void TForm1::BitBtn2Click() {
    close();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TForm1::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Minimising is no answer; closing without OK is one.
    if (event->spontaneous() || answered_)
        return;
    answered_ = true;
    emit cancelled();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && !Editing()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // A folder drawn red cannot take the job: Enter does not start it there.
            if (ReadOnlyChosen())
                QApplication::beep();
            else
                BitBtn1Click();
            return true;
        }
        if (key == Qt::Key_Escape) {
            BitBtn2Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace rd
