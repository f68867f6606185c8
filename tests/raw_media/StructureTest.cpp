// Structures the sample tools do not make: embedded thumbnails, continuation forms, chains
// that loop, movies without a type box, streams that decide the type.
#include <gtest/gtest.h>

#include <cstring>

#include "RawScanHarness.h"
#include "support/TestFiles.h"

namespace {
std::vector<uint8_t> Bytes(const char* s, size_t n) { return std::vector<uint8_t>(s, s + n); }

void Append(std::vector<uint8_t>& b, std::span<const uint8_t> more) { b.insert(b.end(), more.begin(), more.end()); }

void PutBE32(std::vector<uint8_t>& b, size_t off, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[off + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

int64_t OnlyHitSize(const std::vector<uint8_t>& file, const char* ext, int64_t at = 20)
{
    std::vector<uint8_t> image = Junk(static_cast<size_t>(at) * 512, 21);
    Plant(image, image.size(), file);
    Plant(image, image.size(), Junk(16 * 512, 22));
    const auto found = ScanImage(image, AllMediaTypes());
    if (found.size() != 1 || found[0].extension != ext || found[0].firstSector != at) return -1;
    return found[0].size;
}
} // namespace

TEST(RawJpeg, ExifThumbnailDoesNotEndThePicture)
{
    const std::vector<uint8_t> photo = RawSample("media/baseline.jpg");
    const std::vector<uint8_t> thumb = RawSample("media/progressive.jpg");
    // SOI, APP1 "Exif" holding a whole JPEG (with its own EOI), then the photo's segments.
    std::vector<uint8_t> app1 = {0xFF, 0xE1, 0, 0};
    Append(app1, Bytes("Exif\0\0", 6));
    Append(app1, thumb);
    const size_t len = app1.size() - 2;
    app1[2] = static_cast<uint8_t>(len >> 8);
    app1[3] = static_cast<uint8_t>(len);
    std::vector<uint8_t> file(photo.begin(), photo.begin() + 2);
    Append(file, app1);
    file.insert(file.end(), photo.begin() + 2, photo.end());
    EXPECT_EQ(OnlyHitSize(file, "jpg"), static_cast<int64_t>(file.size()));

    // The thumbnail starting on a sector boundary inside the photo is not a second file.
    std::vector<uint8_t> aligned(photo.begin(), photo.begin() + 2);
    std::vector<uint8_t> pad = {0xFF, 0xE1, 0, 0};
    Append(pad, Bytes("Exif\0\0", 6));
    pad.resize(512 - 2, 0); // thumbnail at file offset 512
    Append(pad, thumb);
    const size_t padLen = pad.size() - 2;
    pad[2] = static_cast<uint8_t>(padLen >> 8);
    pad[3] = static_cast<uint8_t>(padLen);
    Append(aligned, pad);
    aligned.insert(aligned.end(), photo.begin() + 2, photo.end());
    EXPECT_EQ(OnlyHitSize(aligned, "jpg"), static_cast<int64_t>(aligned.size()));
}

TEST(RawJpeg, ScanDataBrokenOffLeavesEndOpen)
{
    std::vector<uint8_t> photo = RawSample("media/baseline.jpg");
    photo.resize(photo.size() - 200);
    photo.push_back(0xFF);
    photo.push_back(0x12); // no marker that may follow scan data
    EXPECT_EQ(OnlyHitSize(photo, "jpg"), 0);
}

TEST(RawTiff, DirectoryChainThatLoopsEnds)
{
    // Little-endian, IFD0 at 8: ImageWidth and a 60-byte description at 40; the next-IFD
    // link points back at IFD0 itself.
    std::vector<uint8_t> tif = Bytes("II*\0\x08\0\0\0", 8);
    std::vector<uint8_t> ifd = {2,    0, 0x00, 0x01, 3, 0, 1, 0,  0, 0, 64, 0, 0, 0, 0x0E,
                                0x01, 2, 0,    60,   0, 0, 0, 40, 0, 0, 0,  8, 0, 0, 0};
    Append(tif, ifd);
    tif.resize(160, 'd');
    EXPECT_EQ(OnlyHitSize(tif, "tif"), 100);

    // Entries out of order: no directory, no picture.
    std::vector<uint8_t> bad = tif;
    bad[22] = 0x00; // the second entry's tag becomes 256 again
    EXPECT_EQ(OnlyHitSize(bad, "tif"), -1);
}

TEST(RawAvi, ContinuationFormsBelongToTheFile)
{
    std::vector<uint8_t> avi = RawSample("media/clip.avi");
    const size_t first = avi.size();
    std::vector<uint8_t> avix = Bytes("RIFF\0\0\0\0AVIXLIST\x10\0\0\0movi", 24);
    avix.resize(24 + 12, 0x41);
    PutLE(avix, 4, static_cast<uint32_t>(avix.size() - 8), 4);
    Append(avi, avix);
    Append(avi, avix);
    EXPECT_EQ(OnlyHitSize(avi, "avi"), static_cast<int64_t>(first + 2 * avix.size()));
}

TEST(RawIsoMedia, MovieWithoutTypeBoxAndBrands)
{
    const std::vector<uint8_t> mov = RawSample("media/clip.mov");
    // Drop "ftyp" (20 bytes in this sample): an old-style movie starting with "wide".
    std::vector<uint8_t> old(mov.begin() + 20, mov.end());
    ASSERT_EQ(std::memcmp(old.data() + 4, "wide", 4), 0);
    EXPECT_EQ(OnlyHitSize(old, "mov"), static_cast<int64_t>(old.size()));

    // A lone "free" box followed by junk is eight bytes of chance, not a movie.
    std::vector<uint8_t> lone = {0, 0, 0, 16, 'f', 'r', 'e', 'e'};
    lone.resize(16, 0x77);
    EXPECT_EQ(OnlyHitSize(lone, "mov"), -1);

    // The brand decides: a still-picture brand is nobody's here.
    std::vector<uint8_t> heic = RawSample("media/clip.mp4");
    std::memcpy(heic.data() + 8, "heic", 4);
    EXPECT_EQ(OnlyHitSize(heic, "mp4"), -1);

    // Size 0: the media data runs to the end of the file, which cannot be told.
    std::vector<uint8_t> open = RawSample("media/clip.mp4");
    for (size_t pos = 0; pos + 8 <= open.size();)
    {
        uint32_t size =
            static_cast<uint32_t>(open[pos] << 24 | open[pos + 1] << 16 | open[pos + 2] << 8 | open[pos + 3]);
        if (std::memcmp(open.data() + pos + 4, "mdat", 4) == 0)
        {
            PutBE32(open, pos, 0);
            break;
        }
        ASSERT_GE(size, 8u);
        pos += size;
    }
    EXPECT_EQ(OnlyHitSize(open, "mp4"), 0);
}

TEST(RawAsf, StreamsDecideTheTypeAndBroadcastUsesDataObject)
{
    std::vector<uint8_t> wmv = RawSample("media/clip.wmv");
    // The video stream's type GUID turned into something else: neither audio nor video left
    // once the audio stream is also renamed.
    static const uint8_t kVideo[16] = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                       0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
    static const uint8_t kAudio[16] = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                                       0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
    std::vector<uint8_t> audioOnly = wmv;
    for (size_t i = 0; i + 16 <= audioOnly.size(); ++i)
        if (std::memcmp(audioOnly.data() + i, kVideo, 16) == 0) audioOnly[i + 15] ^= 0x55;
    EXPECT_EQ(OnlyHitSize(audioOnly, "wma"), static_cast<int64_t>(wmv.size()));
    std::vector<uint8_t> other = audioOnly;
    for (size_t i = 0; i + 16 <= other.size(); ++i)
        if (std::memcmp(other.data() + i, kAudio, 16) == 0) other[i + 15] ^= 0x55;
    EXPECT_EQ(OnlyHitSize(other, "asf"), static_cast<int64_t>(wmv.size()));
}

TEST(RawMp3, ShortRunsOfFrameSyncAreNotFiles)
{
    const std::vector<uint8_t> mp3 = RawSample("media/bare.mp3");
    // Three good frames and then junk: too short a run for untagged audio.
    size_t three = 0;
    for (int i = 0; i < 3; ++i)
    {
        // 32 kbit/s at 22.05 kHz, MPEG-2: 72000 * 32 / 22050 = 104 bytes (+1 with padding).
        three += 104 + ((mp3[three + 2] >> 1) & 1);
    }
    std::vector<uint8_t> cut(mp3.begin(), mp3.begin() + static_cast<long>(three));
    Append(cut, Junk(2048, 23));
    cut[three] = 0x55;
    EXPECT_EQ(OnlyHitSize(cut, "mp3"), -1);
}

TEST(RawId3, LargeTagDecidesBetweenMp3AndFlacAfterIt)
{
    // A 40 KiB tag (cover art) is longer than what a header check sees, so the audio after it
    // decides the type; the tag belongs to the file either way.
    std::vector<uint8_t> tag = Bytes("ID3\x03\x00\x00", 6);
    const uint32_t body = 40 * 1024;
    for (int i = 0; i < 4; ++i) tag.push_back(static_cast<uint8_t>((body >> (21 - 7 * i)) & 0x7F));
    std::vector<uint8_t> frame = Bytes("APIC", 4);
    frame.resize(body, 0x5A);
    Append(tag, frame);
    for (const char* sample : {"media/tone.flac", "media/bare.mp3"})
    {
        std::vector<uint8_t> file = tag;
        Append(file, RawSample(sample));
        const bool flac = std::strstr(sample, "flac") != nullptr;
        EXPECT_EQ(OnlyHitSize(file, flac ? "flac" : "mp3"), static_cast<int64_t>(file.size())) << sample;
    }
    // A tag followed by neither is no file.
    std::vector<uint8_t> orphan = tag;
    Append(orphan, Junk(4096, 24));
    EXPECT_EQ(OnlyHitSize(orphan, "flac"), -1);
    EXPECT_EQ(OnlyHitSize(orphan, "mp3"), -1);
}
