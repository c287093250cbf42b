// The destination chooser: its roots (volumes, RAM disks, favourites), lazy folders, the text a
// selection gives, OK and Cancel, renaming in place and folders that cannot be listed.
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <string>
#include <vector>

#include "app/recent_destinations.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "settings/store_keys.h"
#include "test_support.h"
#include "ui/chooser/chooser_window.h"

namespace rd {

namespace {

// Two small RAM disks when the test runs as root and may mount; none otherwise.
struct RamDisks {
    std::vector<std::string> points;
    explicit RamDisks(const test::TempDir& dir) {
        if (::geteuid() != 0)
            return;
        for (const char* name : {"ram1", "ram2"}) {
            const std::string point = dir / name;
            paths::MakePath(point);
            int status = -1;
            test::RunCommand("mount -t tmpfs -o size=1m tmpfs '" + point + "' 2>&1", &status);
            if (status == 0)
                points.push_back(std::filesystem::canonical(point).string());
        }
    }
    ~RamDisks() {
        for (const std::string& point : points)
            test::RunCommand("umount '" + point + "'");
    }
};

// A chooser on a store of its own, with its signals recorded.
struct Chooser {
    test::PrivateEnvironment env;
    Store store{env.Dir() / "registry.db"};
    TForm1 form{store, false};
    QTreeWidget* tree = form.findChild<QTreeWidget*>("TreeView1");
    QComboBox* combo = form.findChild<QComboBox*>("ComboBox1");
    QSignalSpy confirmed{&form, &TForm1::confirmed};
    QSignalSpy cancelled{&form, &TForm1::cancelled};

    // Shows the chooser with `lastDir` as the last destination, which it pre-selects.
    QTreeWidgetItem* ShowAt(const std::string& lastDir) {
        StoreKey(store, StoreRoot::CurrentUser, std::string(kBaseKey))
            .WriteText("LastDir", lastDir);
        form.show();
        return tree->currentItem();
    }
    QString Text() const { return combo->currentText(); }
};

QStringList Texts(const QTreeWidgetItem* parent) {
    QStringList texts;
    for (int i = 0; i < parent->childCount(); ++i)
        texts << parent->child(i)->text(0);
    return texts;
}

QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& text) {
    for (int i = 0; i < parent->childCount(); ++i) {
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    }
    return nullptr;
}

// The open label editor; a closed one lingers until deleted later.
QLineEdit* Editor(QTreeWidget* tree) {
    for (QLineEdit* editor : tree->findChildren<QLineEdit*>()) {
        if (editor->isVisible())
            return editor;
    }
    return nullptr;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

class ChooserWindowTest : public QObject {
    Q_OBJECT

private slots:
    void RootsAreVolumesRamDisksAndFavourites() {
        Chooser c;
        RamDisks disks(c.env.Dir());
        paths::MakePath(c.env.DataDir() + "/favorites");
        test::WriteFile(c.env.DataDir() + "/favorites/two.lst", "/x/\r\n/y/\r\n");
        c.ShowAt("");
        QCOMPARE(c.form.windowTitle(), QString("RedoDori to..."));
        QVERIFY(c.form.windowFlags() & Qt::WindowStaysOnTopHint);
        QStringList roots;
        for (int i = 0; i < c.tree->topLevelItemCount(); ++i)
            roots << c.tree->topLevelItem(i)->text(0);
        QVERIFY2(roots.front().startsWith("/ ") && roots.front().endsWith(" free"),
                 qPrintable(roots.join('|')));
        QVERIFY(c.tree->topLevelItem(0)->isSelected());
        QCOMPARE(c.Text(), QString("/"));
        int previous = 0;
        for (const std::string& point : disks.points) {
            const int at = roots.indexOf(Q(point + " ~1024 kb free"));
            QVERIFY2(at > previous, qPrintable(roots.join('|')));
            previous = at;
        }
        QCOMPARE(roots.back(), QString("two"));
        QTreeWidgetItem* favourite = c.tree->topLevelItem(roots.size() - 1);
        QCOMPARE(favourite->childCount(), 0);
        c.tree->clearSelection();
        favourite->setSelected(true);
        QCOMPARE(c.Text(), QString("/x/?/y/?"));
        c.form.TreeView1DblClick();
        QCOMPARE(c.confirmed.size(), 1);
        QCOMPARE(c.confirmed[0][0].value<std::string>(), std::string("/x/?/y/?"));
        QVERIFY(!c.form.isVisible());
        QCOMPARE(c.cancelled.size(), 0);
    }

    void FoldersExpandLazilySelectInOrderAndOk() {
        Chooser c;
        RamDisks disks(c.env.Dir());
        const std::string base = disks.points.empty() ? c.env.Dir() / "tree" : disks.points[0];
        for (const char* folder : {"a/deep/deeper", "b"})
            paths::MakePath(base + "/" + folder);
        test::WriteFile(base + "/file.txt", "x");
        QTreeWidgetItem* top = c.ShowAt(base + "/");
        QVERIFY(top);
        QCOMPARE(c.Text(), Q(base + "/"));
        QVERIFY(top->isExpanded());
        QCOMPARE(Texts(top), QStringList({"a", "b"}));
        // One level ahead: "a" knows it has a folder, "b" that it has none.
        QCOMPARE(Texts(Child(top, "a")), QStringList({"deep"}));
        QCOMPARE(Child(top, "b")->childCount(), 0);
        Child(top, "a")->setExpanded(true);
        QCOMPARE(Texts(Child(Child(top, "a"), "deep")), QStringList({"deeper"}));

        for (const char* first : {"b", "a"}) {
            const char* second = first[0] == 'a' ? "b" : "a";
            c.tree->clearSelection();
            Child(top, first)->setSelected(true);
            Child(top, second)->setSelected(true);
            QCOMPARE(c.Text(), Q(base + "/" + first + "/?" + base + "/" + second + "/"));
        }
        // The job's size known: the caption shows it and the entries say whether it fits.
        c.form.SetJobTotal(uint64_t{3} << 20);
        QCOMPARE(c.form.windowTitle(), QString("3072 kb RedoDori to..."));
        c.form.SetJobTotal(1);
        QCOMPARE(c.form.windowTitle(), QString("1 bytes RedoDori to..."));
        QCOMPARE(Child(top, "a")->foreground(0).color(), QColor(0, 0x80, 0));
        if (!disks.points.empty()) {
            c.form.SetJobTotal(uint64_t{3} << 20);
            QCOMPARE(Child(top, "a")->foreground(0).color(), QColor(0xFF, 0, 0x80));
        }

        c.form.findChild<QPushButton*>("BitBtn1")->click();
        const std::string text = base + "/a/?" + base + "/b/";
        QCOMPARE(c.confirmed.size(), 1);
        QCOMPARE(c.confirmed[0][0].value<std::string>(), text + "?");
        QCOMPARE(c.cancelled.size(), 0);
        QVERIFY(!c.form.isVisible());
        const ChooserMemory memory = LoadChooserMemory(c.store);
        QCOMPARE(memory.recent, std::vector<std::string>({text}));
        QCOMPARE(memory.lastDir, text);
    }

    void RenamesInPlaceOrKeepsTheLabel() {
        Chooser c;
        const std::string base = c.env.Dir() / "tree";
        for (const char* folder : {"a", "b", "taken/inside"})
            paths::MakePath(base + "/" + folder);
        QTreeWidgetItem* top = c.ShowAt(base + "/");
        const struct {
            const char* from;
            const char* label;
            const char* shown;  // the label afterwards, the folder's name on disk
        } cases[] = {
            {"b", "b2", "b2"}, {"a", "taken", "a"},  // something is there: nothing is replaced
            {"a", "x/y", "a"}, {"a", "..", "a"},    {"a", "", "a"},
        };
        for (const auto& r : cases) {
            QTreeWidgetItem* item = Child(top, r.from);
            QVERIFY2(item, r.from);
            c.tree->editItem(item, 0);
            QVERIFY(c.form.Editing());
            auto* editor = Editor(c.tree);
            QVERIFY(editor);
            editor->setText(r.label);
            QTest::keyClick(editor, Qt::Key_Return);
            // The view commits an edit from its event loop.
            QCoreApplication::processEvents();
            QVERIFY2(!c.form.Editing(), r.label);
            QCOMPARE(item->text(0), QString(r.shown));
            QVERIFY2(Exists(base + "/" + r.shown), r.label);
            QVERIFY(Exists(base + "/taken/inside"));
        }
        QVERIFY(!Exists(base + "/b"));
        QCOMPARE(c.Text(), Q(base + "/b2/"));
        // Enter ended the edits, not the chooser.
        QVERIFY(c.form.isVisible());
        QCOMPARE(c.confirmed.size() + c.cancelled.size(), 0);

        c.tree->editItem(Child(top, "a"), 0);
        auto* editor = Editor(c.tree);
        editor->setText("gone");
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(!c.form.Editing());
        QVERIFY(c.form.isVisible());
        QCOMPARE(Texts(top), QStringList({"a", "b2", "taken"}));
        QTest::keyClick(c.tree, Qt::Key_Escape);
        QVERIFY(!c.form.isVisible());
        QCOMPARE(c.cancelled.size(), 1);
        QCOMPARE(c.confirmed.size(), 0);
        QCOMPARE(LoadChooserMemory(c.store).recent.size(), size_t{0});
    }

    void NewFoldersTakeTheNextFreeName() {
        Chooser c;
        const std::string base = c.env.Dir() / "tree";
        paths::MakePath(base + "/New folder");
        QTreeWidgetItem* top = c.ShowAt(base + "/");
        QAction* newFolder = c.tree->actions().value(0);
        QVERIFY(newFolder);
        QCOMPARE(newFolder->text(), QString("New folder"));
        for (const char* label : {"mine", "ours"}) {
            c.tree->setCurrentItem(top);
            newFolder->trigger();
            QVERIFY(c.form.Editing());
            QVERIFY(Exists(base + "/New folder (2)"));
            auto* editor = Editor(c.tree);
            QVERIFY(editor);
            editor->setText(label);
            QTest::keyClick(editor, Qt::Key_Return);
            QCoreApplication::processEvents();
            QVERIFY(Exists(base + "/" + label));
            QCOMPARE(c.Text(), Q(base + "/" + label + "/"));
        }
        QVERIFY(!Exists(base + "/New folder (2)"));
        QCOMPARE(Texts(top), QStringList({"mine", "New folder", "ours"}));
    }

    void MountsAppearAndGoWhileShown() {
        Chooser c;
        if (::geteuid() != 0)
            QSKIP("mounting needs root");
        const std::string point = c.env.Dir() / "late";
        paths::MakePath(point);
        c.ShowAt("");
        const auto root = [&]() -> QTreeWidgetItem* {
            for (int i = 0; i < c.tree->topLevelItemCount(); ++i) {
                if (c.tree->topLevelItem(i)->text(0).startsWith(Q(point + " ")))
                    return c.tree->topLevelItem(i);
            }
            return nullptr;
        };
        QVERIFY(!root());
        int status = -1;
        test::RunCommand("mount -t tmpfs -o size=2m tmpfs '" + point + "' 2>&1", &status);
        QCOMPARE(status, 0);
        paths::MakePath(point + "/in");
        QTRY_VERIFY(root());
        QCOMPARE(root()->text(0), Q(point + " ~2048 kb free"));
        root()->setExpanded(true);
        c.tree->clearSelection();
        Child(root(), "in")->setSelected(true);
        QCOMPARE(c.Text(), Q(point + "/in/"));
        test::RunCommand("umount '" + point + "'", &status);
        QCOMPARE(status, 0);
        QTRY_VERIFY(!root());
        // The destination was on the volume that went: OK must not fill the bare mount point.
        QCOMPARE(c.Text(), QString());
        QVERIFY(c.form.isVisible());
    }

    void EnterOnAReadOnlyEntryStartsNothing() {
        Chooser c;
        const std::string base = c.env.Dir() / "tree";
        const std::string ro = base + "/ro";
        paths::MakePath(ro);
        paths::MakePath(base + "/rw");
        // A folder this user cannot write: without root its mode says so, as root a read-only
        // mount of its own.
        int status = 0;
        if (::geteuid() != 0)
            ::chmod(ro.c_str(), 0500);
        else
            test::RunCommand("mount --bind '" + ro + "' '" + ro +
                                 "' && mount -o remount,bind,ro '" + ro + "' '" + ro + "' 2>&1",
                             &status);
        struct Unmount {
            std::string point;
            ~Unmount() {
                if (!point.empty())
                    test::RunCommand("umount '" + point + "'");
            }
        } unmount{::geteuid() == 0 ? ro : ""};
        if (status != 0)
            QSKIP("cannot mount a read-only folder here");
        QTreeWidgetItem* top = c.ShowAt(base + "/");
        QTreeWidgetItem* readOnly = Child(top, "ro");
        c.tree->setCurrentItem(readOnly);
        QCOMPARE(c.Text(), Q(ro + "/"));
        c.tree->setCurrentItem(Child(top, "rw"));
        QCOMPARE(readOnly->foreground(0).color(), QColor(0xFF, 0, 0));
        c.tree->setCurrentItem(readOnly);
        QTest::keyClick(c.tree, Qt::Key_Return);
        QTest::keyClick(c.tree, Qt::Key_Enter);
        QCOMPARE(c.confirmed.size(), 0);
        QVERIFY(c.form.isVisible());
        // A destination typed over the selection's text is the user's choice: Enter takes it.
        c.combo->setEditText(Q(base + "/rw/"));
        QTest::keyClick(c.combo->lineEdit(), Qt::Key_Return);
        QCOMPARE(c.confirmed.size(), 1);
        QCOMPARE(c.confirmed.front().front().value<std::string>(), base + "/rw/?");
        ::chmod(ro.c_str(), 0700);
    }

    void FoldersThatCannotBeListedHaveNoChildren() {
        Chooser c;
        RamDisks disks(c.env.Dir());
        const std::string base = c.env.Dir() / "tree";
        for (const char* folder : {"locked/inner", "doomed/inner"})
            paths::MakePath(base + "/" + folder);
        ::chmod((base + "/locked").c_str(), 0);
        QTreeWidgetItem* top = c.ShowAt(base + "/");
        QCOMPARE(Texts(top), QStringList({"doomed", "locked"}));
        // Deleted while shown: the expansion finds nothing and says nothing.
        test::RunCommand("rm -rf '" + base + "/doomed'");
        for (const char* name : {"doomed", "locked"}) {
            QTreeWidgetItem* item = Child(top, name);
            item->setExpanded(true);
            if (::geteuid() != 0 || std::string(name) == "doomed")
                QCOMPARE(item->childCount(), 0);
        }
        c.tree->clearSelection();
        Child(top, "doomed")->setSelected(true);
        QCOMPARE(c.Text(), Q(base + "/doomed/"));
        ::chmod((base + "/locked").c_str(), 0700);

        // A read-only volume is drawn red even when the job fits.
        if (disks.points.size() == 2) {
            paths::MakePath(disks.points[1] + "/ro");
            test::RunCommand("mount -o remount,ro '" + disks.points[1] + "'");
            c.form.SetJobTotal(1);
            for (int i = 0; i < c.tree->topLevelItemCount(); ++i) {
                QTreeWidgetItem* root = c.tree->topLevelItem(i);
                if (!root->text(0).startsWith(Q(disks.points[1] + " ")))
                    continue;
                root->setExpanded(true);
                QCOMPARE(Texts(root), QStringList({"ro"}));
                QCOMPARE(root->foreground(0).color(), QColor(0xFF, 0, 0));
                QCOMPARE(root->child(0)->foreground(0).color(), QColor(0xFF, 0, 0));
            }
        }
        // OK without a text only closes.
        c.combo->setEditText("");
        c.form.BitBtn1Click();
        QCOMPARE(c.cancelled.size(), 1);
        QCOMPARE(c.confirmed.size(), 0);
    }
};

}  // namespace rd

QTEST_MAIN(rd::ChooserWindowTest)
#include "chooser_window_test.moc"
