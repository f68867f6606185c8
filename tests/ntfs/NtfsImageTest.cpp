// The committed NTFS volume opened the ordinary way: its root is named after the device and
// the label, metafiles stay hidden, an existing target is never overwritten, and a candidate
// from a full scan is listed from its own runs. (Byte-exact copies: NtfsManifestTest.)
#include <gtest/gtest.h>

#include <string>

#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "volume/NtfsVolumeLabel.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/TestTrees.h"
#include "support/MemoryMedia.h"

TEST(NtfsImage, RootLabelRefusalsAndScanCandidate)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    ASSERT_FALSE(image.empty());
    MemoryVolume volume(image);
    volume.SetName("sdz1");
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const tagTreeNode* root = tree.GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(tree.GetName(root), "sdz1\\(BASIC)");
    std::string label;
    ASSERT_TRUE(ReadVolumeLabel(&volume, fs.Mft().RecordToSector(0), &label));
    EXPECT_EQ(label, "BASIC");
    EXPECT_FALSE(ReadVolumeLabel(&volume, static_cast<int64_t>(image.size() / 512), &label));
    EXPECT_EQ(FindChild(tree, root, "$MFT"), nullptr);

    const tagTreeNode* tiny = FindChild(tree, root, "tiny.txt");
    ASSERT_NE(tiny, nullptr);
    EXPECT_EQ(tiny->pRecord->wValidMask, 0x9F);
    TempDir out;
    ASSERT_EQ(fs.SaveFile(tiny->pRecord, out.File("tiny.txt")), 0u);
    EXPECT_EQ(fs.SaveFile(tiny->pRecord, out.File("tiny.txt")), 80u) << "an existing target is never overwritten";

    // A candidate found by a full scan is listed from its own runs under "(NTFS)<size>".
    NtfsCandidate c;
    c.Head.wLength = 222;
    c.Head.dwType = 7;
    c.Head.wSectorsPerCluster = static_cast<uint16_t>(fs.Mft().Geometry().SectorsPerCluster);
    c.Head.s64SectorCount = 20480; // 10 MiB
    c.wSectorsPerFileRecord = static_cast<uint16_t>(fs.Mft().Geometry().SectorsPerFileRecord);
    c.MftRuns = fs.Mft().Geometry().MftRuns;
    fs.AddCandidate(c);
    const int listedNormally = fs.Nodes().GetCount();
    EXPECT_EQ(fs.SelectCandidate(0), 1627u);
    EXPECT_EQ(fs.Nodes().GetCount(), listedNormally);
    EXPECT_STREQ(fs.Nodes().GetName(fs.Nodes().GetNode(0)), "(NTFS)10.00MB");
    EXPECT_EQ(fs.SelectCandidate(1), 87u);
    EXPECT_EQ(volume.Image(), image);
}
