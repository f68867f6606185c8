#pragma once
// Test disks for GPT discovery: a sparse in-memory hard disk of any sector size (only the
// sectors written are kept, so a disk past the gap-search thresholds costs little), and a
// writer of protective MBRs and GPT headers and arrays with their CRCs.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/IDeviceIO.h"

class SparseDisk final : public IDeviceIO
{
public:
    SparseDisk(uint64_t totalSectors, uint32_t bytesPerSector = 512) : m_Total(totalSectors), m_Bps(bytesPerSector) {}
    /// Sector n, created zeroed on first use.
    std::vector<uint8_t>& Sector(uint64_t n);
    /// Writes `bytes` from sector `first` on; all-zero sectors are left out.
    void Put(uint64_t first, const std::vector<uint8_t>& bytes);
    void Erase(uint64_t n) { m_Sectors.erase(n); }

    uint32_t Open(uint32_t, uint32_t) override { return 0; }
    uint32_t Close() override { return 0; }
    bool IsOpen() override { return true; }
    int32_t GetNumber() override { return 0; }
    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override;
    uint32_t GetKind(uint32_t* kind) override;
    uint32_t GetGeometry(tagDiskGeometry* geometry) override;
    uint32_t GetDescription(std::string* text) override;
    bool IsRemovable() override { return false; }

    uint64_t Total() const { return m_Total; }
    uint32_t Bps() const { return m_Bps; }
    /// Sectors whose reads fail, as bad sectors of a damaged disk do.
    std::set<uint64_t> Unreadable;
    /// The most sectors one read asked for, and reads that went past the end.
    uint32_t LargestRead = 0;
    int ReadsPastEnd = 0;

private:
    uint64_t m_Total;
    uint32_t m_Bps;
    std::map<uint64_t, std::vector<uint8_t>> m_Sectors;
};

struct GptTestEntry
{
    uint64_t First = 0;
    uint64_t Last = 0;
    bool Used = true; // false: a type GUID of zeros (an unused or deleted entry)
};

// A GPT as partitioning tools write it: protective MBR, header in sector 1 with its array in
// sector 2 on, the backup array just before the backup header in the last sector.
struct GptTestTable
{
    std::vector<GptTestEntry> Entries;
    uint32_t EntryCount = 128;
    uint32_t EntrySize = 128;
    uint8_t ExtraMbrType = 0; // non-zero: a hybrid MBR, this type in slot 1 at sector 2048

    /// Writes MBR, both headers and both arrays.
    void WriteTo(SparseDisk& disk) const;
    /// Sectors one array takes on `disk`.
    uint64_t ArraySectors(const SparseDisk& disk) const;
};

/// Recomputes the header CRC of the header in `sector` after a test changed a field.
void FixGptHeaderCrc(std::vector<uint8_t>& sector);
/// Stores a little-endian value of `width` bytes at `off`.
void PutLE(std::vector<uint8_t>& bytes, size_t off, uint64_t value, size_t width);
