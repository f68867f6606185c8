// The committed test volume: every present file, and every deleted one whose clusters were
// not reused, appears under its folder and copies out byte-exact (compressed, fragmented and
// attribute-list files included).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "tests/ntfs/NtfsManifest.h"
#include "support/TestFiles.h"
#include "volume/KMemoryVolumeIO.h"

TEST(NtfsManifest, BasicVolumeListsAndCopiesEveryRecoverableFile)
{
    TempDir dir;
    const std::string img = dir.File("basic.img");
    if (!UnpackZst(SourcePath("tests/data/ntfs-basic.img.zst"), img))
        GTEST_SKIP() << "image missing";
    const std::vector<uint8_t> image = ReadFileBytes(img);
    KMemoryVolumeIO volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    int checked = 0, exact = 0;
    for (const ManifestEntry& e : ReadManifest(SourcePath("tests/data/ntfs-basic.manifest")))
    {
        if (e.state != "present" && e.state != "deleted")
            continue;
        if (e.path.find(':') != std::string::npos)
            continue; // named streams are not listed
        ++checked;
        const tagTreeNode* node = WalkTree(tree, e.path);
        if (e.size == 0 && !node)
            continue; // empty files are not shown
        ASSERT_NE(node, nullptr) << e.path;
        EXPECT_EQ(node->pRecord->byKind, e.state == "present" ? 0x11 : 0x13) << e.path;
        const std::string target = dir.File("out" + std::to_string(checked));
        ASSERT_EQ(fs.SaveFile(node->pRecord, target), 0u) << e.path;
        const bool same = Sha256OfFile(target) == e.sha;
        EXPECT_TRUE(same) << e.path;
        exact += same;
    }
    EXPECT_GT(checked, 20);
    std::printf("byte-exact: %d of %d\n", exact, checked);
    EXPECT_EQ(volume.Image(), image);
}
