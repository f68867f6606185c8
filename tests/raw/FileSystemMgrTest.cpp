// The file system manager: the kind chosen from a volume's record.
#include <gtest/gtest.h>

#include "RawEngineFixture.h"
#include "engine/KFileSystemMgr.h"
#include "raw/KRawFileSystem.h"
#include "volume/KVolumeManager.h"

TEST_F(RawEngine, ManagerPicksTheDeepScanForAnUnrecognisedVolume)
{
    // The list owns the volume from here on; the stranger has a copy of its record but is not
    // the object the list holds.
    auto* volume = new MemoryVolume(std::vector<uint8_t>(16 * 512));
    MemoryVolume stranger(std::vector<uint8_t>(16 * 512));
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
