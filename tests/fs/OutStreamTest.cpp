// Sector-run streams: positions, partial sectors, holes, short runs and seek codes.
#include <gtest/gtest.h>

#include <cstring>

#include "FsTestUtil.h"
#include "base/VlmErrors.h"
#include "fs/KOutStream.h"
#include "support/TestFiles.h"
#include "support/MemoryMedia.h"

namespace {
constexpr uint32_t kSector = 512;

struct StreamFixture
{
    std::vector<uint8_t> image = PatternBytes(64 * kSector, 7);
    MemoryVolume volume{image, kSector};
    KFileNode store{FN_EXTRA_RAW};
    tagFileNode* record;

    explicit StreamFixture(int64_t size, const std::string& name = "file.bin")
    {
        record = store.AddNode(name);
        record->s64Size = size;
    }
    std::unique_ptr<KOutStream> Open(const StreamVector& runs)
    {
        auto s = std::make_unique<KOutStream>(record, &volume, &store);
        s->SetRuns(runs);
        return s;
    }
    const uint8_t* Sector(uint64_t n) const { return image.data() + n * kSector; }
};

tagStreamBlock Block(int64_t first, uint32_t count) { return {first, count, 0}; }
} // namespace

TEST(OutStream, ReadsAcrossRunsAndStopsAtTheFileSize)
{
    StreamFixture f(1000 + 2 * kSector);
    auto s = f.Open({Block(10, 2), Block(40, 3)});
    std::vector<uint8_t> out(8192, 0xEE);
    int64_t done = 0;
    ASSERT_EQ(s->Read(out.data(), 8192, &done), STREAM_OK);
    ASSERT_EQ(done, 1000 + 2 * kSector);
    EXPECT_EQ(std::memcmp(out.data(), f.Sector(10), 2 * kSector), 0);
    EXPECT_EQ(std::memcmp(out.data() + 2 * kSector, f.Sector(40), 1000), 0);
    EXPECT_EQ(out[static_cast<size_t>(done)], 0xEE); // nothing beyond the file size
    EXPECT_EQ(s->GetPosition(), done);
    // At the end with runs reaching further: success with nothing.
    ASSERT_EQ(s->Read(out.data(), 10, &done), STREAM_OK);
    EXPECT_EQ(done, 0);
}

TEST(OutStream, PartialHeadSectorFromAnyPosition)
{
    StreamFixture f(1000);
    auto s = f.Open({Block(20, 2)});
    std::vector<uint8_t> out(4096);
    int64_t done = 0, pos = 0;
    ASSERT_EQ(s->Seek(SEEK_ORIGIN_BEGIN, 700, &pos), STREAM_OK);
    ASSERT_EQ(s->Read(out.data(), 4096, &done), STREAM_OK);
    ASSERT_EQ(done, 300);
    EXPECT_EQ(std::memcmp(out.data(), f.Sector(21) + 188, 300), 0);

    // Small reads one after another deliver the same bytes as one big read.
    std::vector<uint8_t> whole(1000), pieces(1000);
    s->Seek(SEEK_ORIGIN_BEGIN, 0, nullptr);
    ASSERT_EQ(s->Read(whole.data(), 1000, &done), STREAM_OK);
    s->Seek(SEEK_ORIGIN_BEGIN, 0, nullptr);
    for (size_t at = 0; at < 1000; at += 37)
        ASSERT_EQ(s->Read(pieces.data() + at, std::min<int64_t>(37, 1000 - static_cast<int64_t>(at)), &done),
                  STREAM_OK);
    EXPECT_EQ(whole, pieces);
}

TEST(OutStream, FileAtTheVolumeEndReadsFromMidSector)
{
    // The last run ends at the volume's last sector: a read starting inside a sector must not
    // ask for the sector behind the run.
    StreamFixture f(2 * kSector);
    auto s = f.Open({Block(62, 2)});
    std::vector<uint8_t> out(kSector);
    int64_t done = 0;
    s->Seek(SEEK_ORIGIN_BEGIN, kSector + 100, nullptr);
    ASSERT_EQ(s->Read(out.data(), kSector, &done), STREAM_OK);
    EXPECT_EQ(done, kSector - 100);
    EXPECT_EQ(std::memcmp(out.data(), f.Sector(63) + 100, kSector - 100), 0);
}

TEST(OutStream, HolesReadAsZerosWithoutTouchingTheVolume)
{
    StreamFixture f(3 * kSector);
    auto s = f.Open({Block(STREAM_HOLE_SECTOR, 2), Block(5, 1)});
    std::vector<uint8_t> out(3 * kSector, 0xEE);
    int64_t done = 0;
    const uint64_t readsBefore = f.volume.ReadCount();
    ASSERT_EQ(s->Read(out.data(), 2 * kSector, &done), STREAM_OK);
    EXPECT_EQ(f.volume.ReadCount(), readsBefore);
    EXPECT_EQ(std::count(out.begin(), out.begin() + 2 * kSector, 0), 2 * kSector);
    ASSERT_EQ(s->Read(out.data(), kSector, &done), STREAM_OK);
    EXPECT_EQ(std::memcmp(out.data(), f.Sector(5), kSector), 0);
}

TEST(OutStream, RunsShorterThanTheFileEndTheData)
{
    StreamFixture f(10 * kSector);
    auto s = f.Open({Block(3, 2)});
    std::vector<uint8_t> out(10 * kSector);
    int64_t done = -1;
    EXPECT_EQ(s->Read(out.data(), 4 * kSector, &done), STREAM_END);
    EXPECT_EQ(done, 2 * kSector);
    // Now outside the runs: the next read fails at once.
    EXPECT_EQ(s->Read(out.data(), 1, &done), STREAM_FAIL);
    // Runs ending exactly at the file size: reading at the end fails too.
    StreamFixture g(kSector);
    auto t = g.Open({Block(3, 1)});
    t->Seek(SEEK_ORIGIN_END, 0, nullptr);
    EXPECT_EQ(t->Read(out.data(), 10, &done), STREAM_FAIL);
}

TEST(OutStream, FailuresReturnTwo)
{
    StreamFixture f(kSector * 4);
    auto s = f.Open({Block(8, 4)});
    std::vector<uint8_t> out(kSector * 4);
    int64_t done = 0;
    EXPECT_EQ(s->Read(nullptr, 10, &done), STREAM_FAIL);
    EXPECT_EQ(s->Read(out.data(), -1, &done), STREAM_FAIL);
    f.volume.SetBadRange(9, 1);
    EXPECT_EQ(s->Read(out.data(), 4 * kSector, &done), STREAM_FAIL);
    EXPECT_EQ(s->GetPosition(), 0);
    KOutStream noVolume(f.record, nullptr, &f.store);
    noVolume.SetRuns({Block(8, 4)});
    EXPECT_EQ(noVolume.Read(out.data(), 10, &done), STREAM_FAIL);
    EXPECT_EQ(noVolume.GetSectorSize(), 512u);
}

TEST(OutStream, SeekCodes)
{
    StreamFixture f(1000);
    auto s = f.Open({Block(1, 2)});
    int64_t pos = 99;
    EXPECT_EQ(s->Seek(SEEK_ORIGIN_BEGIN, 1000, &pos), STREAM_OK);
    EXPECT_EQ(pos, 1000);
    EXPECT_EQ(s->Seek(SEEK_ORIGIN_BEGIN, 0, &pos), STREAM_OK);
    EXPECT_EQ(s->Seek(SEEK_ORIGIN_CURRENT, -1, &pos), STREAM_END);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(s->Seek(SEEK_ORIGIN_END, 1, &pos), STREAM_END);
    EXPECT_EQ(s->Seek(SEEK_ORIGIN_CURRENT, INT64_MAX, &pos), STREAM_END); // no overflow
    EXPECT_EQ(s->GetPosition(), 0);
    EXPECT_EQ(s->Seek(3, 0, &pos), STREAM_FAIL);
    EXPECT_EQ(s->Seek(SEEK_ORIGIN_END, -10, &pos), STREAM_OK);
    EXPECT_EQ(pos, 990);
}

TEST(OutStream, NamesKeepTheirLengthInBothForms)
{
    // 300 three-byte characters: 900 bytes, 300 UTF-16 units, longer than 519 bytes.
    std::string name;
    for (int i = 0; i < 300; ++i) name += "\xE6\x96\x87";
    StreamFixture f(1, name);
    auto s = f.Open({});
    EXPECT_EQ(std::string(s->GetNameA()), name);
    EXPECT_EQ(std::u16string(s->GetNameW()).size(), 300u);
    EXPECT_EQ(std::u16string(s->GetNameW())[0], u'\u6587');

    s->SetName(std::string(1500, 'a'));
    EXPECT_EQ(std::string(s->GetNameA()).size(), 1500u);
    EXPECT_EQ(std::u16string(s->GetNameW()).size(), KOutStream::kMaxWideName);
    int64_t size = 0;
    s->GetSize(&size);
    EXPECT_EQ(size, 1);
}
