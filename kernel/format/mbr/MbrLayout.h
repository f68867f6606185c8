#pragma once
// Master and extended boot records: the four 16-byte partition entries at byte 446 of sector 0
// (and of every extended boot record), all numbers little-endian.
#include <cstddef>
#include <cstdint>

#include "base/ResourceLimits.h"
#include "base/ByteView.h"

#pragma pack(push, 1)
struct tagMbrEntry
{
    uint8_t BootIndicator; // 0x00 inactive, 0x80 active; anything else marks a corrupt table
    uint8_t StartChs[3];   // not used: CHS addressing cannot reach beyond 8 GB
    uint8_t Type;          // 0 empty, 0x05/0x0F extended, 0x42 dynamic-disk marker
    uint8_t EndChs[3];
    uint32_t FirstSector; // relative to the disk (MBR) or to the record (EBR entry 0)
    uint32_t SectorCount;
};
#pragma pack(pop)
static_assert(sizeof(tagMbrEntry) == 16);
static_assert(offsetof(tagMbrEntry, Type) == 4);
static_assert(offsetof(tagMbrEntry, FirstSector) == 8);
static_assert(offsetof(tagMbrEntry, SectorCount) == 12);

inline constexpr size_t kMbrEntryOffset = 446; // first of four entries
inline constexpr size_t kMbrEntryCount = 4;
inline constexpr size_t kEbrLinkOffset = 462; // entry 1 of an extended boot record
inline constexpr uint8_t kMbrTypeExtended = 0x05;
inline constexpr uint8_t kMbrTypeExtendedLba = 0x0F;
inline constexpr uint8_t kMbrTypeDynamic = 0x42;
inline constexpr uint32_t kMaxExtendedRecords = VlmLimits::kMaxExtendedChain; // bound on one extended chain

inline bool IsExtendedType(uint8_t type) { return type == kMbrTypeExtended || type == kMbrTypeExtendedLba; }

// The entry at `off` of a sector; a zeroed entry when the sector is too short.
inline tagMbrEntry MbrEntryAt(ByteView sector, size_t off)
{
    tagMbrEntry entry;
    LoadRecord(sector, off, entry);
    return entry;
}
