// The file list's logic: name matching, the texts of a record, the filter with its state
// restriction, find with wrap-round and the exported listing.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/HandTree.h"
#include "core/ExportListing.h"
#include "core/FileFilter.h"
#include "core/FileFind.h"
#include "core/FileListText.h"
#include "core/WildcardMatch.h"

namespace {

// The file time of a calendar moment (local wall clock, as records keep it).
uint64_t FileTimeOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    uint64_t time = 0;
    CalendarToFileTime({year, month, day, hour, minute, second}, &time);
    return time;
}

std::vector<std::string> Leaves(const KNodeTree& tree)
{
    std::vector<std::string> names;
    std::vector<const tagTreeNode*> stack;
    if (tree.GetRoot()) stack.push_back(tree.GetRoot());
    while (!stack.empty())
    {
        const tagTreeNode* n = stack.back();
        stack.pop_back();
        for (const tagTreeNode* c = n->pFirstChild; c; c = c->pNext)
        {
            if (c->pFirstChild)
                stack.push_back(c);
            else
                names.push_back(tree.GetName(c));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(Wildcard, PiecesStarsAndQuestionMarks)
{
    struct Case
    {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {
        {"Annual_Report.doc", "*report*", true}, // the filter wraps a plain word in stars
        {"x.doc", "*.doc", true},
        {"x.docx", "*.doc", true}, // nothing ties the last piece to the end
        {"abc", "a?c", true},
        {"abcd", "a?c", false}, // without a star the whole name must match
        {"ab", "a?c", false},
        {"ABC", "abc", true},
        {"anything", "*", true},
        {"anything", "**", false}, // stars without pieces match nothing
        {"", "*", true},
        {"IMG_0001.JPG", "img*", true}, // a prefix pattern finds what starts with it
        {"XIMG.JPG", "img*", false},
        {"a.b.c", "*.b*.c", true},
        {"a.c.b", "*.b*.c", false}, // pieces in order
        {"report.doc", "*report*doc*", true},
        {"aaa", "*aa*aa", false}, // a search starts where the last match ended
    };
    for (const Case& c : cases) EXPECT_EQ(WildcardMatch(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
    EXPECT_FALSE(WildcardMatch("abc", "ABC", true));
    EXPECT_TRUE(WildcardMatch("aBc", "*B*", true));
}

TEST(FileListText, AttributeLettersDatesAndStatus)
{
    EXPECT_EQ(AttributeLetters(0xFFFF), "acdehrs");
    EXPECT_EQ(DateText(FileTimeOf(2000, 2, 29, 23, 59, 59)), "2000-2-29 23:59:59");
    EXPECT_EQ(DateText(FileTimeOf(1601, 1, 1, 0, 0, 1)), "1601-1-1 0:0:1");
    EXPECT_EQ(DateText(0), "");
    uint64_t t = 0;
    tagCalendarTime bad;
    bad.nYear = 2021;
    bad.nMonth = 2;
    bad.nDay = 29;
    EXPECT_FALSE(CalendarToFileTime(bad, &t));
    bad.nYear = 1600;
    bad.nDay = 1;
    EXPECT_FALSE(CalendarToFileTime(bad, &t));

    // A record shows only what its mask holds.
    tagFileNode record{};
    record.s64Size = 2048;
    record.ftModified = FileTimeOf(2020, 1, 2, 3, 4, 5);
    EXPECT_EQ(SizeColumn(&record), "");
    EXPECT_EQ(ModifiedColumn(&record), "");
    record.wValidMask = FN_MASK_SIZE | FN_MASK_MODIFIED;
    EXPECT_EQ(SizeColumn(&record), "2.00KB");
    EXPECT_EQ(ModifiedColumn(&record), "2020-1-2 3:4:5");
    EXPECT_EQ(AttributeColumn(&record), "");
}

TEST(FileFilter, SettingsBecomeCriteria)
{
    EXPECT_EQ(CFileFilter::SplitPatterns(" *.doc , *.xls;;*.ppt ;  "),
              (std::vector<std::string>{"*.doc", "*.xls", "*.ppt"}));
    EXPECT_TRUE(CFileFilter::SplitPatterns(" , ; ").empty());

    tagFilterSettings s;
    s.bByName = true;
    s.strNames = "report";
    CFileFilter::Normalize(&s, EModule::Advanced);
    EXPECT_EQ(s.strNames, "*report*");
    s.strNames = "a.doc,b.doc";
    CFileFilter::Normalize(&s, EModule::Advanced);
    EXPECT_EQ(s.strNames, "a.doc,b.doc");

    // "Do not use filter" switches everything off and shows both kinds again, except in
    // Undelete Recovery, whose restriction stays.
    s.bUseFilter = false;
    s.bBySize = s.bByDate = true;
    s.bShowNormal = false;
    tagFilterSettings undelete = s;
    CFileFilter::Normalize(&s, EModule::Advanced);
    EXPECT_FALSE(s.bByName || s.bBySize || s.bByDate);
    EXPECT_TRUE(s.strNames.empty());
    EXPECT_TRUE(s.bShowNormal && s.bShowDeleted);
    CFileFilter::Normalize(&undelete, EModule::Undelete);
    EXPECT_FALSE(undelete.bShowNormal);

    tagFilterSettings d;
    d.bByDate = true;
    d.bBySize = true;
    d.u64FromKB = 1;
    d.u64ToKB = 2;
    d.ftFrom = FileTimeOf(2021, 6, 1);
    d.ftTo = FileTimeOf(2021, 6, 15, 8, 0, 0);
    const tagFilterCriteria c = CFileFilter::Prepare(d);
    EXPECT_EQ(c.s64From, 1024);
    EXPECT_EQ(c.s64To, 2048);
    EXPECT_EQ(c.ftTo, FileTimeOf(2021, 6, 15, 23, 59, 59) + 999 * 10000);
}

TEST(FileFilter, CriteriaOnRecords)
{
    HandTree h;
    tagTreeNode* empty = h.File(h.Root(), "empty.txt", 0);
    tagTreeNode* kb = h.File(h.Root(), "one.txt", 1024, FN_KIND_PRESENT, FileTimeOf(2021, 6, 15, 23, 59, 59));
    tagTreeNode* deep = h.File(h.Root(), "found.jpg", 5000, FN_KIND_DEEP, 123456);

    tagFilterSettings s;
    s.bBySize = true; // 0 to 0 KB keeps only empty files
    tagFilterCriteria c = CFileFilter::Prepare(s);
    EXPECT_TRUE(CFileFilter::Passes(empty->pRecord, "empty.txt", c));
    EXPECT_FALSE(CFileFilter::Passes(kb->pRecord, "one.txt", c));

    s = {};
    s.bByDate = true;
    s.bModified = true;
    s.ftFrom = FileTimeOf(2021, 6, 15);
    s.ftTo = FileTimeOf(2021, 6, 15);
    c = CFileFilter::Prepare(s);
    EXPECT_TRUE(CFileFilter::Passes(kb->pRecord, "one.txt", c));       // the last second of the day
    EXPECT_FALSE(CFileFilter::Passes(empty->pRecord, "empty.txt", c)); // no time
    EXPECT_TRUE(CFileFilter::Passes(deep->pRecord, "found.jpg", c));   // deep-scan records skip dates

    s = {};
    s.bByName = true;
    s.strNames = "*.JPG; *.png";
    c = CFileFilter::Prepare(s);
    EXPECT_TRUE(CFileFilter::Passes(deep->pRecord, "found.jpg", c));
    EXPECT_FALSE(CFileFilter::Passes(kb->pRecord, "one.txt", c));
}

TEST(FileFilter, StateRestrictionFollowsAncestors)
{
    HandTree h;
    tagTreeNode* docs = h.Folder(h.Root(), "Docs");
    h.File(docs, "kept.txt", 10);
    h.File(docs, "gone.txt", 10, FN_KIND_FAT | FN_KIND_DELETED);
    tagTreeNode* old = h.Folder(h.Root(), "Old", FN_KIND_FAT | FN_KIND_DELETED);
    h.File(old, "inside.txt", 10); // present record inside a deleted folder
    tagTreeNode* lost = h.Folder(h.Root(), "Lost Files", FN_KIND_LOST);
    h.File(lost, "orphan.txt", 10);
    h.File(h.Root(), "carved.jpg", 10, FN_KIND_DEEP);

    KNodeTree copy;
    CFileFilter::CopyFiltered(h.Tree, &copy, false, true, {});
    EXPECT_EQ(Leaves(copy), (std::vector<std::string>{"carved.jpg", "gone.txt", "inside.txt", "orphan.txt"}));
    CFileFilter::CopyFiltered(h.Tree, &copy, true, false, {});
    EXPECT_EQ(Leaves(copy), (std::vector<std::string>{"kept.txt", "orphan.txt"}));
    // Neither kind: the root alone, every folder pruned.
    CFileFilter::CopyFiltered(h.Tree, &copy, false, false, {});
    EXPECT_EQ(copy.GetRoot()->pFirstChild, nullptr);
}

TEST(FileFind, WrapsRoundAndEndsAtTheStart)
{
    HandTree h;
    h.File(h.Root(), "a-report.txt", 1);
    tagTreeNode* one = h.Folder(h.Root(), "One");
    h.File(one, "notes.txt", 1);
    h.File(one, "Report.doc", 1);
    tagTreeNode* two = h.Folder(one, "Two");
    h.File(two, "report.xls", 1);
    h.File(two, "plan.txt", 1);

    CFileFind find(h.Tree);
    ASSERT_EQ(find.Folders().size(), 3u); // root, One, Two in pre-order
    tagFindPosition at{1, 1};             // "Report.doc" selected in One
    tagFindPosition found;
    ASSERT_TRUE(find.FindNext("report", false, false, at, &found));
    EXPECT_EQ(found.nFolder, 2); // report.xls in Two
    EXPECT_EQ(found.nFile, 0);
    ASSERT_TRUE(find.FindNext("report", false, false, found, &found));
    EXPECT_EQ(found.nFolder, 0); // wrapped round to the root's a-report.txt
    ASSERT_TRUE(find.FindNext("report", false, false, found, &found));
    EXPECT_EQ(found.nFolder, 1); // and back at the starting file
    EXPECT_EQ(found.nFile, 1);

    EXPECT_TRUE(find.FindNext("REPORT.doc", false, true, {0, -1}, &found));
    EXPECT_FALSE(find.FindNext("REPORT.doc", true, true, {0, -1}, &found)); // case counts
    EXPECT_FALSE(find.FindNext("report", false, true, {0, -1}, &found));    // whole names only
    EXPECT_FALSE(find.FindNext("budget", false, false, {2, 1}, &found));
    EXPECT_EQ(CFileFind::SearchPattern("x", false), "*x*");
    EXPECT_EQ(CFileFind::SearchPattern("x*", false), "x*");
}

TEST(ExportListing, DirectoryBlocksWithFooters)
{
    HandTree h;
    h.File(h.Root(), "a.txt", 1234, FN_KIND_PRESENT, FileTimeOf(2021, 6, 5, 9, 7, 0));
    tagTreeNode* sub = h.Folder(h.Root(), "Sub");
    sub->pRecord->ftModified = FileTimeOf(2020, 12, 31, 23, 59, 0);
    h.File(h.Root(), "no time.bin", 7);
    h.File(sub, "b.dat", 10, FN_KIND_PRESENT, FileTimeOf(1999, 1, 2, 3, 4, 5));
    h.Folder(sub, "Empty");

    std::string text;
    ASSERT_TRUE(CExportListing::Write(h.Tree, [&](const std::string& piece) {
        text += piece;
        return true;
    }));
    const std::string blanks(17, ' ');
    EXPECT_EQ(text,
              "Directory of ROOT\n\n"
              "06/05/2021  09:07          1234  a.txt\n"
              "12/31/2020  23:59         <DIR>  Sub\n" +
                  blanks +
                  "             7  no time.bin\n"
                  "\t\t2 File(s) \t1241 bytes\n\n"
                  "Directory of ROOT\\Sub\n\n"
                  "01/02/1999  03:04            10  b.dat\n" +
                  blanks +
                  "         <DIR>  Empty\n"
                  "\t\t1 File(s) \t10 bytes\n\n"
                  "Directory of ROOT\\Sub\\Empty\n\n"
                  "\t\t0 File(s) \t0 bytes\n\n");
    // A failing sink stops the export.
    EXPECT_FALSE(CExportListing::Write(h.Tree, [](const std::string&) { return false; }));
}
