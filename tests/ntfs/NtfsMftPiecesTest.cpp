// A volume whose $MFT is in so many pieces that its runs go on in an extension record named
// by the attribute list of record 0 (made by the real driver): every file listed and copied
// exact, those whose records lie only in the extension's runs included; and damaged
// extensions end the MFT where the damage starts, never past it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fs/KNodeTree.h"
#include "ntfs/KNtfsFileSystem.h"
#include "ntfs/NtfsFileRecordParser.h"
#include "format/ntfs/NtfsRecord.h"
#include "format/ntfs/NtfsRunList.h"
#include "support/TestFiles.h"
#include "support/TestImages.h"
#include "support/ManifestRecovery.h"
#include "support/TestTrees.h"
#include "support/MemoryMedia.h"

namespace {

constexpr const char* kImage = "ntfs-mft-pieces";

// Records mapped by the runs in record 0 alone, and their clusters (the next extent's VCN).
uint32_t BaseExtentRecords(KNtfsFileSystem& fs, uint64_t* clusters = nullptr)
{
    std::vector<uint8_t> record(fs.Mft().RecordBytes());
    const int64_t sector = fs.Mft().RecordToSector(0);
    EXPECT_EQ(fs.Mft().ReadRecordAt(sector, record.data()), 0u);
    EXPECT_TRUE(CheckFileRecord(record, false));
    const NtfsAttribute data = FindDataExtent(record, 0);
    tagNtfsNonResidentAttribute h;
    ByteView pairs;
    StreamVector runs;
    EXPECT_TRUE(data && NonResidentHeader(data, &h, &pairs) && fs.Mft().DecodeRunList(pairs, &runs));
    if (clusters) *clusters = RunSectorTotal(runs) / fs.Mft().Geometry().SectorsPerCluster;
    return MftRecordCount(runs, fs.Mft().Geometry().SectorsPerFileRecord);
}

// The sector of the extension record holding the $MFT's second extent, and the offset of that
// $DATA attribute in it.
bool FindMftExtension(KNtfsFileSystem& fs, uint64_t nextVcn, int64_t* sector, size_t* attrOffset)
{
    std::vector<uint8_t> record(fs.Mft().RecordBytes());
    for (uint32_t n = 1; n < 64; ++n)
    {
        *sector = fs.Mft().RecordToSector(n);
        if (fs.Mft().ReadRecordAt(*sector, record.data()) != 0 || !CheckFileRecord(record, false)) continue;
        const NtfsAttribute data = FindDataExtent(record, nextVcn);
        if (data)
        {
            *attrOffset = static_cast<size_t>(data.Bytes.data() - record.data());
            return true;
        }
    }
    return false;
}

} // namespace

TEST(NtfsMftPieces, EveryFileOfAnMftInExtensionRecordsIsListedAndCopied)
{
    const std::vector<uint8_t> image = LoadFixtureImage(kImage);
    if (image.empty()) GTEST_SKIP() << "image missing";
    MemoryVolume volume(image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u);
    const uint32_t baseRecords = BaseExtentRecords(fs);
    EXPECT_GE(fs.Mft().GetRecordCount(), baseRecords + 100) << "the extension's runs map the records after the base's";
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    int beyondBase = 0;
    const ManifestRecovery got =
        RecoverManifestFiles(fs, tree, kImage, {"present", "deleted"}, [&](const ManifestFile&, const tagFileNode& r) {
            beyondBase += static_cast<const tagNtfsFileNode&>(r).dwSelfId >= baseRecords;
        });
    EXPECT_TRUE(got.Missing.empty()) << got.Missing.front();
    EXPECT_GT(got.Wanted, 700);
    EXPECT_EQ(got.Exact, got.Wanted);
    EXPECT_GT(beyondBase, 100) << "files whose records only the extension record maps";
    std::printf("byte-exact: %d of %d, %d of them beyond the base extent's %u records\n", got.Exact, got.Wanted,
                beyondBase, baseRecords);
    EXPECT_EQ(volume.Image(), image);
}

TEST(NtfsMftPieces, ADamagedExtensionEndsTheMftAtTheBaseExtent)
{
    const std::vector<uint8_t> image = LoadFixtureImage(kImage);
    if (image.empty()) GTEST_SKIP() << "image missing";
    MemoryVolume intact(image);
    KNtfsFileSystem probe;
    probe.SetVolume(&intact);
    ASSERT_EQ(probe.SelectCandidate(0xFFFFFFFF), 0u);
    uint64_t baseClusters = 0;
    const uint32_t baseRecords = BaseExtentRecords(probe, &baseClusters);
    int64_t sector = -1;
    size_t attr = 0;
    ASSERT_TRUE(FindMftExtension(probe, baseClusters, &sector, &attr));
    const size_t at = static_cast<size_t>(sector) * 512 + attr;
    const size_t pairs = at + PeekU16LE(image.data() + at + 32);
    const uint8_t head = image[pairs];
    const size_t lengthSize = head & 15, offsetSize = head >> 4;
    ASSERT_GE(offsetSize, 2u);
    // The runs of record 0 start at the $MFT's own first cluster.
    const uint64_t mftCluster = PeekU64LE(image.data() + 48);

    const std::vector<std::pair<std::string, std::function<void(std::vector<uint8_t>&)>>> damages = {
        {"extent starts at another VCN", [&](std::vector<uint8_t>& b) { b[at + 16] ^= 0x01; }},
        {"first run beyond the volume",
         [&](std::vector<uint8_t>& b) {
             for (size_t i = 0; i + 1 < offsetSize; ++i) b[pairs + 1 + lengthSize + i] = 0xFF;
             b[pairs + offsetSize + lengthSize] = 0x3F;
         }},
        {"first run overlaps the base runs",
         [&](std::vector<uint8_t>& b) {
             for (size_t i = 0; i < offsetSize; ++i)
                 b[pairs + 1 + lengthSize + i] = static_cast<uint8_t>(mftCluster >> (8 * i));
         }},
        {"extension names another base", [&](std::vector<uint8_t>& b) { b[sector * 512 + 32] = 7; }},
    };
    for (const auto& [what, damage] : damages)
    {
        std::vector<uint8_t> bytes = image;
        damage(bytes);
        MemoryVolume volume(bytes);
        KNtfsFileSystem fs;
        fs.SetVolume(&volume);
        ASSERT_EQ(fs.SelectCandidate(0xFFFFFFFF), 0u) << what;
        EXPECT_EQ(fs.Mft().GetRecordCount(), baseRecords) << what;
        KNodeTree tree;
        ASSERT_EQ(fs.BuildTree(&tree), 0u) << what;
        EXPECT_NE(WalkTree(tree, "Pad"), nullptr) << what << ": the base extent's files stay";
    }
}

TEST(NtfsMftPieces, ARecordThatARunEndsInsideGoesOnInTheNextRun)
{
    // Clusters of one sector, records of two: runs of 3, 5 and 2 sectors.
    const StreamVector runs = {{100, 3, 0}, {200, 5, 0}, {300, 2, 0}};
    MftRecordPiece p[kMftMaxRecordPieces];
    ASSERT_EQ(MftRecordPieces(runs, 2, 1, p), 2);
    EXPECT_EQ(p[0].Sector, 102);
    EXPECT_EQ(p[0].Count, 1u);
    EXPECT_EQ(p[1].Sector, 200);
    EXPECT_EQ(p[1].Count, 1u);
    EXPECT_EQ(MftRecordToSector(runs, 2, 2), 201) << "the records after it keep their places";
    EXPECT_EQ(MftRecordToSector(runs, 2, 4), 300);
    EXPECT_EQ(MftRecordPieces(runs, 2, 5, p), 0);
    EXPECT_EQ(MftRecordCount(runs, 2), 5u);
    bool hole = true;
    EXPECT_EQ(MftRunEndRecord(runs, 2, 1, &hole), 2u);
    EXPECT_FALSE(hole);
    const StreamVector withHole = {{100, 3, 0}, {STREAM_HOLE_SECTOR, 3, 0}};
    EXPECT_EQ(MftRecordPieces(withHole, 2, 1, p), 0) << "half a record in a hole is no record";
}
