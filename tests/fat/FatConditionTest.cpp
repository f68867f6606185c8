// The condition a FAT listing gives each file before it is copied, checked against what the
// copy then brings back on an image made by the real tools.
#include <gtest/gtest.h>

#include <cstdio>

#include "FatTestSupport.h"
#include "fat/KFatFileSystem.h"
#include "fs/KNodeTree.h"
#include "fs/KSectorRanges.h"
#include "fs/UnreadableFiles.h"
#include "support/MemoryStorage.h"
#include "support/TestFiles.h"
#include "support/MemoryMedia.h"

namespace {

std::map<std::string, uint8_t> Conditions(const std::map<std::string, const tagFileNode*>& paths)
{
    std::map<std::string, uint8_t> out;
    for (const auto& [path, record] : paths)
        if (IsFileRecord(record)) out[path] = record->byCondition;
    return out;
}

} // namespace

// fat32-many: B was deleted and D took its clusters; six more files were deleted untouched.
// Every file called intact must copy out byte-exact; how many of those called overwritten do
// not is the measure of the call.
TEST(FatConditions, IntactCopiesExactlyAndTheReusedFileIsOverwritten)
{
    const std::vector<uint8_t> bytes = LoadFixtureImage("fat32-many");
    ASSERT_FALSE(bytes.empty());
    MemoryVolume volume(bytes);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const auto paths = TreePaths(tree);
    TempDir dir;
    int n = 0, intact = 0, overwritten = 0, overwrittenWrong = 0, deletedIntact = 0;
    for (const ManifestFile& file : LoadManifest("fat32-many").Files)
    {
        const tagFileNode* record = FindManifestPath(paths, file.Path);
        ASSERT_NE(record, nullptr) << file.Path;
        const std::string target = dir.File("out" + std::to_string(n++));
        ASSERT_EQ(fs.SaveFile(record, target), 0u) << file.Path;
        const bool exact = Sha256OfFile(target) == file.Sha256;
        if (file.State == "present")
        {
            EXPECT_EQ(record->byCondition, FN_COND_INTACT) << file.Path;
        }
        if (file.State == "deleted-overwritten")
        {
            EXPECT_EQ(record->byCondition, FN_COND_OVERWRITTEN) << file.Path;
        }
        if (record->byCondition == FN_COND_INTACT)
        {
            ++intact;
            deletedIntact += file.State == "deleted";
            EXPECT_TRUE(exact) << "called intact but not byte-exact: " << file.Path;
        }
        if (record->byCondition == FN_COND_OVERWRITTEN)
        {
            ++overwritten;
            overwrittenWrong += !exact;
        }
    }
    std::printf("[ fat32-many ] intact %d (deleted %d), all byte-exact; overwritten %d, %d of them not byte-exact\n",
                intact, deletedIntact, overwritten, overwrittenWrong);
    EXPECT_EQ(deletedIntact, 6);
    EXPECT_EQ(overwritten, 1);
    EXPECT_EQ(overwrittenWrong, 1);

    // A read error on the last sector of a whole file makes it partly unreadable; the
    // overwritten file, whose first sector is unreadable too, stays overwritten.
    tagFileNode* fragmented = const_cast<tagFileNode*>(FindManifestPath(paths, "Fragmented.bin"));
    const tagFileNode* reused = FindManifestPath(paths, "B.bin");
    StreamVector runs;
    ASSERT_TRUE(fs.GetDataRuns(fragmented, &runs));
    ASSERT_EQ(runs.size(), 2u);
    KSectorRanges unreadable;
    unreadable.Add(static_cast<uint64_t>(runs[1].s64FirstSector) + runs[1].dwSectorCount - 1, 1);
    ASSERT_TRUE(fs.GetDataRuns(reused, &runs));
    unreadable.Add(static_cast<uint64_t>(runs[0].s64FirstSector), 1);
    const std::map<std::string, uint8_t> before = Conditions(paths);
    EXPECT_EQ(MarkUnreadableFiles(fs, tree, unreadable), 1u);
    EXPECT_EQ(fragmented->byCondition, FN_COND_UNREADABLE);
    EXPECT_EQ(reused->byCondition, FN_COND_OVERWRITTEN);

    // A stored result keeps every condition, also the one no table shows: its tree is built
    // again on loading without judging the files anew.
    std::map<std::string, uint8_t> marked = before;
    for (auto& [path, condition] : marked)
        if (path.ends_with("Fragmented.bin")) condition = FN_COND_UNREADABLE;
    EXPECT_EQ(Conditions(paths), marked);
    MemoryStorage io;
    ASSERT_EQ(fs.SaveTo(&io), 1);
    KFatFileSystem loaded;
    ASSERT_EQ(loaded.LoadFrom(&io), 1);
    loaded.SetVolume(&volume);
    KNodeTree again;
    ASSERT_EQ(loaded.BuildTree(&again), 0u);
    EXPECT_EQ(Conditions(TreePaths(again)), marked);
}

// fat16-card: B was deleted, a picture took its clusters and went on past C, then was deleted
// too. Both read the same free clusters, so neither may be called intact; every file that is
// called intact copies out byte-exact.
TEST(FatConditions, DeletedFilesOverOneAnotherAreNotIntact)
{
    const std::vector<uint8_t> bytes = LoadFixtureImage("fat16-card");
    ASSERT_FALSE(bytes.empty());
    MemoryVolume volume(bytes);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const auto paths = TreePaths(tree);
    TempDir dir;
    int n = 0;
    for (const ManifestFile& file : LoadManifest("fat16-card").Files)
    {
        const tagFileNode* record = FindManifestPath(paths, file.Path);
        ASSERT_NE(record, nullptr) << file.Path;
        const std::string target = dir.File("out" + std::to_string(n++));
        ASSERT_EQ(fs.SaveFile(record, target), 0u) << file.Path;
        if (record->byCondition == FN_COND_INTACT)
        {
            EXPECT_EQ(Sha256OfFile(target), file.Sha256) << "called intact but not byte-exact: " << file.Path;
        }
    }
    EXPECT_EQ(FindManifestPath(paths, "Docs/B.TXT")->byCondition, FN_COND_UNKNOWN);
    EXPECT_EQ(FindManifestPath(paths, "DCIM/100CANON/IMG_0009.JPG")->byCondition, FN_COND_UNKNOWN);
}
