// Directory entries, names, long-name assembly, boot-sector rules and table decoding.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "format/fat/FatBootSector.h"
#include "format/fat/FatDirEntry.h"
#include "fat/KFatEntryParser.h"
#include "fat/KFatFileSystem.h"
#include "fat/KFatTable.h"
#include "volume/VolumeLabel.h"
#include "fs/KNodeTree.h"
#include "support/MemoryMedia.h"
#include "support/TestFiles.h"
#include "tests/fat/FatTestSupport.h"

namespace {

FatEntryLimits Limits()
{
    FatEntryLimits l;
    l.ClusterCount = 1000;
    l.VolumeSectors = 100000;
    l.DataStart = 100;
    l.EndSector = 100000;
    return l;
}

// A view of a 32-byte entry the test built.
FatDirEntryView View(const std::vector<uint8_t>& entry) { return *FatDirEntryView::At(entry, 0); }

FatDirEntryView::ShortNameBytes Name11(const char* name11)
{
    return FatDirEntryView::ShortNameBytes(reinterpret_cast<const uint8_t*>(name11), 11);
}

// Feeds entries in order and returns the record of the last one (or the outcome).
FatParseOutcome Feed(KFatEntryParser& p, const std::vector<std::vector<uint8_t>>& entries, FatParsedEntry* out)
{
    FatParseOutcome last = FatParseOutcome::Skipped;
    for (const auto& e : entries) last = p.Parse(View(e), Limits(), out);
    return last;
}

uint8_t Sum(const char* name11) { return FatShortNameChecksum(Name11(name11)); }

// A FAT16 table sector: media byte 0xF8, entry 1 all ones, then `entries` {cluster, value}.
std::vector<uint8_t> Fat16Sector(std::initializer_list<std::pair<uint32_t, uint16_t>> entries)
{
    std::vector<uint8_t> t(512, 0);
    PutLE(t, 0, 0xFFFFFFF8, 4);
    for (auto [c, v] : entries) PutLE(t, c * 2, v, 2);
    return t;
}

} // namespace

TEST(FatEntries, ShortNamesAndValidity)
{
    EXPECT_TRUE(IsValidShortName(Name11("AB      T X")));
    EXPECT_FALSE(IsValidShortName(Name11("A B     TXT")));
    EXPECT_FALSE(IsValidShortName(Name11("A:B     TXT")));
    EXPECT_TRUE(IsValidShortName(Name11("\xE5OCUMENTTXT")));
    EXPECT_FALSE(IsCleanName("a:b"));
    EXPECT_FALSE(IsCleanName(""));
    EXPECT_FALSE(IsCleanName(nullptr));
    EXPECT_TRUE(IsCleanName("report 2021.txt"));

    EXPECT_TRUE(IsValidEntry(View(ShortEntry("README  TXT")), Limits()));
    auto reserved = ShortEntry("README  TXT", 0x60);
    EXPECT_FALSE(IsValidEntry(View(reserved), Limits()));
    EXPECT_FALSE(HasValidTimes(View(reserved)));
    auto noTimes = ShortEntry("README  TXT");
    std::memset(noTimes.data() + 14, 0, 4);
    std::memset(noTimes.data() + 22, 0, 4);
    EXPECT_FALSE(IsValidEntry(View(noTimes), Limits()));
    std::vector<uint8_t> same(32, 0x41);
    EXPECT_FALSE(IsValidEntry(View(same), Limits()));
    EXPECT_FALSE(IsValidEntry(View(ShortEntry("BIG     BIN", 0x20, 5, 200000000)), Limits()))
        << "larger than the data area";
    EXPECT_FALSE(IsValidEntry(View(ShortEntry("FAR     BIN", 0x20, 1000)), Limits())) << "cluster beyond the table";
    EXPECT_FALSE(IsValidEntry(View(ShortEntry("ZERO    BIN", 0x20, 0, 10)), Limits())) << "data without a cluster";
    auto badMonth = ShortEntry("README  TXT");
    PutLE(badMonth, 24, (40 << 9) | (13 << 5) | 1, 2); // month 13
    EXPECT_FALSE(HasValidTimes(View(badMonth)));
    auto noCreation = ShortEntry("README  TXT");
    std::memset(noCreation.data() + 14, 0, 2);
    noCreation[17] = 0xFF; // nonsense creation date, but the creation time is 0
    EXPECT_TRUE(HasValidTimes(View(noCreation)));
}

TEST(FatEntries, ShortNameCaseFlags)
{
    auto e = ShortEntry("IMG_0001JPG");
    EXPECT_EQ(FatShortName(View(e)), "IMG_0001.JPG");
    e[12] = 0x08; // base name was written in lower case
    EXPECT_EQ(FatShortName(View(e)), "img_0001.JPG");
    e[12] = 0x10; // extension only
    EXPECT_EQ(FatShortName(View(e)), "IMG_0001.jpg");
    e[12] = 0x18;
    EXPECT_EQ(FatShortName(View(e)), "img_0001.jpg");
    auto deleted = ShortEntry("\xE5"
                              "EADME  TXT");
    deleted[12] = 0x18;
    EXPECT_EQ(FatShortName(View(deleted)), "_eadme.txt");

    // Bytes above 0x7F are the DOS code page's: "résumé.pdf" as a formatter stores it in 8.3.
    auto accented = ShortEntry("R\x90SUM\x90  PDF");
    EXPECT_EQ(FatShortName(View(accented)), "RÉSUMÉ.PDF");
    accented[12] = 0x18;
    EXPECT_EQ(FatShortName(View(accented)), "résumé.pdf");
    auto symbols = ShortEntry("\x9B\xE1\xFF     TXT");
    EXPECT_EQ(FatShortName(View(symbols)), "¢ß\u00A0.TXT");

    std::vector<uint8_t> root(512, 0);
    const auto label = ShortEntry("CAF\x90 CR\x90ME", 0x08, 0, 0);
    std::copy(label.begin(), label.end(), root.begin());
    std::string text;
    ASSERT_TRUE(FatRootLabel(root, &text));
    EXPECT_EQ(text, "CAFÉ CRÉME");
}

TEST(FatEntries, ParseNamesAndKinds)
{
    KFatEntryParser p;
    FatParsedEntry out;
    ASSERT_EQ(Feed(p, {ShortEntry("\xE5OCUMENTTXT")}, &out), FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "_OCUMENT.TXT");
    EXPECT_TRUE(out.Deleted);
    ASSERT_EQ(Feed(p, {ShortEntry("README     ")}, &out), FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "README");
    EXPECT_FALSE(out.Deleted);
    EXPECT_NE(out.Modified, 0);

    // 13 characters and the terminator over two parts, last part first.
    const uint8_t quarterly = Sum("QUARTE~1   ");
    ASSERT_EQ(Feed(p,
                   {LongNamePart(0x42, u"n", quarterly), LongNamePart(0x01, u"Quarterly pla", quarterly),
                    ShortEntry("QUARTE~1   ")},
                   &out),
              FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "Quarterly plan");
    // A colon makes the long name unusable: the short name stands in.
    ASSERT_EQ(Feed(p, {LongNamePart(0x41, u"a:b.txt", Sum("AB~1    TXT")), ShortEntry("AB~1    TXT")}, &out),
              FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "AB~1.TXT");
    // Non-ASCII long names arrive as UTF-8.
    ASSERT_EQ(Feed(p, {LongNamePart(0x41, u"Отчёт.txt", Sum("___~1   TXT")), ShortEntry("___~1   TXT")}, &out),
              FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "Отчёт.txt");
}

// Folder fragments of a formatted volume are read in any order: the parts that end one
// fragment must not name the first file of the next.
TEST(FatEntries, LongNamesBelongToTheirShortEntry)
{
    KFatEntryParser p;
    FatParsedEntry out;
    const uint8_t meeting = Sum("MEETIN~4TXT");
    ASSERT_EQ(Feed(p,
                   {LongNamePart(0x43, u"t", meeting), LongNamePart(0x02, u" number 12.tx", meeting),
                    ShortEntry("IMG_0153JPG")},
                   &out),
              FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "IMG_0153.JPG") << "another short name's checksum";
    ASSERT_EQ(Feed(p, {LongNamePart(0x01, u"Meeting notes", meeting), ShortEntry("MEETIN~4TXT")}, &out),
              FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "MEETIN~4.TXT") << "the name's first parts are elsewhere";
    ASSERT_EQ(Feed(p,
                   {LongNamePart(0x43, u"t", meeting), LongNamePart(0x01, u"Meeting notes", meeting),
                    ShortEntry("MEETIN~4TXT")},
                   &out),
              FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "MEETIN~4.TXT") << "part 2 is missing";

    // A part flagged as the last of its name starts a new name, whatever was collected.
    const uint8_t kept = Sum("KEPT    TXT");
    std::vector<std::vector<uint8_t>> run;
    for (int i = 0; i < 25; ++i) run.push_back(LongNamePart(uint8_t(0x41 + i % 20), u"xxxxxxxxxxxxx", kept));
    run.push_back(LongNamePart(0x41, u"kept.txt", kept));
    run.push_back(ShortEntry("KEPT    TXT"));
    ASSERT_EQ(Feed(p, run, &out), FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "kept.txt");

    // Deleted parts have lost their numbers; the checksum still fixes the short name's first
    // byte, which must be the name's first letter.
    const uint8_t del = Sum("DEL     TXT");
    ASSERT_EQ(Feed(p,
                   {LongNamePart(0x42, u"ignored", del), LongNamePart(0xE5, u"del.txt", del),
                    ShortEntry("\xE5"
                               "EL     TXT")},
                   &out),
              FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "del.txt") << "collection restarts at the deleted part";
    EXPECT_TRUE(out.Deleted);
    ASSERT_EQ(Feed(p,
                   {LongNamePart(0xE5, u"mel.txt", del),
                    ShortEntry("\xE5"
                               "EL     TXT")},
                   &out),
              FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "_EL.TXT") << "a name starting with M cannot belong to D...";
    ASSERT_EQ(Feed(p,
                   {LongNamePart(0xE5, u"~del.txt", del),
                    ShortEntry("\xE5"
                               "EL     TXT")},
                   &out),
              FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "~del.txt") << "no letter to compare";
    ASSERT_EQ(Feed(p, {LongNamePart(0xE5, u"live.txt", Sum("LIVE    TXT")), ShortEntry("LIVE    TXT")}, &out),
              FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "LIVE.TXT") << "a present entry takes no deleted name";

    // An oversized entry makes no record but still ends the run.
    EXPECT_EQ(
        Feed(p, {LongNamePart(0x41, u"huge.bin", Sum("HUGE    BIN")), ShortEntry("HUGE    BIN", 0x20, 5, 0xFFFFFFF8)},
             &out),
        FatParseOutcome::Skipped);
    ASSERT_EQ(Feed(p, {ShortEntry("NEXT    BIN")}, &out), FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "NEXT.BIN");

    // Stored and restored state continues a run across the save, taken as it was.
    p.Parse(View(LongNamePart(0x41, u"resumed.txt")), Limits(), &out);
    KFatEntryParser::Stored stored = p.Store();
    KFatEntryParser q;
    q.Restore(stored);
    ASSERT_EQ(Feed(q, {ShortEntry("RESUME~1TXT")}, &out), FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "resumed.txt");
    stored[1 + 520] = 0xFF; // a hostile count
    q.Restore(stored);
    ASSERT_EQ(Feed(q, {ShortEntry("PLAIN   TXT")}, &out), FatParseOutcome::Record);
    EXPECT_EQ(out.Name, "PLAIN.TXT");
}

TEST(FatBoot, RulesPerType)
{
    // 512-byte sectors, 4 per cluster, 1 reserved, 2 FATs of 64, 512 root entries, 16384 sectors.
    std::vector<uint8_t> s(512, 0);
    PutLE(s, 11, 512, 2);
    s[13] = 4;
    PutLE(s, 14, 1, 2);
    s[16] = 2;
    PutLE(s, 17, 512, 2);
    PutLE(s, 19, 0x4000, 2);
    s[22] = 64;
    std::memcpy(s.data() + 54, "FAT16   ", 8);
    FatCandidate c;
    ASSERT_TRUE(FatCandidateFromBootSector(s, 6, 100, 512, &c));
    EXPECT_EQ(c.Fat1Start, 101);
    EXPECT_EQ(c.Fat2Start, 165);
    EXPECT_EQ(c.RootStart, 229);
    EXPECT_EQ(c.RootSectors, 32u);
    EXPECT_EQ(c.DataStart, 261);
    EXPECT_FALSE(FatCandidateFromBootSector(s, 1, 100, 512, &c)) << "label says FAT16";
    s[13] = 0; // 256 sectors per cluster wraps to 0 in the byte; 3 is not a power of two
    EXPECT_FALSE(FatCandidateFromBootSector(s, 6, 0, 512, &c));
    s[13] = 3;
    EXPECT_FALSE(FatCandidateFromBootSector(s, 6, 0, 512, &c));
    s[13] = 4;
    s[16] = 3;
    EXPECT_FALSE(FatCandidateFromBootSector(s, 6, 0, 512, &c));
    // Made on a disk of 4096-byte sectors: taken only on such a disk, its root counted in them.
    s[16] = 2;
    s[12] = 0x10;
    EXPECT_FALSE(FatCandidateFromBootSector(s, 6, 100, 512, &c));
    ASSERT_TRUE(FatCandidateFromBootSector(s, 6, 100, 4096, &c));
    EXPECT_EQ(c.RootSectors, 4u);
    s[12] = 2;

    // 8 sectors per cluster, 32 reserved, 2 FATs of 1024, 2^20 sectors, root at cluster 2.
    std::vector<uint8_t> f32(512, 0);
    PutLE(f32, 11, 512, 2);
    f32[13] = 8;
    f32[14] = 32;
    f32[16] = 2;
    const uint32_t total = 1 << 20;
    PutLE(f32, 32, total, 4);
    PutLE(f32, 36, 1024, 4);
    f32[44] = 2;
    std::memcpy(f32.data() + 82, "FAT32   ", 8);
    ASSERT_TRUE(FatCandidateFromBootSector(f32, 11, 0, 512, &c));
    EXPECT_EQ(c.DataStart, 32 + 2048);
    EXPECT_EQ(c.RootStart, c.DataStart);
    f32[22] = 1; // a 16-bit FAT size that disagrees with the 32-bit one
    EXPECT_FALSE(FatCandidateFromBootSector(f32, 11, 0, 512, &c));
    f32[22] = 0;
    PutLE(f32, 44, total / 8, 4);
    EXPECT_FALSE(FatCandidateFromBootSector(f32, 11, 0, 512, &c));
}

TEST(FatTable, DecodingAndTrustChecks)
{
    // FAT12: entries 2 and 3 share three bytes; the odd one uses the high 12 bits.
    // Entry 2 = 0x003, entry 3 = 0x004, entry 4 = 0xFFF.
    std::vector<uint8_t> t12 = {0xF8, 0xFF, 0xFF, 0x03, 0x40, 0x00, 0xFF, 0x0F};
    t12.resize(512);
    EXPECT_EQ(KFatTable::DecodeEntry(t12, 1, 2), 0x003u);
    EXPECT_EQ(KFatTable::DecodeEntry(t12, 1, 3), 0x004u);
    EXPECT_EQ(KFatTable::DecodeEntry(t12, 1, 4), 0xFFFu);
    EXPECT_EQ(KFatTable::DecodeEntry(t12, 1, 100000), 0u) << "outside the buffer";
    KFatTable table;
    EXPECT_TRUE(table.Accept(t12, 1, 341));
    EXPECT_EQ(table.CountUsed(), 3u);

    EXPECT_TRUE(KFatTable().Accept(Fat16Sector({{2, 3}, {3, 0xFFFF}}), 6, 256));
    EXPECT_FALSE(KFatTable().Accept(Fat16Sector({{2, 4}, {3, 4}, {4, 0xFFFF}}), 6, 256)) << "two chains join";
    EXPECT_FALSE(KFatTable().Accept(Fat16Sector({{2, 3}, {3, 2}}), 6, 256)) << "a loop";
    EXPECT_FALSE(KFatTable().Accept(Fat16Sector({{5, 5}}), 6, 256)) << "a self-loop";
    EXPECT_FALSE(KFatTable().Accept(Fat16Sector({{5, 1}}), 6, 256));
    EXPECT_FALSE(KFatTable().Accept(Fat16Sector({{5, 300}}), 6, 256)) << "beyond the table";
    // Removable media carry 0xF0 in entry 0: such tables are read like any other; a byte that
    // is no media descriptor is not.
    auto floppy = Fat16Sector({{2, 0xFFFF}});
    floppy[0] = 0xF0;
    EXPECT_TRUE(KFatTable().Accept(floppy, 6, 256));
    floppy[0] = 0xF7;
    EXPECT_FALSE(KFatTable().Accept(floppy, 6, 256));
    floppy[0] = 0xF8;
    floppy[2] = 0x7F;
    EXPECT_FALSE(KFatTable().Accept(floppy, 6, 256));
}

TEST(FatTable, RunsOfPresentAndDeletedFiles)
{
    // 10 -> 11 -> 20, and 30 -> 31, which ends after 2 clusters.
    std::vector<uint8_t> t = Fat16Sector({{10, 11}, {11, 20}, {20, 0xFFFF}, {30, 31}, {31, 0xFFFF}});
    KFatTable table;
    ASSERT_TRUE(table.Accept(t, 6, 256));
    FatGeometry g;
    g.SectorsPerCluster = 8;
    g.DataStart = 1000;
    g.ClusterCount = 256;
    auto runs = table.Runs(g, 512, 10, 3 * 4096);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].FirstSector, 1000 + 8 * 8);
    EXPECT_EQ(runs[0].SectorCount, 16u);
    EXPECT_EQ(runs[1].FirstSector, 1000 + 18 * 8);
    runs = table.Runs(g, 512, 40, 5000); // a deleted file: free entry, contiguous from its start
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].SectorCount, 16u);
    runs = table.Runs(g, 512, 8, 5 * 4096); // its rest in the free clusters: 8, 9, then 12 to 14
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].FirstSector, 1000 + 6 * 8);
    EXPECT_EQ(runs[0].SectorCount, 16u);
    EXPECT_EQ(runs[1].FirstSector, 1000 + 10 * 8);
    EXPECT_EQ(runs[1].SectorCount, 24u);
    runs = table.Runs(g, 512, 30, 5 * 4096); // chain ends early: the last run grows by 3 clusters
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].SectorCount, 40u);

    // A stored table from a damaged scan result: 50 and 51 point at each other, and the
    // record claims a terabyte.
    PutLE(t, 100, 51, 2);
    PutLE(t, 102, 50, 2);
    KFatTable cyclic;
    cyclic.Restore(t, 6, 256);
    runs = cyclic.Runs(g, 512, 50, 1ull << 40);
    EXPECT_LE(runs.size(), 256u) << "a chain longer than the table came back on itself";
    uint64_t sectors = 0;
    for (const FatRun& r : runs) sectors += r.SectorCount;
    EXPECT_EQ(sectors, (0xFFFFFFFFull + 4095) / 4096 * 8) << "no FAT file holds 4 GiB or more";
}

TEST(FatTable, WholeVolumeChainInAnyOrderIsCheckedInLinearWork)
{
    // One file whose chain covers every cluster of the volume from the last to the first: a
    // clean file system (each cluster follows exactly one other), and the order in which a
    // check that re-walks the chain from each cluster does quadratic work.
    FatImageBuilder b(40000, 1, 157);
    const uint32_t clusters = 40000 - b.DataStart() - 1; // all but cluster 2 (no file fills a volume)
    const uint32_t last = clusters + 2;
    for (uint32_t c = last; c > 3; --c) b.SetFat(c, static_cast<uint16_t>(c - 1));
    b.SetFat(3, 0xFFFF);
    b.PutEntry(b.RootEntry(0), "WHOLE   BIN", 0x20, last, clusters * 512);
    b.Fill(3, clusters, 7);

    const ByteView table(b.Image.data() + 512, 157 * 512);
    const uint32_t entries = 157 * 256;
    uint64_t lookups = 0;
    EXPECT_TRUE(KFatTable::CheckChains(table, kFatType16, entries, &lookups));
    EXPECT_LE(lookups, 3ull * entries) << "each link is followed a bounded number of times";

    MemoryVolume volume(b.Image);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u) << "the table is trusted";
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const tagFileNode* file = FindManifestPath(TreePaths(tree), "WHOLE.BIN");
    ASSERT_TRUE(file);
    std::unique_ptr<IOutStream> stream(fs.OpenStream(file));
    ASSERT_TRUE(stream);
    const auto at = [&](uint32_t c) { return b.Image.begin() + static_cast<ptrdiff_t>(b.ClusterSector(c)) * 512; };
    std::vector<uint8_t> head(1024), expected(at(last), at(last) + 512);
    expected.insert(expected.end(), at(last - 1), at(last - 1) + 512);
    int64_t done = 0;
    ASSERT_EQ(stream->Read(head.data(), 1024, &done), 1);
    EXPECT_EQ(done, 1024);
    EXPECT_EQ(head, expected) << "the file starts at its last cluster and runs backwards";

    // Loops and joins anywhere in such a chain are still found.
    std::vector<uint8_t> t(table.begin(), table.end());
    PutLE(t, 3 * 2, last, 2); // the end now leads back to the start: one loop
    EXPECT_FALSE(KFatTable::CheckChains(t, kFatType16, entries, &lookups));
    PutLE(t, 3 * 2, 0xFFFF, 2);
    PutLE(t, (last + 1) * 2, 5, 2); // a second chain joins in the middle
    EXPECT_FALSE(KFatTable::CheckChains(t, kFatType16, entries, &lookups));
}

TEST(FatEntries, ViewsOnlyOverWholeSlots)
{
    // A folder buffer cut inside an entry: its partial slot is no entry, and a view is made
    // only where 32 bytes lie.
    std::vector<uint8_t> bytes = ShortEntry("FIRST   TXT");
    const auto second = ShortEntry("SECOND  TXT", 0x20, 7, 4096);
    bytes.insert(bytes.end(), second.begin(), second.end());
    bytes.resize(bytes.size() + 31, 0x41);
    const FatDirEntrySlots slots(bytes);
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_FALSE(slots[2]);
    EXPECT_FALSE(FatDirEntryView::At(bytes, 64));
    EXPECT_FALSE(FatDirEntryView::At(bytes, SIZE_MAX - 8)) << "no overflow in the bound";
    size_t walked = 0;
    for (const FatDirEntryView e : slots) walked += e.IsUnused() ? 0 : 1;
    EXPECT_EQ(walked, 2u);
    EXPECT_EQ(slots[1]->FirstCluster(), 7u);
    EXPECT_EQ(slots[1]->FileSize(), 4096u);
    EXPECT_EQ(FatShortName(*slots[1]), "SECOND.TXT");
    EXPECT_FALSE(LooksLikeFolderPart(ByteView(bytes).first(31), Limits())) << "no slot at all";
}
