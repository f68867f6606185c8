// The deep-scan engine with in-process types: file lengths decided by the next hit, folder and
// file names, disabled types, an empty type list, and types that report nonsense.
#include <gtest/gtest.h>

#include <memory>

#include "FakeRawTypes.h"
#include "RawEngineFixture.h"
#include "base/VlmErrors.h"
#include "fs/KNodeTree.h"

TEST_F(RawEngine, OpenLengthEndsAtTheNextHitWithinTheLimits)
{
    FakeFactory f;
    FakeRawType* a = f.Add("aaa", "Type A", &m_LogA);
    FakeRawType* b = f.Add("bbb", "Type B", &m_LogB);
    FakeRawType* c = f.Add("ccc", "Type C", &m_LogC);
    a->SetLimits(1000, 1000000);
    c->SetLimits(0, 2048);
    a->HitAt(10, 0);
    b->HitAt(20, 100); // ends A@10 after 10 sectors
    a->HitAt(50, 0);
    b->HitAt(51, 100); // one sector after A@50: raised to A's minimum
    a->HitAt(60, 0);
    b->HitAt(40, 100, 61); // a hit before the open file: the minimum as well
    a->HitAt(900, 0);      // nothing follows: runs to the volume's end
    c->HitAt(950, 0);      // closes A@900; C itself is cut to its maximum at the end
    List(f);
    MemoryVolume volume(std::vector<uint8_t>(1000 * 512));
    KRawFileSystem& fs = Fs(volume);
    Scan(fs, 1000, 1);
    ASSERT_EQ(fs.End_ScanFS(), 0u);
    EXPECT_EQ(Size(fs, "Recovered_aaa_file(1).aaa"), 10 * 512);
    EXPECT_EQ(Size(fs, "Recovered_aaa_file(2).aaa"), 1000);
    EXPECT_EQ(Size(fs, "Recovered_aaa_file(3).aaa"), 1000);
    EXPECT_EQ(Size(fs, "Recovered_aaa_file(4).aaa"), 50 * 512);
    EXPECT_EQ(Size(fs, "Recovered_ccc_file(1).ccc"), 2048);
    EXPECT_EQ(Size(fs, "Recovered_bbb_file(1).bbb"), 100);

    // Without a following hit and with a large maximum the file runs to the volume's end.
    FakeFactory g;
    FakeRawType* d = g.Add("ddd", "Type D", &m_LogA);
    d->SetLimits(0, int64_t{1} << 40);
    d->HitAt(990, 0);
    List(g);
    Begin(fs);
    Scan(fs, 1000, 512);
    fs.End_ScanFS();
    EXPECT_EQ(Size(fs, "Recovered_ddd_file(1).ddd"), 10 * 512);
}

TEST_F(RawEngine, FoldersCountTheirFilesAndDisabledTypesAreNeverScanned)
{
    FakeFactory f;
    FakeRawType* a = f.Add("jpg", "Pictures", &m_LogA);
    f.Add("off", "Switched off", &m_LogB)->HitAt(5, 512);
    for (int i = 0; i < 12; ++i) a->HitAt(100 + 10 * i, 512);
    List(f);
    m_Mgr->SetEnabled(1, 0);
    MemoryVolume volume(std::vector<uint8_t>(400 * 512));
    volume.SetName("Disk 0");
    KRawFileSystem& fs = Fs(volume);
    ScanStats stats{};
    Scan(fs, 400, 64, &stats);
    uint32_t count = 7;
    EXPECT_EQ(fs.GetCandidateCount(&count), 0); // not finished yet
    fs.End_ScanFS();

    const KRawFileNode& r = fs.Records();
    EXPECT_STREQ(r.GetName(r.GetNode(0)), "Disk 0\\");
    EXPECT_STREQ(r.GetName(r.GetNode(2)), "Pictures(12)");
    EXPECT_STREQ(r.GetName(r.GetNode(3)), "Switched off(0)");
    for (int i = 1; i <= 12; ++i) EXPECT_EQ(Size(fs, "Recovered_jpg_file(" + std::to_string(i) + ").jpg"), 512) << i;
    EXPECT_EQ(m_LogB.scans, 0);
    EXPECT_EQ(m_LogB.begins, 1);
    EXPECT_EQ(m_LogB.ends, 1);
    EXPECT_EQ(stats.dwRawFiles, 12u);
    EXPECT_EQ(fs.GetCandidateCount(&count), 1);
    EXPECT_EQ(count, 1u);
    FileSystemCandidate cand{};
    ASSERT_EQ(fs.GetCandidate(0, &cand), 1);
    EXPECT_EQ(cand.dwFilesMatch, 12u);
    EXPECT_EQ(cand.s64SectorCount, 400);
    EXPECT_EQ(fs.GetCandidate(1, &cand), 0);
    EXPECT_EQ(fs.GetCandidate(-1, &cand), 0);

    // The tree: volume folder, the one type folder that has files, its twelve files.
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const tagTreeNode* folder = KNodeTree::GetFirstChild(tree.GetRoot());
    ASSERT_NE(folder, nullptr);
    EXPECT_STREQ(tree.GetName(folder), "Pictures(12)");
    EXPECT_EQ(KNodeTree::GetNextSibling(folder), nullptr);
    int files = 0;
    for (const tagTreeNode* n = KNodeTree::GetFirstChild(folder); n; n = KNodeTree::GetNextSibling(n)) ++files;
    EXPECT_EQ(files, 12);

    // A second scan of the same volume starts counting afresh.
    Begin(fs);
    Scan(fs, 400, 64);
    fs.End_ScanFS();
    EXPECT_EQ(fs.Records().GetCount(), 4 + 12);
    EXPECT_STREQ(fs.Records().GetName(fs.Records().GetNode(2)), "Pictures(12)");
    EXPECT_EQ(Size(fs, "Recovered_jpg_file(12).jpg"), 512);
}

TEST_F(RawEngine, WithoutTypesAScanHasOnlyItsFolders)
{
    MemoryVolume volume(std::vector<uint8_t>(64 * 512));
    KRawFileSystem& fs = Fs(volume);
    Scan(fs, 64, 512);
    fs.End_ScanFS();
    EXPECT_EQ(fs.Records().GetCount(), 2);
    uint32_t count = 7;
    EXPECT_EQ(fs.GetCandidateCount(&count), 1);
    EXPECT_EQ(count, 0u);
    // The volume has no name and no record: the folder is named after the candidate label.
    EXPECT_STREQ(fs.Records().GetName(fs.Records().GetNode(0)), "(files found via Deep Scan)");

    KRawFileSystem none;
    EXPECT_EQ(none.Begin_ScanFS(), ERROR_CURRENT_DIRECTORY);
}

TEST_F(RawEngine, HitsOutsideTheVolumeAndBadSizesAreContained)
{
    FakeFactory f;
    FakeRawType* bad = f.Add("bad", "Faulty", &m_LogA);
    bad->SetLimits(0, int64_t{1} << 40);
    bad->HitAt(-5, 512, 0);           // before the volume
    bad->HitAt(5000, 512, 1);         // beyond the volume's end
    bad->HitAt(10, -77);              // negative size: decided like an open length
    bad->HitAt(20, int64_t{1} << 50); // longer than the volume: cut at its end
    List(f);
    MemoryVolume volume(std::vector<uint8_t>(100 * 512));
    KRawFileSystem& fs = Fs(volume);
    Scan(fs, 100, 512);
    fs.End_ScanFS();
    EXPECT_EQ(fs.Records().GetCount(), 2 + 1 + 2);
    EXPECT_EQ(Size(fs, "Recovered_bad_file(1).bad"), 10 * 512);
    EXPECT_EQ(Size(fs, "Recovered_bad_file(2).bad"), 80 * 512);
    // Every recorded file can be read to its last byte.
    for (int i = 3; i < fs.Records().GetCount(); ++i)
    {
        std::unique_ptr<IOutStream> s(fs.OpenStream(fs.Records().GetNode(i)));
        ASSERT_TRUE(s);
        std::vector<uint8_t> buf(100 * 512);
        int64_t done = 0;
        EXPECT_EQ(s->Read(buf.data(), static_cast<int64_t>(buf.size()), &done), STREAM_OK);
        EXPECT_EQ(done, fs.Records().GetNode(i)->s64Size);
    }
}

TEST_F(RawEngine, TypeThatFailsToStartIsNotListed)
{
    FakeFactory f;
    f.Add("one", "One", &m_LogA);
    f.Add("two", "Two", &m_LogB)->SetInitiate(0);
    EXPECT_EQ(KRawScanMgr::AddFactory(&f), 1);
    EXPECT_EQ(m_LogB.released, 1);
    ASSERT_EQ(m_Mgr->GetTypeCount(), 1);
    tagRawTypeEntry e;
    ASSERT_EQ(m_Mgr->GetTypeEntry(0, &e), 1);
    EXPECT_EQ(e.strExtension, "one");
    EXPECT_EQ(e.dwTypeId, 4096u);
    EXPECT_EQ(m_Mgr->GetTypeEntry(1, &e), 0);
    m_Mgr.reset();
    EXPECT_EQ(m_LogA.released, 1); // the last manager releases every listed type
}

TEST_F(RawEngine, HitsPastTheLimitAreDroppedAndCountedWhileTheScanGoesOn)
{
    // What one recorded file costs is its record and what the scan keeps while its end is open.
    static_assert(sizeof(tagRawFileNode) == 42);
    static_assert(sizeof(RawHit) == 16);

    FakeFactory f;
    FakeRawType* a = f.Add("aaa", "Type A", &m_LogA);
    a->SetLimits(0, 1 << 20);
    for (int s = 0; s < 100; ++s) a->HitAt(s * 10, 0);
    List(f);
    MemoryVolume volume(std::vector<uint8_t>(1000 * 512));
    KRawFileSystem& fs = Fs(volume);
    fs.SetHitLimit(40);
    ScanStats stats{};
    Scan(fs, 1000, 64, &stats);
    ASSERT_EQ(fs.End_ScanFS(), 0u);
    EXPECT_EQ(stats.dwRawFiles, 40u);
    EXPECT_EQ(fs.DroppedHits(), 60u);
    EXPECT_EQ(fs.Records().GetCount(), 2 + 1 + 40) << "root, lost files, one folder, 40 files";
    // The last kept file still ends where the first dropped one starts.
    EXPECT_EQ(Size(fs, "Recovered_aaa_file(40).aaa"), 10 * 512);

    // A new scan starts with nothing dropped.
    Begin(fs);
    fs.SetHitLimit(VlmLimits::kMaxDeepScanHits);
    Scan(fs, 1000, 64);
    fs.End_ScanFS();
    EXPECT_EQ(fs.DroppedHits(), 0u);
    EXPECT_EQ(Size(fs, "Recovered_aaa_file(100).aaa"), 10 * 512);
}
