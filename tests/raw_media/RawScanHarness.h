#pragma once
// Runs deep-scan types over an in-memory volume the way the engine does: buffers of whole
// sectors, every type's Scan on every buffer, hits collected per type.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/KRawTypeBase.h"
#include "raw/RawFileTypeAbi.h"

struct tagFoundFile
{
    std::string extension;
    int64_t firstSector;
    int64_t size;
    std::string name; // the name the type read from the file's metadata; empty when none
};

class KHitList final : public IRawFileArray
{
public:
    void Clear() override { m_Hits.clear(); }
    void Add(const RawHit* hit) override { m_Hits.push_back(*hit); }
    int GetCount() override { return static_cast<int>(m_Hits.size()); }
    int GetAt(int index, RawHit* out) override;

private:
    std::vector<RawHit> m_Hits;
};

struct RawTypeDeleter
{
    void operator()(KRawTypeBase* t) const { t->Release(); }
};
using RawTypePtr = std::unique_ptr<KRawTypeBase, RawTypeDeleter>;

/// One object of every type of the picture and audio/video families.
std::vector<RawTypePtr> AllMediaTypes();
/// The type with this extension from AllMediaTypes (null when there is none).
RawTypePtr MediaType(const std::string& extension);
/// One object of every type of every family the program ships, in the engine's order.
std::vector<RawTypePtr> AllTypes();
/// The type with this extension from AllTypes (null when there is none).
RawTypePtr AnyType(const std::string& extension);

/// Scans `image` with `types` in buffers of `bufferSectors` sectors.
std::vector<tagFoundFile> ScanImage(const std::vector<uint8_t>& image, std::span<const RawTypePtr> types,
                                    uint32_t bytesPerSector = 512, uint32_t bufferSectors = 512);
std::vector<tagFoundFile> ScanImage(const std::vector<uint8_t>& image, const RawTypePtr& type,
                                    uint32_t bytesPerSector = 512, uint32_t bufferSectors = 512);

/// Junk that starts no file: random bytes whose sector starts are scrubbed of the first bytes
/// of every known signature, so only planted files can be found.
std::vector<uint8_t> Junk(size_t size, uint32_t seed);
/// Lays `file` into `image` at byte `offset`, growing the image to hold it.
void Plant(std::vector<uint8_t>& image, size_t offset, std::span<const uint8_t> file);
/// Checks that `file` is found once with its exact size when it starts in the last sector of a
/// 16-sector buffer (every walk goes on through the volume), and again with 4096-byte sectors.
void ExpectFoundAcrossBufferEnds(const std::vector<uint8_t>& file, const RawTypePtr& type, uint32_t seed);
/// Reads a committed sample under tests/data/raw/.
std::vector<uint8_t> RawSample(const std::string& name);
