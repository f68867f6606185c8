#pragma once
// The in-memory disk and volume every test, fuzzer and benchmark reads instead of a device.
//
// MemorySectors holds what they serve: an image (copied, or borrowed when it is a benchmark's
// gigabyte) placed at some sector, sectors put one by one on top of it (a disk of terabytes costs
// only the sectors a test writes), zeros everywhere else up to the total. Reads are whole
// sectors, all or nothing, as the device interfaces promise; sectors can be made to fail for
// good (bad) or only on the first read that touches them (weak), and what was read is counted.
// Reads may come from several threads at once (the scan reads ahead while the deep scan's types
// read on); set up the content and the faults before the first read.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "base/VlmErrors.h"
#include "device/IDeviceIO.h"
#include "volume/IVolumeIO.h"

// Marks the constructor that serves an image in place instead of copying it.
struct BorrowTag
{};
inline constexpr BorrowTag kBorrow{};

class MemorySectors
{
public:
    /// `totalSectors` zeroed sectors; Put and Sector fill them.
    explicit MemorySectors(uint64_t totalSectors = 0, uint32_t bytesPerSector = 512);
    /// Over a copy of `image`, its whole sectors (the tail of a partial last one is not readable).
    explicit MemorySectors(std::vector<uint8_t> image, uint32_t bytesPerSector = 512);
    /// Over `image` itself, which must outlive this object.
    MemorySectors(BorrowTag, std::span<const uint8_t> image, uint32_t bytesPerSector = 512);
    /// Moves the content, the faults and the counters (a test's disk-making helper returns one).
    MemorySectors(MemorySectors&& other) noexcept;
    MemorySectors& operator=(MemorySectors&&) = delete;

    uint32_t BytesPerSector() const { return m_Bps; }
    uint64_t TotalSectors() const { return m_Total; }
    /// Sectors past the image and the ones put read as zeros up to `total`.
    void SetTotalSectors(uint64_t total) { m_Total = total; }
    /// The image starts at `first` (everything before reads as zeros); the total grows with it.
    void PlaceImageAt(uint64_t first);
    /// The image as given to the owning constructor (empty for a borrowed one).
    const std::vector<uint8_t>& Image() const { return m_Owned; }

    /// Sector n of the overlay, zeroed (or the image's bytes) on first use, for a test to edit.
    std::vector<uint8_t>& Sector(uint64_t n);
    /// Writes `bytes` from sector `first` on; all-zero sectors are left out.
    void Put(uint64_t first, std::span<const uint8_t> bytes);
    /// Drops the overlay's sector n (it reads as the image or zeros again).
    void Erase(uint64_t n) { m_Overlay.erase(n); }

    /// Reads touching [first, first + count) fail from now on; count 0 clears the range.
    void SetBadRange(uint64_t first, uint64_t count)
    {
        m_BadFirst = first;
        m_BadCount = count;
    }
    /// Sectors whose every read fails, as bad sectors do.
    std::set<uint64_t> Unreadable;
    /// Sectors whose first read fails and later reads succeed, as weak sectors do.
    std::set<uint64_t> Weak;
    /// What a failing read returns.
    uint32_t FaultCode = ERROR_IO_DEVICE;
    /// Counts the reads that touched each sector (SectorReads); off for the scans of large images.
    bool CountSectorReads = false;

    /// Copies `count` sectors at `first`: 1100 past the end, FaultCode over a failing sector.
    uint32_t Read(uint64_t first, void* buffer, uint32_t count);
    void FillGeometry(tagDiskGeometry* geometry) const;

    uint64_t ReadCount() const { return m_Reads.load(std::memory_order_relaxed); }
    uint32_t LargestRead() const;
    int ReadsPastEnd() const;
    /// Per sector, the reads that touched it (while CountSectorReads was on).
    std::map<uint64_t, int> SectorReads() const;

private:
    uint64_t ImageSectors() const { return m_Image.size() / m_Bps; }
    bool Fails(uint64_t first, uint32_t count); // under m_Lock

    uint32_t m_Bps;
    uint64_t m_Total = 0;
    std::vector<uint8_t> m_Owned;
    std::span<const uint8_t> m_Image;
    uint64_t m_ImageFirst = 0;
    std::map<uint64_t, std::vector<uint8_t>> m_Overlay;
    uint64_t m_BadFirst = 0;
    uint64_t m_BadCount = 0;

    mutable std::mutex m_Lock; // the counters and the weak sectors already read
    std::atomic<uint64_t> m_Reads{0};
    uint32_t m_Largest = 0;
    int m_PastEnd = 0;
    std::set<uint64_t> m_WeakRead;
    std::map<uint64_t, int> m_SectorReads;
};

// A hard disk (or, with SetKind, another kind of device) over its sectors, for discovery and
// imaging.
class MemoryDisk final : public IDeviceIO, public MemorySectors
{
public:
    using MemorySectors::MemorySectors;

    void SetKind(uint32_t kind) { m_Kind = kind; }
    void SetNumber(int32_t number) { m_Number = number; }

    uint32_t Open(uint32_t, uint32_t) override { return ERROR_SUCCESS; }
    uint32_t Close() override { return ERROR_SUCCESS; }
    bool IsOpen() override { return true; }
    int32_t GetNumber() override { return m_Number; }
    uint32_t ReadSectors(uint64_t first, void* buffer, uint32_t count) override { return Read(first, buffer, count); }
    uint32_t GetKind(uint32_t* kind) override;
    uint32_t GetGeometry(tagDiskGeometry* geometry) override;
    uint32_t GetDescription(std::string* text) override;
    bool IsRemovable() override { return false; }

private:
    uint32_t m_Kind = DEVICE_HARDDISK;
    int32_t m_Number = 0;
};

// A volume over its sectors, for the file systems, the deep scan and the streams.
class MemoryVolume final : public IVolumeIO, public MemorySectors
{
public:
    using MemorySectors::MemorySectors;
    /// As a volume on a device of `deviceKind` (DEVICE_FLOPPY for a floppy's scan chunking).
    MemoryVolume(std::vector<uint8_t> image, uint32_t bytesPerSector, uint32_t deviceKind)
        : MemorySectors(std::move(image), bytesPerSector), m_DeviceKind(deviceKind)
    {}

    void SetName(std::string name) { m_Name = std::move(name); }

    uint32_t ReadSectors(uint64_t first, void* buffer, uint32_t count) override { return Read(first, buffer, count); }
    uint32_t GetDeviceKind(uint32_t* kind) override;
    uint32_t GetVolumeType(uint32_t* type) override;
    uint32_t GetGeometry(tagDiskGeometry* geometry) override;
    uint32_t GetDescription(std::string* text) override;
    bool IsRemovable() override { return false; }
    int32_t GetIndex() override { return m_Index; }
    uint32_t GetName(std::string* name) override;
    /// Takes the record's drive name and volume type, as a volume opened by the manager does.
    bool Open(const tagVolumeInfo* record, uint32_t index) override;

private:
    uint32_t m_DeviceKind = DEVICE_HARDDISK;
    uint32_t m_VolumeType = 1;
    int32_t m_Index = 0;
    std::string m_Name;
};
