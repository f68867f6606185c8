// The stored header of a scan result: round trip, signature, caps on hostile lengths and
// counts, and which volume a stored identity names.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/CScanResultFile.h"
#include "support/MemoryStorage.h"
#include "support/MemoryMedia.h"
#include "volume/VolumeTypes.h"

namespace {

tagVolumeInfo Record()
{
    tagVolumeInfo r;
    r.VolumeType = VOLUME_SPANNED;
    r.PartitionType = 7;
    r.Drive = "/mnt/data";
    r.Label = "DATA";
    r.SectorCount = 5000;
    r.StripeSize = 0;
    r.Extents = {tagVolumeExtent{0, 3, 1, 2048, 0, 3000}, tagVolumeExtent{0, 3, 2, 63, 3000, 2000}};
    return r;
}

std::vector<uint8_t> Saved(const tagScanResultHeader& header)
{
    MemoryStorage out;
    EXPECT_TRUE(CScanResultFile::WriteHeader(&out, header));
    return out.Bytes;
}

bool Reads(const std::vector<uint8_t>& bytes, tagScanResultHeader* header = nullptr)
{
    MemoryStorage in;
    in.Bytes = bytes;
    tagScanResultHeader local;
    return CScanResultFile::ReadHeader(&in, header ? header : &local);
}

TEST(ScanResultFile, HeaderLayoutAndRoundTrip)
{
    const tagVolumeInfo record = Record();
    tagScanResultHeader header = CScanResultFile::MakeHeader(record, nullptr, 1);
    EXPECT_EQ(header.strDescription, "DATA(/mnt/data,NTFS)");
    const std::vector<uint8_t> bytes = Saved(header);
    const size_t L = header.strDescription.size();
    ASSERT_EQ(bytes.size(), 64 + L + 32 * 2);
    EXPECT_EQ(std::memcmp(bytes.data(), CScanResultFile::kSignature, 16), 0);
    EXPECT_EQ(bytes[16], L);
    EXPECT_EQ(bytes[36 + L], 1);            // module
    EXPECT_EQ(bytes[48 + L], 4);            // volume type
    EXPECT_EQ(bytes[60 + L], 2);            // extents
    EXPECT_EQ(bytes[64 + L], 3);            // first extent's device kind
    EXPECT_EQ(bytes[64 + L + 4], 1);        // and number
    EXPECT_EQ(bytes[64 + L + 32 + 24], 63); // second extent's device start

    tagScanResultHeader back;
    ASSERT_TRUE(Reads(bytes, &back));
    EXPECT_EQ(back.strDescription, header.strDescription);
    EXPECT_EQ(std::memcmp(&back.Time, &header.Time, sizeof(back.Time)), 0);
    EXPECT_TRUE(CScanResultFile::MatchesVolume(back, record));

    // Without a drive, and with an empty description (no bytes follow the length).
    tagVolumeInfo plain = record;
    plain.Drive.clear();
    plain.Label.clear();
    plain.PartitionType = -1;
    EXPECT_EQ(CScanResultFile::DescribeVolume(plain, nullptr), "(Unidentified)");
    header.strDescription.clear();
    const std::vector<uint8_t> empty = Saved(header);
    EXPECT_EQ(empty.size(), 64u + 64);
    ASSERT_TRUE(Reads(empty, &back));
    EXPECT_TRUE(back.strDescription.empty());

    // A physical device is described by its own text.
    plain.VolumeType = VOLUME_PHYSICAL;
    MemoryVolume memory(std::vector<uint8_t>(1024));
    EXPECT_EQ(CScanResultFile::DescribeVolume(plain, &memory), "Memory Image");
}

TEST(ScanResultFile, DamagedOrHostileHeadersAreRejected)
{
    const std::vector<uint8_t> good = Saved(CScanResultFile::MakeHeader(Record(), nullptr, 2));
    ASSERT_TRUE(Reads(good));
    for (size_t i = 0; i < 16; ++i)
    {
        std::vector<uint8_t> bad = good;
        bad[i] ^= 0x01;
        EXPECT_FALSE(Reads(bad)) << "signature byte " << i;
    }
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(Reads(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n)))) << "cut at " << n;

    const size_t L = good[16];
    auto patched = [&](size_t offset, uint32_t value) {
        std::vector<uint8_t> bad = good;
        std::memcpy(bad.data() + offset, &value, 4);
        return bad;
    };
    EXPECT_FALSE(Reads(patched(16, 0xFFFFFFFF))); // description length
    EXPECT_FALSE(Reads(patched(16, CScanResultFile::kMaxDescription + 1)));
    EXPECT_FALSE(Reads(patched(60 + L, 0x10000000))); // extent count
    EXPECT_FALSE(Reads(patched(36 + L, 4)));          // no such module
    EXPECT_FALSE(Reads(patched(36 + L, 0xFFFFFFFF)));
}

TEST(ScanResultFile, IdentityNamesExactlyTheSavedVolume)
{
    const tagVolumeInfo record = Record();
    const tagScanResultHeader header = CScanResultFile::MakeHeader(record, nullptr, 1);
    struct Change
    {
        const char* What;
        void (*Apply)(tagVolumeInfo&);
    } changes[] = {
        {"stripe size", [](tagVolumeInfo& r) { r.StripeSize = 128; }},
        {"partition type", [](tagVolumeInfo& r) { r.PartitionType = 11; }},
        {"volume type", [](tagVolumeInfo& r) { r.VolumeType = VOLUME_STRIPED; }},
        {"size", [](tagVolumeInfo& r) { r.SectorCount += 1; }},
        {"extent count", [](tagVolumeInfo& r) { r.Extents.pop_back(); }},
        {"device kind", [](tagVolumeInfo& r) { r.Extents[1].DeviceKind = 0; }},
        {"device number", [](tagVolumeInfo& r) { r.Extents[1].DeviceNumber = 5; }},
        {"extent length", [](tagVolumeInfo& r) { r.Extents[0].SectorCount = 2999; }},
        {"volume start", [](tagVolumeInfo& r) { r.Extents[1].VolumeStart = 3001; }},
        {"device start", [](tagVolumeInfo& r) { r.Extents[0].DeviceStart = 4096; }},
    };
    EXPECT_TRUE(CScanResultFile::MatchesVolume(header, record));
    for (const Change& c : changes)
    {
        tagVolumeInfo other = record;
        c.Apply(other);
        EXPECT_FALSE(CScanResultFile::MatchesVolume(header, other)) << c.What;
    }
    // Drive and label are names, not identity.
    tagVolumeInfo renamed = record;
    renamed.Drive = "/media/x";
    renamed.Label = "OTHER";
    EXPECT_TRUE(CScanResultFile::MatchesVolume(header, renamed));
}

} // namespace
