// The committed test volume: every present file, and every deleted one whose clusters were
// not reused, appears under its folder and copies out byte-exact (compressed, fragmented and
// attribute-list files included).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "format/ntfs/NtfsRecord.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/ManifestRecovery.h"
#include "support/TestTrees.h"
#include "support/MemoryMedia.h"

namespace {

// Lists the volume of a committed image and copies every present file, and every deleted one
// whose clusters were not reused, expecting each under its folder and byte-exact.
void ExpectEveryRecoverableFileExact(const char* name, int atLeast, int streamsAtLeast)
{
    const std::vector<uint8_t> image = LoadFixtureImage(name);
    if (image.empty()) GTEST_SKIP() << "image missing";
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    // A named stream "file:stream" is an entry of its own beside its file.
    const ManifestRecovery got =
        RecoverManifestFiles(fs, tree, name, {"present", "deleted"}, [](const ManifestFile& e, const tagFileNode& r) {
            EXPECT_EQ((r.byKind & FN_KIND_STREAM) != 0, e.Path.find(':') != std::string::npos) << e.Path;
        });
    EXPECT_TRUE(got.Missing.empty()) << got.Missing.front();
    EXPECT_TRUE(got.Wrong.empty()) << got.Wrong.front();
    EXPECT_GE(got.Wanted, atLeast);
    EXPECT_GE(got.Streams, streamsAtLeast);
    std::printf("%s byte-exact: %d of %d (%d named streams)\n", name, got.Exact, got.Wanted, got.Streams);
    EXPECT_EQ(volume.Image(), image);
}

} // namespace

TEST(NtfsManifest, BasicVolumeListsAndCopiesEveryRecoverableFile)
{
    ExpectEveryRecoverableFileExact("ntfs-basic", 20, 2);
}

// Compression units whose clusters the driver put in more than one run are joined before they
// are decompressed: read as separate units, everything after the split would be shifted.
TEST(NtfsManifest, CompressedFilesWhoseUnitsAreSplitAcrossRunsCopyExact)
{
    ExpectEveryRecoverableFileExact("ntfs-packed-pieces", 3, 0);
}

TEST(NtfsManifest, ACompressedFileOverABadSectorIsSavedWithItsLossCounted)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    if (image.empty()) GTEST_SKIP() << "image missing";
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const tagTreeNode* node = WalkTree(tree, "Compressed/compressible text.txt");
    ASSERT_NE(node, nullptr);
    ASSERT_NE(node->pRecord->wAttributes & FN_ATTR_COMPRESSED, 0);

    // The file's first data run, from its own record; its second sector goes bad.
    const auto* record = static_cast<const tagNtfsFileNode*>(node->pRecord);
    std::vector<uint8_t> bytes(fs.Mft().RecordBytes());
    ASSERT_EQ(fs.Mft().ReadRecordAt(record->s64RecordSector, bytes.data()), 0u);
    const NtfsAttribute data = FindUnnamedData(bytes);
    tagNtfsNonResidentAttribute header;
    ByteView pairs;
    ASSERT_TRUE(data && NonResidentHeader(data, &header, &pairs));
    StreamVector runs;
    ASSERT_TRUE(fs.Mft().DecodeRunList(pairs, &runs));
    ASSERT_FALSE(runs.empty());
    volume.SetBadRange(static_cast<uint64_t>(runs[0].s64FirstSector) + 1, 1);

    TempDir dir;
    fs.ClearUnreadBytes();
    ASSERT_EQ(fs.SaveFile(node->pRecord, dir.File("text")), 0u);
    // The unit over the bad sector is lost from that sector on, nothing more than one unit.
    EXPECT_GT(fs.GetUnreadBytes(), 0u);
    EXPECT_LE(fs.GetUnreadBytes(), 16u * 4096);
    const std::vector<uint8_t> saved = ReadFileBytes(dir.File("text"));
    ASSERT_EQ(saved.size(), 200000u);
    EXPECT_EQ(volume.Image(), image);
}

// Files whose attributes outgrew one record (40 hard links, 30 named streams) lose every name
// when the driver deletes them, while their records keep the data: each is listed deleted in
// "Lost Files" as "Record <n>" with its streams, and copies out byte-exact, while each of the
// kept file's 41 names is an entry of its own. (The driver also
// drops one stream's entry from the deleted file's attribute list: that stream is not found.)
TEST(NtfsManifest, DeletedFilesWithoutANameAreListedInLostFiles)
{
    const std::vector<uint8_t> image = LoadFixtureImage("ntfs-nameless");
    if (image.empty()) GTEST_SKIP() << "image missing";
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const ManifestRecovery kept = RecoverManifestFiles(fs, tree, "ntfs-nameless", {"present"});
    EXPECT_TRUE(kept.Missing.empty() && kept.Wrong.empty());
    EXPECT_EQ(kept.Exact, 32);
    // Every name of the kept file is an entry of its own, with the file's bytes and condition.
    std::string linkedSha;
    for (const ManifestFile& f : LoadManifest("ntfs-nameless").Files)
        if (f.Path == "linked.bin") linkedSha = f.Sha256;
    TempDir links;
    for (int k = 1; k <= 40; ++k)
    {
        const std::string path = "Links/kept link with a long name " + std::to_string(k);
        const tagTreeNode* link = WalkTree(tree, path);
        ASSERT_NE(link, nullptr) << path;
        EXPECT_EQ(link->pRecord->byCondition, FN_COND_INTACT) << path;
        ASSERT_EQ(fs.SaveFile(link->pRecord, links.File(std::to_string(k))), 0u) << path;
        EXPECT_EQ(Sha256OfFile(links.File(std::to_string(k))), linkedSha) << path;
    }
    EXPECT_EQ(WalkTree(tree, "Links/gone link with a long name 1"), nullptr);

    std::map<std::string, std::string> deleted; // SHA-256 -> manifest path
    for (const ManifestFile& f : LoadManifest("ntfs-nameless").Files)
        if (f.State == "deleted") deleted[f.Sha256] = f.Path;
    const tagTreeNode* lost = WalkTree(tree, "Lost Files");
    ASSERT_NE(lost, nullptr);
    TempDir dir;
    std::set<std::string> found;
    int streams = 0;
    for (const tagTreeNode* n = KNodeTree::GetFirstChild(lost); n; n = KNodeTree::GetNextSibling(n))
    {
        const std::string name = tree.GetName(n);
        EXPECT_EQ(name.rfind("Record ", 0), 0u) << name;
        EXPECT_NE(n->pRecord->byKind & FN_KIND_DELETED, 0) << name;
        const std::string target = dir.File(std::to_string(found.size() + 1000));
        ASSERT_EQ(fs.SaveFile(n->pRecord, target), 0u) << name;
        const auto hit = deleted.find(Sha256OfFile(target));
        ASSERT_NE(hit, deleted.end()) << name << " is no deleted file's bytes";
        EXPECT_EQ(name.find(':') != std::string::npos, hit->second.find(':') != std::string::npos) << name;
        found.insert(hit->second);
        streams += (n->pRecord->byKind & FN_KIND_STREAM) != 0;
    }
    EXPECT_EQ(found.count("linked gone.bin"), 1u);
    EXPECT_EQ(found.count("streams gone.txt"), 1u);
    EXPECT_GE(streams, 29);
    EXPECT_EQ(volume.Image(), image);
}

// "Fragmented/attribute list.bin" keeps its runs in two extents; the second one is moved 8
// clusters on (in its record and in the attribute list), leaving a gap no extent covers. The
// runs end at the gap: the copy is exact up to it and counts the rest as unread, rather than
// putting the second extent's clusters 8 clusters too early in the file.
TEST(NtfsManifest, AGapBetweenListedExtentsEndsTheRuns)
{
    std::vector<uint8_t> image = LoadFixtureImage("ntfs-basic");
    if (image.empty()) GTEST_SKIP() << "image missing";
    const std::vector<uint8_t> original = image;
    uint32_t cluster = 0;
    uint64_t second = 0; // the first cluster of the second extent
    {
        MemoryVolume volume(image);
        KNtfsFileSystem fs;
        fs.SetVolume(&volume);
        ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
        KNodeTree tree;
        ASSERT_EQ(fs.BuildTree(&tree), 0u);
        const tagTreeNode* node = WalkTree(tree, "Fragmented/attribute list.bin");
        ASSERT_NE(node, nullptr);
        KNtfsMft& mft = fs.Mft();
        cluster = mft.Geometry().SectorsPerCluster * 512;
        std::vector<uint8_t> base(mft.RecordBytes()), extension(mft.RecordBytes());
        ASSERT_EQ(mft.ReadRecordAt(static_cast<const tagNtfsFileNode*>(node->pRecord)->s64RecordSector, base.data()),
                  0u);
        // The list lies in clusters of its own: its entry of the second extent gets VCN + 8.
        tagNtfsNonResidentAttribute header;
        ByteView pairs;
        ASSERT_TRUE(NonResidentHeader(FindAttribute(base, kNtfsAttrAttributeList, 0), &header, &pairs));
        StreamVector runs;
        ASSERT_TRUE(mft.DecodeRunList(pairs, &runs));
        const size_t list = static_cast<size_t>(runs.at(0).s64FirstSector) * 512;
        uint32_t holder = 0;
        for (size_t at = list; at < list + header.DataSize;)
        {
            tagNtfsAttributeListEntry e;
            ASSERT_TRUE(LoadRecord(ByteView(image).subspan(at), 0, e) && e.Length >= sizeof(e));
            if (e.Type == kNtfsAttrData && e.FirstVcn != 0)
            {
                PutLE(image, at + offsetof(tagNtfsAttributeListEntry, FirstVcn), e.FirstVcn + 8, 8);
                holder = e.RecordLow;
                second = e.FirstVcn;
            }
            at += e.Length;
        }
        ASSERT_NE(holder, 0u);
        // In the extension record, the extent's first VCN (early in the record: no fixup there).
        const int64_t sector = mft.RecordToSector(holder);
        ASSERT_EQ(mft.ReadRecordAt(sector, extension.data()), 0u);
        const NtfsAttribute data = FindAttribute(extension, kNtfsAttrData, 0);
        ASSERT_TRUE(data && NonResidentHeader(data, &header, &pairs));
        const size_t at = static_cast<size_t>(sector) * 512 +
            static_cast<size_t>(data.Bytes.data() - extension.data()) + offsetof(tagNtfsNonResidentAttribute, FirstVcn);
        ASSERT_LT(at % 512, 500u);
        PutLE(image, at, header.FirstVcn + 8, 8);
    }
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const tagTreeNode* node = WalkTree(tree, "Fragmented/attribute list.bin");
    ASSERT_NE(node, nullptr);
    TempDir dir;
    fs.ClearUnreadBytes();
    ASSERT_EQ(fs.SaveFile(node->pRecord, dir.File("out")), 0u);
    const std::vector<uint8_t> saved = ReadFileBytes(dir.File("out"));
    MemoryVolume plain(original);
    KNtfsFileSystem whole;
    whole.SetVolume(&plain);
    ASSERT_EQ(whole.SelectCandidate(0xFFFFFFFF), 0u);
    KNodeTree wholeTree;
    ASSERT_EQ(whole.BuildTree(&wholeTree), 0u);
    ASSERT_EQ(whole.SaveFile(WalkTree(wholeTree, "Fragmented/attribute list.bin")->pRecord, dir.File("whole")), 0u);
    const std::vector<uint8_t> want = ReadFileBytes(dir.File("whole"));
    ASSERT_EQ(saved.size(), want.size());
    // Exact up to the gap (the first extent's clusters), zeros after it, counted unread.
    const size_t gap = static_cast<size_t>(second) * cluster;
    EXPECT_TRUE(std::equal(want.begin(), want.begin() + static_cast<std::ptrdiff_t>(gap), saved.begin()));
    EXPECT_TRUE(
        std::all_of(saved.begin() + static_cast<std::ptrdiff_t>(gap), saved.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(fs.GetUnreadBytes(), want.size() - gap);
}
