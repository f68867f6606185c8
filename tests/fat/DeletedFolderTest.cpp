// A deleted folder larger than one cluster: deleting frees its chain, so its later clusters
// are found again among the free ones. Images written by mtools in both of its orders (a whole
// tree copied at once puts the folder's later clusters after all the data; files copied one
// by one put each after the data of the file that overflowed it), and hand-made volumes for
// the order that writes the entry before the data and for clusters that must not be taken.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "FatTestSupport.h"
#include "fat/KFatFileSystem.h"
#include "fs/KNodeTree.h"
#include "support/TestFiles.h"
#include "volume/KMemoryVolumeIO.h"

namespace {

struct TreeFile
{
    std::string Path;   // below the copied folder's parent, '/' separated
    std::vector<uint8_t> Bytes;
};

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// 40 pictures with long names in Photos: four entries each, about five 1 KiB clusters.
std::vector<TreeFile> PhotoFolder()
{
    std::vector<TreeFile> files;
    for (int i = 1; i <= 40; ++i)
        files.push_back({"Photos/holiday picture number " + std::to_string(i) + ".jpg",
                         PatternBytes(3000 + static_cast<size_t>(i) * 97, static_cast<uint32_t>(i))});
    return files;
}

// Notes beside two subfolders of pictures: the subfolders' clusters and data lie between the
// parent folder's clusters.
std::vector<TreeFile> NestedFolder()
{
    std::vector<TreeFile> files;
    for (int i = 1; i <= 30; ++i)
        files.push_back({"Trip/note " + std::to_string(i) + ".txt", PatternBytes(100 + static_cast<size_t>(i), 100u + i)});
    for (int i = 1; i <= 40; ++i) {
        files.push_back({"Trip/Day1/photo from the first day " + std::to_string(i) + ".jpg",
                         PatternBytes(2000 + static_cast<size_t>(i) * 311, 200u + i)});
        files.push_back({"Trip/Day2/second day " + std::to_string(i) + ".jpg",
                         PatternBytes(900 + static_cast<size_t>(i) * 13, 300u + i)});
    }
    return files;
}

// `files` written into a fresh FAT image by mtools, then their top folder deleted with
// mdeltree. As a tree (mcopy -s) the folder's later clusters come after its data; file by
// file (mmd, then one mcopy each) each comes after the data of the file that overflowed it.
std::vector<uint8_t> MtoolsImage(const TempDir& dir, const std::vector<TreeFile>& files, const std::string& format,
                                 bool wholeTree)
{
    const std::string image = dir.File("fat.img");
    const std::string top = files.front().Path.substr(0, files.front().Path.find('/'));
    for (const TreeFile& f : files) {
        std::filesystem::create_directories(std::filesystem::path(dir.File("src/" + f.Path)).parent_path());
        WriteFileBytes(dir.File("src/" + f.Path), f.Bytes);
    }
    const std::string img = ShellQuote(image);
    bool ok = Run("truncate -s 40M " + img) && Run("mkfs.fat " + format + " " + img);
    if (wholeTree) {
        ok = ok && Run("mcopy -s -i " + img + " " + ShellQuote(dir.File("src/" + top)) + " ::");
    } else {
        ok = ok && Run("mmd -i " + img + " ::" + top);
        for (size_t i = 0; i < files.size() && ok; ++i)
            ok = Run("mcopy -i " + img + " " + ShellQuote(dir.File("src/" + files[i].Path)) + " ::" + top + "/");
    }
    ok = ok && Run("mdeltree -i " + img + " ::" + top);
    return ok ? ReadFileBytes(image) : std::vector<uint8_t>{};
}

struct Listing
{
    std::map<std::string, const tagFileNode*> Paths;
    KNodeTree Tree;
};

// The ordinary walk of the volume's own file system, as undelete runs it.
void Undelete(KFatFileSystem& fs, KMemoryVolumeIO& volume, Listing& out)
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

} // namespace

TEST(FatDeletedFolder, EveryFileOfAWholeFolderComesBackInEveryMtoolsOrder)
{
    struct Case
    {
        const char* What;
        std::vector<TreeFile> Files;
        const char* Format;
        bool WholeTree;
    };
    const Case cases[] = {
        {"FAT16, copied as a tree", PhotoFolder(), "-F 16 -s 2", true},
        {"FAT16, copied file by file", PhotoFolder(), "-F 16 -s 2", false},
        {"FAT32, nested folders copied as a tree", NestedFolder(), "-F 32 -s 1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir dir;
        const std::vector<uint8_t> bytes = MtoolsImage(dir, c.Files, c.Format, c.WholeTree);
        ASSERT_FALSE(bytes.empty()) << "mkfs.fat and mtools are needed";
        const std::string before = Sha256Hex(bytes.data(), bytes.size());
        KMemoryVolumeIO volume(bytes);
        KFatFileSystem fs;
        Listing l;
        Undelete(fs, volume, l);
        const std::string top = c.Files.front().Path.substr(0, c.Files.front().Path.find('/'));
        EXPECT_EQ(CountUnder(l, top), c.Files.size());
        int n = 0;
        for (const TreeFile& f : c.Files) {
            const auto it = l.Paths.find(f.Path);
            ASSERT_NE(it, l.Paths.end()) << f.Path;
            const std::string target = dir.File("out" + std::to_string(n++));
            ASSERT_EQ(fs.SaveFile(it->second, target), 0u);
            EXPECT_EQ(ReadFileBytes(target), f.Bytes) << f.Path;
        }
        EXPECT_EQ(Sha256Hex(volume.Image().data(), volume.Image().size()), before) << "the image was changed";
    }
}

namespace {

// A deleted folder DCIM at cluster 3 whose first cluster (64 entries of 2 KiB) is full: dot
// entries and 62 one-cluster files at clusters 4..65. Its second cluster lies at
// `continuation`, holding two files whose first clusters are `firstFile` and `firstFile` + 1.
std::vector<uint8_t> FullDeletedFolder(uint32_t continuation, uint32_t firstFile)
{
    FatImageBuilder b;
    b.PutEntry(b.RootEntry(0), "\xE5" "CIM       ", 0x10, 3, 0);
    b.PutDotEntries(3, 0);
    for (uint32_t i = 0; i < 62; ++i) {
        char name[12];
        std::snprintf(name, sizeof name, "\xE5" "MG%04u JPG", i);
        b.PutEntry(b.ClusterEntry(3, 2 + i), name, 0x20, 4 + i, 1500);
        b.Fill(4 + i, 1, static_cast<uint8_t>(i));
    }
    b.PutEntry(b.ClusterEntry(continuation, 0), "\xE5" "MG0062 JPG", 0x20, firstFile, 1500);
    b.PutEntry(b.ClusterEntry(continuation, 1), "\xE5" "MG0063 JPG", 0x20, firstFile + 1, 1500);
    return b.Image;
}

size_t DeletedFolderFiles(const std::vector<uint8_t>& image)
{
    KMemoryVolumeIO volume(image);
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
