// Streams and copy-out on a synthetic volume: resident data, a compressed file with a hole
// unit, compression units whose clusters lie in several runs, an encrypted file exported in
// the raw backup format, a full target disk, and the saved state of the whole file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "fs/IOutStream.h"
#include "ntfs/KNtfsFileSystem.h"
#include "ntfs/NtfsEfsExport.h"
#include "support/MemoryStorage.h"
#include "support/TestFiles.h"
#include "tests/ntfs/NtfsRecordBuilder.h"
#include "support/MemoryMedia.h"

namespace {

constexpr int64_t kCompressedSector = 100, kEncryptedSector = 102, kResidentSector = 104, kNamedSector = 106;
const std::vector<uint8_t> kCompressedRuns = {0x21, 0x01, 0x90, 0x01, 0x01, 0x1F, 0x11, 0x01, 0x01, 0x01, 0x0F, 0x00};

std::vector<uint8_t> RepeatChunk(char c)
{
    // One literal, then one back-reference at distance 1 of length 4095.
    return {0x03, 0xB0, 0x02, static_cast<uint8_t>(c), 0xFC, 0x0F};
}

struct SyntheticVolume
{
    std::vector<uint8_t> image = std::vector<uint8_t>(1 << 20, 0);
    std::vector<uint8_t> encrypted = PatternBytes(137 * 512, 9);
    std::vector<uint8_t> efs = PatternBytes(100, 10);

    SyntheticVolume()
    {
        using B = RecordBuilder;
        Place(kCompressedSector,
              B().Resident(0x30, B::FileName("c.bin", 5, 1))
                  .NonResident(0x80, kCompressedRuns, 24576, 0x0001, 4)
                  .Build());
        // An empty file whose named stream holds c.bin's compressed data.
        Place(kNamedSector,
              B().Resident(0x30, B::FileName("s.txt", 5, 1))
                  .Resident(0x80, {})
                  .NamedNonResident(0x80, "packed", kCompressedRuns, 24576, 0x0001, 4)
                  .Build());
        std::vector<uint8_t> unit0 = RepeatChunk('A'), b = RepeatChunk('B');
        unit0.insert(unit0.end(), b.begin(), b.end());
        std::vector<uint8_t> unit2 = RepeatChunk('C'), d = RepeatChunk('D');
        unit2.insert(unit2.end(), d.begin(), d.end());
        std::memcpy(&image[400 * 512], unit0.data(), unit0.size());
        std::memcpy(&image[401 * 512], unit2.data(), unit2.size());

        Place(kEncryptedSector,
              B().Resident(0x30, B::FileName("e.bin", 5, 1))
                  .NonResident(0x80, {0x11, 0x89, 0xC8, 0x00}, 70000, 0x4000)
                  .Resident(0x100, efs)
                  .Build());
        std::memcpy(&image[200 * 512], encrypted.data(), encrypted.size());

        Place(kResidentSector,
              B().Resident(0x30, B::FileName("r.txt", 5, 1)).Resident(0x80, PatternBytes(300, 11)).Build());
    }
    void Place(int64_t sector, const std::vector<uint8_t>& record)
    {
        std::memcpy(&image[static_cast<size_t>(sector) * 512], record.data(), record.size());
    }
};

tagNtfsFileNode* AddNode(KNtfsFileSystem& fs, const char* name, int64_t sector, int64_t size, uint16_t attributes)
{
    tagNtfsFileNode* n = fs.Nodes().AddRecord(name);
    n->wValidMask = 0x9F;
    n->byKind = 0x11;
    n->s64RecordSector = sector;
    n->s64Size = size;
    n->wAttributes = attributes;
    n->dwSelfId = static_cast<uint32_t>(fs.Nodes().GetCount());
    return n;
}

} // namespace

TEST(NtfsStreams, ResidentStreamSeekAndReadCodes)
{
    SyntheticVolume v;
    MemoryVolume volume(v.image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    const tagNtfsFileNode* n = AddNode(fs, "r.txt", kResidentSector, 300, 0x20);
    std::unique_ptr<IOutStream> s(fs.OpenStream(n));
    ASSERT_NE(s, nullptr);
    int64_t pos = -5;
    EXPECT_EQ(s->Seek(2, 0, &pos), 1);
    EXPECT_EQ(pos, 300);
    EXPECT_EQ(s->Seek(2, 1, &pos), 4);
    EXPECT_EQ(pos, 300) << "the unchanged position is reported";
    EXPECT_EQ(s->Seek(3, 0, &pos), 2);
    uint8_t buf[100];
    int64_t done = 0;
    ASSERT_EQ(s->Seek(0, 290, nullptr), 1);
    EXPECT_EQ(s->Read(buf, 100, &done), 4);
    EXPECT_EQ(done, 10);
    EXPECT_EQ(std::memcmp(buf, PatternBytes(300, 11).data() + 290, 10), 0);
    EXPECT_STREQ(s->GetNameA(), "r.txt");
    // Compressed data is decompressed as it is read, from any position, backwards too.
    std::vector<uint8_t> expected;
    for (char c : std::string("AB")) expected.insert(expected.end(), 4096, static_cast<uint8_t>(c));
    expected.insert(expected.end(), 8192, 0);
    for (char c : std::string("CD")) expected.insert(expected.end(), 4096, static_cast<uint8_t>(c));
    std::unique_ptr<IOutStream> c(fs.OpenStream(AddNode(fs, "c.bin", kCompressedSector, 24576, 0x800)));
    ASSERT_NE(c, nullptr);
    std::vector<uint8_t> got(24576);
    ASSERT_EQ(c->Seek(0, 20000, nullptr), 1);
    ASSERT_EQ(c->Read(got.data() + 20000, 4576, &done), 1);
    ASSERT_EQ(c->Seek(0, 0, nullptr), 1);
    ASSERT_EQ(c->Read(got.data(), 20000, &done), 1);
    EXPECT_EQ(done, 20000);
    EXPECT_EQ(got, expected);
}

TEST(NtfsStreams, CompressedFileWithAHoleUnitSavesExactly)
{
    SyntheticVolume v;
    MemoryVolume volume(v.image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    const tagNtfsFileNode* n = AddNode(fs, "c.bin", kCompressedSector, 24576, 0x800);
    TempDir out;
    ASSERT_EQ(fs.SaveFile(n, out.File("c.bin")), 0u);
    std::vector<uint8_t> expected;
    for (char c : std::string("AB")) expected.insert(expected.end(), 4096, static_cast<uint8_t>(c));
    expected.insert(expected.end(), 8192, 0);
    for (char c : std::string("CD")) expected.insert(expected.end(), 4096, static_cast<uint8_t>(c));
    EXPECT_EQ(ReadFileBytes(out.File("c.bin")), expected);
    // A compressed named stream is decompressed the same way, found by its name.
    tagNtfsFileNode* stream = AddNode(fs, "s.txt:packed", kNamedSector, 24576, 0x800);
    stream->byKind |= FN_KIND_STREAM;
    ASSERT_EQ(fs.SaveFile(stream, out.File("s.txt_packed")), 0u);
    EXPECT_EQ(ReadFileBytes(out.File("s.txt_packed")), expected);
    EXPECT_EQ(volume.Image(), v.image);

    // A target that cannot take the whole file reports the error instead of success.
    uint32_t rc = 0;
    {
        FileSizeLimit limit(10000);
        ASSERT_TRUE(limit.Ok());
        rc = fs.SaveFile(n, out.File("full.bin"));
    }
    EXPECT_NE(rc, 0u);
}

// Mapping pairs of (first sector, length) runs with one-sector clusters; -1 is a hole.
std::vector<uint8_t> MappingPairs(const std::vector<std::pair<int64_t, uint8_t>>& runs)
{
    std::vector<uint8_t> out;
    int64_t previous = 0;
    for (const auto& [first, length] : runs)
    {
        if (first < 0)
        {
            out.insert(out.end(), {0x01, length});
            continue;
        }
        const int64_t delta = first - previous;
        out.insert(out.end(),
                   {0x21, length, static_cast<uint8_t>(delta & 0xFF), static_cast<uint8_t>((delta >> 8) & 0xFF)});
        previous = first;
    }
    out.push_back(0);
    return out;
}

TEST(NtfsStreams, CompressionUnitsSplitOverRunsSaveExactly)
{
    // Four 16-sector units: compressed data in two runs, then a hole; a stored unit in three
    // runs; a unit that is all hole; compressed data in three runs, then a hole.
    SyntheticVolume v;
    const std::vector<uint8_t> literal0 = PatternBytes(4096, 21), stored = PatternBytes(8192, 22),
                               literal3 = PatternBytes(4096, 23);
    const auto unit = [](const std::vector<uint8_t>& literal, char repeat) {
        std::vector<uint8_t> u{0xFF, 0x3F}; // a chunk kept as it is: 4096 bytes
        u.insert(u.end(), literal.begin(), literal.end());
        const std::vector<uint8_t> tail = RepeatChunk(repeat);
        u.insert(u.end(), tail.begin(), tail.end());
        return u; // 4104 bytes: 9 sectors
    };
    const std::vector<uint8_t> unit0 = unit(literal0, 'F'), unit3 = unit(literal3, 'G');
    const auto put = [&v](const std::vector<uint8_t>& bytes, size_t from, size_t count, int64_t sector) {
        std::memcpy(&v.image[static_cast<size_t>(sector) * 512], bytes.data() + from,
                    std::min(count, bytes.size() - from));
    };
    put(unit0, 0, 5 * 512, 410);
    put(unit0, 5 * 512, 4 * 512, 430);
    put(stored, 0, 6 * 512, 450);
    put(stored, 6 * 512, 6 * 512, 470);
    put(stored, 12 * 512, 4 * 512, 490);
    put(unit3, 0, 3 * 512, 530);
    put(unit3, 3 * 512, 3 * 512, 520);
    put(unit3, 6 * 512, 3 * 512, 510);
    const std::vector<uint8_t> pairs = MappingPairs(
        {{410, 5}, {430, 4}, {-1, 7}, {450, 6}, {470, 6}, {490, 4}, {-1, 16}, {530, 3}, {520, 3}, {510, 3}, {-1, 7}});
    v.Place(110,
            RecordBuilder()
                .Resident(0x30, RecordBuilder::FileName("split.bin", 5, 1))
                .NonResident(0x80, pairs, 32768, 0x0001, 4)
                .Build());
    MemoryVolume volume(v.image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    const tagNtfsFileNode* n = AddNode(fs, "split.bin", 110, 32768, 0x800);
    TempDir out;
    fs.ClearUnreadBytes();
    ASSERT_EQ(fs.SaveFile(n, out.File("split.bin")), 0u);
    EXPECT_EQ(fs.GetUnreadBytes(), 0u);
    std::vector<uint8_t> expected = literal0;
    expected.insert(expected.end(), 4096, 'F');
    expected.insert(expected.end(), stored.begin(), stored.end());
    expected.insert(expected.end(), 8192, 0);
    expected.insert(expected.end(), literal3.begin(), literal3.end());
    expected.insert(expected.end(), 4096, 'G');
    EXPECT_EQ(ReadFileBytes(out.File("split.bin")), expected);

    // The second piece of the first unit unreadable: its first chunk reaches the bad sector, so
    // that unit is zeros and counted, and every later unit stays in its place.
    volume.SetBadRange(430, 1);
    fs.ClearUnreadBytes();
    ASSERT_EQ(fs.SaveFile(n, out.File("bad.bin")), 0u);
    EXPECT_EQ(fs.GetUnreadBytes(), 8192u);
    const std::vector<uint8_t> saved = ReadFileBytes(out.File("bad.bin"));
    ASSERT_EQ(saved.size(), expected.size());
    EXPECT_TRUE(std::equal(saved.begin() + 8192, saved.end(), expected.begin() + 8192));
}

TEST(NtfsStreams, EncryptedFileExportsRawBackupBlocks)
{
    SyntheticVolume v;
    MemoryVolume volume(v.image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    const tagNtfsFileNode* n = AddNode(fs, "e.bin", kEncryptedSector, 70000, 0x40);
    TempDir out;
    ASSERT_EQ(fs.SaveFile(n, out.File("e.bin")), 0u);
    const std::vector<uint8_t> dest = ReadFileBytes(out.File("e.bin"));
    ASSERT_EQ(dest.size(), 66u + 100 + 70144);
    EXPECT_EQ(std::vector<uint8_t>(dest.begin(), dest.begin() + 66), EfsStreamHeader(100));
    EXPECT_EQ(std::memcmp(dest.data() + 66, v.efs.data(), 100), 0);
    EXPECT_EQ(std::memcmp(dest.data() + 166, v.encrypted.data(), 70144), 0);

    const std::vector<uint8_t> efs = ReadFileBytes(out.File("e.bin.$EFS"));
    const size_t block0 = 166 + 42, block1 = block0 + 512 + 65536;
    ASSERT_EQ(efs.size(), block1 + 512 + 4608);
    EXPECT_EQ(std::vector<uint8_t>(efs.begin() + 166, efs.begin() + block0), EfsDataHeader());
    EXPECT_EQ(std::vector<uint8_t>(efs.begin() + block0, efs.begin() + block0 + 512), EfsBlockHeader(0, 65536, 65536));
    EXPECT_EQ(std::vector<uint8_t>(efs.begin() + block1, efs.begin() + block1 + 512), EfsBlockHeader(1, 4464, 4608));
    EXPECT_EQ(efs[block1 + 18], 1);
    EXPECT_EQ(std::memcmp(efs.data() + block1 + 512, v.encrypted.data() + 65536, 4608), 0);
}

TEST(NtfsStreams, SavedStateLoadsBackWhole)
{
    SyntheticVolume v;
    MemoryVolume volume(v.image);
    KNtfsFileSystem fs;
    fs.SetVolume(&volume);
    fs.Mft().Geometry().MftRuns = {{64, 32, 0}, {STREAM_HOLE_SECTOR, 8, 0}};
    fs.Mft().Geometry().SectorsPerCluster = 8;
    NtfsCandidate c;
    c.Head.wLength = 222;
    c.Head.dwType = 7;
    std::strcpy(c.Head.szLabel, "Label");
    c.Head.dwScore = 1234;
    c.s64MftSector = 64;
    c.wSectorsPerFileRecord = 2;
    c.MftRuns = {{64, 16, 0}};
    fs.AddCandidate(c);
    AddNode(fs, "a.txt", 100, 5, 0x20);
    AddNode(fs, "b.txt", 102, 7, 0x20);
    MemoryStorage store;
    ASSERT_EQ(fs.SaveTo(&store), 1);

    KNtfsFileSystem back;
    ASSERT_EQ(back.LoadFrom(&store), 1);
    EXPECT_EQ(back.Mft().Geometry().SectorsPerCluster, 8u);
    ASSERT_EQ(back.Mft().Geometry().MftRuns.size(), 2u);
    EXPECT_EQ(back.Mft().Geometry().MftRuns[1].s64FirstSector, STREAM_HOLE_SECTOR);
    FileSystemCandidate head;
    ASSERT_EQ(back.GetCandidate(0, &head), 1);
    EXPECT_STREQ(head.szLabel, "Label");
    EXPECT_EQ(head.dwScore, 1234u);
    EXPECT_EQ(back.GetCandidate(1, &head), 0);
    EXPECT_EQ(back.GetCandidate(0, nullptr), 0);
    ASSERT_EQ(back.Nodes().GetCount(), 2);
    EXPECT_STREQ(back.Nodes().GetName(back.Nodes().GetNode(1)), "b.txt");
    EXPECT_EQ(std::memcmp(reinterpret_cast<const uint8_t*>(back.Nodes().GetNode(1)) + 6,
                          reinterpret_cast<const uint8_t*>(fs.Nodes().GetNode(1)) + 6, 50 - 6),
              0);

    store.Bytes.resize(20); // cut inside the geometry
    store.Pos = 0;
    EXPECT_EQ(back.LoadFrom(&store), 0);
}
