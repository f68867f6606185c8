// The tree builder: folder linking, files, lost files, cycles, duplicates and cancelling.
#include <gtest/gtest.h>

#include "FsTestUtil.h"
#include "fs/KBuildFileTree.h"

namespace {
using Builder = KBuildFileTree<tagRawFileNode, KFileNode>;

// Cancels on the n-th poll and records the progress calls.
class ScriptedClient final : public IProgress_Client
{
public:
    int cancelAtPoll = -1;
    int polls = 0, begins = 0, ends = 0;
    int64_t lastValue = 0, maxValue = 0;
    int SetMaxValue(int64_t max) override
    {
        maxValue = max;
        return 0;
    }
    int SetValue(int64_t value) override
    {
        lastValue = value;
        return 0;
    }
    int BeginProgress() override { return ++begins; }
    int EndProgress() override { return ++ends; }
    int IsCanceled() override { return ++polls == cancelAtPoll; }
};

struct Fixture
{
    KFileNode store{FN_EXTRA_RAW};
    StoreBuilder b{store};
    KNodeTree tree;
    KFileNode progressHolder{FN_EXTRA_RAW}; // any progress server

    uint32_t Build() { return Builder().Build(store, tree, progressHolder); }
};
} // namespace

TEST(TreeBuilder, LinksFoldersAndFilesEmptyOnesIncluded)
{
    Fixture f;
    f.b.Folder("docs", 10, 0);
    f.b.Folder("sub", 11, 10);
    f.b.Folder("empty", 12, 10);
    f.b.File("a.txt", 100, 10, 5);
    f.b.File("b.txt", 101, 11, 6);
    f.b.File("zero.txt", 102, 11, 0);                                              // an empty file is a file
    f.b.Add("nosize", 104, 11, 0, FN_MASK_FOUND & ~FN_MASK_SIZE, FN_ATTR_ARCHIVE); // no size: dropped
    f.b.File("noid.txt", 0, 11, 9);                                                // no identifier: dropped
    f.b.File("self.txt", 103, 103, 9);                                             // names itself as parent: dropped
    ASSERT_EQ(f.Build(), 0u);
    EXPECT_EQ(Render(f.tree), "root(docs(a.txt,sub(b.txt,zero.txt)))");
    EXPECT_EQ(f.tree.GetStore(), &f.store);
}

TEST(TreeBuilder, RootAndLostFilesAloneGiveTheRootAlone)
{
    Fixture f;
    ASSERT_EQ(f.Build(), 0u);
    EXPECT_EQ(Render(f.tree), "root");
    KFileNode empty(FN_EXTRA_RAW);
    EXPECT_EQ(Builder().Build(empty, f.tree, f.progressHolder), 87u);
    EXPECT_EQ(f.tree.GetRoot(), nullptr);
}

TEST(TreeBuilder, OrphansGoToMadeUpFoldersUnderLostFiles)
{
    Fixture f;
    f.b.Folder("docs", 10, 0);
    f.b.File("o1", 200, 77, 1);
    f.b.File("o2", 201, 77, 1);  // same missing parent: same made-up folder
    f.b.File("o3", 202, 5, 1);   // parent id below every real folder id
    f.b.File("o4", 203, 900, 1); // parent id above every folder id: never reached by the merge
    f.b.File("z", 204, 900, 0);  // unreached and empty: still a file
    f.b.Folder("far", 800, 950); // folder whose parent is missing: under Lost Files itself
    f.b.File("in-far", 205, 800, 3);
    const int before = f.store.GetCount();
    ASSERT_EQ(f.Build(), 0u);
    // Made-up folders are numbered in the order of the parent ids they stand for.
    EXPECT_EQ(Render(f.tree), "root(Lost Files($Dir00001(o3),$Dir00002(o1,o2),$Dir00003(o4,z),far(in-far)))");
    ASSERT_EQ(f.store.GetCount(), before + 3); // made-up folders persist with the store
    // Values, not references: gtest must not bind references to packed fields.
    const auto* made = f.store.Get<tagIdFileNode>(before);
    const uint16_t mask = made->wValidMask;
    const uint8_t kind = made->byKind;
    const uint32_t self = made->dwSelfId, parent = made->dwParentId;
    EXPECT_EQ(mask, FN_MASK_LOST_FOLDER);
    EXPECT_EQ(kind, FN_KIND_LOST);
    EXPECT_EQ(self, 5u);
    EXPECT_EQ(parent, 5u);

    // A second build keeps the made-up records as ordinary records and yields the same tree.
    ASSERT_EQ(f.Build(), 0u);
    EXPECT_EQ(f.store.GetCount(), before + 6);
    EXPECT_EQ(Render(f.tree), "root(Lost Files($Dir00001(o3),$Dir00002(o1,o2),$Dir00003(o4,z),far(in-far)))");
}

TEST(TreeBuilder, FoldersNamingEachOtherAndLoopsEndUnderLostFiles)
{
    Fixture f;
    f.b.Folder("A", 20, 21);
    f.b.Folder("B", 21, 20);
    f.b.File("fa", 300, 20, 1);
    f.b.File("fb", 301, 21, 1);
    // A three-folder loop C -> D -> E -> C.
    f.b.Folder("C", 30, 32);
    f.b.Folder("D", 31, 30);
    f.b.Folder("E", 32, 31);
    f.b.File("fe", 302, 32, 1);
    f.b.File("fc", 303, 30, 1);
    f.b.File("fd", 304, 31, 1);
    ASSERT_EQ(f.Build(), 0u);
    const tagTreeNode* lost = FindChild(f.tree, f.tree.GetRoot(), "Lost Files");
    ASSERT_NE(lost, nullptr);
    EXPECT_NE(FindChild(f.tree, lost, "A"), nullptr);
    EXPECT_NE(FindChild(f.tree, lost, "B"), nullptr);
    // The loop is cut once: every folder and file appears exactly once, below Lost Files.
    const std::string text = Render(f.tree);
    EXPECT_NE(text.find("Lost Files(A(fa),B(fb),E(C(D(fd),fc),fe))"), std::string::npos) << text;
    for (const char* name : {"C(", "D(", "E(", "fa", "fb", "fc", "fd", "fe"})
    {
        const size_t at = text.find(name);
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_EQ(text.find(name, at + 1), std::string::npos) << name;
    }
    uint64_t bytes = 0;
    uint32_t count = 0;
    f.tree.CountFiles(&bytes, &count);
    EXPECT_EQ(count, 5u);
}

TEST(TreeBuilder, SharedIdsGiveEveryFolderItsFiles)
{
    Fixture f;
    f.b.Folder("old", 40, 0); // e.g. a deleted and a present copy of one folder
    f.b.Folder("new", 40, 0);
    f.b.File("f1", 400, 40, 1);
    f.b.File("f2", 401, 40, 2);
    f.b.Folder("child", 41, 40); // a folder goes under one of them only
    f.b.File("f3", 402, 41, 3);
    ASSERT_EQ(f.Build(), 0u);
    EXPECT_EQ(Render(f.tree), "root(new(f1,f2),old(child(f3),f1,f2))");
    uint64_t bytes = 0;
    uint32_t count = 0;
    f.tree.CountFiles(&bytes, &count);
    EXPECT_EQ(count, 5u); // the same record under two folders counts twice
    EXPECT_EQ(bytes, 9u);
}

TEST(TreeBuilder, CancelInFilePassKeepsAPrunedPartialTree)
{
    Fixture f;
    f.b.Folder("a", 10, 0);
    f.b.Folder("b", 11, 0);
    f.b.File("a1", 100, 10, 1);
    f.b.File("a2", 101, 10, 1);
    f.b.File("b1", 102, 11, 1);
    ScriptedClient client;
    client.cancelAtPoll = 3 + 3; // three folder polls, then the third file
    f.progressHolder.SetClient(&client);
    ASSERT_EQ(f.Build(), 0u);
    EXPECT_EQ(Render(f.tree), "root(a(a1,a2))"); // "b" lost its only file and was pruned
    EXPECT_EQ(client.begins, 1);
    EXPECT_EQ(client.ends, 1);
    EXPECT_EQ(client.maxValue, f.store.GetCount());

    client.polls = 0;
    client.cancelAtPoll = 1; // cancelled in the folder pass: nothing is placed
    ASSERT_EQ(f.Build(), 0u);
    EXPECT_EQ(Render(f.tree), "root");
    f.progressHolder.SetClient(nullptr);
    EXPECT_EQ(f.progressHolder.IsCanceled(), 0);
}

TEST(TreeBuilder, DeepChainAndManyFoldersStayCorrect)
{
    Fixture f;
    // A 3000-deep chain listed leaf first, and 2000 sibling folders with one file each.
    for (uint32_t i = 3000; i >= 1; --i) f.b.Folder("c" + std::to_string(i), 1000 + i, i == 1 ? 0 : 999 + i);
    f.b.File("deep", 9, 4000, 1);
    for (uint32_t i = 0; i < 2000; ++i)
    {
        f.b.Folder("s" + std::to_string(i), 10000 + i, 0);
        f.b.File("sf" + std::to_string(i), 20000 + i, 10000 + i, 1);
    }
    ASSERT_EQ(f.Build(), 0u);
    const tagTreeNode* n = FindChild(f.tree, f.tree.GetRoot(), "c1");
    int depth = 0;
    while (n && KNodeTree::GetFirstChild(n))
    {
        n = KNodeTree::GetFirstChild(n);
        ++depth;
    }
    EXPECT_EQ(depth, 3000);
    ASSERT_NE(n, nullptr);
    EXPECT_STREQ(f.tree.GetName(n), "deep");
    uint32_t count = 0;
    f.tree.CountFiles(nullptr, &count);
    EXPECT_EQ(count, 2001u);
}
