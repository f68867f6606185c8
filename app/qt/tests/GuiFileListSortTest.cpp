// Sorting the file list by its columns: the order must be that of a stable sort with the list's
// comparisons (names as strcasecmp in the C locale, types by their text without case), from
// whatever order the list showed before, on names that make comparisons go wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <locale.h>
#include <random>
#include <string>
#include <strings.h>
#include <vector>

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>

#include "CFileListModel.h"
#include "fs/KFileNode.h"
#include "fs/KNodeTree.h"
#include "support/HandTree.h"

namespace {

// One folder holding `names` in this order; each entry gets its own size so that sorting by
// size reorders the list, and "Pictures" is a folder (its type is "Folder" whatever its name says).
struct NamedFolder : HandTree
{
    explicit NamedFolder(const std::vector<std::string>& names)
    {
        std::mt19937 sizes(7);
        for (const std::string& name : names)
            File(Root(), name, static_cast<int64_t>(sizes() % 1000000), FN_KIND_PRESENT, 0,
                 name == "Pictures" ? FN_ATTR_FOLDER : FN_ATTR_ARCHIVE);
    }
};

std::vector<tagTreeNode*> Shown(const CFileListModel& model)
{
    std::vector<tagTreeNode*> rows;
    for (int r = 0; r < model.rowCount(); ++r) rows.push_back(model.NodeAt(r));
    return rows;
}

std::vector<std::string> NamesOf(const KNodeTree& tree, const std::vector<tagTreeNode*>& rows)
{
    std::vector<std::string> names;
    for (const tagTreeNode* n : rows) names.push_back(tree.GetName(n));
    return names;
}

// The list's name comparison as it has always been written: strcasecmp, in the C locale
// whatever the environment says.
int OldNameCompare(const char* a, const char* b)
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return strcasecmp_l(a, b, c);
}

// What a stable sort of `rows` with the old comparison gives, ascending or descending.
std::vector<tagTreeNode*> ReferenceByName(const KNodeTree& tree, std::vector<tagTreeNode*> rows, bool descending)
{
    std::stable_sort(rows.begin(), rows.end(), [&](const tagTreeNode* a, const tagTreeNode* b) {
        const int c = OldNameCompare(tree.GetName(a), tree.GetName(b));
        return descending ? c > 0 : c < 0;
    });
    return rows;
}

std::vector<tagTreeNode*> ReferenceByType(const CFileListModel& model, std::vector<tagTreeNode*> rows, bool descending)
{
    std::stable_sort(rows.begin(), rows.end(), [&](const tagTreeNode* a, const tagTreeNode* b) {
        const int c = QString::compare(model.TypeName(a), model.TypeName(b), Qt::CaseInsensitive);
        return descending ? c > 0 : c < 0;
    });
    return rows;
}

// Names that trip comparisons: case, the six ASCII signs between 'Z' and 'a' (which fall on
// the other side of the letters when folding to upper case instead of lower), UTF-8, equal
// and empty names, digits (no natural order: "file10" comes before "file2"), and names that
// agree in their first 16 bytes.
const std::vector<std::string> kTrickyNames = {"readme.TXT",
                                               "README.txt",
                                               "Readme.txt",
                                               "b",
                                               "B",
                                               "a",
                                               "A",
                                               "_a",
                                               "[draft].doc",
                                               "^x",
                                               "`tick",
                                               "Zeta",
                                               "zeta_",
                                               "zetA[",
                                               "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.txt",
                                               "\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82.txt",
                                               "\xC3\x89"
                                               "clair.jpg",
                                               "\xC3\xA9"
                                               "clair.jpg",
                                               "eclair.jpg",
                                               "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt",
                                               "Z\xC3\xBCrich.doc",
                                               "zurich.doc",
                                               "same.txt",
                                               "same.txt",
                                               "SAME.TXT",
                                               "same.txt",
                                               "",
                                               "",
                                               "file10.txt",
                                               "file2.txt",
                                               "file1.txt",
                                               "File02.txt",
                                               "file1.txt",
                                               "abcdefghijklmnopQ1",
                                               "ABCDEFGHIJKLMNOPq0",
                                               "abcdefghijklmnop",
                                               "abcdefghijklmno",
                                               "abcdefghijklmnop_",
                                               "abcdefghijklmnopa",
                                               "ABCDEFGHIJKLMNOP",
                                               "abcdefghijklmno_",
                                               "abcdefghijklmnoA",
                                               "archive.tar.GZ",
                                               "noext",
                                               "trailingdot.",
                                               ".hidden",
                                               "photo.JPG",
                                               "photo.jpeg",
                                               "PHOTO.Jpg",
                                               "x.unknownext",
                                               "Y.UNKNOWNEXT",
                                               "Pictures",
                                               "notes.Txt",
                                               "a.b.c.TXT"};

// Many names from a small alphabet of the same troublemakers, lengths 0..24, so that equal
// names, equal 16-byte beginnings and every sign-versus-letter case occur many times.
std::vector<std::string> GeneratedNames(size_t count)
{
    static const char* const kPieces[] = {"a", "A", "z", "Z",        "_",        "[", "`",
                                          "0", "9", ".", "\xC3\xA9", "\xC3\x89", "~"};
    std::mt19937 random(20240601);
    std::vector<std::string> names;
    for (size_t k = 0; k < count; ++k)
    {
        std::string name(random() % 2 ? "abcdefghijklmnop" : "");
        const size_t pieces = random() % 9;
        for (size_t p = 0; p < pieces; ++p) name += kPieces[random() % std::size(kPieces)];
        names.push_back(name);
    }
    return names;
}

void ExpectOrder(const CFileListModel& model, const KNodeTree& tree, const std::vector<tagTreeNode*>& expected,
                 const char* step)
{
    const std::vector<tagTreeNode*> shown = Shown(model);
    ASSERT_EQ(shown.size(), expected.size()) << step;
    // The first row that differs, by name (a wrong comparison) or by node only (equal names
    // that did not keep their order).
    for (size_t r = 0; r < shown.size(); ++r)
    {
        if (shown[r] == expected[r]) continue;
        const std::string have = tree.GetName(shown[r]);
        const std::string want = tree.GetName(expected[r]);
        if (have == want)
            ADD_FAILURE() << step << ": row " << r << " shows another entry named \"" << have
                          << "\": entries that compare equal did not keep their order";
        else
            ADD_FAILURE() << step << ": row " << r << " shows \"" << have << "\", expected \"" << want << "\"";
        return;
    }
}

} // namespace

TEST(GuiFileListSort, NameAndTypeOrdersEqualTheStableSortWithTheOldComparisons)
{
    std::vector<std::string> names = kTrickyNames;
    const std::vector<std::string> generated = GeneratedNames(3000);
    names.insert(names.end(), generated.begin(), generated.end());
    std::shuffle(names.begin(), names.end(), std::mt19937(99));
    NamedFolder folder(names);
    CFileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.SetFolder(&folder.Tree, folder.Root());
    const std::vector<tagTreeNode*> original = Shown(model);
    ASSERT_EQ(original.size(), names.size());

    // Each step starts from the order the previous one left: ties must keep it.
    const KNodeTree& tree = folder.Tree;
    model.sort(CFileListModel::kName);
    ExpectOrder(model, tree, ReferenceByName(tree, original, false), "name, from the tree's order");
    model.sort(CFileListModel::kSize, Qt::DescendingOrder);
    const std::vector<tagTreeNode*> bySize = Shown(model);
    model.sort(CFileListModel::kName, Qt::DescendingOrder);
    ExpectOrder(model, tree, ReferenceByName(tree, bySize, true), "name descending, from size order");
    std::vector<tagTreeNode*> before = Shown(model);
    model.sort(CFileListModel::kType);
    ExpectOrder(model, tree, ReferenceByType(model, before, false), "type, from name order");
    model.sort(CFileListModel::kSize);
    before = Shown(model);
    model.sort(CFileListModel::kType, Qt::DescendingOrder);
    ExpectOrder(model, tree, ReferenceByType(model, before, true), "type descending, from size order");
    before = Shown(model);
    model.sort(CFileListModel::kName);
    ExpectOrder(model, tree, ReferenceByName(tree, before, false), "name again, from type order");

    // The folder sorts as "Folder", not by its name's extension; names without a usable
    // extension are plain files.
    for (const tagTreeNode* n : original)
    {
        const std::string name = tree.GetName(n);
        if (name == "Pictures")
        {
            EXPECT_EQ(model.TypeName(n), "Folder");
        }
        else if (name == "noext" || name == "trailingdot.")
        {
            EXPECT_EQ(model.TypeName(n), "File") << name;
        }
    }

    model.sort(-1);
    EXPECT_EQ(Shown(model), original);
}

TEST(GuiFileListSort, UnderscoreSortsBeforeLettersWhereverTheNamesDiffer)
{
    // The same pair of names, differing at byte 1 and at byte 20: one rule for both.
    NamedFolder folder({"aa", "a_", "abcdefghijklmnopqrsta", "abcdefghijklmnopqrs_"});
    CFileListModel model;
    model.SetFolder(&folder.Tree, folder.Root());
    model.sort(CFileListModel::kName);
    EXPECT_EQ(NamesOf(folder.Tree, Shown(model)),
              (std::vector<std::string>{"a_", "aa", "abcdefghijklmnopqrs_", "abcdefghijklmnopqrsta"}));
}

TEST(GuiFileListSort, PersistentIndexesFollowTheirRowsAndANewFolderKeepsTheHeadersSort)
{
    NamedFolder folder(GeneratedNames(500));
    CFileListModel model;
    model.SetFolder(&folder.Tree, folder.Root());
    std::vector<QPersistentModelIndex> kept;
    std::vector<tagTreeNode*> nodes;
    for (int r = 0; r < model.rowCount(); r += 37)
    {
        kept.emplace_back(model.index(r, r % CFileListModel::kColumns));
        nodes.push_back(model.NodeAt(r));
    }
    for (int column : {int(CFileListModel::kName), int(CFileListModel::kType), int(CFileListModel::kSize), -1})
    {
        model.sort(column, Qt::DescendingOrder);
        for (size_t k = 0; k < kept.size(); ++k)
        {
            ASSERT_TRUE(kept[k].isValid());
            EXPECT_EQ(model.NodeAt(kept[k].row()), nodes[k]) << "column " << column;
            EXPECT_EQ(model.RowOf(nodes[k]), kept[k].row());
        }
    }

    // Ranks belong to one folder: another folder's rows sort by their own names, and the
    // folder opened while the header shows a sort is listed in that sort.
    NamedFolder other({"delta", "Alpha", "charlie", "Bravo"});
    model.sort(CFileListModel::kName);
    model.SetFolder(&other.Tree, other.Root());
    EXPECT_EQ(NamesOf(other.Tree, Shown(model)), (std::vector<std::string>{"Alpha", "Bravo", "charlie", "delta"}));
    model.sort(CFileListModel::kName, Qt::DescendingOrder);
    EXPECT_EQ(NamesOf(other.Tree, Shown(model)), (std::vector<std::string>{"delta", "charlie", "Bravo", "Alpha"}));
    model.sort(-1);
    std::vector<tagTreeNode*> siblings;
    for (tagTreeNode* n = other.Root()->pFirstChild; n; n = n->pNext) siblings.push_back(n);
    EXPECT_EQ(Shown(model), siblings);
    model.SetFolder(&folder.Tree, folder.Root());
    EXPECT_EQ(model.NodeAt(0), folder.Root()->pFirstChild);
}
