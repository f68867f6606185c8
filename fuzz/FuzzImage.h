#pragma once
// What the harnesses read: a disk or volume image described by a fuzz input.
//
// Flat inputs are the image itself. Sparse inputs describe a large image by its few sectors
// that matter (boot sectors, tables, folders, FILE records): a u32 sector count, then records
// of a u32 sector number and 512 bytes of that sector; every other sector reads as zeros.
// A record past the declared size wraps around; a short last record is zero-padded. Sparse
// images let a fuzzer reach a 64 MB file system's metadata with a 100 KB input.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "device/IDeviceIO.h"
#include "storage/IStorageManager.h"
#include "volume/IVolumeIO.h"

inline constexpr uint32_t kFuzzSectorBytes = 512;
inline constexpr size_t kFuzzSparseRecord = 4 + kFuzzSectorBytes;
// Largest image a sparse input may declare. Large enough for the committed images and the
// gap search's two-million-sector thresholds; reads cost nothing for absent sectors.
inline constexpr uint64_t kFuzzMaxSparseSectors = uint64_t{1} << 24;

class KSparseImage
{
public:
    KSparseImage() = default;
    /// Decodes a sparse input; the first four bytes give the sector count (at least 1).
    static KSparseImage FromSparse(const uint8_t* data, size_t size);
    /// A flat image: every whole sector of `data` (a partial last sector is dropped).
    static KSparseImage FromFlat(const uint8_t* data, size_t size);

    uint64_t Sectors() const { return m_Sectors; }
    /// Copies `count` sectors at `first`; false past the end.
    bool Read(uint64_t first, void* buffer, uint32_t count) const;
    /// Encodes an image as a sparse input (the seed tool and regression tests).
    static std::vector<uint8_t> Encode(uint64_t sectors, const std::map<uint64_t, std::vector<uint8_t>>& present);

private:
    uint64_t m_Sectors = 0;
    std::map<uint64_t, std::vector<uint8_t>> m_Present;
};

// A hard disk over an image, for partition and database discovery.
class KFuzzDevice final : public IDeviceIO
{
public:
    KFuzzDevice(const KSparseImage& image, int32_t number) : m_Image(image), m_Number(number) {}
    uint32_t Open(uint32_t, uint32_t) override { return 0; }
    uint32_t Close() override { return 0; }
    bool IsOpen() override { return true; }
    int32_t GetNumber() override { return m_Number; }
    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override;
    uint32_t GetKind(uint32_t* kind) override;
    uint32_t GetGeometry(tagDiskGeometry* geometry) override;
    uint32_t GetDescription(std::string* text) override;
    bool IsRemovable() override { return false; }
    uint64_t ReadCount() const { return m_Reads; }

private:
    const KSparseImage& m_Image;
    int32_t m_Number;
    uint64_t m_Reads = 0;
};

// A volume over an image, for the file systems.
class KFuzzVolume final : public IVolumeIO
{
public:
    explicit KFuzzVolume(const KSparseImage& image) : m_Image(image) {}
    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override;
    uint32_t GetDeviceKind(uint32_t* kind) override;
    uint32_t GetVolumeType(uint32_t* type) override;
    uint32_t GetGeometry(tagDiskGeometry* geometry) override;
    uint32_t GetDescription(std::string* text) override;
    bool IsRemovable() override { return false; }
    int32_t GetIndex() override { return 0; }
    uint32_t GetName(std::string* name) override;
    bool Open(const tagVolumeInfo*, uint32_t) override { return true; }
    uint64_t ReadCount() const { return m_Reads; }

private:
    const KSparseImage& m_Image;
    uint64_t m_Reads = 0;
};

// A read-only storage stream over the input bytes, for the loaders of stored results.
class KFuzzStorage final : public IStorageManager
{
public:
    KFuzzStorage(const uint8_t* data, size_t size) : m_Data(data), m_Size(size) {}
    int Read(void* buffer, int length, int* done) override;
    int Write(const void*, int, int* done) override;

private:
    const uint8_t* m_Data;
    size_t m_Size;
    size_t m_Pos = 0;
};
