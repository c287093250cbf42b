#include "engine/file_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace rd {
namespace {

FENTRY_ Node(const std::string& relative) {
    FENTRY_ node;
    static const std::string kSource = "/src";
    node.base = &kSource;
    node.relative = relative;
    return node;
}

// The list read forwards, checked against the same list read backwards.
std::vector<std::string> Walk(const FileList& list) {
    std::vector<std::string> forward;
    for (FENTRY_* n = list.Head(); n; n = n->next)
        forward.push_back(n->relative);
    std::vector<std::string> backward;
    for (FENTRY_* n = list.Tail(); n; n = n->previous)
        backward.insert(backward.begin(), n->relative);
    EXPECT_EQ(forward, backward);
    return forward;
}

class FileListTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* r : {"/a", "/b", "/c", "/d"})
            nodes.push_back(list.Append(Node(r)));
    }
    FileList list;
    std::vector<FENTRY_*> nodes;
};

TEST_F(FileListTest, AppendKeepsWalkOrder) {
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"/a", "/b", "/c", "/d"}));
    EXPECT_EQ(list.Head(), nodes[0]);
    EXPECT_EQ(list.Tail(), nodes[3]);
    EXPECT_EQ(nodes[0]->previous, nullptr);
    EXPECT_EQ(nodes[3]->next, nullptr);
}

TEST_F(FileListTest, UnlinkHead) {
    list.Unlink(nodes[0]);
    EXPECT_EQ(list.Head(), nodes[1]);
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"/b", "/c", "/d"}));
}

TEST_F(FileListTest, UnlinkMiddle) {
    list.Unlink(nodes[1]);
    list.Unlink(nodes[2]);
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"/a", "/d"}));
}

TEST_F(FileListTest, UnlinkTailThenAppend) {
    list.Unlink(nodes[3]);
    EXPECT_EQ(list.Tail(), nodes[2]);
    list.Append(Node("/e"));
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"/a", "/b", "/c", "/e"}));
}

TEST_F(FileListTest, UnlinkEverythingThenAppend) {
    for (FENTRY_* n : nodes)
        list.Unlink(n);
    EXPECT_EQ(list.Head(), nullptr);
    EXPECT_EQ(list.Tail(), nullptr);
    FENTRY_* e = list.Append(Node("/e"));
    EXPECT_EQ(list.Head(), e);
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"/e"}));
}

TEST_F(FileListTest, UnlinkingTwiceLeavesTheListAlone) {
    list.Unlink(nodes[0]);
    list.Unlink(nodes[2]);
    list.Unlink(nodes[0]);
    list.Unlink(nodes[2]);
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"/b", "/d"}));
}

TEST_F(FileListTest, UnlinkedNodeStillLeadsOnward) {
    // The job thread may stand on a node that another thread takes out of the list.
    list.Unlink(nodes[1]);
    list.Unlink(nodes[2]);
    nodes[1]->done = nodes[2]->done = 1;
    FENTRY_* n = nodes[1]->next;
    while (n && n->done)
        n = n->next;
    EXPECT_EQ(n, nodes[3]);
}

TEST(FileEntry, FolderOnlyWhenAttributesKnown) {
    FENTRY_ node;
    EXPECT_FALSE(node.IsFolder());
    node.attributes = S_IFDIR | 0755;
    EXPECT_TRUE(node.IsFolder());
    node.attributes = S_IFREG | 0644;
    EXPECT_FALSE(node.IsFolder());
    node.attributes = S_IFLNK | 0777;
    EXPECT_FALSE(node.IsFolder());
}

TEST_F(FileListTest, TheListClosesOnlyWithNoAdditionUnderWayAndTakesNoneAfter) {
    ASSERT_TRUE(list.Reserve());
    ASSERT_TRUE(list.Reserve());
    EXPECT_FALSE(list.CloseIfIdle());
    list.Release();
    EXPECT_FALSE(list.CloseIfIdle());
    list.Release();
    EXPECT_TRUE(list.CloseIfIdle());
    EXPECT_FALSE(list.Reserve());
}

}  // namespace
}  // namespace rd
