// Throughput of the FAT sector scan over 1 GiB of mixed data already in memory: the scan
// sees every sector of a volume, so it must not be what a full scan waits for.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "support/MemoryMedia.h"
#include "fat/KFatFileSystem.h"

namespace {
constexpr uint64_t kBytes = 1ull << 30;
constexpr uint32_t kSector = 512;
constexpr uint32_t kChunkSectors = 512;

void PutEntry(uint8_t* e, const char* name11, uint8_t attr, uint32_t cluster, uint32_t size)
{
    std::memset(e, 0, 32);
    std::memcpy(e, name11, 11);
    e[11] = attr;
    const uint16_t time = (10 << 11) | (30 << 5), date = (41 << 9) | (6 << 5) | 15;
    std::memcpy(e + 14, &time, 2);
    std::memcpy(e + 16, &date, 2);
    std::memcpy(e + 22, &time, 2);
    std::memcpy(e + 24, &date, 2);
    e[26] = uint8_t(cluster);
    e[27] = uint8_t(cluster >> 8);
    std::memcpy(e + 28, &size, 4);
}

// 40% random (compressed media), 25% zeros, 25% text, 10% folder sectors (one in a thousand
// of them a folder start).
const std::vector<uint8_t>& MixedData()
{
    static std::vector<uint8_t> data = [] {
        std::vector<uint8_t> d(kBytes);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        const char* text = "The quick brown fox jumps over the lazy dog. 0123456789\r\n";
        const size_t textLen = std::strlen(text);
        for (uint64_t s = 0; s < kBytes / kSector; ++s)
        {
            uint8_t* p = d.data() + s * kSector;
            const uint64_t kind = (s * 2654435761u >> 7) % 20;
            if (kind < 8)
            {
                for (uint32_t i = 0; i < kSector; i += 8)
                {
                    x ^= x << 13;
                    x ^= x >> 7;
                    x ^= x << 17;
                    std::memcpy(p + i, &x, 8);
                }
            }
            else if (kind < 13)
            {
                // zeros
            }
            else if (kind < 18)
            {
                for (uint32_t i = 0; i < kSector; ++i) p[i] = uint8_t(text[(s + i) % textLen]);
            }
            else
            {
                const bool start = s % 1000 == 0;
                uint32_t i = 0;
                if (start)
                {
                    PutEntry(p, ".          ", 0x10, 100, 0);
                    PutEntry(p + 32, "..         ", 0x10, 0, 0);
                    i = 2;
                }
                for (; i < 16; ++i) PutEntry(p + 32 * i, "FILE0001TXT", 0x20, 200 + i, 4000 + i);
            }
        }
        return d;
    }();
    return data;
}

void BM_FatScanMixed(benchmark::State& state)
{
    const std::vector<uint8_t>& data = MixedData();
    MemoryVolume volume(kBorrow, data); // not copied: the scan is measured, not a copy
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    for (auto _ : state)
    {
        fs.Begin_ScanFS();
        ScanStats stats{};
        for (uint64_t s = 0; s < data.size() / kSector; s += kChunkSectors)
            fs.ScanFS(&stats, int64_t(s), data.data() + s * kSector, int(kChunkSectors));
        benchmark::DoNotOptimize(stats);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}
BENCHMARK(BM_FatScanMixed)->Unit(benchmark::kMillisecond)->MinTime(2.0);
} // namespace
