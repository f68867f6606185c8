// The deep scan with its file types spread over worker threads finds exactly what one thread
// finds: the same files, in the same order, with the same sizes and names, the files whose end
// is decided by the next hit included, and the same ones dropped past the hit limit. The
// image holds every carving sample laid across chunk and batch edges (small chunks and
// batches, so that there are many edges and the batches in memory wrap around), text whose
// end only the next hit decides, and random bytes that now and then pass for a file start.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archives/ArchivesTypeList.h"
#include "common/KRawTypeFactory.h"
#include "docs/DocsTypeList.h"
#include "images/ImagesTypeList.h"
#include "media/MediaTypeList.h"
#include "raw/KRawFileSystem.h"
#include "support/TestFiles.h"
#include "system/SystemTypeList.h"
#include "text/TextTypeList.h"
#include "support/MemoryMedia.h"

namespace {

struct tagRecord
{
    std::string name;
    int64_t size;
    uint64_t first;
    uint32_t parent;
    bool operator==(const tagRecord&) const = default;
};

std::vector<uint8_t> CarvingImage(int chunkSectors)
{
    std::vector<std::string> samples;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(SourcePath("tests/data/raw")))
        if (entry.is_regular_file()) samples.push_back(entry.path().string());
    std::sort(samples.begin(), samples.end());
    const std::string text = "Minutes of the meeting, line after line, 0123456789.\r\n";
    std::vector<uint8_t> image = PatternBytes(64 * 512, 7);
    for (size_t i = 0; i < samples.size(); ++i)
    {
        const std::vector<uint8_t> file = ReadFileBytes(samples[i]);
        // Start in one of the last three sectors of a chunk, so that the file runs on into the
        // next chunks (and, every few files, into the next batch).
        const size_t chunkBytes = size_t(chunkSectors) * 512;
        size_t at = (image.size() / chunkBytes + 1) * chunkBytes - (1 + i % 3) * 512;
        image.resize(at, 0);
        image.insert(image.end(), file.begin(), file.end());
        image.resize((image.size() + 511) / 512 * 512, 0);
        if (i % 4 == 0)
        {
            for (size_t n = 0; n < 30; ++n) image.insert(image.end(), text.begin(), text.end());
            image.resize((image.size() + 511) / 512 * 512, ' ');
        }
        const std::vector<uint8_t> noise = PatternBytes((5 + i % 7) * 512, static_cast<uint32_t>(i));
        image.insert(image.end(), noise.begin(), noise.end());
    }
    return image;
}

struct tagOutcome
{
    std::vector<tagRecord> records;
    uint64_t dropped = 0;
};

// `kept`: every chunk is handed over in a buffer of its own that only the scan keeps alive, as
// the read-ahead's leased blocks are; otherwise in one buffer the caller reuses.
tagOutcome Scan(MemoryVolume& volume, int chunkSectors, uint32_t threads, size_t batchBytes, uint32_t hitLimit,
                bool kept = false)
{
    KRawFileSystem fs;
    fs.SetScanThreads(threads, batchBytes);
    fs.SetHitLimit(hitLimit);
    fs.SetVolume(&volume);
    EXPECT_EQ(fs.Begin_ScanFS(), 0u);
    const int64_t total = static_cast<int64_t>(volume.Image().size() / 512);
    std::vector<uint8_t> buffer(size_t(chunkSectors) * 512);
    std::vector<std::weak_ptr<std::vector<uint8_t>>> handedOver;
    ScanStats stats{};
    for (int64_t s = 0; s < total; s += chunkSectors)
    {
        const int n = static_cast<int>(std::min<int64_t>(chunkSectors, total - s));
        auto own = kept ? std::make_shared<std::vector<uint8_t>>(buffer.size()) : nullptr;
        uint8_t* data = kept ? own->data() : buffer.data();
        if (volume.ReadSectors(static_cast<uint64_t>(s), data, static_cast<uint32_t>(n)) != 0)
        {
            ADD_FAILURE() << "read at " << s;
            return {};
        }
        if (kept)
        {
            // The scan alone keeps the buffer alive (ASan sees any read after it let go).
            fs.ScanSharedFS(&stats, s, data, n, std::shared_ptr<const void>(own, data));
            handedOver.push_back(own);
            continue;
        }
        // The driver reuses its buffer: the scan must not keep pointers into it.
        fs.ScanFS(&stats, s, buffer.data(), n);
        std::fill(buffer.begin(), buffer.end(), uint8_t{0xA5});
    }
    EXPECT_EQ(fs.End_ScanFS(), 0u);
    // Every buffer went back once the scan was done with it.
    EXPECT_TRUE(std::all_of(handedOver.begin(), handedOver.end(), [](const auto& w) { return w.expired(); }));
    tagOutcome out;
    const KRawFileNode& r = fs.Records();
    for (int i = 0; i < r.GetCount(); ++i)
    {
        const tagFileNode* n = r.GetNode(i);
        out.records.push_back(
            {std::string(r.GetName(n)), n->s64Size, n->ftCreated, static_cast<const tagRawFileNode*>(n)->dwParentId});
    }
    out.dropped = fs.DroppedHits();
    // Every file found reached the window's counter before the last chunk was done.
    EXPECT_EQ(stats.dwRawFiles, out.records.size() - 2 - static_cast<size_t>(fs.Types().GetTypeCount()));
    return out;
}

} // namespace

TEST(ParallelDeepScan, SpreadOverThreadsFindsExactlyWhatOneThreadFinds)
{
    TempDir noPlugins;
    KRawScanMgr::OverrideProgramFolder(noPlugins.Path());
    {
        KRawScanMgr mgr;
        KRawTypeFactory images(RawTypeList_images()), media(RawTypeList_media()), archives(RawTypeList_archives()),
            docs(RawTypeList_docs()), system(RawTypeList_system()), text(RawTypeList_text());
        for (KRawTypeFactory* f : {&images, &media, &archives, &docs, &system, &text})
            ASSERT_GT(KRawScanMgr::AddFactory(f), 0);

        // Chunks of 16 sectors in batches of 64 KiB (8 chunks, 4 batches in memory); then the
        // driver's own chunk of 512 sectors with the default batches.
        for (const auto& [chunk, batch] :
             {std::pair<int, size_t>{16, 64 * 1024}, std::pair<int, size_t>{512, KRawParallelScan::kBatchBytes}})
        {
            MemoryVolume volume(CarvingImage(chunk));
            const tagOutcome one = Scan(volume, chunk, 1, batch, VlmLimits::kMaxDeepScanHits);
            const size_t files = one.records.size() - 2 - static_cast<size_t>(mgr.GetTypeCount());
            // Most samples are found where they were laid (some are found more than once: their
            // embedded pictures or the text between them), so nothing passes by being empty.
            ASSERT_GT(files, 90u) << "chunk " << chunk;
            for (const auto& [threads, kept] : {std::pair{2u, false}, std::pair{3u, false}, std::pair{2u, true}})
            {
                const tagOutcome many = Scan(volume, chunk, threads, batch, VlmLimits::kMaxDeepScanHits, kept);
                SCOPED_TRACE(testing::Message() << "chunk " << chunk << ", threads " << threads << ", kept " << kept);
                EXPECT_EQ(many.records.size(), one.records.size());
                EXPECT_TRUE(many.records == one.records);
            }
            // The limit falls in the middle of the scan: the same files are kept and the same
            // number dropped.
            const auto limit = static_cast<uint32_t>(files / 2);
            const tagOutcome capped1 = Scan(volume, chunk, 1, batch, limit);
            const tagOutcome cappedN = Scan(volume, chunk, 2, batch, limit);
            EXPECT_GT(capped1.dropped, 0u);
            EXPECT_EQ(cappedN.dropped, capped1.dropped);
            EXPECT_TRUE(cappedN.records == capped1.records) << "chunk " << chunk;
        }
    }
    KRawScanMgr::OverrideProgramFolder("");
}
