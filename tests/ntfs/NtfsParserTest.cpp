// The pure parsers: runlists, FILE record check and repair, attribute walk, names and masks,
// LZNT1 and the regrouping of compressed runs into units.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/tagFileNode.h"
#include "ntfs/KNtfsMft.h"
#include "ntfs/NtfsFileRecordParser.h"
#include "format/ntfs/NtfsLznt1.h"
#include "format/ntfs/NtfsRecord.h"
#include "format/ntfs/NtfsRunList.h"
#include "tests/ntfs/NtfsRecordBuilder.h"

namespace {

StreamVector Decode(std::vector<uint8_t> bytes, uint32_t spc = 1, bool* ok = nullptr)
{
    StreamVector runs;
    const bool result = DecodeRunList(ByteView(bytes.data(), bytes.size()), spc, 0, &runs);
    if (ok) *ok = result;
    return runs;
}

std::vector<uint8_t> Name(const char* name, uint8_t ns, uint32_t flags = 0)
{
    return RecordBuilder::FileName(name, 5, ns, flags);
}

} // namespace

TEST(NtfsRunList, DecodesOffsetsHolesAndRejectsGarbage)
{
    StreamVector r = Decode({0x21, 0x18, 0x34, 0x56, 0x00}, 8);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].s64FirstSector, 0x5634 * 8);
    EXPECT_EQ(r[0].dwSectorCount, 0x18u * 8);

    // The second offset is signed (16 clusters back); the first is not (cluster 240).
    r = Decode({0x11, 0x04, 0x40, 0x11, 0x02, 0xF0, 0x00});
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].s64FirstSector, 0x40 - 16);
    r = Decode({0x11, 0x01, 0xF0, 0x00});
    EXPECT_EQ(r[0].s64FirstSector, 240);

    // A hole leaves the running cluster where it was.
    r = Decode({0x11, 0x02, 0x10, 0x01, 0x05, 0x11, 0x03, 0x04, 0x00});
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[1].s64FirstSector, STREAM_HOLE_SECTOR);
    EXPECT_EQ(r[1].dwSectorCount, 5u);
    EXPECT_EQ(r[2].s64FirstSector, 0x14);

    bool ok = true;
    EXPECT_TRUE(Decode({0x11, 0x01, 0x10, 0x51, 0, 0, 0, 0, 0, 0, 0}, 1, &ok).empty());
    EXPECT_FALSE(ok) << "a size nibble above 4 fails the whole list";
    EXPECT_TRUE(Decode({0x11, 0x01, 0x02, 0x11, 0x01, 0x80, 0x00}, 1, &ok).empty());
    EXPECT_FALSE(ok) << "a run before cluster 0 is garbage";
    r = Decode({0x11, 0x01, 0x10, 0x44, 0x01}, 1, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(r.size(), 1u) << "a run cut off by the end of the bytes is not taken";
    // A run longer than a block counts is split rather than wrapped.
    r = Decode({0x14, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00}, 128);
    EXPECT_EQ(RunSectorTotal(r), 0xFFFFFFFFull * 128);
}

TEST(NtfsFileRecord, HeaderFixupAndAttributeChecks)
{
    const std::vector<uint8_t> good = RecordBuilder().Resident(0x30, Name("a.txt", 1)).Build();
    std::vector<uint8_t> r = good;
    EXPECT_TRUE(CheckFileRecord(MutableByteView(r).first(1024), false));
    EXPECT_EQ(r[510], 0) << "the fixup put the true bytes back";

    r = good;
    r[6] = 4; // update sequence count 4 for a 1024-byte record
    EXPECT_FALSE(CheckFileRecord(MutableByteView(r).first(1024), true));

    r = good;
    r[1022] = 0x77; // second stride's tail
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CheckFileRecord(MutableByteView(r).first(1024), true));
    EXPECT_FALSE(CheckFileRecord(MutableByteView(r).first(1024), false));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Fixup is 177, but should be 101"), std::string::npos);

    // Only the first stride is compared when only it is at hand.
    r = good;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(CheckFileRecord(MutableByteView(r).first(512), true));
    EXPECT_FALSE(CheckFileRecord(MutableByteView(r).first(512), false));
    const std::string trace = testing::internal::GetCapturedStderr();
    EXPECT_NE(trace.find("CheckOnly=>CheckFileSize"), std::string::npos);
    EXPECT_NE(trace.find("nBufferSize=512,u32AllocatedSize=1024"), std::string::npos);

    // Windows reserves : ? * " < > | \ in Win32 and DOS names; the POSIX name space, which Linux
    // writes, allows everything but the slash.
    r = RecordBuilder().Resident(0x30, Name("a:b", 1)).Build();
    EXPECT_FALSE(CheckFileRecord(MutableByteView(r).first(1024), false)) << "a colon in a Win32 name";
    r = RecordBuilder().Resident(0x30, Name("a:b?*<>|\\\"", 0)).Build();
    EXPECT_TRUE(CheckFileRecord(MutableByteView(r).first(1024), false)) << "reserved characters in a POSIX name";
    r = RecordBuilder().Resident(0x30, Name("a/b", 0)).Build();
    EXPECT_FALSE(CheckFileRecord(MutableByteView(r).first(1024), false)) << "a slash in any name";
    r = RecordBuilder().NonResident(0x80, {0x51, 1, 2, 3, 4, 5, 6, 0}, 10).Resident(0x30, Name("x", 1)).Build();
    EXPECT_FALSE(CheckFileRecord(MutableByteView(r).first(1024), false)) << "a $DATA run header with a 5-byte field";

    // An attribute whose length runs past the buffer is never handed out.
    r = good;
    ASSERT_TRUE(CheckFileRecord(MutableByteView(r).first(1024), false));
    RecordBuilder::Put32(r, 56 + 4, 0x10000);
    EXPECT_FALSE(FindAttribute(r, 0x30, 0));
    RecordBuilder::Put32(r, 56 + 4, 0);
    EXPECT_FALSE(FindAttribute(r, 0x80, 0)) << "a zero length ends the walk";
}

TEST(NtfsFileRecord, NameChoiceMasksAndSizes)
{
    KNtfsMft mft;
    auto parse = [&](const std::vector<uint8_t>& disk, tagNtfsFileNode* node, std::string* name) {
        std::vector<uint8_t> r = disk;
        EXPECT_TRUE(CheckFileRecord(MutableByteView(r).first(1024), false));
        *node = tagNtfsFileNode{};
        return ParseFileRecord(mft, r, 40, name, node);
    };
    tagNtfsFileNode n;
    std::string name;
    ASSERT_TRUE(parse(RecordBuilder()
                          .Resident(0x30, Name("LONGNA~1.TXT", 2))
                          .Resident(0x30, Name("Long name.txt", 1))
                          .Resident(0x80, std::vector<uint8_t>(300, 7), 0x0001)
                          .Build(),
                      &n, &name));
    EXPECT_EQ(name, "Long name.txt");
    EXPECT_EQ(n.s64Size, 300);
    EXPECT_EQ(n.wAttributes & 0x0800, 0) << "resident data is never compressed";
    EXPECT_EQ(n.byKind, 0x11);
    EXPECT_EQ(n.dwSelfId, 40u);
    EXPECT_EQ(n.dwParentId, 5u);

    ASSERT_TRUE(
        parse(RecordBuilder(0).Resident(0x30, Name("A~1", 2)).Resident(0x30, Name("B~1", 2)).Build(), &n, &name));
    EXPECT_EQ(name, "A~1") << "a second DOS name does not replace the first";
    EXPECT_EQ(n.byKind, 0x13) << "a record not in use is deleted";

    ASSERT_TRUE(parse(
        RecordBuilder().Resident(0x30, Name("s", 1, 0x4800)).NonResident(0x80, {0x11, 1, 9, 0}, 500, 0x4001).Build(),
        &n, &name));
    EXPECT_EQ(n.wAttributes & 0x0840, 0x40) << "encrypted beats compressed";
    EXPECT_EQ(n.s64Size, 500);

    ASSERT_TRUE(parse(RecordBuilder().Resident(0x30, Name("d", 1, 0x10004800)).Build(), &n, &name));
    EXPECT_EQ(n.wAttributes & 0x0850, 0x10) << "a directory is neither compressed nor encrypted";

    EXPECT_FALSE(parse(RecordBuilder().Resident(0x80, {1, 2, 3}).Build(), &n, &name)) << "no $FILE_NAME";
}

TEST(NtfsLznt1, LiteralsReferencesRawChunksAndHostileHeaders)
{
    std::vector<uint8_t> out(65536);
    std::vector<uint8_t> c = {0x08, 0xB0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    ASSERT_EQ(DecompressChunk(c, out.data()), 8u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 8), "abcdefgh");

    // One literal, then a token 0x0002 at position 1: displacement 1, length 5, repeating
    // its own output.
    c = {0x04, 0xB0, 0x02, 'x', 0x02, 0x00};
    ASSERT_EQ(DecompressChunk(c, out.data()), 6u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 6), "xxxxxx");

    std::vector<uint8_t> raw(2 + 4096, 0x5A);
    raw[0] = 0xFF;
    raw[1] = 0x0F;
    EXPECT_EQ(DecompressChunk(raw, out.data()), 4096u);
    raw.resize(100);
    EXPECT_EQ(DecompressChunk(raw, out.data()), 98u) << "never read past the chunk";

    // A header that claims 4 KiB over 6 bytes of input, and tokens that would produce far
    // more than 64 KiB: bounded on both sides.
    c = {0xFF, 0xBF, 0x02, 'q', 0xFF, 0x0F};
    EXPECT_LE(DecompressChunk(c, out.data()), 65536u);
    std::vector<uint8_t> flood = {0xFF, 0xBF};
    while (flood.size() < 4098)
    {
        flood.push_back(0xFF);
        for (int i = 0; i < 8; ++i)
        {
            flood.push_back(0xFF);
            flood.push_back(0x0F);
        }
    }
    flood.resize(4098);
    std::vector<uint8_t> guarded(65536 + 64, 0xEE);
    const uint32_t produced = DecompressChunk(flood, guarded.data());
    EXPECT_GT(produced, 4096u);
    EXPECT_LE(produced, 65536u);
    for (size_t i = 65536; i < guarded.size(); ++i) ASSERT_EQ(guarded[i], 0xEE) << "written past the unit buffer";
    EXPECT_EQ(guarded[0], 0) << "a reference before the output reads zeros";
}

TEST(NtfsRunList, CompressionUnitsAreJoinedAcrossRuns)
{
    using Kind = NtfsCompressionUnit::Kind;
    // Unit 0: 5 + 3 sectors in two runs, then a hole: compressed. Unit 1: 10 + 4 + 2 sectors in
    // three runs, no hole: stored. Unit 2: all hole. Unit 3: a 40-sector run's first 16.
    // Unit 4: the next 16 of it. Unit 5: its last 8 and a hole: compressed. Then the runs end.
    const StreamVector runs = {{100, 5, 0},
                               {300, 3, 0},
                               {STREAM_HOLE_SECTOR, 8, 0},
                               {500, 10, 0},
                               {700, 4, 0},
                               {900, 2, 0},
                               {STREAM_HOLE_SECTOR, 16, 0},
                               {2000, 40, 0},
                               {STREAM_HOLE_SECTOR, 8, 0},
                               {5000, 4, 0}};
    NtfsUnitReader reader(runs, 16);
    NtfsCompressionUnit u;
    const auto pieces = [&u] {
        std::vector<std::pair<int64_t, uint32_t>> out;
        for (const tagStreamBlock& p : u.pieces) out.emplace_back(p.s64FirstSector, p.dwSectorCount);
        return out;
    };
    using P = std::vector<std::pair<int64_t, uint32_t>>;
    ASSERT_TRUE(reader.Next(&u));
    EXPECT_EQ(u.kind, Kind::Compressed);
    EXPECT_EQ(pieces(), (P{{100, 5}, {300, 3}}));
    ASSERT_TRUE(reader.Next(&u));
    EXPECT_EQ(u.kind, Kind::Stored);
    EXPECT_EQ(pieces(), (P{{500, 10}, {700, 4}, {900, 2}}));
    ASSERT_TRUE(reader.Next(&u));
    EXPECT_EQ(u.kind, Kind::Sparse);
    EXPECT_EQ(u.sectors, 16u);
    for (int64_t first : {2000, 2016})
    {
        ASSERT_TRUE(reader.Next(&u));
        EXPECT_EQ(u.kind, Kind::Stored);
        EXPECT_EQ(pieces(), (P{{first, 16}}));
    }
    ASSERT_TRUE(reader.Next(&u));
    EXPECT_EQ(u.kind, Kind::Compressed);
    EXPECT_EQ(pieces(), (P{{2032, 8}}));
    // Where the runs end inside a unit, the short unit is what there is.
    ASSERT_TRUE(reader.Next(&u));
    EXPECT_EQ(u.kind, Kind::Stored);
    EXPECT_EQ(u.sectors, 4u);
    EXPECT_FALSE(reader.Next(&u));
}
