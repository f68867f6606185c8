// Names that only the POSIX name space allows (: ? * " < > | \), as Linux writes them through
// ntfs-3g: every file, present or deleted, is listed under its own name at its own path and
// copies out byte-exact, from the volume's own listing, from a full scan's candidate and from
// that candidate saved and loaded again.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "support/MemoryStorage.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/ManifestRecovery.h"
#include "tests/ntfs/NtfsScanTestSupport.h"
#include "support/MemoryMedia.h"

namespace {

// Builds the tree of what `fs` has listed and checks every manifest file against it.
int ExpectEveryFileAtItsPath(KNtfsFileSystem& fs, const char* how)
{
    KNodeTree tree;
    EXPECT_EQ(fs.BuildTree(&tree), 0u);
    const ManifestRecovery got = RecoverManifestFiles(fs, tree, "ntfs-names");
    for (const std::string& path : got.Missing) ADD_FAILURE() << how << ": not listed: " << path;
    for (const std::string& path : got.Wrong) ADD_FAILURE() << how << ": not copied exactly: " << path;
    std::printf("[ %s ] %d of %d files at their path\n", how, got.Listed, got.Wanted);
    return got.Listed;
}

} // namespace

TEST(NtfsNames, ReservedWindowsCharactersListedUnderTheirOwnNames)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-names");
    ASSERT_FALSE(image.empty());
    MemoryVolume volume(image);

    KNtfsFileSystem opened;
    opened.SetVolume(&volume);
    ASSERT_EQ(opened.SelectCandidate(0xFFFFFFFF), 0u);
    EXPECT_GT(ExpectEveryFileAtItsPath(opened, "volume"), 15);

    KNtfsFileSystem scanned;
    RunFullScan(scanned, volume);
    uint32_t count = 0;
    scanned.GetCandidateCount(&count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(scanned.SelectCandidate(0), 1627u);
    ExpectEveryFileAtItsPath(scanned, "full scan");

    MemoryStorage stored;
    ASSERT_EQ(scanned.SaveTo(&stored), 1);
    KNtfsFileSystem loaded;
    ASSERT_EQ(loaded.LoadFrom(&stored), 1);
    loaded.SetVolume(&volume);
    ExpectEveryFileAtItsPath(loaded, "saved scan result");

    EXPECT_EQ(volume.Image(), image);
}
