// The resume manager's window and pop-ups: the list and its columns, Resume on restart,
// Delete entry with the list files, Start minimized, and the pop-ups' attempts, waits and
// cancelling.
#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>
#include <string>
#include <vector>

#include "look/language.h"
#include "look/qt_translations.h"
#include "platform/paths.h"
#include "platform/store.h"
#include "resume/resume_records.h"
#include "settings/store_keys.h"
#include "test_support.h"
#include "ui/resume/resume_item_window.h"
#include "ui/resume/resume_items.h"
#include "ui/resume/resume_manager_window.h"

namespace rd {

class ResumeManagerTest : public QObject {
    Q_OBJECT

private:
    test::PrivateEnvironment env_;
    std::unique_ptr<Store> store_;
    std::vector<std::string> launched_;
    std::unique_ptr<ResumeItems> items_;

    std::string ListPath(int n) const {
        return env_.StateDir() + "/vnfrm" + std::to_string(n) + ".lst";
    }
    void Put(const std::string& name, const std::string& value) {
        QVERIFY(store_->WriteText(StoreRoot::CurrentUser, kResumeKey, name, value));
    }
    bool Has(const std::string& name) {
        return store_->ValueExists(StoreRoot::CurrentUser, kResumeKey, name);
    }
    // Record n of this program from `from` to /dst/n/, with its list of `sources` in `from`.
    void Record(int n, const std::string& from, bool autostart = true,
                std::initializer_list<const char*> sources = {"x"}) {
        const std::string name = std::to_string(n);
        std::string list;
        for (const char* source : sources)
            list += from + source + "\r\n";
        test::WriteFile(ListPath(n), list);
        Put(name, OwnProgramPath() + " |" + ListPath(n) + "|/dst/" + name + "/?|uwq2");
        Put("f_" + name, from);
        Put("t_" + name, "2026-03-0" + name + " 09:05");
        if (!autostart)
            Put("d_" + name, "x");
    }
    static QTableWidget* List(TFormResMan& form) {
        return form.findChild<QTableWidget*>("ListView1");
    }
    static QStringList Row(TFormResMan& form, int row) {
        QStringList texts;
        for (int column = 0; column < 4; ++column)
            texts << List(form)->item(row, column)->text();
        return texts;
    }
    static void Select(TFormResMan& form, std::initializer_list<int> rows) {
        List(form)->clearSelection();
        for (const int row : rows)
            List(form)->selectionModel()->select(
                List(form)->model()->index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    static void Trigger(TFormResMan& form, const char* action) {
        form.findChild<QAction*>(action)->trigger();
    }
    TFormResItem* PopUp(int n) { return items_->Find(n); }

private slots:
    void init() {
        store_ = std::make_unique<Store>(env_.ConfigDir() + "/registry.db");
        store_->DeleteKey(StoreRoot::CurrentUser, kResumeKey);
        QVERIFY(paths::MakePath(env_.StateDir()) == 0);
        QVERIFY(paths::MakePath(env_.Dir() / "src") == 0);
        launched_.clear();
        items_ = std::make_unique<ResumeItems>(
            *store_, OwnProgramPath(),
            [this](const std::string&, const std::string& argument, std::string&) {
                launched_.push_back(argument);
                return true;
            });
    }
    void cleanup() { items_.reset(); }

    void ListsTheRecordsWithTheirColumns() {
        Record(3, env_.Dir() / "src/");
        Record(1, "/gone/", false);
        Put("7", "/p |/l|/a/?/b/?|uw");
        TFormResMan form(*store_, *items_);
        QCOMPARE(form.windowTitle(), QString("RedoDori resume manager"));
        QTableWidget* list = List(form);
        QStringList headers;
        for (int column = 0; column < 4; ++column)
            headers << list->horizontalHeaderItem(column)->text();
        QCOMPARE(headers, QStringList({"Time", "From", "To", "Autostart"}));
        QVERIFY(list->horizontalHeader()->sectionSize(0) >= 100);
        QVERIFY(list->horizontalHeader()->sectionSize(0) >
                list->fontMetrics().horizontalAdvance("2026-03-01 09:05"));
        QCOMPARE(list->horizontalHeader()->sectionSize(3), 60);
        QVERIFY(list->showGrid());
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(list->rowCount(), 3);
        QCOMPARE(Row(form, 0), QStringList({"2026-03-01 09:05", "x", "/dst/1/", "No"}));
        QCOMPARE(Row(form, 1), QStringList({"2026-03-03 09:05", "x", "/dst/3/", "Yes"}));
        QCOMPARE(Row(form, 2), QStringList({"Unknown", "Unknown", "/a/\n/b/", "Yes"}));
        Select(form, {2, 0});
        QCOMPARE(form.SelectedRecords(), (std::vector<int32_t>{1, 7}));

        // The refresh follows the store: rows go from the end.
        store_->DeleteValue(StoreRoot::CurrentUser, kResumeKey, "3");
        form.Timer1Timer();
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(Row(form, 1), QStringList({"Unknown", "Unknown", "/a/\n/b/", "Yes"}));
        QCOMPARE(form.findChild<QTimer*>("Timer1")->interval(), 5000);
    }

    void JobsFromOneFolderReadApartAndDestinationsGoOneALine() {
        const std::string src = env_.Dir() / "src/";
        Record(1, src, true, {"a.txt", "b/", "c"});
        Record(2, src, true, {"photos/"});
        // A list that cannot be read leaves the folder the job came from.
        Record(3, "/gone/");
        std::filesystem::remove(ListPath(3));
        Put("4", OwnProgramPath() + " |" + ListPath(1) + "|/x/?/y z/?/w/?|uwq2");
        TFormResMan form(*store_, *items_);
        QCOMPARE(Row(form, 0).at(1), QString("a.txt + 2 more"));
        QCOMPARE(List(form)->item(0, 1)->toolTip(),
                 QString::fromStdString(src + "a.txt\n" + src + "b/\n" + src + "c"));
        QCOMPARE(Row(form, 1).at(1), QString("photos"));
        QCOMPARE(Row(form, 2).at(1), QString("/gone/"));
        QCOMPARE(Row(form, 3).at(2), QString("/x/\n/y z/\n/w/"));
        // The row is as high as its three destinations.
        QVERIFY(List(form)->rowHeight(3) >= 3 * List(form)->fontMetrics().lineSpacing());
    }

    void AnEmptyListSaysThereIsNothingToResume() {
        TFormResMan form(*store_, *items_);
        auto* hint = form.findChild<QLabel*>("EmptyHint");
        QVERIFY(hint);
        QVERIFY(!hint->isHidden());
        QCOMPARE(hint->text(), QString("There are no interrupted jobs to resume."));
        Record(1, "/a/");
        form.Timer1Timer();
        QVERIFY(hint->isHidden());
    }

    void GermanShowsTheJobsAndShortcutsInGerman() {
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm"))
            QSKIP("Qt's German translation is not installed (scripts/setup.sh installs it)");
        Record(1, env_.Dir() / "src/", true, {"a", "b"});
        TFormResMan form(*store_, *items_);
        Language german;
        german.LoadFile(std::string(REDODORI_SOURCE_DATA_DIR) + "/german.lng");
        form.ApplyLanguage(german);
        QCOMPARE(Row(form, 0).at(1), QString("a + 1 weitere"));
        auto shortcut = [&form](const char* action) {
            return form.findChild<QAction*>(action)->shortcut().toString(QKeySequence::NativeText);
        };
        QCOMPARE(shortcut("Resumeonrestart1"), QString("Strg+R"));
        QCOMPARE(shortcut("Deleteentry1"), QString("Entf"));
        InstallQtTranslations({});
        QCOMPARE(shortcut("Resumeonrestart1"), QString("Ctrl+R"));
    }

    void TheMenuFlipsResumeOnRestartAndStartMinimized() {
        Record(1, "/a/", false);
        Record(2, "/b/");
        TFormResMan form(*store_, *items_);
        QStringList menu;
        for (QAction* action : form.findChild<QMenu*>("PopupMenu1")->actions())
            menu << (action->isSeparator() ? "-" : action->objectName());
        QCOMPARE(menu, QStringList({"Resumenow1", "Resumeonrestart1", "Deleteentry1", "-",
                                    "Startminimized1"}));
        Select(form, {0, 1});
        Trigger(form, "Resumeonrestart1");
        QCOMPARE(Row(form, 0).at(3) + Row(form, 1).at(3), QString("YesNo"));
        QVERIFY(!Has("d_1") && Has("d_2"));
        Select(form, {0});
        Trigger(form, "Resumeonrestart1");
        QCOMPARE(Row(form, 0).at(3), QString("No"));

        QAction* check = form.findChild<QAction*>("Startminimized1");
        store_->WriteInt(StoreRoot::CurrentUser, kResumeKey, "min", 1);
        form.PopupMenu1Popup();
        QVERIFY(check->isChecked());
        check->trigger();
        QCOMPARE(store_->ReadInt(StoreRoot::CurrentUser, kResumeKey, "min"), 0);
        // A value that cannot be read clears the check.
        store_->WriteText(StoreRoot::CurrentUser, kResumeKey, "min", "yes");
        check->setChecked(true);
        form.PopupMenu1Popup();
        QVERIFY(!check->isChecked());
    }

    void ResumeNowStartsTheJobAndTheRecordGoes() {
        Record(4, env_.Dir() / "src/");
        Record(5, "/gone/");
        TFormResMan form(*store_, *items_);
        Select(form, {0});
        Trigger(form, "Resumenow1");
        TFormResItem* item = PopUp(4);
        QVERIFY(item);
        QCOMPARE(item->windowTitle(), QString("Resume RedoDori job"));
        QCOMPARE(item->findChild<QLabel*>("Label2")->text(),
                 QString::fromStdString(env_.Dir() / "src/"));
        QTRY_VERIFY(!PopUp(4));
        QCOMPARE(launched_, std::vector<std::string>{"|" + ListPath(4) + "|/dst/4/?|uwq2"});
        form.Refresh();
        QCOMPARE(List(form)->rowCount(), 1);
        QVERIFY(std::filesystem::exists(ListPath(4)));
    }

    void AnUnreachableSourceWaitsUntilCancelled() {
        Record(5, "/gone/");
        TFormResMan form(*store_, *items_);
        Select(form, {0});
        QSignalSpy emptied(items_.get(), &ResumeItems::emptied);
        form.ListView1DblClick();
        form.Resumenow1Click();
        TFormResItem* item = PopUp(5);
        QVERIFY(item);
        QCOMPARE(item->parent(), nullptr);
        QVERIFY(item->findChild<QLabel*>("Label3")->text().startsWith("Waiting accessibility ("));
        QTRY_VERIFY(item->Item().Attempts() >= 2);
        int popUps = 0;
        for (QWidget* window : QApplication::topLevelWidgets())
            popUps += window->objectName() == "FormResItem";
        QCOMPARE(popUps, 1);
        QVERIFY(launched_.empty());
        auto* cancel = item->findChild<QPushButton*>("BitBtn1");
        QCOMPARE(cancel->text(), QString("Cancel"));
        cancel->click();
        QTRY_VERIFY(!PopUp(5));
        QCOMPARE(emptied.count(), 1);
        QVERIFY(Has("5") && Has("f_5") && Has("t_5"));
        QVERIFY(launched_.empty());
    }

    void ARefusedRecordSaysWhyAndStays() {
        Record(6, env_.Dir() / "src/");
        std::filesystem::remove(ListPath(6));
        items_->Resume(6);
        TFormResItem* item = PopUp(6);
        QTRY_COMPARE(item->findChild<QLabel*>("Label3")->text(),
                     QString::fromStdString("Cannot resume: the record's list file " + ListPath(6) +
                                            " is missing"));
        QVERIFY(item->findChild<QPushButton*>("BitBtn1")->isEnabled());
        QVERIFY(Has("6"));
        item->BitBtn1Click();
        QTRY_VERIFY(!PopUp(6));
    }

    void DeleteTakesTheRecordAndItsList() {
        Record(1, "/a/");
        Record(2, "/gone/");
        Record(3, "/c/");
        TFormResMan form(*store_, *items_);
        // Record 2 is being resumed: its list stays until its pop-up is over.
        items_->Resume(2);
        Select(form, {0, 1});
        Trigger(form, "Deleteentry1");
        QCOMPARE(List(form)->rowCount(), 1);
        QCOMPARE(Row(form, 0).at(2), QString("/dst/3/"));
        for (const char* name : {"1", "f_1", "t_1", "2", "f_2", "t_2"})
            QVERIFY2(!Has(name), name);
        QVERIFY(!std::filesystem::exists(ListPath(1)));
        QVERIFY(std::filesystem::exists(ListPath(2)));
        QVERIFY(std::filesystem::exists(ListPath(3)));
        // Its next attempt finds the record gone and ends the pop-up; the list goes with it.
        QTRY_VERIFY(!PopUp(2));
        QVERIFY(!std::filesystem::exists(ListPath(2)));
        QVERIFY(launched_.empty());
    }
};

}  // namespace rd

QTEST_MAIN(rd::ResumeManagerTest)
#include "resume_manager_test.moc"
