// Node tree: selection totals, filtered copies, pruning and cycle removal.
#include <gtest/gtest.h>

#include <algorithm>

#include "FsTestUtil.h"
#include "fs/KBuildFileTree.h"

namespace {
// root / Lost Files(empty) / docs(a 10, b 20, sub(c 30, d 40)) / e 50
struct Sample
{
    KFileNode store{FN_EXTRA_RAW};
    KNodeTree tree;

    Sample()
    {
        StoreBuilder b(store);
        b.Folder("docs", 10, 0);
        b.Folder("sub", 11, 10);
        b.File("a", 100, 10, 10);
        b.File("b", 101, 10, 20);
        b.File("c", 102, 11, 30);
        b.File("d", 103, 11, 40);
        b.File("e", 104, 0, 50);
        KFileNode progress(FN_EXTRA_RAW);
        EXPECT_EQ((KBuildFileTree<tagRawFileNode, KFileNode>().Build(store, tree, progress)), 0u);
    }
    tagTreeNode* Node(const std::vector<std::string>& path)
    {
        const tagTreeNode* n = tree.GetRoot();
        for (const auto& name : path) n = FindChild(tree, n, name);
        return const_cast<tagTreeNode*>(n);
    }
    std::pair<uint64_t, uint32_t> Selection() const
    {
        uint64_t bytes = 0;
        uint32_t count = 0;
        tree.GetSelection(&bytes, &count);
        return {bytes, count};
    }
};
} // namespace

TEST(NodeTreeSelection, FolderSelectPartialDeselectAndReselect)
{
    Sample s;
    tagTreeNode* docs = s.Node({"docs"});
    tagTreeNode* sub = s.Node({"docs", "sub"});
    tagTreeNode* c = s.Node({"docs", "sub", "c"});
    ASSERT_TRUE(docs && sub && c);

    s.tree.SetCheck(docs, true);
    EXPECT_EQ(s.Selection(), std::make_pair(uint64_t{100}, 4u));
    EXPECT_EQ(docs->byCheck, TN_CHECKED);
    EXPECT_EQ(s.tree.GetRoot()->byCheck, TN_PARTLY); // "e" is not selected

    s.tree.SetCheck(docs, true); // selecting again changes nothing
    EXPECT_EQ(s.Selection(), std::make_pair(uint64_t{100}, 4u));

    s.tree.SetCheck(c, false);
    EXPECT_EQ(s.Selection(), std::make_pair(uint64_t{70}, 3u));
    EXPECT_EQ(sub->byCheck, TN_PARTLY);
    EXPECT_EQ(docs->byCheck, TN_PARTLY);

    s.tree.SetCheck(c, true);
    EXPECT_EQ(sub->byCheck, TN_CHECKED);
    EXPECT_EQ(docs->byCheck, TN_CHECKED);
    s.tree.SetCheck(s.Node({"e"}), true);
    EXPECT_EQ(s.tree.GetRoot()->byCheck, TN_CHECKED);
    EXPECT_EQ(s.Selection(), std::make_pair(uint64_t{150}, 5u));

    s.tree.SetCheck(s.tree.GetRoot(), false);
    EXPECT_EQ(s.Selection(), std::make_pair(uint64_t{0}, 0u));
    EXPECT_EQ(docs->byCheck, TN_UNCHECKED);
}

TEST(NodeTreeCopy, FilterPrunesFoldersAndDoubleCopyRestoresOrder)
{
    Sample s;
    KNodeTree copy;
    copy.SetFilterContext(7);
    int calls = 0;
    ASSERT_EQ(copy.CopyFrom(s.tree,
                            [&](const tagTreeNode* n, uint32_t context) {
                                ++calls;
                                EXPECT_EQ(context, 7u);
                                EXPECT_EQ(KNodeTree::GetFirstChild(n), nullptr);
                                return 0;
                            }),
              1);
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(Render(copy), "root");

    // Keeping only "c": its folders stay, everything else goes.
    KNodeTree some;
    some.CopyFrom(s.tree, [&](const tagTreeNode* n, uint32_t) { return std::string(s.tree.GetName(n)) == "c"; });
    EXPECT_EQ(Render(some), "root(docs(sub(c)))");

    const auto order = ChildNames(s.tree, s.Node({"docs"}));
    KNodeTree once, twice;
    once.CopyFrom(s.tree);
    auto reversed = order;
    std::reverse(reversed.begin(), reversed.end());
    EXPECT_EQ(ChildNames(once, FindChild(once, once.GetRoot(), "docs")), reversed);
    twice.CopyFrom(once);
    EXPECT_EQ(ChildNames(twice, FindChild(twice, twice.GetRoot(), "docs")), order);
    EXPECT_EQ(Render(twice), Render(s.tree));

    KNodeTree none;
    EXPECT_EQ(copy.CopyFrom(none), 0);
    EXPECT_EQ(KNodeTree::GetFirstChild(nullptr), nullptr);
    EXPECT_EQ(KNodeTree::GetNextSibling(nullptr), nullptr);
}

TEST(NodeTreeCycles, ChildLinkBackToAnAncestorIsCut)
{
    KFileNode store(FN_EXTRA_RAW);
    StoreBuilder b(store);
    KNodeTree tree;
    tree.SetStore(&store);
    tagTreeNode* root = tree.SetRoot(store.GetNode(0));
    auto node = [&](const char* name, tagTreeNode* parent) {
        tagTreeNode* n = tree.NewNode();
        n->pRecord = b.Folder(name, 0, 0);
        KNodeTree::LinkChild(parent, n);
        return n;
    };
    tagTreeNode* a = node("A", root);
    tagTreeNode* bb = node("B", a);
    tagTreeNode* leaf = tree.NewNode();
    leaf->pRecord = b.File("f", 5, 0, 1);
    KNodeTree::LinkChild(bb, leaf);
    // B's list continues into A: A -> B -> (f, A, ...) is a loop.
    leaf->pNext = a;
    tree.RemoveCycles();
    EXPECT_EQ(Render(tree), "root(A(B(f)))");

    // Walks over the repaired tree terminate.
    uint32_t count = 0;
    tree.CountFiles(nullptr, &count);
    EXPECT_EQ(count, 1u);
    KNodeTree copy;
    EXPECT_EQ(copy.CopyFrom(tree), 1);
    EXPECT_EQ(Render(copy), "root(A(B(f)))");
}
