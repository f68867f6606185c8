// NTFS figures: listing a volume of 100,000 MFT records from an image in memory, LZNT1
// decompression, and the full scan over 1 GiB of data without records and over an image
// holding 200,000 FILE records. The volumes are synthesised in memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fs/IFileSystem.h"
#include "ntfs/KNtfsFileSystem.h"
#include "format/ntfs/NtfsLayout.h"
#include "format/ntfs/NtfsLznt1.h"
#include "tests/ntfs/NtfsRecordBuilder.h"
#include "support/MemoryMedia.h"

namespace {
constexpr uint32_t kSector = 512;
constexpr uint32_t kChunkSectors = 512;
constexpr uint64_t kMftSector = 32; // cluster 4 with 8 sectors per cluster

// A volume of `records` 1024-byte MFT records at cluster 4 (8 sectors per cluster), records
// 12 on being small files of the root folder; with or without a boot sector.
std::vector<uint8_t> SynthVolume(uint32_t records, bool bootSector)
{
    const uint64_t mftSectors = uint64_t(records) * 2;
    std::vector<uint8_t> image((kMftSector + mftSectors + 64) * kSector, 0);
    if (bootSector)
    {
        uint8_t* b = image.data();
        std::memcpy(b + 3, "NTFS    ", 8);
        const uint16_t bps = kSector;
        std::memcpy(b + 11, &bps, 2);
        b[13] = 8;
        const uint64_t total = image.size() / kSector - 1, mft = 4, mirror = 2;
        std::memcpy(b + 40, &total, 8);
        std::memcpy(b + 48, &mft, 8);
        std::memcpy(b + 56, &mirror, 8);
        b[64] = 0xF6; // 2^10 bytes per record
        b[68] = 1;
    }
    const uint32_t clusters = records / 4;
    const std::vector<uint8_t> mftRuns = {
        0x13, uint8_t(clusters), uint8_t(clusters >> 8), uint8_t(clusters >> 16), 0x04, 0x00};
    const std::vector<uint8_t> mft = RecordBuilder()
                                         .Resident(0x30, RecordBuilder::FileName("$MFT", 5, 3))
                                         .NonResident(0x80, mftRuns, uint64_t(records) * 1024)
                                         .Build();
    std::memcpy(image.data() + kMftSector * kSector, mft.data(), mft.size());
    const std::vector<uint8_t> content(100, 'x');
    for (uint32_t n = 12; n < records; ++n)
    {
        char name[32];
        std::snprintf(name, sizeof(name), "file %06u.txt", n);
        std::vector<uint8_t> r = RecordBuilder()
                                     .Resident(0x30, RecordBuilder::FileName(name, 5, 1, 0x20, 100))
                                     .Resident(0x80, content)
                                     .Build(static_cast<uint16_t>(n | 1));
        RecordBuilder::Put32(r, 44, n);
        std::memcpy(image.data() + (kMftSector + uint64_t(n) * 2) * kSector, r.data(), r.size());
    }
    return image;
}

void BM_NtfsListing100kRecords(benchmark::State& state)
{
    constexpr uint32_t kRecords = 100000;
    MemoryVolume volume(SynthVolume(kRecords, true));
    for (auto _ : state)
    {
        KNtfsFileSystem fs;
        fs.SetVolume(&volume);
        if (fs.SelectCandidate(0xFFFFFFFF) != 0 || fs.Nodes().GetCount() != int(kRecords - 12 + 2))
            state.SkipWithError("listing incomplete");
    }
    state.counters["records/s"] =
        benchmark::Counter(double(kRecords) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_NtfsListing100kRecords)->Unit(benchmark::kMillisecond)->UseRealTime();

// A greedy LZNT1 encoder for one chunk of at most 4096 bytes (the decoder's inverse).
std::vector<uint8_t> CompressChunk(const uint8_t* src, uint32_t n)
{
    std::vector<uint8_t> out(2, 0);
    std::vector<int32_t> head(1 << 12, -1);
    auto hash = [&](uint32_t p) { return ((src[p] << 8) ^ (src[p + 1] << 4) ^ src[p + 2]) & 0xFFF; };
    uint32_t pos = 0, b = 0, limit = 16;
    while (pos < n)
    {
        const size_t flagAt = out.size();
        out.push_back(0);
        for (int bit = 0; bit < 8 && pos < n; ++bit)
        {
            while (pos >= limit + 1)
            {
                ++b;
                limit <<= 1;
            }
            const uint32_t maxDisplacement = 1u << (4 + b), maxLength = (0xFFFu >> b) + 3;
            uint32_t length = 0, displacement = 0;
            if (pos + 3 <= n)
            {
                const int32_t candidate = head[hash(pos)];
                head[hash(pos)] = int32_t(pos);
                if (candidate >= 0 && pos - uint32_t(candidate) <= maxDisplacement)
                {
                    displacement = pos - uint32_t(candidate);
                    while (length < maxLength && pos + length < n &&
                           src[pos + length] == src[pos + length - displacement])
                        ++length;
                }
            }
            if (length >= 3)
            {
                const uint16_t token = uint16_t(((displacement - 1) << (12 - b)) | (length - 3));
                out.push_back(uint8_t(token));
                out.push_back(uint8_t(token >> 8));
                out[flagAt] = uint8_t(out[flagAt] | (1u << bit));
                pos += length;
            }
            else
                out.push_back(src[pos++]);
        }
    }
    const uint16_t header = uint16_t(0xB000 | (out.size() - 3));
    std::memcpy(out.data(), &header, 2);
    return out;
}

void BM_NtfsLznt1Decompress(benchmark::State& state)
{
    // 4 MiB of log-like text: repeats at short and long distances, as compressed files hold.
    std::string text;
    for (uint32_t i = 0; text.size() < (4u << 20); ++i)
        text += "2026-12-06 21:" + std::to_string(10 + i % 50) + " INFO request " + std::to_string(i * 7919 % 100000) +
            " served in " + std::to_string(i % 977) + " ms\n";
    std::vector<std::vector<uint8_t>> chunks;
    for (size_t off = 0; off + 4096 <= text.size(); off += 4096)
        chunks.push_back(CompressChunk(reinterpret_cast<const uint8_t*>(text.data()) + off, 4096));
    std::vector<uint8_t> out(kNtfsLznt1UnitBytes);
    uint64_t produced = 0;
    for (auto _ : state)
    {
        for (size_t i = 0; i < chunks.size(); ++i)
        {
            const uint32_t n = DecompressChunk(chunks[i], out.data());
            if (n != 4096 || std::memcmp(out.data(), text.data() + i * 4096, 4096) != 0)
                state.SkipWithError("decoder and encoder disagree");
            produced += n;
        }
    }
    state.SetBytesProcessed(int64_t(produced));
}
BENCHMARK(BM_NtfsLznt1Decompress)->Unit(benchmark::kMillisecond)->UseRealTime();

// 1 GiB without NTFS records: 40% random, 30% zeros, 30% text.
const std::vector<uint8_t>& MixedData()
{
    static std::vector<uint8_t> data = [] {
        constexpr uint64_t kBytes = 1ull << 30;
        std::vector<uint8_t> d(kBytes);
        uint64_t x = 0x2545F4914F6CDD1Dull;
        const char* line = "Lorem ipsum dolor sit amet, consectetur adipiscing elit.\n";
        const size_t lineLen = std::strlen(line);
        for (uint64_t s = 0; s < kBytes / kSector; ++s)
        {
            uint8_t* p = d.data() + s * kSector;
            const uint64_t kind = (s * 2654435761u >> 9) % 10;
            if (kind < 4)
                for (uint32_t i = 0; i < kSector; i += 8)
                {
                    x ^= x << 13;
                    x ^= x >> 7;
                    x ^= x << 17;
                    std::memcpy(p + i, &x, 8);
                }
            else if (kind >= 7)
                for (uint32_t i = 0; i < kSector; ++i) p[i] = uint8_t(line[(s + i) % lineLen]);
        }
        return d;
    }();
    return data;
}

void ScanAll(benchmark::State& state, const std::vector<uint8_t>& data, IVolumeIO& volume, uint32_t* files)
{
    for (auto _ : state)
    {
        KNtfsFileSystem fs;
        fs.SetVolume(&volume);
        fs.Begin_ScanFS();
        ScanStats stats{};
        const uint64_t sectors = data.size() / kSector;
        for (uint64_t s = 0; s < sectors; s += kChunkSectors)
        {
            const uint64_t n = std::min<uint64_t>(kChunkSectors, sectors - s);
            fs.ScanFS(&stats, int64_t(s), data.data() + s * kSector, int(n));
        }
        fs.End_ScanFS();
        *files = stats.dwNtfsFiles;
    }
    state.SetBytesProcessed(int64_t(data.size()) * int64_t(state.iterations()));
}

void BM_NtfsScanMixed1GiB(benchmark::State& state)
{
    const std::vector<uint8_t>& data = MixedData();
    MemoryVolume volume(std::vector<uint8_t>(kSector, 0));
    uint32_t files = 0;
    ScanAll(state, data, volume, &files);
    if (files != 0) state.SkipWithError("records found in data without records");
}
BENCHMARK(BM_NtfsScanMixed1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_NtfsScan200kRecords(benchmark::State& state)
{
    constexpr uint32_t kRecords = 200000;
    const std::vector<uint8_t> data = SynthVolume(kRecords, false);
    MemoryVolume volume(data);
    uint32_t files = 0;
    ScanAll(state, data, volume, &files);
    state.counters["records/s"] =
        benchmark::Counter(double(files) * double(state.iterations()), benchmark::Counter::kIsRate);
    if (files != kRecords - 11) state.SkipWithError("not every record was found");
}
BENCHMARK(BM_NtfsScan200kRecords)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
