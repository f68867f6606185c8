// The pieces of the full scan on hand-made bytes: index records and their entries, scan
// records from FILE records, record numbering, the MFT rebuilt from loose records, an MFT
// continued by the old records behind it, and the ordering of candidates.
#include <gtest/gtest.h>

#include "ntfs/KNtfsMft.h"
#include "ntfs/NtfsCandidateSearch.h"
#include "format/ntfs/NtfsIndexRecord.h"
#include "format/ntfs/NtfsRecord.h"
#include "ntfs/NtfsRegroup.h"
#include "format/ntfs/NtfsScanRecord.h"
#include "tests/ntfs/NtfsRecordBuilder.h"
#include "tests/ntfs/NtfsScanTestSupport.h"

namespace {

NtfsScanRecord Loose(int64_t sector, uint64_t number, uint32_t attributes = 0)
{
    NtfsScanRecord r;
    r.s64Sector = sector;
    r.u64Self = number;
    r.dwAttributes = attributes;
    return r;
}

std::vector<size_t> AllOf(const std::vector<NtfsScanRecord>& records)
{
    std::vector<size_t> all(records.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    return all;
}

} // namespace

TEST(NtfsIndexRecord, HeaderStridesAndVcnLimit)
{
    const auto entry = RecordBuilder::FileName("a.txt", 5, 1, 0, 10);
    std::vector<uint8_t> r = BuildIndexRecord(10000, {{40, entry}});
    EXPECT_TRUE(CheckIndexRecord(MutableByteView(r).first(4096), 512, true));
    r = BuildIndexRecord(10001, {{40, entry}});
    EXPECT_FALSE(CheckIndexRecord(MutableByteView(r).first(4096), 512, true)) << "VCN 10001 is not believed";

    // 4096 bytes with 512-byte strides need 9 sequence entries; 8 is refused.
    r = BuildIndexRecord(0, {{40, entry}});
    RecordBuilder::Put16(r, 6, 8);
    EXPECT_FALSE(CheckIndexRecord(MutableByteView(r).first(4096), 512, true));

    // A bad tail fails in both modes.
    r = BuildIndexRecord(0, {{40, entry}});
    r[3 * 512 - 1] ^= 0xFF;
    EXPECT_FALSE(CheckIndexRecord(MutableByteView(r).first(4096), 512, true));
    EXPECT_FALSE(CheckIndexRecord(MutableByteView(r).first(4096), 512, false));

    // Only the start of the record in the buffer: enough for the check, not for the repair.
    r = BuildIndexRecord(0, {{40, entry}});
    EXPECT_TRUE(CheckIndexRecord(MutableByteView(r).first(512), 512, true));
    EXPECT_FALSE(CheckIndexRecord(MutableByteView(r).first(512), 512, false));
    const std::vector<uint8_t> onDisk = r;
    ASSERT_TRUE(CheckIndexRecord(MutableByteView(r).first(4096), 512, false));
    EXPECT_EQ(r[1022], 0) << "the stride tail got its true bytes back";
    EXPECT_NE(onDisk, r);

    // Hostile sizes: an allocation beyond any real index record, in-use beyond allocated.
    r = BuildIndexRecord(0, {{40, entry}});
    RecordBuilder::Put32(r, 32, 0x7FFFFFF0);
    EXPECT_FALSE(CheckIndexRecord(MutableByteView(r).first(4096), 512, true));
    r = BuildIndexRecord(0, {{40, entry}});
    RecordBuilder::Put32(r, 28, 5000);
    EXPECT_FALSE(CheckIndexRecord(MutableByteView(r).first(4096), 512, true));
    EXPECT_FALSE(CheckIndexRecord(MutableByteView(r).first(30), 512, true)) << "a buffer shorter than the header";
}

TEST(NtfsIndexRecord, EntriesBecomeScanRecordsUntilOneIsRefused)
{
    const uint64_t created = 0x01D0000000000000ull;
    std::vector<IndexEntrySpec> entries = {
        {3, RecordBuilder::FileName("$volume", 5, 3)}, // case does not matter
        {0x0000123400000041ull, RecordBuilder::FileName("Photos", 5, 1, 0x10000000, 0)},
        {3, RecordBuilder::FileName("$Boot", 5, 3)}, // wrong metafile name
        {77, RecordBuilder::FileName("after.txt", 5, 1, 0, 9)},
    };
    std::vector<uint8_t> r = BuildIndexRecord(7, entries);
    ASSERT_TRUE(CheckIndexRecord(MutableByteView(r).first(4096), 512, false));
    std::vector<NtfsScanRecord> out;
    EXPECT_EQ(CollectIndexEntries(900, r, &out), 2u) << "the walk ends at the entry naming record 3 as $Boot";
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].u64Self, 3u);
    const NtfsScanRecord& dir = out[1];
    EXPECT_EQ(dir.u64Self, 0x0000123400000041ull) << "48-bit record number";
    EXPECT_EQ(dir.u64Parent, 5u);
    EXPECT_EQ(dir.s64Sector, 900);
    EXPECT_EQ(dir.dwIndexPosition, 7u);
    EXPECT_EQ(dir.dwAttributes & 0x10, 0x10u);
    EXPECT_EQ(dir.u64Modified, created) << "a directory takes its creation time";
    EXPECT_EQ(dir.dwClusterEstimate, 0u);

    // An entry that claims more bytes than the record uses is read only as far as the record.
    r = BuildIndexRecord(0, {{50, RecordBuilder::FileName("x", 5, 1)}});
    RecordBuilder::Put16(r, 64 + 8, 0xFFF8);
    RecordBuilder::Put16(r, 64 + 16 + 64, 200); // name length far beyond the entry
    ASSERT_TRUE(CheckIndexRecord(MutableByteView(r).first(4096), 512, false));
    out.clear();
    EXPECT_EQ(CollectIndexEntries(0, r, &out), 1u);
}

TEST(NtfsScanRecord, FromFileAndDirectoryRecords)
{
    // A file of 40000 bytes in 10 clusters at cluster 0x5634 (runlist 0x21 0x0A 0x34 0x56):
    // 79 sectors over 10 clusters guesses 8 sectors per cluster.
    std::vector<uint8_t> si(48, 0);
    RecordBuilder::Put64(si, 0, 111);
    RecordBuilder::Put64(si, 8, 222);
    std::vector<uint8_t> file = RecordBuilder()
                                    .Resident(0x10, si)
                                    .Resident(0x30, RecordBuilder::FileName("a.bin", 40, 1, 0x20, 40000))
                                    .NonResident(0x80, {0x21, 0x0A, 0x34, 0x56, 0x00}, 40000)
                                    .Build();
    RecordBuilder::Put32(file, 44, 1234); // own number behind the header
    ASSERT_TRUE(CheckFileRecord(MutableByteView(file).first(1024), false));
    NtfsScanRecord r;
    std::string name;
    ASSERT_TRUE(ParseScanRecord(file, 512, &r, &name));
    EXPECT_EQ(name, "a.bin");
    EXPECT_EQ(r.u64Self, 1234u);
    EXPECT_EQ(r.u64Parent, 40u);
    EXPECT_EQ(r.u64Size, 40000u);
    EXPECT_EQ(r.u64Created, 111u);
    EXPECT_EQ(r.u64Modified, 222u);
    EXPECT_EQ(r.dwFirstDataCluster, 0x5634u);
    EXPECT_EQ(r.dwClusterEstimate, 8u);
    EXPECT_EQ(r.dwIndexPosition, kNtfsNoIndexPosition);

    // A directory: its first index cluster, creation time as modification time.
    std::vector<uint8_t> dir = RecordBuilder(3)
                                   .Resident(0x30, RecordBuilder::FileName("Docs", 5, 1, 0x10000000))
                                   .NonResident(0xA0, {0x11, 0x01, 0x40, 0x00}, 4096, 0, 0, 4)
                                   .Build();
    ASSERT_TRUE(CheckFileRecord(MutableByteView(dir).first(1024), false));
    ASSERT_TRUE(ParseScanRecord(dir, 512, &r, &name));
    EXPECT_TRUE(r.IsDirectory());
    EXPECT_EQ(r.dwIndexPosition, 0x40u);
    EXPECT_EQ(r.u64Modified, r.u64Created);
    EXPECT_EQ(r.dwClusterEstimate, 0u) << "one cluster gives no estimate";

    // No $FILE_NAME: not a scan record.
    std::vector<uint8_t> bare = RecordBuilder().Resident(0x10, si).Build();
    ASSERT_TRUE(CheckFileRecord(MutableByteView(bare).first(1024), false));
    EXPECT_FALSE(ParseScanRecord(bare, 512, &r, &name));
}

TEST(NtfsRegroup, NumbersFollowSectorsAndBrokenSequencesAreMended)
{
    const uint64_t U = kNtfsUnknownNumber;
    // 100 is known; the next two follow at 2 sectors each; one at an odd distance stays
    // unnumbered; a record far away is numbered back from the next known one.
    std::vector<NtfsScanRecord> records = {Loose(1000, 100), Loose(1002, U),  Loose(1004, U),   Loose(1007, U),
                                           Loose(90000, U),  Loose(90002, U), Loose(90004, 502)};
    EXPECT_EQ(RegroupFileRecords(records, AllOf(records)), 4);
    EXPECT_EQ(records[1].u64Self, 101u);
    EXPECT_EQ(records[2].u64Self, 102u);
    EXPECT_EQ(records[3].u64Self, U);
    EXPECT_EQ(records[4].u64Self, 500u);
    EXPECT_EQ(records[5].u64Self, 501u);

    // A wrong number inside a run whose followers agree with the reference is renumbered.
    records = {Loose(0, 10), Loose(100, 999), Loose(102, 12), Loose(104, 13)};
    RegroupFileRecords(records, AllOf(records));
    EXPECT_EQ(records[1].u64Self, 11u);

    // Only the records in the loose list are touched.
    records = {Loose(0, 10), Loose(2, U)};
    RegroupFileRecords(records, {0});
    EXPECT_EQ(records[1].u64Self, U);
}

TEST(NtfsRegroup, MftRebuiltFromARunOfLooseRecords)
{
    const uint64_t U = kNtfsUnknownNumber;
    // Records 20 .. 23 at sectors 5000 .. 5006, record 26 after a gap at 5012; 27 is not
    // where its number says and ends the run; one record lies before the start.
    std::vector<NtfsScanRecord> records = {Loose(100, 3),   Loose(5000, 20), Loose(5002, 21, 0x10), Loose(5004, 22),
                                           Loose(5006, 23), Loose(5012, 26), Loose(5020, 27),       Loose(5030, U)};
    records[2].dwIndexPosition = 4;
    records[3].dwFirstDataCluster = 900;
    records[3].u64Size = 3 * 4096 + 1;
    NtfsCandidate c;
    ASSERT_TRUE(BuildCandidateFromRecords(records, AllOf(records), 2, 4000, 8, 512, &c));
    EXPECT_EQ(c.Head.s64FirstSector, 4000);
    EXPECT_EQ(c.Head.wSectorsPerCluster, 8);
    EXPECT_EQ(c.Head.dwFolderMatch, 1u);
    EXPECT_EQ(c.Head.dwFilesMatch, 4u);
    EXPECT_EQ(c.s64HighestCluster, 904);
    const StreamVector expected = {{STREAM_HOLE_SECTOR, 40, 0}, {5000, 8, 0}, {STREAM_HOLE_SECTOR, 4, 0}, {5012, 2, 0}};
    EXPECT_TRUE(SameRuns(c.MftRuns, expected));
    EXPECT_EQ(MftRecordToSector(c.MftRuns, 2, 21), 5002);

    EXPECT_FALSE(BuildCandidateFromRecords(records, AllOf(records), 7, 4000, 8, 512, &c)) << "alone";
    EXPECT_FALSE(BuildCandidateFromRecords(records, AllOf(records), 2, 4000, 0, 512, &c));
}

TEST(NtfsCandidates, MoreDirectoriesFirstThenMoreFiles)
{
    std::vector<NtfsCandidate> list(4);
    const uint32_t dirs[] = {10, 12, 12, 3};
    const uint32_t files[] = {500, 1, 7, 9000};
    for (size_t i = 0; i < list.size(); ++i)
    {
        list[i].Head.dwFolderMatch = dirs[i];
        list[i].Head.dwFilesMatch = files[i];
        list[i].Head.s64FirstSector = static_cast<int64_t>(i);
    }
    OrderNtfsCandidates(list);
    EXPECT_EQ(list[0].Head.s64FirstSector, 2);
    EXPECT_EQ(list[1].Head.s64FirstSector, 1);
    EXPECT_EQ(list[2].Head.s64FirstSector, 0);
    EXPECT_EQ(list[3].Head.s64FirstSector, 3);
}

TEST(NtfsCandidates, OldRecordsBehindASmallMftMakeAContinuedCopy)
{
    const uint64_t U = kNtfsUnknownNumber;
    NtfsCandidate boot;
    boot.Head.dwType = 7;
    boot.Head.byExtra = 1;
    boot.Head.wSectorsPerCluster = 8;
    boot.wSectorsPerFileRecord = 2;
    boot.MftRuns = {{1000, 8, 0}};
    // Records 0 .. 3 fill the MFT; 4, 5 and 7 continue it in place (6 is damaged); 40 is not
    // where its number says and ends the stretch, so 9 behind it is not taken.
    std::vector<NtfsScanRecord> records = {Loose(1000, 0), Loose(1002, 1),  Loose(1004, 2),
                                           Loose(1006, 3), Loose(1008, 4),  Loose(1010, 5, 0x10),
                                           Loose(1014, 7), Loose(1016, 40), Loose(1018, 9)};
    {
        std::vector<NtfsScanRecord> list = records, fromIndex;
        // A second candidate with the same MFT (rebuilt from its $MFT record) adds no twin.
        std::vector<NtfsCandidate> candidates = {boot, boot};
        candidates[1].Head.byExtra = 0;
        ResolveNtfsCandidates(list, fromIndex, candidates, 512, 100000);
        ASSERT_EQ(candidates.size(), 3u);
        const StreamVector continued = {{1000, 8, 0}, {1008, 8, 0}};
        EXPECT_TRUE(SameRuns(candidates[0].MftRuns, continued));
        EXPECT_EQ(candidates[0].Head.dwFolderMatch, 1u);
        EXPECT_EQ(candidates[0].Head.dwFilesMatch, 6u);
        EXPECT_EQ(candidates[0].Head.wSectorsPerCluster, 8);
        for (size_t i = 1; i < candidates.size(); ++i)
        {
            EXPECT_TRUE(SameRuns(candidates[i].MftRuns, boot.MftRuns)) << i;
            EXPECT_EQ(candidates[i].Head.dwFilesMatch, 4u) << i;
        }
    }
    // Nothing is added when the records behind the MFT do not carry the numbers that follow
    // it, carry none, or lie beyond the reach of a gap.
    const std::vector<std::vector<NtfsScanRecord>> strangers = {
        {Loose(1008, 5), Loose(1010, 6)},
        {Loose(1008, U), Loose(1010, U)},
        {Loose(1007, 4)},
        {Loose(1008 + kNtfsRegroupReach + 2, 4 + kNtfsRegroupReach / 2 + 1)}};
    for (size_t k = 0; k < strangers.size(); ++k)
    {
        std::vector<NtfsScanRecord> list = {Loose(1000, 0)}, fromIndex;
        list.insert(list.end(), strangers[k].begin(), strangers[k].end());
        std::vector<NtfsCandidate> candidates = {boot};
        ResolveNtfsCandidates(list, fromIndex, candidates, 512, 100000);
        ASSERT_EQ(candidates.size(), 1u) << k;
        EXPECT_TRUE(SameRuns(candidates[0].MftRuns, boot.MftRuns)) << k;
    }
}
