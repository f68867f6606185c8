// Tree building over a large generated store, and stream reads against plain pread.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchTree.h"
#include "base/VlmErrors.h"
#include "fs/KBuildFileTree.h"
#include "fs/KFileNode.h"
#include "fs/KNodeTree.h"
#include "fs/KOutStream.h"
#include "volume/IVolumeIO.h"

namespace {
void BM_BuildTreeMillionRecords(benchmark::State& state)
{
    const double before = PeakRssMiB();
    KFileNode store(FN_EXTRA_RAW);
    FillBenchStore(store);
    const double withStore = PeakRssMiB();
    const int records = store.GetCount();
    KNodeTree tree;
    KFileNode progress(FN_EXTRA_RAW);
    for (auto _ : state)
    {
        const uint32_t rc = KBuildFileTree<tagRawFileNode, KFileNode>().Build(store, tree, progress);
        if (rc != ERROR_SUCCESS) state.SkipWithError("build failed");
        benchmark::DoNotOptimize(tree.GetRoot());
    }
    uint32_t files = 0;
    tree.CountFiles(nullptr, &files);
    state.counters["records"] = records;
    state.counters["files_in_tree"] = files;
    state.counters["rss_before_MiB"] = before;
    state.counters["rss_store_MiB"] = withStore;
    state.counters["rss_peak_MiB"] = PeakRssMiB();
}
BENCHMARK(BM_BuildTreeMillionRecords)->Unit(benchmark::kMillisecond)->Iterations(3);

// A volume over an image file, read with pread: the same reads the device layer makes.
class FileVolume final : public IVolumeIO
{
public:
    explicit FileVolume(int fd, uint64_t sectors) : m_Fd(fd), m_Sectors(sectors) {}
    uint32_t ReadSectors(uint64_t first, void* buffer, uint32_t count) override
    {
        const size_t bytes = size_t{count} * 512;
        return ::pread(m_Fd, buffer, bytes, static_cast<off_t>(first * 512)) == static_cast<ssize_t>(bytes)
            ? ERROR_SUCCESS
            : ERROR_READ_FAULT;
    }
    uint32_t GetDeviceKind(uint32_t* kind) override
    {
        *kind = 3;
        return 0;
    }
    uint32_t GetVolumeType(uint32_t* type) override
    {
        *type = 1;
        return 0;
    }
    uint32_t GetGeometry(tagDiskGeometry* g) override
    {
        *g = {};
        g->BytesPerSector = 512;
        g->TotalSectors = m_Sectors;
        g->TotalSectors512 = m_Sectors;
        return 0;
    }
    uint32_t GetDescription(std::string* text) override
    {
        text->clear();
        return 0;
    }
    bool IsRemovable() override { return false; }
    int32_t GetIndex() override { return 0; }
    uint32_t GetName(std::string* name) override
    {
        name->clear();
        return 0;
    }
    bool Open(const tagVolumeInfo*, uint32_t) override { return true; }

private:
    int m_Fd;
    uint64_t m_Sectors;
};

constexpr int64_t kImageBytes = int64_t{1} << 30;
constexpr int64_t kChunk = int64_t{1} << 20;

// A 1 GiB image in the temporary folder, written once (non-zero data, so the reads copy real
// pages) and removed when the program ends.
struct Image
{
    std::string path;
    int fd = -1;
    Image()
    {
        char tmpl[] = "/tmp/vlm_bench_image_XXXXXX";
        fd = mkstemp(tmpl);
        path = tmpl;
        std::vector<uint8_t> block(static_cast<size_t>(kChunk));
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 131 + 7);
        for (int64_t at = 0; at < kImageBytes; at += kChunk)
            if (::pwrite(fd, block.data(), block.size(), at) != kChunk) break;
    }
    ~Image()
    {
        ::close(fd);
        ::unlink(path.c_str());
    }
};

Image& SharedImage()
{
    static Image image;
    return image;
}

void BM_StreamRead1GiB(benchmark::State& state)
{
    Image& image = SharedImage();
    FileVolume volume(image.fd, kImageBytes / 512);
    KFileNode store(FN_EXTRA_RAW);
    tagFileNode* record = store.AddNode("image.bin");
    record->s64Size = kImageBytes;
    std::vector<uint8_t> buffer(static_cast<size_t>(kChunk));
    for (auto _ : state)
    {
        KOutStream stream(record, &volume, &store);
        stream.SetRuns({{0, static_cast<uint32_t>(kImageBytes / 512), 0}});
        int64_t done = 0;
        while (stream.Read(buffer.data(), kChunk, &done) == STREAM_OK && done > 0)
            benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_StreamRead1GiB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Pread1GiB(benchmark::State& state)
{
    Image& image = SharedImage();
    std::vector<uint8_t> buffer(static_cast<size_t>(kChunk));
    for (auto _ : state)
    {
        for (int64_t at = 0; at < kImageBytes; at += kChunk)
            if (::pread(image.fd, buffer.data(), buffer.size(), at) != kChunk) state.SkipWithError("short pread");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * kImageBytes);
}
BENCHMARK(BM_Pread1GiB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
} // namespace
