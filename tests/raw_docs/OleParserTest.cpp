// Compound files: kind from the root's entries, length from the FAT, and bounded walks over
// damaged chains.
#include <gtest/gtest.h>

#include <cstring>

#include "DocSamples.h"
#include "ole/KSpanDocSource.h"
#include "ole/OleLayout.h"
#include "ole/OleParser.h"
#include "support/TestFiles.h"

namespace {

// Sample layout (512-byte sectors): header, FAT in sector 0 (file offset 512), directory in
// sector 1 (offset 1024), stream in sectors 2..9.
constexpr size_t kFat = 512;
constexpr size_t kDir = 1024;

// Counts the reads a parser makes.
class KCountingSource final : public IDocSource
{
public:
    explicit KCountingSource(ByteView bytes) : m_Inner(bytes) {}
    uint64_t Limit() const override { return m_Inner.Limit(); }
    bool Read(uint64_t off, void* out, size_t len) override
    {
        ++Reads;
        return m_Inner.Read(off, out, len);
    }
    size_t ReadSome(uint64_t off, void* out, size_t len) override
    {
        ++Reads;
        return m_Inner.ReadSome(off, out, len);
    }
    int Reads = 0;

private:
    KSpanDocSource m_Inner;
};

} // namespace

TEST(DocOle, LengthComesFromTheHighestAllocatedSector)
{
    std::vector<uint8_t> doc = LoadDocSample("sample.doc");
    // Free the stream's last sector and allocate a later one: the end moves with the FAT.
    PutLE(doc, kFat + 4 * 9, kOleFreeSect, 4);
    PutLE(doc, kFat + 4 * 8, kOleEndOfChain, 4);
    doc.resize(13 * 512, 0);
    PutLE(doc, kFat + 4 * 11, kOleEndOfChain, 4);
    KSpanDocSource src(doc);
    const OleProbe p = ParseOle(src);
    EXPECT_EQ(p.kind, EOleKind::Doc);
    EXPECT_EQ(p.size, 13u * 512);
}

TEST(DocOle, DamagedChainsEndTheWalk)
{
    // Directory chain that points at itself: the walk stops at once (not after reading the
    // same sector thousands of times), the kind is still found.
    std::vector<uint8_t> doc = LoadDocSample("sample.doc");
    PutLE(doc, kFat + 4 * 1, 1, 4);
    KCountingSource src(doc);
    EXPECT_EQ(ParseOle(src).kind, EOleKind::Doc);
    EXPECT_LT(src.Reads, 16);

    // Sibling links forming a cycle in the root's tree.
    doc = LoadDocSample("sample.doc");
    PutLE(doc, kDir + 128 * 3 + 72, 1, 4); // entry 3's right sibling back to entry 1
    KSpanDocSource src2(doc);
    EXPECT_EQ(ParseOle(src2).kind, EOleKind::Doc);

    // A DIFAT chain that loops: more FAT sectors claimed than the header holds.
    doc = LoadDocSample("sample.doc");
    PutLE(doc, 44, 200, 4);  // FAT sectors
    PutLE(doc, 68, 0, 4);    // first DIFAT sector: the FAT sector itself
    PutLE(doc, 72, 1000, 4); // DIFAT sectors
    KSpanDocSource src3(doc);
    const OleProbe p = ParseOle(src3);
    EXPECT_EQ(p.size, 0u);
}

TEST(DocOle, HeaderGateAndForeignKinds)
{
    std::vector<uint8_t> doc = LoadDocSample("sample.doc");
    for (auto [off, value] : {std::pair<size_t, uint8_t>{30, 10}, {28, 0xFF}, {32, 7}, {26, 5}})
    {
        std::vector<uint8_t> b = doc;
        b[off] = value;
        KSpanDocSource src(b);
        EXPECT_EQ(ParseOle(src).kind, EOleKind::None) << "offset " << off;
    }
    // A compound file with none of our streams (another application's) is not ours.
    std::vector<uint8_t> b = doc;
    b[kDir + 128] = 'X'; // "WordDocument" -> "XordDocument"
    KSpanDocSource src(b);
    EXPECT_EQ(ParseOle(src).kind, EOleKind::None);
}

TEST(DocOle, RootNamesOnlyFromTheRootTree)
{
    // An embedded workbook inside a storage does not make a spreadsheet.
    std::vector<uint8_t> dir(128 * 3, 0);
    auto entry = [&](int i, const char* name, uint8_t type, uint32_t child) {
        tagOleDirEntry e{};
        for (size_t k = 0; name[k]; ++k) e.Name[k] = static_cast<uint16_t>(name[k]);
        e.NameLength = static_cast<uint16_t>((std::strlen(name) + 1) * 2);
        e.Type = type;
        e.LeftSibling = e.RightSibling = kOleNoStream;
        e.Child = child;
        std::memcpy(&dir[128 * static_cast<size_t>(i)], &e, sizeof e);
    };
    entry(0, "Root Entry", kOleTypeRoot, 1);
    entry(1, "ObjectPool", kOleTypeStorage, 2);
    entry(2, "Workbook", kOleTypeStream, kOleNoStream);
    const std::vector<std::string> names = OleRootNames(dir);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], "ObjectPool");
}

TEST(DocOle, FatBeyondTheHeaderIsFoundThroughTheDifat)
{
    // 110 FAT sectors: 109 listed in the header, the last one in a DIFAT sector.
    constexpr uint32_t kFatSectors = 110, kDifat = 110, kDir = 111, kLastData = 120;
    std::vector<uint8_t> f((kLastData + 2) * 512, 0);
    tagOleHeader h{};
    std::memcpy(h.Signature, kOleSignature, 8);
    h.MajorVersion = 3;
    h.ByteOrder = 0xFFFE;
    h.SectorShift = 9;
    h.MiniSectorShift = 6;
    h.FatSectorCount = kFatSectors;
    h.FirstDirSector = kDir;
    h.MiniStreamCutoff = 4096;
    h.FirstMiniFatSector = kOleEndOfChain;
    h.FirstDifatSector = kDifat;
    h.DifatSectorCount = 1;
    for (uint32_t i = 0; i < kOleHeaderDifat; ++i) h.Difat[i] = i;
    std::memcpy(f.data(), &h, sizeof h);
    auto at = [](uint32_t sector) { return (size_t{sector} + 1) * 512; };
    for (size_t i = 0; i < 128; ++i) PutLE(f, at(kDifat) + 4 * i, i == 0 ? 109 : kOleFreeSect, 4);
    // FAT: every FAT sector marked, the DIFAT sector, the directory, a data chain to kLastData.
    std::vector<uint32_t> fat(size_t{kFatSectors} * 128, kOleFreeSect);
    for (uint32_t i = 0; i < kFatSectors; ++i) fat[i] = 0xFFFFFFFD;
    fat[kDifat] = 0xFFFFFFFC;
    fat[kDir] = kOleEndOfChain;
    for (uint32_t s = kDir + 1; s < kLastData; ++s) fat[s] = s + 1;
    fat[kLastData] = kOleEndOfChain;
    // Only the first FAT sector holds used entries; the others are free and lie inside the file.
    std::memcpy(&f[at(0)], fat.data(), 512);
    tagOleDirEntry root{}, word{};
    root.Type = kOleTypeRoot;
    root.LeftSibling = root.RightSibling = kOleNoStream;
    root.Child = 1;
    const char* name = "WordDocument";
    for (size_t k = 0; name[k]; ++k) word.Name[k] = static_cast<uint16_t>(name[k]);
    word.NameLength = 26;
    word.Type = kOleTypeStream;
    word.LeftSibling = word.RightSibling = word.Child = kOleNoStream;
    std::memcpy(&f[at(kDir)], &root, sizeof root);
    std::memcpy(&f[at(kDir) + 128], &word, sizeof word);

    for (uint32_t i = 1; i < kFatSectors; ++i) std::memset(&f[at(i)], 0xFF, 512);
    KSpanDocSource whole(f);
    OleProbe p = ParseOle(whole);
    EXPECT_EQ(p.kind, EOleKind::Doc);
    EXPECT_EQ(p.size, (kLastData + 2) * 512u);

    // The DIFAT names a FAT sector far beyond the file: the length is unknown, the kind stays.
    PutLE(f, at(kDifat), 5000, 4);
    KSpanDocSource broken(f);
    p = ParseOle(broken);
    EXPECT_EQ(p.kind, EOleKind::Doc);
    EXPECT_EQ(p.size, 0u);
}
