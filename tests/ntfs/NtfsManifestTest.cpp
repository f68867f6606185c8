// The committed test volume: every present file, and every deleted one whose clusters were
// not reused, appears under its folder and copies out byte-exact (compressed, fragmented and
// attribute-list files included).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/TestTrees.h"
#include "volume/KMemoryVolumeIO.h"

TEST(NtfsManifest, BasicVolumeListsAndCopiesEveryRecoverableFile)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    if (image.empty())
        GTEST_SKIP() << "image missing";
    TempDir dir;
    KMemoryVolumeIO volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    int checked = 0, exact = 0;
    for (const ManifestFile& e : LoadManifest("ntfs-basic").Files)
    {
        if (e.State != "present" && e.State != "deleted")
            continue;
        if (e.Path.find(':') != std::string::npos)
            continue; // named streams are not listed
        ++checked;
        const tagTreeNode* node = WalkTree(tree, e.Path);
        if (e.Size == 0 && !node)
            continue; // empty files are not shown
        ASSERT_NE(node, nullptr) << e.Path;
        EXPECT_EQ(node->pRecord->byKind, e.State == "present" ? 0x11 : 0x13) << e.Path;
        const std::string target = dir.File("out" + std::to_string(checked));
        ASSERT_EQ(fs.SaveFile(node->pRecord, target), 0u) << e.Path;
        const bool same = Sha256OfFile(target) == e.Sha256;
        EXPECT_TRUE(same) << e.Path;
        exact += same;
    }
    EXPECT_GT(checked, 20);
    std::printf("byte-exact: %d of %d\n", exact, checked);
    EXPECT_EQ(volume.Image(), image);
}
