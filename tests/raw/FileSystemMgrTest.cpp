// The file system manager: kinds, ownership, order, and the kind chosen from a volume's record.
#include <gtest/gtest.h>

#include "RawEngineFixture.h"
#include "engine/KFileSystemMgr.h"
#include "raw/KRawFileSystem.h"
#include "volume/KVolumeManager.h"

TEST_F(RawEngine, ManagerCreatesKnownKindsAndKeepsOrder)
{
    KFileSystemMgr mgr;
    EXPECT_EQ(mgr.Create(5), nullptr);
    EXPECT_EQ(mgr.Create(0xFFFFFFFF), nullptr);
    EXPECT_EQ(mgr.GetCount(), 0);

    IFileSystem* a = mgr.Create(KFileSystemMgr::kKindRaw);
    IFileSystem* b = mgr.Create(KFileSystemMgr::kKindRaw);
    IFileSystem* c = mgr.Create(KFileSystemMgr::kKindRaw);
    ASSERT_TRUE(a && b && c);
    EXPECT_NE(dynamic_cast<KRawFileSystem*>(a), nullptr);
    EXPECT_EQ(mgr.Delete(b), 1);
    EXPECT_EQ(mgr.Delete(b), 0);
    ASSERT_EQ(mgr.GetCount(), 2);
    EXPECT_EQ(mgr.GetAt(0), a);
    EXPECT_EQ(mgr.GetAt(1), c);
    EXPECT_EQ(mgr.GetAt(-1), nullptr);
    EXPECT_EQ(mgr.GetAt(2), nullptr);
    EXPECT_EQ(mgr.GetKind(1), KFileSystemMgr::kKindRaw);
    EXPECT_EQ(mgr.GetKind(2), KFileSystemMgr::kKindNone);

    // The FAT kinds, where the FAT scanner is built in, report the kind asked for.
    for (uint32_t kind : {0u, 1u, 2u, 3u}) {
        if (mgr.Create(kind)) {
            EXPECT_EQ(mgr.GetKind(mgr.GetCount() - 1), kind);
        }
    }
    mgr.DeleteAll();
    EXPECT_EQ(mgr.GetCount(), 0);
}

TEST_F(RawEngine, ManagerPicksTheDeepScanForAnUnrecognisedVolume)
{
    // The list owns the volume from here on; the stranger has a copy of its record but is not
    // the object the list holds.
    auto* volume = new KMemoryVolumeIO(std::vector<uint8_t>(16 * 512));
    KMemoryVolumeIO stranger(std::vector<uint8_t>(16 * 512));
    tagVolumeInfo rec;
    rec.PartitionType = -1;
    rec.Drive = "E:";
    rec.Label = "HOLIDAY";
    rec.VolumeIO = volume;
    KVolumeManager volumes;
    const uint32_t index = volumes.AddRecord(rec);
    volume->Open(&rec, index);
    stranger.Open(&rec, index);
    KFileSystemMgr mgr;
    IFileSystem* fs = mgr.CreateForVolume(volume);
    ASSERT_NE(dynamic_cast<KRawFileSystem*>(fs), nullptr);
    EXPECT_EQ(mgr.CreateForVolume(&stranger), nullptr); // its record names another volume
    // The deep scan's top folder carries the volume's name and its label.
    fs->SetVolume(volume);
    ASSERT_EQ(fs->Begin_ScanFS(), 0u);
    const KRawFileNode& records = static_cast<KRawFileSystem*>(fs)->Records();
    EXPECT_STREQ(records.GetName(records.GetNode(0)), "E:\\(HOLIDAY)");
    EXPECT_STREQ(records.GetName(records.GetNode(1)), "Lost Files");
    mgr.Delete(fs);
    volumes.ClearVolumes();
}
