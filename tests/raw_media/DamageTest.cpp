// Hostile and random input: no crash, no hit outside the planted file, lengths within the
// type's limits, and false starts rare when only the signature is right.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "RawScanHarness.h"
#include "support/TestFiles.h"
#include "support/MemoryMedia.h"

namespace {
const char* const kSampleFiles[] = {
    "baseline.jpg", "progressive.jpg", "picture.png", "animated.gif", "truecolor.bmp", "rle8.bmp", "icon.ico",
    "lzw.tif",      "twopage-be.tif",  "rle.psd",     "tone.wav",     "tagged.mp3",    "bare.mp3", "clip.avi",
    "clip.mpg",     "clip-vob.mpg",    "clip.mp4",    "clip.mov",     "clip.3gp",      "tone.m4a", "clip.wmv",
    "tone.wma",     "picture.webp",    "alpha.webp",  "picture.heic", "picture.avif",  "clip.mkv", "live.mkv",
    "clip.webm",    "chained.ogg",     "clip.ogv",    "noise.flac",   "stream.flac",
};
}

TEST(RawDamage, RandomlyDamagedSamplesNeverMisbehave)
{
    const std::vector<RawTypePtr> types = AllMediaTypes();
    std::mt19937 rng(20240601);
    for (const char* name : kSampleFiles)
    {
        const std::vector<uint8_t> file = RawSample(std::string("media/") + name);
        ASSERT_FALSE(file.empty()) << name;
        for (int round = 0; round < 120; ++round)
        {
            std::vector<uint8_t> damaged = file;
            // About 1% of the bytes, with the first ones spared half of the time so the damage
            // reaches the end finders and not only the header checks.
            const size_t from = (round & 1) ? 16 : 0;
            for (size_t n = damaged.size() / 100 + 1; n > 0; --n)
                damaged[from + rng() % (damaged.size() - from)] = static_cast<uint8_t>(rng());
            if (round % 3 == 0) damaged.resize(rng() % damaged.size() + 1); // and cut short
            std::vector<uint8_t> image = Junk(8 * 512, static_cast<uint32_t>(round));
            Plant(image, 8 * 512, damaged);
            image.resize((image.size() + 511) / 512 * 512);
            for (const tagFoundFile& f : ScanImage(image, types))
            {
                // A stream cut by damage may resume as a file of its own (an MPEG stream is
                // playable from any pack), but never outside the planted bytes.
                EXPECT_GE(f.firstSector, 8) << name << " round " << round;
                EXPECT_LT(f.firstSector, 8 + static_cast<int64_t>(damaged.size() + 511) / 512) << name;
                EXPECT_GE(f.size, 0);
                const RawTypePtr t = MediaType(f.extension);
                EXPECT_LE(f.size, t->Info().maxSize);
                if (f.size)
                {
                    EXPECT_GE(f.size, t->Info().minSize);
                }
            }
        }
    }
}

// Every sector starts with one type's signature and continues with random bytes: what gets
// through is the rate of false starts of a damaged or foreign header that happens to begin
// like a file.
TEST(RawDamage, SignatureFollowedByRandomBytesIsRarelyAFile)
{
    const std::map<std::string, std::vector<uint8_t>> prefixes = {
        {"jpg", {0xFF, 0xD8, 0xFF}},
        {"png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}},
        {"gif", {'G', 'I', 'F', '8', '9', 'a'}},
        {"bmp", {'B', 'M'}},
        {"ico", {0, 0, 1, 0}},
        {"tif", {'I', 'I', '*', 0}},
        {"psd", {'8', 'B', 'P', 'S', 0, 1}},
        {"mp3", {0xFF, 0xFB}},
        {"wav", {'R', 'I', 'F', 'F'}},
        {"mpg", {0, 0, 1, 0xBA}},
        {"mov", {0, 0, 0, 0, 'm', 'd', 'a', 't'}},
        {"mp4", {0, 0, 0, 0x20, 'f', 't', 'y', 'p'}},
        {"wmv", {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11}},
        {"webp", {'R', 'I', 'F', 'F', 0x00, 0x10, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', ' '}},
        {"heic", {0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'}},
        {"mkv", {0x1A, 0x45, 0xDF, 0xA3}},
        {"ogg", {'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"flac", {'f', 'L', 'a', 'C', 0x80, 0, 0, 34, 0x10, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0x0A, 0xC4, 0x40, 0xF0}},
    };
    constexpr size_t kSectors = 4096;
    const std::vector<RawTypePtr> types = AllMediaTypes();
    for (const auto& [ext, prefix] : prefixes)
    {
        std::vector<uint8_t> image = PatternBytes(kSectors * 512, static_cast<uint32_t>(ext.size() + prefix[0]));
        for (size_t s = 0; s < kSectors; ++s) std::memcpy(image.data() + s * 512, prefix.data(), prefix.size());
        const auto found = ScanImage(image, types);
        EXPECT_LE(found.size(), kSectors / 1000) << ext;
    }
}

TEST(RawDamage, HostileLengthsDoNotReadTheWholeVolume)
{
    // A JPEG whose scan data never ends: the walk stops at the type's limit, and the bytes it
    // reads are bounded by that limit, not by the volume.
    std::vector<uint8_t> photo = RawSample("media/baseline.jpg");
    photo.resize(photo.size() - 2); // no EOI
    std::vector<uint8_t> image(8 * 512, 0);
    Plant(image, 8 * 512, photo);
    image.resize(image.size() + 300u * 1024 * 1024 / 512 * 512, 0x11); // beyond the 256 MiB limit
    MemoryVolume volume(std::move(image));
    const RawTypePtr jpg = MediaType("jpg");
    std::vector<uint8_t> buffer(512 * 512);
    ASSERT_EQ(volume.ReadSectors(0, buffer.data(), 512), 0u);
    RawScanArgs args{0, buffer.data(), 512, 512, &volume};
    KHitList hits;
    jpg->BeginScan();
    jpg->Scan(&args, &hits);
    ASSERT_EQ(hits.GetCount(), 1);
    RawHit hit{};
    hits.GetAt(0, &hit);
    EXPECT_EQ(hit.size, 0);
    EXPECT_LE(volume.ReadCount() * 128 * 1024, static_cast<uint64_t>(jpg->Info().maxSize) + (8u << 20));
}

TEST(RawDamage, RejectingFalseStartsCostsNoReads)
{
    // Erased flash (all ones) starts every sector with the first byte of a frame sync, and
    // sectors of a repeated signature near every buffer end: rejecting them must not read.
    const std::vector<RawTypePtr> types = AllMediaTypes();
    for (uint8_t fill : {uint8_t{0xFF}, uint8_t{0x00}})
    {
        MemoryVolume volume(std::vector<uint8_t>(4096 * 512, fill));
        std::vector<uint8_t> buffer(512 * 512);
        for (const RawTypePtr& t : types) t->BeginScan();
        for (uint64_t first = 0; first < 4096; first += 512)
        {
            ASSERT_EQ(volume.ReadSectors(first, buffer.data(), 512), 0u);
            RawScanArgs args{static_cast<int64_t>(first), buffer.data(), 512, 512, &volume};
            for (const RawTypePtr& t : types)
            {
                KHitList hits;
                t->Scan(&args, &hits);
                EXPECT_EQ(hits.GetCount(), 0) << t->Info().extension;
            }
        }
        EXPECT_EQ(volume.ReadCount(), 8u) << "fill " << int(fill);
    }
}
