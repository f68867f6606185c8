// Throughput of the exFAT sector scan over 512 MiB of mixed data already in memory: the scan
// sees every sector of a volume, so it must not be what a full scan waits for.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "support/MemoryMedia.h"
#include "exfat/KExFatFileSystem.h"
#include "format/exfat/ExFatEntrySet.h"

namespace {
constexpr uint64_t kBytes = 512ull << 20;
constexpr uint32_t kSector = 512;
constexpr uint32_t kChunkSectors = 512;

// One sector of entry sets: five files of three entries each ("IMG_0001.JPG"), sums taken.
void PutFolderSector(uint8_t* p, uint64_t s)
{
    std::memset(p, 0, kSector);
    for (uint32_t k = 0; k < 5; ++k)
    {
        uint8_t* e = p + k * 96;
        e[0] = 0x85;
        e[1] = 2;
        e[4] = 0x20;
        e[32] = 0xC0;
        e[33] = 3;
        e[35] = 12;
        const uint32_t cluster = uint32_t(100 + s % 1000 + k);
        std::memcpy(e + 52, &cluster, 4);
        const uint64_t size = 3000000 + k;
        std::memcpy(e + 40, &size, 8);
        std::memcpy(e + 56, &size, 8);
        e[64] = 0xC1;
        const char* name = "IMG_0001.JPG";
        for (int i = 0; i < 12; ++i) e[66 + 2 * i] = uint8_t(name[i]);
        const uint16_t sum = ExFatSetChecksum(ByteView(e, 96), 3);
        std::memcpy(e + 2, &sum, 2);
    }
}

// 40% random (compressed media), 25% zeros, 25% text, 10% folder sectors.
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
            else if (kind >= 13 && kind < 18)
            {
                for (uint32_t i = 0; i < kSector; ++i) p[i] = uint8_t(text[(s + i) % textLen]);
            }
            else if (kind >= 18)
            {
                PutFolderSector(p, s);
            }
        }
        return d;
    }();
    return data;
}

void BM_ExFatScanMixed(benchmark::State& state)
{
    const std::vector<uint8_t>& data = MixedData();
    MemoryVolume volume(kBorrow, data); // not copied: the scan is measured, not a copy
    KExFatFileSystem fs;
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
BENCHMARK(BM_ExFatScanMixed)->Unit(benchmark::kMillisecond)->MinTime(2.0);
} // namespace
