// The deep scan's file-type choice: grouping by extension, the default choice, the tri-state
// click rule, and the refusal of an empty choice.
#include <gtest/gtest.h>

#include "FakeUserPort.h"
#include "TestRawTypes.h"
#include "core/CFileTypeTree.h"

namespace {

class FileTypeTree : public ::testing::Test
{
protected:
    bool Enabled(int type)
    {
        tagRawTypeEntry e;
        return raw.Types().GetTypeEntry(type, &e) && e.dwEnabled;
    }
    int Item(const CFileTypeTree& tree, const std::string& ext) const
    {
        for (size_t i = 0; i < tree.Items().size(); ++i)
            if (tree.Items()[i].strExtension == ext) return static_cast<int>(i);
        return -1;
    }

    // Extensions that are the start of others ("avi" of "avif", "web" of "webm", "z" of "gz")
    // land in their own group and take only their own default.
    ScopedRawTypes raw{{{"DOCX", "Word 2007 document", "TAGDOCX0"},
                        {"doc", "Word document", "TAGDOC00"},
                        {"one", "Notebook", "TAGONE00"},
                        {"jpg", "JPEG picture", "TAGJPG00"},
                        {"xyz", "Something else", "TAGXYZ00"},
                        {"cab", "Cabinet", "TAGCAB00"},
                        {"avif", "AVIF picture", "TAGAVIF0"},
                        {"avi", "AVI video", "TAGAVI00"},
                        {"gz", "gzip file", "TAGGZ000"},
                        {"z", "Compressed file", "TAGZ0000"},
                        {"web", "Web page", "TAGWEB00"}}};
};

} // namespace

TEST_F(FileTypeTree, TypesLandInTheirGroupsWithTheDefaultChoice)
{
    ASSERT_EQ(raw.Added, 11);
    CFileTypeTree tree(raw.Types());
    ASSERT_EQ(tree.Groups().size(), 8u);
    struct Expect
    {
        const char* Ext;
        int Group;
        uint8_t State;
    } expect[] = {{"DOCX", 0, 2}, {"DOC", 0, 2}, {"ONE", 0, 0}, {"JPG", 2, 2}, {"XYZ", 7, 0}, {"CAB", 1, 2},
                  {"AVIF", 2, 2}, {"AVI", 3, 2}, {"GZ", 1, 2},  {"Z", 7, 0},   {"WEB", 7, 0}};
    for (const Expect& e : expect)
    {
        const int item = Item(tree, e.Ext);
        ASSERT_GE(item, 0) << e.Ext;
        EXPECT_EQ(tree.Items()[item].nGroup, e.Group) << e.Ext;
        EXPECT_EQ(tree.Items()[item].byState, e.State) << e.Ext;
        EXPECT_EQ(Enabled(tree.Items()[item].nTypeIndex), e.State == 2) << e.Ext;
    }
    EXPECT_EQ(tree.Items()[Item(tree, "DOCX")].strText, "Word 2007 document(*.docx)");
    EXPECT_EQ(tree.Groups()[0].byState, CFileTypeTree::kPartly); // two of three
    EXPECT_EQ(tree.Groups()[1].byState, CFileTypeTree::kChecked);
    EXPECT_EQ(tree.Groups()[2].byState, CFileTypeTree::kChecked);
}

TEST_F(FileTypeTree, ClickRule)
{
    CFileTypeTree tree(raw.Types());
    const int one = Item(tree, "ONE"), docx = Item(tree, "DOCX"), doc = Item(tree, "DOC");
    tree.ClickItem(one);
    EXPECT_EQ(tree.Groups()[0].byState, CFileTypeTree::kChecked);
    EXPECT_TRUE(Enabled(tree.Items()[one].nTypeIndex));
    tree.ClickItem(docx);
    EXPECT_EQ(tree.Groups()[0].byState, CFileTypeTree::kPartly);
    tree.ClickItem(doc);
    tree.ClickItem(one);
    EXPECT_EQ(tree.Groups()[0].byState, CFileTypeTree::kUnchecked);

    // A partly checked group becomes checked with all its types; a checked one unchecked.
    tree.ClickItem(doc);
    tree.ClickGroup(0);
    EXPECT_EQ(tree.Groups()[0].byState, CFileTypeTree::kChecked);
    for (int item : tree.Groups()[0].Types)
    {
        EXPECT_EQ(tree.Items()[item].byState, CFileTypeTree::kChecked);
        EXPECT_TRUE(Enabled(tree.Items()[item].nTypeIndex));
    }
    tree.ClickGroup(0);
    for (int item : tree.Groups()[0].Types) EXPECT_FALSE(Enabled(tree.Items()[item].nTypeIndex));
    // The other groups were not touched.
    EXPECT_TRUE(Enabled(tree.Items()[Item(tree, "JPG")].nTypeIndex));
    tree.ClickGroup(-1);
    tree.ClickItem(100);
}

TEST_F(FileTypeTree, AnEmptyChoiceIsRefused)
{
    CFileTypeTree tree(raw.Types());
    FakeUserPort port;
    EXPECT_TRUE(tree.AcceptChoice(port));
    for (size_t g = 0; g < tree.Groups().size(); ++g)
        while (tree.Groups()[g].byState != CFileTypeTree::kUnchecked) tree.ClickGroup(static_cast<int>(g));
    EXPECT_FALSE(tree.AcceptChoice(port));
    EXPECT_EQ(port.Texts(), std::vector<std::string>{"Please choose file types you like to recover!"});
    tree.ClickItem(Item(tree, "XYZ"));
    EXPECT_TRUE(tree.AcceptChoice(port));
}
