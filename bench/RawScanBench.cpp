// Deep scan throughput: the picture and audio/video types, the archive types, and every family
// at once, scanning a mixed in-memory volume the way the engine feeds them (buffers of 512
// sectors, each type's Scan on each buffer).
#include <benchmark/benchmark.h>

#include <ctime>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "archives/ArchivesTypeList.h"
#include "common/KRawTypeBase.h"
#include "common/KRawTypeFactory.h"
#include "docs/DocsTypeList.h"
#include "images/ImagesTypeList.h"
#include "media/MediaTypeList.h"
#include "raw/KRawFileSystem.h"
#include "system/SystemTypeList.h"
#include "text/TextTypeList.h"
#include "support/MemoryMedia.h"

namespace {
constexpr size_t kImageBytes = 512u << 20;
constexpr uint32_t kSector = 512;
constexpr uint32_t kBufferSectors = 512;

class KCountingHits final : public IRawFileArray
{
public:
    void Clear() override { m_Count = 0; }
    void Add(const RawHit*) override { ++m_Count; }
    int GetCount() override { return m_Count; }
    int GetAt(int, RawHit*) override { return 0; }

private:
    int m_Count = 0;
};

std::vector<uint8_t> ReadSample(const std::string& name)
{
    std::ifstream in(std::string(VLM_SOURCE_DIR) + "/tests/data/raw/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A quarter each of random bytes (compressed data), zeros (free space), text and real files of
// every type laid end to end on sector boundaries.
std::vector<uint8_t> MixedImage()
{
    static const char* const kFiles[] = {
        "media/baseline.jpg",  "media/progressive.jpg", "media/picture.png",  "media/animated.gif",
        "media/truecolor.bmp", "media/icon.ico",        "media/lzw.tif",      "media/rle.psd",
        "media/tone.wav",      "media/tagged.mp3",      "media/bare.mp3",     "media/clip.avi",
        "media/clip.mpg",      "media/clip-vob.mpg",    "media/clip.mp4",     "media/clip.mov",
        "media/clip.3gp",      "media/tone.m4a",        "media/clip.wmv",     "media/tone.wma",
        "media/picture.webp",  "media/picture.heic",    "media/clip.mkv",     "media/tone.ogg",
        "media/noise.flac",    "archives/words.gz",     "archives/words.bz2", "archives/blocks.xz",
        "archives/words.7z",   "archives/words.cab",    "archives/gnu.tar",   "media/tone.aiff",
        "media/tone.aac",      "media/clip.flv",        "system/hello.elf",   "system/sample.ttf",
        "system/sample.woff"};
    std::vector<std::vector<uint8_t>> files;
    for (const char* f : kFiles) files.push_back(ReadSample(f));
    std::vector<uint8_t> image(kImageBytes);
    const char* text = "The quick brown fox jumps over the lazy dog. 0123456789\r\n";
    const size_t textLen = std::strlen(text);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    size_t pos = 0, next = 0;
    for (size_t chunk = 0; pos < kImageBytes; ++chunk)
    {
        const size_t len = std::min<size_t>(1u << 20, kImageBytes - pos);
        uint8_t* p = image.data() + pos;
        switch (chunk % 4)
        {
        case 0:
            for (size_t i = 0; i + 8 <= len; i += 8)
            {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                std::memcpy(p + i, &x, 8);
            }
            break;
        case 1: break;
        case 2:
            for (size_t i = 0; i < len; ++i) p[i] = static_cast<uint8_t>(text[i % textLen]);
            break;
        default:
            for (size_t at = 0; !files.empty();)
            {
                const std::vector<uint8_t>& f = files[next++ % files.size()];
                if (f.empty() || at + f.size() > len) break;
                std::memcpy(p + at, f.data(), f.size());
                at += (f.size() + kSector - 1) / kSector * kSector;
            }
        }
        pos += len;
    }
    return image;
}

void ScanWithTypes(benchmark::State& state, std::initializer_list<std::span<const RawTypeCreate>> lists)
{
    static MemoryVolume volume(MixedImage(), kSector);
    const std::vector<uint8_t>& image = volume.Image();
    std::vector<KRawTypeBase*> types;
    for (auto list : lists)
        for (RawTypeCreate create : list) types.push_back(create());
    int64_t hits = 0;
    for (auto _ : state)
    {
        for (KRawTypeBase* t : types) t->BeginScan();
        const uint64_t sectors = image.size() / kSector;
        for (uint64_t first = 0; first < sectors; first += kBufferSectors)
        {
            const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kBufferSectors, sectors - first));
            RawScanArgs args{static_cast<int64_t>(first), image.data() + first * kSector, count, kSector, &volume};
            for (KRawTypeBase* t : types)
            {
                KCountingHits found;
                t->Scan(&args, &found);
                hits += found.GetCount();
            }
        }
        for (KRawTypeBase* t : types) t->EndScan();
    }
    for (KRawTypeBase* t : types) t->Release();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.size()));
    state.counters["files"] = benchmark::Counter(static_cast<double>(hits) / static_cast<double>(state.iterations()));
    state.counters["types"] = static_cast<double>(types.size());
}

void BM_DeepScanAllMediaTypes(benchmark::State& state)
{
    ScanWithTypes(state, {RawTypeList_images(), RawTypeList_media()});
}
// The same volume with the archive types alone, and with every family at once.
void BM_DeepScanArchiveTypes(benchmark::State& state) { ScanWithTypes(state, {RawTypeList_archives()}); }
void BM_DeepScanEveryType(benchmark::State& state)
{
    ScanWithTypes(state,
                  {RawTypeList_images(), RawTypeList_media(), RawTypeList_archives(), RawTypeList_docs(),
                   RawTypeList_system(), RawTypeList_text()});
}

// The engine's own deep scan (KRawFileSystem, every type of every family, hits checked and
// recorded) over the same volume, on as many worker threads as the argument says (1: every
// type on the calling thread).
void BM_DeepScanEngine(benchmark::State& state)
{
    static MemoryVolume volume(MixedImage(), kSector);
    const std::vector<uint8_t>& image = volume.Image();
    KRawScanMgr::OverrideProgramFolder("/nonexistent/"); // the in-process types only
    int64_t files = 0;
    {
        KRawScanMgr mgr;
        KRawTypeFactory images(RawTypeList_images()), media(RawTypeList_media()), archives(RawTypeList_archives()),
            docs(RawTypeList_docs()), system(RawTypeList_system()), text(RawTypeList_text());
        for (KRawTypeFactory* f : {&images, &media, &archives, &docs, &system, &text}) KRawScanMgr::AddFactory(f);
        KRawFileSystem fs;
        // The second argument, when given, is the batch size in KiB.
        fs.SetScanThreads(static_cast<uint32_t>(state.range(0)),
                          state.range(1) > 0 ? static_cast<size_t>(state.range(1)) << 10
                                             : KRawParallelScan::kBatchBytes);
        fs.SetVolume(&volume);
        // The image stays in memory throughout: the scan may keep its chunks where they lie, as it
        // keeps the read-ahead's blocks in a real scan.
        const std::shared_ptr<const void> keep(std::shared_ptr<const void>{}, image.data());
        const std::clock_t cpuStart = std::clock(); // every thread of the process
        for (auto _ : state)
        {
            fs.Begin_ScanFS();
            ScanStats stats{};
            const uint64_t sectors = image.size() / kSector;
            for (uint64_t first = 0; first < sectors; first += kBufferSectors)
            {
                const auto count = static_cast<int>(std::min<uint64_t>(kBufferSectors, sectors - first));
                fs.ScanSharedFS(&stats, static_cast<int64_t>(first), image.data() + first * kSector, count, keep);
            }
            fs.End_ScanFS();
            files = stats.dwRawFiles;
        }
        const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        const double passes = static_cast<double>(state.iterations());
        state.counters["all_threads_cpu_ms"] = cpu * 1000.0 / passes;
        state.counters["GB/s_per_cpu_s"] = static_cast<double>(image.size()) * passes / cpu / 1e9;
    }
    KRawScanMgr::OverrideProgramFolder("");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.size()));
    state.counters["files"] = static_cast<double>(files);
}
} // namespace

BENCHMARK(BM_DeepScanEngine)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({2, 256})
    ->Args({2, 4096})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(BM_DeepScanAllMediaTypes)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DeepScanArchiveTypes)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DeepScanEveryType)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
