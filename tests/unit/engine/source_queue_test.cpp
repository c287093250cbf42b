#include "engine/source_queue.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "engine/file_list.h"
#include "engine/job_state.h"

namespace rd {
namespace {

constexpr uint64_t kMB = 1024 * 1024;

TEST(SourceQueueAdd, KeepsThePlainFormOfEachPath) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/u/docs/", "/home/u/docs"},
        {"/home/u/a.txt", "/home/u/a.txt"},
        {"/x//", "/x"},
        {"/a/b/..", "/a"},
        {"/a/./b//c/", "/a/b/c"},
        {"/a/b/../../..", "/"},
        {"/../etc", "/etc"},
        {"rel/../x", "x"},
    };
    SourceQueue q;
    for (const auto& [given, kept] : cases) {
        const int index = q.Add(given);
        if (std::string(kept) == "/") {
            EXPECT_EQ(index, -1) << given;
            continue;
        }
        ASSERT_GE(index, 0) << given;
        EXPECT_EQ(q.EntryPath(index), kept) << given;
        EXPECT_EQ(q.EntryState(index), kStateWait);
    }
}

TEST(SourceQueueAdd, NothingLeftAddsNothing) {
    SourceQueue q;
    EXPECT_EQ(q.Add("/"), -1);
    EXPECT_EQ(q.Add(""), -1);
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.Add("/a"), 0);
}

TEST(SourceQueueLookup, OutOfRangeGivesNothing) {
    SourceQueue q;
    q.Add("/a");
    EXPECT_EQ(q.EntryPath(1), "");
    EXPECT_EQ(q.EntryPath(-1), "");
    EXPECT_EQ(q.EntryState(5), "");
    EXPECT_EQ(q.EntryAt(1), nullptr);
    EXPECT_EQ(q.IndexOf(nullptr), -1);
    EXPECT_EQ(q.IndexOf(q.EntryAt(0)), 0);
}

TEST(SourceQueueNext, HandsOutEachEntryOnceInOrder) {
    SourceQueue q;
    EXPECT_EQ(q.Cursor(), -1);
    SourceQueue::Next none = q.NextSource();
    EXPECT_EQ(none.entry, nullptr);
    EXPECT_EQ(none.path, "");

    q.Add("/a");
    q.Add("/b");
    SourceQueue::Next n = q.NextSource();
    EXPECT_EQ(n.entry, q.EntryAt(0));
    EXPECT_EQ(n.path, "/a");
    EXPECT_EQ(q.Cursor(), 1);
    EXPECT_EQ(q.NextSource().path, "/b");
    EXPECT_EQ(q.NextSource().entry, nullptr);
    EXPECT_EQ(q.Cursor(), 2);

    // A source dropped later is still handed out.
    q.Add("/c");
    EXPECT_EQ(q.NextSource().path, "/c");
}

TEST(SourceQueueState, SetAndIgnoredAfterRemoval) {
    SourceQueue q;
    q.Add("/a");
    q.Add("/b");
    QueueEntry* a = q.EntryAt(0);
    q.SetState(a, std::string("Copy"));
    // Text other than the three states changes nothing.
    q.SetState(a, "Paused");
    EXPECT_EQ(q.EntryState(0), kStateCopy);

    q.RemoveAt(0);
    q.SetState(a, kStateDone);
    EXPECT_EQ(q.Count(), 1);
    EXPECT_EQ(q.EntryState(0), kStateWait);
    EXPECT_EQ(q.IndexOf(a), -1);
    // The removed entry stays readable for file-list nodes that still point at it.
    EXPECT_EQ(a->file.path, "/a");
    EXPECT_EQ(a->State(), kStateCopy);
}

TEST(SourceQueueRemove, OutOfRangeIgnoredAndCursorKept) {
    SourceQueue q;
    q.Add("/a");
    q.Add("/b");
    q.Add("/c");
    q.RemoveAt(3);
    q.RemoveAt(-1);
    EXPECT_EQ(q.Count(), 3);

    EXPECT_EQ(q.NextSource().path, "/a");
    EXPECT_EQ(q.NextSource().path, "/b");
    q.RemoveAt(0);
    EXPECT_EQ(q.NextSource().path, "/c");
}

class DeleteSourceTest : public ::testing::Test {
protected:
    FENTRY_* AddNode(QueueEntry* entry, const std::string& relative, uint64_t size, bool folder) {
        FENTRY_ node;
        node.queueEntry = entry;
        node.base = list.KeepBase("/src");
        node.relative = relative;
        node.size = folder ? 0 : size;
        node.attributes = folder ? (S_IFDIR | 0755) : (S_IFREG | 0644);
        if (!folder) {
            counters.listedBytes += size;
            ++counters.listedFiles;
        }
        return list.Append(std::move(node));
    }

    std::vector<QueueEntry*> Owners() const {
        std::vector<QueueEntry*> owners;
        for (FENTRY_* n = list.Head(); n; n = n->next)
            owners.push_back(n->queueEntry);
        return owners;
    }

    SourceQueue queue;
    FileList list;
    JobCounters counters;
};

TEST_F(DeleteSourceTest, WaitingEntryLeavesListAndTotals) {
    queue.Add("/src/first.bin");
    queue.Add("/src/docs");
    queue.Add("/src/last.bin");
    QueueEntry* first = queue.EntryAt(0);
    QueueEntry* docs = queue.EntryAt(1);
    QueueEntry* last = queue.EntryAt(2);
    AddNode(first, "/first.bin", 5, false);
    FENTRY_* folder = AddNode(docs, "/docs", 0, true);
    FENTRY_* f1 = AddNode(docs, "/docs/1", kMB, false);
    AddNode(docs, "/docs/2", kMB, false);
    FENTRY_* f3 = AddNode(docs, "/docs/3", kMB, false);
    AddNode(last, "/last.bin", 7, false);
    ASSERT_EQ(counters.listedBytes, 3 * kMB + 12);
    ASSERT_EQ(counters.listedFiles, 5u);

    EXPECT_TRUE(queue.DeleteSource(1, list, counters));

    EXPECT_EQ(counters.listedBytes, 12u);
    EXPECT_EQ(counters.listedFiles, 2u);
    EXPECT_EQ(Owners(), (std::vector<QueueEntry*>{first, last}));
    EXPECT_EQ(list.Tail()->queueEntry, last);
    EXPECT_EQ(folder->done, 1);
    EXPECT_EQ(f1->done, 1);
    EXPECT_EQ(f3->done, 1);
    EXPECT_EQ(queue.Count(), 2);
    EXPECT_EQ(queue.IndexOf(docs), -1);
    EXPECT_EQ(queue.EntryPath(1), "/src/last.bin");
}

TEST_F(DeleteSourceTest, AFinishedSourceStays) {
    queue.Add("/src/done.bin");
    QueueEntry* done = queue.EntryAt(0);
    FENTRY_* node = AddNode(done, "/done.bin", 9, false);
    node->done = 1;
    queue.SetState(done, kStateDone);

    EXPECT_FALSE(queue.DeleteSource(0, list, counters));

    EXPECT_EQ(queue.Count(), 1);
    EXPECT_EQ(Owners(), (std::vector<QueueEntry*>{done}));
    EXPECT_EQ(counters.listedBytes, 9u);
}

TEST_F(DeleteSourceTest, ProcessedAndUnsizedNodesAreNotSubtracted) {
    queue.Add("/src/docs");
    QueueEntry* docs = queue.EntryAt(0);
    FENTRY_* copied = AddNode(docs, "/docs/1", kMB, false);
    copied->done = 1;
    FENTRY_* unsized = AddNode(docs, "/docs/2", 0, false);
    unsized->size = kSizeUnknown;
    AddNode(docs, "/docs/3", kMB, false);
    ASSERT_EQ(counters.listedFiles, 3u);

    EXPECT_TRUE(queue.DeleteSource(0, list, counters));

    EXPECT_EQ(counters.listedBytes, kMB);
    EXPECT_EQ(counters.listedFiles, 2u);
    EXPECT_EQ(list.Head(), nullptr);
    EXPECT_EQ(list.Tail(), nullptr);
}

TEST_F(DeleteSourceTest, BadIndexChangesNothing) {
    queue.Add("/src/a");
    AddNode(queue.EntryAt(0), "/a", 10, false);
    EXPECT_FALSE(queue.DeleteSource(1, list, counters));
    EXPECT_FALSE(queue.DeleteSource(-1, list, counters));
    EXPECT_EQ(queue.Count(), 1);
    EXPECT_EQ(counters.listedBytes, 10u);
    EXPECT_NE(list.Head(), nullptr);
}

TEST_F(DeleteSourceTest, EntryBeforeCursorDoesNotSkipTheNext) {
    for (const char* p : {"/a", "/b", "/c", "/d"})
        queue.Add(p);
    EXPECT_EQ(queue.NextSource().path, "/a");
    EXPECT_EQ(queue.NextSource().path, "/b");

    EXPECT_TRUE(queue.DeleteSource(0, list, counters));
    EXPECT_EQ(queue.Cursor(), 1);
    EXPECT_EQ(queue.NextSource().path, "/c");
}

TEST_F(DeleteSourceTest, EntryAtCursorIsNeverHandedOut) {
    for (const char* p : {"/a", "/b", "/c"})
        queue.Add(p);
    EXPECT_EQ(queue.NextSource().path, "/a");

    EXPECT_TRUE(queue.DeleteSource(1, list, counters));
    EXPECT_EQ(queue.NextSource().path, "/c");
    EXPECT_EQ(queue.NextSource().entry, nullptr);
}

TEST_F(DeleteSourceTest, EntryBeingCopied) {
    queue.Add("/src/docs");
    queue.Add("/src/next.bin");
    QueueEntry* docs = queue.EntryAt(0);
    QueueEntry* next = queue.EntryAt(1);
    queue.NextSource();
    queue.NextSource();
    FENTRY_* copied = AddNode(docs, "/docs/1", kMB, false);
    FENTRY_* current = AddNode(docs, "/docs/2", 2 * kMB, false);
    AddNode(docs, "/docs/3", 4 * kMB, false);
    FENTRY_* following = AddNode(next, "/next.bin", 8, false);
    copied->done = 1;
    queue.SetState(docs, kStateCopy);

    EXPECT_TRUE(queue.DeleteSource(0, list, counters));

    // Only the file not yet reached leaves the totals: the one being copied is finished and
    // counted as done by the job thread.
    EXPECT_EQ(counters.listedBytes, 3 * kMB + 8);
    EXPECT_EQ(counters.listedFiles, 3u);
    EXPECT_EQ(Owners(), (std::vector<QueueEntry*>{next}));
    EXPECT_EQ(queue.Cursor(), 1);

    // The job thread finishes its file and steps on as it always does.
    FENTRY_* step = current->next;
    while (step && step->done)
        step = step->next;
    EXPECT_EQ(step, following);
    queue.SetState(docs, kStateDone);
    queue.SetState(next, kStateCopy);
    EXPECT_EQ(queue.Count(), 1);
    EXPECT_EQ(queue.EntryState(0), kStateCopy);
}

TEST_F(DeleteSourceTest, JobThreadMarkingWhileWindowDeletes) {
    constexpr int kEntries = 400;
    for (int i = 0; i < kEntries; ++i) {
        int index = queue.Add("/src/e" + std::to_string(i));
        for (int f = 0; f < 3; ++f)
            AddNode(queue.EntryAt(index), "/e" + std::to_string(i) + "/" + std::to_string(f), 100,
                    false);
    }
    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
    std::thread job([&] {
        std::vector<QueueEntry*> entries;
        for (int i = 0; i < kEntries; ++i)
            entries.push_back(queue.EntryAt(i));
        for (int round = 0; !stop && round < 20000; ++round) {
            // One lock section per node, as the job thread works: the entry is marked, a node
            // is listed for it and it is left "Done", so no deleted entry is seen mid-copy.
            std::lock_guard<std::mutex> lock(list.ListLock);
            QueueEntry* e = entries[round % kEntries];
            queue.SetState(e, kStateCopy);
            AddNode(e, "/late" + std::to_string(round), 1, false);
            queue.SetState(e, kStateDone);
            ++rounds;
        }
    });
    while (rounds < 100)
        std::this_thread::yield();
    // Finished sources stay; every other one goes, whatever the job thread does meanwhile.
    for (bool deleted = true; deleted;) {
        deleted = false;
        for (int i = queue.Count() - 1; i >= 0; --i)
            deleted = queue.DeleteSource(i, list, counters) || deleted;
    }
    stop = true;
    job.join();

    // Whatever the job thread appended after its entry was gone is all that is left.
    uint64_t leftBytes = 0;
    uint32_t leftFiles = 0;
    for (FENTRY_* n = list.Head(); n; n = n->next) {
        leftBytes += n->size;
        ++leftFiles;
    }
    EXPECT_EQ(counters.listedBytes, leftBytes);
    EXPECT_EQ(counters.listedFiles, leftFiles);
    for (int i = 0; i < queue.Count(); ++i)
        EXPECT_EQ(queue.EntryState(i), kStateDone);
}

}  // namespace
}  // namespace rd
