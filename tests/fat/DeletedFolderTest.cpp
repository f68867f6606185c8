// A deleted folder larger than one cluster: deleting frees its chain, so its later clusters
// are found again among the free ones. Hand-made volumes for the order that writes the entry
// before the data and for clusters that must not be taken; the orders of mtools are covered by
// the fat32-deleted-tree image (FatImageTest).
#include <gtest/gtest.h>

#include <cstdio>

#include "FatTestSupport.h"
#include "fat/KFatFileSystem.h"
#include "fs/KNodeTree.h"
#include "support/TestFiles.h"
#include "support/MemoryMedia.h"

namespace {

struct Listing
{
    std::map<std::string, const tagFileNode*> Paths;
    KNodeTree Tree;
};

// The ordinary walk of the volume's own file system, as undelete runs it.
void Undelete(KFatFileSystem& fs, MemoryVolume& volume, Listing& out)
{
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    ASSERT_EQ(fs.BuildTree(&out.Tree), 0u);
    out.Paths = TreePaths(out.Tree);
}

size_t CountUnder(const Listing& l, const std::string& folder)
{
    size_t n = 0;
    for (const auto& [path, record] : l.Paths)
        n += path.rfind(folder + "/", 0) == 0 && !(record->wAttributes & FN_ATTR_FOLDER);
    return n;
}

// A deleted folder DCIM at cluster 3 whose first cluster (64 entries of 2 KiB) is full: dot
// entries and 62 one-cluster files at clusters 4..65. Its second cluster lies at
// `continuation`, holding two files whose first clusters are `firstFile` and `firstFile` + 1.
std::vector<uint8_t> FullDeletedFolder(uint32_t continuation, uint32_t firstFile)
{
    FatImageBuilder b;
    b.PutEntry(b.RootEntry(0),
               "\xE5"
               "CIM       ",
               0x10, 3, 0);
    b.PutDotEntries(3, 0);
    for (uint32_t i = 0; i < 62; ++i)
    {
        char name[12];
        std::snprintf(name, sizeof name,
                      "\xE5"
                      "MG%04u JPG",
                      i);
        b.PutEntry(b.ClusterEntry(3, 2 + i), name, 0x20, 4 + i, 1500);
        b.Fill(4 + i, 1, static_cast<uint8_t>(i));
    }
    b.PutEntry(b.ClusterEntry(continuation, 0),
               "\xE5"
               "MG0062 JPG",
               0x20, firstFile, 1500);
    b.PutEntry(b.ClusterEntry(continuation, 1),
               "\xE5"
               "MG0063 JPG",
               0x20, firstFile + 1, 1500);
    return b.Image;
}

size_t DeletedFolderFiles(const std::vector<uint8_t>& image)
{
    MemoryVolume volume(image);
    KFatFileSystem fs;
    Listing l;
    Undelete(fs, volume, l);
    return CountUnder(l, "_CIM");
}

} // namespace

TEST(FatDeletedFolder, ContinuationIsTakenOnlyWhereTheWriteOrderPutsIt)
{
    // The entry written before the data: the next cluster right after the listed files, its
    // first file right after it.
    EXPECT_EQ(DeletedFolderFiles(FullDeletedFolder(66, 67)), 64u);
    // The data written before the entry: the overflowing file's data first, then the cluster.
    EXPECT_EQ(DeletedFolderFiles(FullDeletedFolder(68, 66)), 64u);
    // A folder part elsewhere whose files start where neither order puts them belongs to
    // another folder: the deleted folder keeps its first cluster's files only.
    EXPECT_EQ(DeletedFolderFiles(FullDeletedFolder(70, 200)), 62u);
    // A cluster in use by the table is never a deleted folder's continuation.
    std::vector<uint8_t> used = FullDeletedFolder(66, 67);
    {
        FatImageBuilder b;
        b.Image = used;
        b.SetFat(66, 0xFFFF);
        used = b.Image;
    }
    EXPECT_EQ(DeletedFolderFiles(used), 62u);
}
