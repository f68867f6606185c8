// Whole listings and copy-outs on volumes made by the real formatter. The image is built at
// test time with mkntfs and ntfscp (skipped when they are not installed).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "volume/NtfsVolumeLabel.h"
#include "support/TestFiles.h"
#include "support/TestTrees.h"
#include "volume/KMemoryVolumeIO.h"

namespace {

bool Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

struct FormattedVolume
{
    TempDir dir;
    std::vector<uint8_t> image;
    std::map<std::string, std::vector<uint8_t>> files; // name in the root -> content

    bool Make()
    {
        const std::string img = dir.File("v.img");
        if (!Run("command -v mkntfs") || !Run("command -v ntfscp"))
            return false;
        if (!Run("truncate -s 8M " + img) || !Run("mkntfs -F -Q -T -L Photos " + img))
            return false;
        files["tiny.txt"] = PatternBytes(300, 1);        // resident data
        files["medium.bin"] = PatternBytes(100000, 2);   // non-resident, one run
        files["exact.bin"] = PatternBytes(8192, 3);      // ends on a cluster boundary
        for (const auto& [name, bytes] : files)
        {
            WriteFileBytes(dir.File("src-" + name), bytes);
            if (!Run("ntfscp -f " + img + " " + dir.File("src-" + name) + " " + name))
                return false;
        }
        image = ReadFileBytes(img);
        return !image.empty();
    }
};

} // namespace

TEST(NtfsImage, ListsAndCopiesFilesByteExact)
{
    FormattedVolume v;
    if (!v.Make())
        GTEST_SKIP() << "mkntfs/ntfscp not available";
    KMemoryVolumeIO volume(v.image);
    volume.SetName("sdz1");
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const tagTreeNode* root = tree.GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(tree.GetName(root), "sdz1\\(Photos)");

    TempDir out;
    for (const auto& [name, bytes] : v.files)
    {
        const tagTreeNode* node = FindChild(tree, root, name);
        ASSERT_NE(node, nullptr) << name;
        const auto* rec = static_cast<const tagNtfsFileNode*>(node->pRecord);
        EXPECT_EQ(rec->byKind, 0x11);
        EXPECT_EQ(rec->s64Size, static_cast<int64_t>(bytes.size()));
        EXPECT_EQ(rec->wValidMask, 0x9F);
        ASSERT_EQ(fs.SaveFile(rec, out.File(name)), 0u) << name;
        EXPECT_EQ(Sha256OfFile(out.File(name)), Sha256Hex(bytes.data(), bytes.size())) << name;
        EXPECT_EQ(fs.SaveFile(rec, out.File(name)), 80u) << "an existing target is never overwritten";
    }
    // Metafiles are never listed; the volume's own image is untouched.
    EXPECT_EQ(FindChild(tree, root, "$MFT"), nullptr);
    EXPECT_EQ(volume.Image(), v.image);
}

TEST(NtfsImage, LabelCandidateRootAndSavedState)
{
    FormattedVolume v;
    if (!v.Make())
        GTEST_SKIP() << "mkntfs/ntfscp not available";
    KMemoryVolumeIO volume(v.image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
    std::string label;
    ASSERT_TRUE(ReadVolumeLabel(&volume, fs.Mft().RecordToSector(0), &label));
    EXPECT_EQ(label, "Photos");
    EXPECT_FALSE(ReadVolumeLabel(&volume, static_cast<int64_t>(v.image.size() / 512), &label));

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
}
