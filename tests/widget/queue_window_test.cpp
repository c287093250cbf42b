// The queue window: its rows follow the job's source queue, Delete takes an unfinished source
// out of the job, drops are handed on, and minimising hides it only while it was shown.
#include <QMenu>
#include <QtTest>
#include <filesystem>
#include <string>

#include "engine/file_list_builder.h"
#include "engine/test_host.h"
#include "test_support.h"
#include "ui/progress/queue_window.h"

namespace rd {

namespace {

constexpr uint64_t kMB = 1024 * 1024;

QStringList Column(const TQueueView& view, int column) {
    QStringList texts;
    for (int row = 0; row < view.model()->rowCount(); ++row)
        texts << view.model()->index(row, column).data().toString();
    return texts;
}

void Select(TQueueView& view, int row) {
    view.clearSelection();
    if (row >= 0)
        view.selectionModel()->select(view.model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QString SelectedPath(const TQueueView& view) {
    const QModelIndexList rows = view.selectionModel()->selectedRows();
    return rows.size() == 1 ? rows[0].data().toString() : QString();
}

}  // namespace

class QueueWindowTest : public QObject {
    Q_OBJECT

private:
    // Everything a job's queue window works on, with the file list built from real files.
    struct Job {
        test::PrivateEnvironment env;
        test::TempDir dir;
        JobPolicy policy;
        test::TestHost host;
        EngineContext ctx{policy, host, host.queue};
        FileListBuilder builder{ctx};
        TRedoDoriQueue window;

        Job() {
            host.ctx = &ctx;
            window.Attach(host.queue, ctx.list, ctx.state.counters);
        }
        // Queues `relative` and walks it into the file list, as the intake does.
        void Source(const std::string& relative) {
            const std::string path = dir / relative;
            builder.AddSource(host.queue.EntryAt(host.queue.Add(path)), path);
        }
        int NodesOf(const QueueEntry* entry) {
            std::lock_guard<std::mutex> lock(ctx.list.ListLock);
            int count = 0;
            for (FENTRY_* node = ctx.list.Head(); node; node = node->next)
                count += node->queueEntry == entry;
            return count;
        }
        QAction* Delete1() { return window.findChild<QAction*>("Delete1"); }
    };

private slots:
    void RowsAndStatesFollowTheQueue() {
        Job job;
        SourceQueue& queue = job.host.queue;
        TQueueView& view = *job.window.View();
        queue.Add("/src/a.txt");
        queue.Add("/src/docs/");
        job.window.Refresh();
        QCOMPARE(Column(view, 0), QStringList({"/src/a.txt", "/src/docs"}));
        QCOMPARE(Column(view, 1), QStringList({"Wait", "Wait"}));

        Select(view, 1);
        queue.SetState(queue.EntryAt(0), kStateDone);
        queue.SetState(queue.EntryAt(1), kStateCopy);
        queue.Add("/src/late.bin");
        job.window.Refresh();
        QCOMPARE(Column(view, 0), QStringList({"/src/a.txt", "/src/docs", "/src/late.bin"}));
        QCOMPARE(Column(view, 1), QStringList({"Done", "Copy", "Wait"}));
        QCOMPARE(SelectedPath(view), QString("/src/docs"));

        // An entry leaving the queue ahead of the selected one moves the selection with its
        // row, not with its index.
        queue.RemoveAt(0);
        job.window.Refresh();
        QCOMPARE(Column(view, 0), QStringList({"/src/docs", "/src/late.bin"}));
        QCOMPARE(Column(view, 1), QStringList({"Copy", "Wait"}));
        QCOMPARE(SelectedPath(view), QString("/src/docs"));
    }

    void DeleteIsOfferedOnlyForASelectedUnfinishedSource() {
        Job job;
        SourceQueue& queue = job.host.queue;
        TQueueView& view = *job.window.View();
        QMenu* menu = job.window.findChild<QMenu*>("PopupMenu1");
        QVERIFY(menu);
        QAction* delete1 = job.Delete1();
        QVERIFY(menu->actions().contains(delete1));
        QCOMPARE(delete1->text(), QString("Delete"));
        QCOMPARE(delete1->shortcut(), QKeySequence(Qt::Key_Delete));

        queue.Add("/src/done.bin");
        queue.Add("/src/wait.bin");
        queue.SetState(queue.EntryAt(0), kStateDone);
        job.window.Refresh();
        emit menu->aboutToShow();
        QVERIFY(!delete1->isEnabled());

        Select(view, 0);
        emit menu->aboutToShow();
        QVERIFY(!delete1->isEnabled());

        Select(view, 1);
        emit menu->aboutToShow();
        QVERIFY(delete1->isEnabled());

        // The job finishes the source while it is selected: it can no longer be deleted.
        queue.SetState(queue.EntryAt(1), kStateDone);
        job.window.Delete1Click();
        QCOMPARE(queue.Count(), 2);
        job.window.Refresh();
        QVERIFY(!delete1->isEnabled());
    }

    void DeletingAWaitingSourceLowersTheListedTotals() {
        Job job;
        std::filesystem::create_directories(job.dir / "docs");
        for (const char* name : {"docs/1.bin", "docs/2.bin", "docs/3.bin"})
            test::WriteFile(job.dir / name, std::string(kMB, 'x'));
        test::WriteFile(job.dir / "keep.bin", "12345");
        job.Source("keep.bin");
        job.Source("docs/");
        JobCounters& counters = job.ctx.state.counters;
        const uint64_t bytes = counters.listedBytes;
        const uint32_t files = counters.listedFiles;
        QCOMPARE(files, 4u);
        const QueueEntry* docs = job.host.queue.EntryAt(1);
        QCOMPARE(job.NodesOf(docs), 4);

        TQueueView& view = *job.window.View();
        job.window.Refresh();
        QCOMPARE(Column(view, 0), QStringList({QString::fromStdString(job.dir / "keep.bin"),
                                               QString::fromStdString(job.dir / "docs")}));
        Select(view, 1);
        QVERIFY(job.Delete1()->isEnabled());
        job.Delete1()->trigger();

        QCOMPARE(counters.listedBytes.load(), bytes - 3 * kMB);
        QCOMPARE(counters.listedFiles.load(), files - 3);
        QCOMPARE(job.NodesOf(docs), 0);
        QCOMPARE(job.host.queue.Count(), 1);
        QCOMPARE(Column(view, 0), QStringList({QString::fromStdString(job.dir / "keep.bin")}));
        QVERIFY(!job.Delete1()->isEnabled());
    }

    void DelKeyDeletesTheSelectedSource() {
        Job job;
        job.host.queue.Add("/src/a");
        job.host.queue.Add("/src/b");
        job.window.Refresh();
        job.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&job.window));
        TQueueView& view = *job.window.View();
        view.setFocus();
        Select(view, 0);
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(Column(view, 0), QStringList({"/src/b"}));
        QCOMPARE(job.host.queue.EntryPath(0), std::string("/src/b"));
    }

    void DroppedLocalPathsAreHandedOn() {
        Job job;
        QSignalSpy dropped(&job.window, &TRedoDoriQueue::pathsDropped);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile("/home/u/a.txt"), QUrl("https://example.org/x"),
                      QUrl::fromLocalFile("/home/u/docs/")});
        // Dropped on the list, the drop reaches the window.
        QWidget* list = job.window.View()->viewport();
        const QPoint at(5, 5);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list, &drop);
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped[0][0].toStringList(), QStringList({"/home/u/a.txt", "/home/u/docs/"}));
        // Dropping never touches the queue itself: the progress window adds the paths.
        QCOMPARE(job.host.queue.Count(), 0);
    }

    void MinimiseRestoresOnlyAShownWindow() {
        Job job;
        TRedoDoriQueue& window = job.window;
        window.HideForMinimise();
        window.ShowAfterRestore();
        QVERIFY(!window.isVisible());

        window.show();
        window.HideForMinimise();
        QVERIFY(!window.isVisible());
        window.ShowAfterRestore();
        QVERIFY(window.isVisible());

        // Closed by the user after a restore, it stays closed through the next one.
        window.hide();
        window.HideForMinimise();
        window.ShowAfterRestore();
        QVERIFY(!window.isVisible());
    }
};

}  // namespace rd

QTEST_MAIN(rd::QueueWindowTest)
#include "queue_window_test.moc"
