// Imaging a failing disk: an in-memory device that fails on chosen sectors (one of them only on
// its first read, as weak sectors do) is copied; the image holds every readable sector, the map
// lists exactly the bad ones, every map saved on the way claims only what the image holds
// durably, a stopped run continues without reading a rescued sector again, and the map text
// survives a round trip and refuses what is not a map.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "base/VlmErrors.h"
#include "device/KDiskImager.h"
#include "format/rescuemap/RescueMap.h"
#include "support/MemoryMedia.h"

namespace {

constexpr uint32_t kSector = 512;

// A disk with long zero stretches in its data (so that the image has holes to leave sparse),
// bad sectors and weak ones.
MemoryDisk FaultyDisk(uint64_t sectors, std::set<uint64_t> bad, std::set<uint64_t> weak)
{
    std::vector<uint8_t> bytes(sectors * kSector);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = (i / kSector / 50) % 7 == 3 ? 0 : static_cast<uint8_t>((i * 2654435761u) >> 11 | 1);
    MemoryDisk disk(std::move(bytes));
    disk.Unreadable = std::move(bad);
    disk.Weak = std::move(weak);
    disk.CountSectorReads = true;
    return disk;
}

class MemorySink final : public IImageSink
{
public:
    uint32_t WriteAt(uint64_t offset, const void* data, size_t length) override
    {
        if (Bytes.size() < offset + length) Bytes.resize(offset + length);
        std::memcpy(Bytes.data() + offset, data, length);
        Written += length;
        return ERROR_SUCCESS;
    }
    std::vector<uint8_t> Bytes;
    uint64_t Written = 0;
};

// Keeps apart what was written and what a sync made durable; the sync numbered FailAt fails.
class DurableSink final : public IImageSink
{
public:
    uint32_t WriteAt(uint64_t offset, const void* data, size_t length) override
    {
        if (Written.size() < offset + length) Written.resize(offset + length);
        std::memcpy(Written.data() + offset, data, length);
        return ERROR_SUCCESS;
    }
    uint32_t Sync() override
    {
        if (++Syncs == FailAt) return ERROR_IO_DEVICE;
        Durable = Written;
        return ERROR_SUCCESS;
    }
    std::vector<uint8_t> Written, Durable;
    int Syncs = 0;
    int FailAt = 0;
};

const std::set<uint64_t> kBad = {0, 2500, 2501, 2502, 6000, 6001, 6002, 6003, 6004, 6005, 6006, 6007, 6008, 6009, 9999};
const std::set<uint64_t> kWeak = {4000};

// What the image must hold: every readable sector as it is, zeros where none could be read.
void ExpectImageOf(const MemoryDisk& device, std::vector<uint8_t> image, const std::set<uint64_t>& bad)
{
    image.resize(device.Image().size());
    for (uint64_t s = 0; s < device.Image().size() / kSector; ++s)
    {
        const uint8_t* got = image.data() + s * kSector;
        if (bad.count(s))
            EXPECT_TRUE(std::all_of(got, got + kSector, [](uint8_t b) { return b == 0; })) << s;
        else
            ASSERT_EQ(std::memcmp(got, device.Image().data() + s * kSector, kSector), 0) << "sector " << s;
    }
}

std::set<uint64_t> BadSectorsOf(const RescueMap& map)
{
    std::set<uint64_t> out;
    for (const RescueMap::Block& b : map.Blocks())
    {
        EXPECT_TRUE(b.Status == '+' || b.Status == '-') << b.Status;
        for (uint64_t s = b.Pos / kSector; b.Status != '+' && s < (b.Pos + b.Size) / kSector; ++s) out.insert(s);
    }
    return out;
}

} // namespace

TEST(DiskImager, ImageHoldsEveryReadableSectorAndTheMapExactlyTheBadOnes)
{
    MemoryDisk device = FaultyDisk(10000, kBad, kWeak);
    MemorySink sink;
    RescueMap map(10000 * kSector);
    tagImagerOptions options;
    options.ReadSectors = 128;
    KDiskImager imager(device, sink, map, options);
    int saves = 0;
    ASSERT_EQ(imager.Run([&] { return ++saves > 0; }, nullptr), ERROR_SUCCESS);
    EXPECT_GE(saves, 1);
    EXPECT_EQ(BadSectorsOf(map), kBad); // the weak sector was rescued on its second read
    EXPECT_EQ(map.Phase, '+');
    ExpectImageOf(device, sink.Bytes, kBad);
    // Zero sectors are not written (the image stays sparse there).
    EXPECT_LE(sink.Written, uint64_t{10000} * kSector * 6 / 7 + 50 * kSector);
    // A bad sector costs a bounded number of reads: the large read, trim or scrape, one retry.
    for (uint64_t s : kBad) EXPECT_LE(device.SectorReads()[s], 4) << s;
    const tagImagerStatus st = imager.Status();
    EXPECT_EQ(st.BadBytes, kBad.size() * kSector);
    EXPECT_EQ(st.BadAreas, 4u);
    EXPECT_EQ(st.RescuedBytes + st.BadBytes, uint64_t{10000} * kSector);

    // The map as text reads back to the same map.
    RescueMap back;
    std::string why;
    ASSERT_TRUE(RescueMap::Parse(map.Format("test"), &back, &why)) << why;
    EXPECT_EQ(back.Format("test"), map.Format("test"));
}

TEST(DiskImager, EverySavedMapClaimsOnlyWhatTheImageHoldsDurably)
{
    MemoryDisk device = FaultyDisk(10000, kBad, kWeak);
    tagImagerOptions options;
    options.ReadSectors = 128;
    options.SaveSeconds = 0; // a save after every read
    for (const int failAt : {0, 5})
    {
        DurableSink sink;
        sink.FailAt = failAt;
        RescueMap map(10000 * kSector);
        KDiskImager imager(device, sink, map, options);
        int saves = 0;
        const uint32_t rc = imager.Run(
            [&] {
                ++saves;
                std::vector<uint8_t> image = sink.Durable;
                image.resize(device.Image().size());
                for (const RescueMap::Block& b : map.Blocks())
                {
                    if (b.Status != '+') continue;
                    EXPECT_EQ(std::memcmp(image.data() + b.Pos, device.Image().data() + b.Pos, b.Size), 0) << b.Pos;
                }
                return !::testing::Test::HasFailure();
            },
            nullptr);
        if (failAt == 0)
        {
            EXPECT_EQ(rc, ERROR_SUCCESS);
            EXPECT_GT(saves, 100);
        }
        else
        {
            // The failed sync stops the run with its error; no map is saved after it.
            EXPECT_EQ(rc, ERROR_IO_DEVICE);
            EXPECT_EQ(saves, failAt - 1);
        }
    }
}

TEST(DiskImager, AStoppedRunContinuesFromItsMapAndReadsNoRescuedSectorAgain)
{
    MemoryDisk device = FaultyDisk(10000, kBad, kWeak);
    MemorySink sink;
    tagImagerOptions options;
    options.ReadSectors = 64;
    std::string saved;
    {
        RescueMap map(10000 * kSector);
        KDiskImager imager(device, sink, map, options);
        int reads = 0;
        // Stopped in the middle of the first pass, as by Ctrl-C.
        EXPECT_EQ(imager.Run(
                      [&] {
                          saved = map.Format("first");
                          return true;
                      },
                      [&](const tagImagerStatus&) { return ++reads < 60; }),
                  ERROR_CANCELLED);
    }
    RescueMap map;
    std::string why;
    ASSERT_TRUE(RescueMap::Parse(saved, &map, &why)) << why;
    ASSERT_GT(map.BytesWith('+'), 0u);
    ASSERT_GT(map.BytesWith('?'), 0u);
    const std::map<uint64_t, int> before = device.SectorReads();
    KDiskImager imager(device, sink, map, options);
    ASSERT_EQ(imager.Run(nullptr, nullptr), ERROR_SUCCESS);
    RescueMap first;
    ASSERT_TRUE(RescueMap::Parse(saved, &first, &why));
    std::map<uint64_t, int> after = device.SectorReads();
    for (const RescueMap::Block& b : first.Blocks())
    {
        for (uint64_t s = b.Pos / kSector; b.Status == '+' && s < (b.Pos + b.Size) / kSector; ++s)
            EXPECT_EQ(after[s], before.at(s)) << "sector " << s << " read again";
    }
    EXPECT_EQ(BadSectorsOf(map), kBad);
    ExpectImageOf(device, sink.Bytes, kBad);
}

TEST(RescueMap, ParsesWhatImagersWriteAndRefusesTheRest)
{
    RescueMap map;
    std::string why;
    // Hex, decimal and octal numbers, a status line without a pass, CRLF line ends.
    ASSERT_TRUE(RescueMap::Parse("# c\r\n0x200 *\r\n0x0 0x200 +\r\n512 1024 -\r\n03000 512 ?\r\n", &map, &why)) << why;
    EXPECT_EQ(map.End(), 2048u);
    EXPECT_EQ(map.Phase, '*');
    EXPECT_TRUE(map.Rescued(0, 512));
    EXPECT_FALSE(map.Rescued(0, 513));
    EXPECT_FALSE(map.Rescued(2048, 1)); // past the map: not known to be rescued
    // Set splits and joins: marking the bad middle rescued leaves one '+' block before the '?'.
    map.Set(512, 1024, '+');
    ASSERT_EQ(map.Blocks().size(), 2u);
    EXPECT_EQ(map.Blocks()[0].Size, 1536u);
    map.Set(100, 10, '-');
    EXPECT_EQ(map.Blocks().size(), 4u);
    EXPECT_EQ(map.BytesWith('-'), 10u);

    const std::vector<std::pair<const char*, const char*>> bad = {
        {"", "no status line"},
        {"0 +\n0 512 +\n256 512 +\n", "line 3: block overlaps"},
        {"0 +\n0 512 +\n1024 512 +\n", "line 3: gap after"},
        {"0 +\n0 0 +\n", "line 2: block size is 0"},
        {"0 +\n0 512 X\n", "line 2: not a block line"},
        {"0 +\n0x7fffffffffffffff 2 +\n", "runs past"},
        {"0 +\n0 99999999999999999999999 +\n", "not a block line"},
        {"zz +\n", "line 1: not a status line"},
    };
    for (const auto& [text, reason] : bad)
    {
        EXPECT_FALSE(RescueMap::Parse(text, &map, &why)) << text;
        EXPECT_NE(why.find(reason), std::string::npos) << text << " -> " << why;
    }
}
