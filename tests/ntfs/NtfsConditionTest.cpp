// The condition an NTFS listing gives each file before it is copied, checked against what the
// copy then brings back on the volume made through an ntfs-3g mount.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "fs/KNodeTree.h"
#include "fs/KSectorRanges.h"
#include "fs/UnreadableFiles.h"
#include "ntfs/KNtfsFileSystem.h"
#include "format/ntfs/NtfsLayout.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/TestTrees.h"
#include "support/MemoryMedia.h"

namespace {

// Data kept in the FILE record: the only run a copy reads is the record's own.
bool IsResident(KNtfsFileSystem& fs, const tagFileNode* record)
{
    StreamVector runs;
    return fs.GetDataRuns(record, &runs) && runs.size() == 1 &&
        runs[0].s64FirstSector == static_cast<const tagNtfsFileNode*>(record)->s64RecordSector;
}

} // namespace

// ntfs-basic: the pads filled the volume, every other one was deleted and two files took the
// holes; the other deleted files kept their clusters. Every file called intact must copy out
// byte-exact; how many of those called overwritten do not is the measure of the call.
TEST(NtfsConditions, IntactCopiesExactlyAndReusedPadsAreOverwritten)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    ASSERT_FALSE(image.empty());
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    TempDir dir;
    int n = 0, intact = 0, deletedIntact = 0, overwritten = 0, overwrittenWrong = 0, reusedMissed = 0, gone = 0;
    tagFileNode* small = nullptr;
    for (const ManifestFile& e : LoadManifest("ntfs-basic").Files)
    {
        const tagTreeNode* node = WalkTree(tree, e.Path);
        if (!node && e.State == "deleted-overwritten")
        {
            ++gone; // a later file took the pad's MFT record too
            continue;
        }
        ASSERT_NE(node, nullptr) << e.Path;
        tagFileNode* record = node->pRecord;
        const std::string target = dir.File("out" + std::to_string(n++));
        ASSERT_EQ(fs.SaveFile(record, target), 0u) << e.Path;
        const bool exact = Sha256OfFile(target) == e.Sha256;
        if (e.State == "present")
        {
            EXPECT_EQ(record->byCondition, FN_COND_INTACT) << e.Path;
        }
        reusedMissed += e.State == "deleted-overwritten" && record->byCondition != FN_COND_OVERWRITTEN;
        if (record->byCondition == FN_COND_INTACT)
        {
            ++intact;
            deletedIntact += e.State != "present";
            EXPECT_TRUE(exact) << "called intact but not byte-exact: " << e.Path;
        }
        if (record->byCondition == FN_COND_OVERWRITTEN)
        {
            ++overwritten;
            overwrittenWrong += !exact;
        }
        if (e.Path == "tiny deleted.txt") small = record;
    }
    std::printf("[ ntfs-basic ] intact %d (deleted %d), all byte-exact; overwritten %d, %d of them not byte-exact; "
                "%d deleted-overwritten not called overwritten, %d not listed\n",
                intact, deletedIntact, overwritten, overwrittenWrong, reusedMissed, gone);
    EXPECT_EQ(deletedIntact, 6);
    EXPECT_GT(overwritten, 40);
    EXPECT_EQ(reusedMissed, 0);

    // Resident data lies in its FILE record: a read error there makes it partly unreadable.
    ASSERT_NE(small, nullptr);
    StreamVector runs;
    ASSERT_TRUE(fs.GetDataRuns(small, &runs));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].s64FirstSector, static_cast<const tagNtfsFileNode*>(small)->s64RecordSector);
    KSectorRanges unreadable;
    unreadable.Add(static_cast<uint64_t>(runs[0].s64FirstSector) + 1, 1);
    EXPECT_EQ(MarkUnreadableFiles(fs, tree, unreadable), 1u);
    EXPECT_EQ(small->byCondition, FN_COND_UNREADABLE);
    EXPECT_EQ(volume.Image(), image);
}

// Without a readable $Bitmap a free cluster proves nothing: live files and untouched deleted
// ones become unknown, while the pads whose clusters a live file's runs claim stay overwritten.
TEST(NtfsConditions, WithoutBitmapOnlyClaimedClustersTell)
{
    std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    ASSERT_FALSE(image.empty());
    int64_t bitmapSector = -1;
    std::map<std::string, uint8_t> withBitmap;
    {
        MemoryVolume volume(image);
        KNtfsFileSystem fs;
        fs.SetVolume(&volume);
        ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
        bitmapSector = fs.Mft().RecordToSector(kNtfsBitmapRecord);
        KNodeTree tree;
        ASSERT_EQ(fs.BuildTree(&tree), 0u);
        for (const auto& [path, record] : TreePaths(tree))
            if (IsFileRecord(record)) withBitmap[path] = record->byCondition;
    }
    ASSERT_GT(bitmapSector, 0);
    image.at(static_cast<size_t>(bitmapSector) * 512) = 'X'; // "FILE" signature broken
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    int overwritten = 0;
    for (const auto& [path, record] : TreePaths(tree))
    {
        if (!IsFileRecord(record)) continue;
        const uint8_t before = withBitmap.at(path);
        const uint8_t now = record->byCondition;
        if (before == FN_COND_OVERWRITTEN)
        {
            // Claimed by a live file's base-record runs, or unknown where the taker keeps its
            // runs in extension records.
            EXPECT_TRUE(now == FN_COND_OVERWRITTEN || now == FN_COND_UNKNOWN) << path;
            overwritten += now == FN_COND_OVERWRITTEN;
        }
        else
        {
            // A file held in its record, or empty, has no clusters anything could take.
            const bool clusters = record->s64Size > 0 && !IsResident(fs, record);
            EXPECT_EQ(now, before == FN_COND_INTACT && clusters ? FN_COND_UNKNOWN : before) << path;
        }
    }
    std::printf("[ ntfs-basic, no $Bitmap ] %d of the overwritten files still called overwritten\n", overwritten);
    EXPECT_GT(overwritten, 0);
}

// ntfs-reused: deleted pads whose clusters a later file took, before it was deleted too, are
// overwritten, and the later file is intact. A deleted file whose map the driver cut (extents
// taken out of its attribute list) is overwritten, and its copy counts what it could not place.
TEST(NtfsConditions, ClustersTwoDeletedFilesClaimBelongToTheLaterOne)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-reused");
    if (image.empty()) GTEST_SKIP() << "image missing";
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    TempDir dir;
    int n = 0, reused = 0;
    for (const ManifestFile& e : LoadManifest("ntfs-reused").Files)
    {
        const tagTreeNode* node = WalkTree(tree, e.Path);
        if (e.Path == "long.txt" || (!node && e.State == "deleted-overwritten")) continue; // unnamed, or record reused
        ASSERT_NE(node, nullptr) << e.Path;
        const std::string target = dir.File("out" + std::to_string(n++));
        ASSERT_EQ(fs.SaveFile(node->pRecord, target), 0u) << e.Path;
        const uint8_t condition = node->pRecord->byCondition;
        if (condition == FN_COND_INTACT)
        {
            EXPECT_EQ(Sha256OfFile(target), e.Sha256) << "called intact: " << e.Path;
        }
        if (e.State != "present")
        {
            EXPECT_EQ(condition, e.State == "deleted" ? FN_COND_INTACT : FN_COND_OVERWRITTEN) << e.Path;
        }
        reused += e.State == "deleted-overwritten";
    }
    EXPECT_EQ(reused, 40);

    const tagTreeNode* lost = WalkTree(tree, "Lost Files");
    ASSERT_NE(lost, nullptr);
    const tagTreeNode* cut = KNodeTree::GetFirstChild(lost);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(KNodeTree::GetNextSibling(cut), nullptr);
    EXPECT_EQ(cut->pRecord->s64Size, 663552);
    EXPECT_EQ(cut->pRecord->byCondition, FN_COND_OVERWRITTEN);
    fs.ClearUnreadBytes();
    ASSERT_EQ(fs.SaveFile(cut->pRecord, dir.File("cut")), 0u);
    EXPECT_GT(fs.GetUnreadBytes(), 0u);
    EXPECT_EQ(volume.Image(), image);
}
