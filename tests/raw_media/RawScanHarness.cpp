#include "RawScanHarness.h"

#include <cstring>

#include <gtest/gtest.h>

#include "archives/ArchivesTypeList.h"
#include "docs/DocsTypeList.h"
#include "images/ImagesTypeList.h"
#include "media/MediaTypeList.h"
#include "system/SystemTypeList.h"
#include "text/TextTypeList.h"
#include "support/TestFiles.h"
#include "support/MemoryMedia.h"

int KHitList::GetAt(int index, RawHit* out)
{
    if (index < 0 || static_cast<size_t>(index) >= m_Hits.size()) return 0;
    *out = m_Hits[static_cast<size_t>(index)];
    return 1;
}

std::vector<RawTypePtr> AllMediaTypes()
{
    std::vector<RawTypePtr> types;
    for (auto list : {RawTypeList_images(), RawTypeList_media()})
        for (RawTypeCreate create : list) types.emplace_back(create());
    return types;
}

RawTypePtr MediaType(const std::string& extension)
{
    for (RawTypePtr& t : AllMediaTypes())
        if (extension == t->Info().extension) return std::move(t);
    return nullptr;
}

std::vector<RawTypePtr> AllTypes()
{
    std::vector<RawTypePtr> types;
    for (auto list : {RawTypeList_images(), RawTypeList_media(), RawTypeList_archives(), RawTypeList_docs(),
                      RawTypeList_system(), RawTypeList_text()})
        for (RawTypeCreate create : list) types.emplace_back(create());
    return types;
}

RawTypePtr AnyType(const std::string& extension)
{
    for (RawTypePtr& t : AllTypes())
        if (extension == t->Info().extension) return std::move(t);
    return nullptr;
}

std::vector<tagFoundFile> ScanImage(const std::vector<uint8_t>& image, std::span<const RawTypePtr> types,
                                    uint32_t bytesPerSector, uint32_t bufferSectors)
{
    MemoryVolume volume(image, bytesPerSector);
    const uint64_t total = image.size() / bytesPerSector;
    std::vector<uint8_t> buffer(static_cast<size_t>(bufferSectors) * bytesPerSector);
    std::vector<tagFoundFile> found;
    for (const RawTypePtr& t : types) t->BeginScan();
    for (uint64_t first = 0; first < total; first += bufferSectors)
    {
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(bufferSectors, total - first));
        if (volume.ReadSectors(first, buffer.data(), count) != 0) break;
        // The tail of a short last buffer holds stale bytes, as in the engine's own buffer.
        RawScanArgs args{static_cast<int64_t>(first), buffer.data(), count, bytesPerSector, &volume};
        for (const RawTypePtr& t : types)
        {
            KHitList hits;
            t->Scan(&args, &hits);
            for (int i = 0; i < hits.GetCount(); ++i)
            {
                RawHit h{};
                hits.GetAt(i, &h);
                RawHitName query{};
                query.firstSector = h.firstSector;
                std::string name;
                if (t->GetInfo(RAW_INFO_HIT_NAME, &query, sizeof query) == 0)
                    name.assign(query.name, strnlen(query.name, sizeof query.name));
                found.push_back({t->Info().extension, h.firstSector, h.size, name});
            }
        }
    }
    for (const RawTypePtr& t : types) t->EndScan();
    return found;
}

std::vector<tagFoundFile> ScanImage(const std::vector<uint8_t>& image, const RawTypePtr& type, uint32_t bytesPerSector,
                                    uint32_t bufferSectors)
{
    return ScanImage(image, std::span<const RawTypePtr>(&type, 1), bytesPerSector, bufferSectors);
}

std::vector<uint8_t> Junk(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes = PatternBytes(size, seed);
    // Every signature of these families starts with one of these bytes at offset 0 or offset 4
    // (box types of the ISO media formats); a sector start of plain zeros matches none.
    for (size_t s = 0; s < size; s += 512) std::memset(bytes.data() + s, 0, std::min<size_t>(8, size - s));
    return bytes;
}

void Plant(std::vector<uint8_t>& image, size_t offset, std::span<const uint8_t> file)
{
    if (image.size() < offset + file.size()) image.resize(offset + file.size());
    std::memcpy(image.data() + offset, file.data(), file.size());
}

std::vector<uint8_t> RawSample(const std::string& name) { return ReadFileBytes(SourcePath("tests/data/raw/" + name)); }

void ExpectFoundAcrossBufferEnds(const std::vector<uint8_t>& file, const RawTypePtr& type, uint32_t seed)
{
    std::vector<uint8_t> image = Junk(15 * 512 + file.size() + 8 * 512, seed);
    Plant(image, 15 * 512, file);
    auto found = ScanImage(image, type, 512, 16);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, static_cast<int64_t>(file.size()));

    // 4096-byte sectors (the junk helper scrubs 512-byte sector starts, a superset).
    image = Junk(3 * 4096 + file.size() + 4096, seed + 1);
    Plant(image, 3 * 4096, file);
    found = ScanImage(image, type, 4096, 4);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].firstSector, 3);
    EXPECT_EQ(found[0].size, static_cast<int64_t>(file.size()));
}
