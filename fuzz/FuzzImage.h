#pragma once
// What the harnesses read: a disk or volume image described by a fuzz input, served by the
// tests' in-memory disk and volume.
//
// Flat inputs are the image itself (a partial last sector is dropped). Sparse inputs describe a large image by its few sectors
// that matter (boot sectors, tables, folders, FILE records): a u32 sector count, then records
// of a u32 sector number and 512 bytes of that sector; every other sector reads as zeros.
// A record past the declared size wraps around; a short last record is zero-padded. Sparse
// images let a fuzzer reach a 64 MB file system's metadata with a 100 KB input.
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "storage/IStorageManager.h"
#include "support/MemoryMedia.h"

inline constexpr uint32_t kFuzzSectorBytes = 512;
inline constexpr size_t kFuzzSparseRecord = 4 + kFuzzSectorBytes;
// Largest image a sparse input may declare. Large enough for the committed images and the
// gap search's two-million-sector thresholds; reads cost nothing for absent sectors.
inline constexpr uint64_t kFuzzMaxSparseSectors = uint64_t{1} << 24;

/// Fills an empty disk or volume of 512-byte sectors from a sparse input; the first four bytes
/// give the sector count (at least 1).
void LoadSparseInput(const uint8_t* data, size_t size, MemorySectors& into);
/// Encodes an image as a sparse input (the seed tool and regression tests).
std::vector<uint8_t> EncodeSparseInput(uint64_t sectors, const std::map<uint64_t, std::vector<uint8_t>>& present);

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
