#pragma once
// Plausibility checks for 32-byte FAT directory entries. They separate real entries, present
// or deleted, from the garbage a sector scan meets, and they run on raw bytes: every caller
// hands exactly 32 bytes it has already bounded.
#include <cstdint>
#include <string>

#include "base/ByteView.h"

// What an entry is checked against: the geometry of the selected file system, or the empty
// one of a scan (cluster count 0, data start = end sector = 0), where the volume's sector
// count bounds the first cluster and the data-area size test is off.
struct FatEntryLimits
{
    uint32_t ClusterCount = 0;  // entries of the table; 0 unknown
    uint64_t VolumeSectors = 0; // the volume's total sectors
    int64_t DataStart = 0;
    int64_t EndSector = 0;
    uint32_t BytesPerSector = 512;
};

inline uint32_t FatEntryFirstCluster(const uint8_t* e)
{
    return (static_cast<uint32_t>(e[20] | (e[21] << 8)) << 16) | static_cast<uint32_t>(e[26] | (e[27] << 8));
}
inline uint32_t FatEntrySize(const uint8_t* e)
{
    return static_cast<uint32_t>(e[28]) | (static_cast<uint32_t>(e[29]) << 8) | (static_cast<uint32_t>(e[30]) << 16) |
        (static_cast<uint32_t>(e[31]) << 24);
}
inline bool FatEntryIsLongName(const uint8_t* e) { return e[11] == 0x0F; }
// A folder's first two entries: "." (itself) and ".." (its parent).
inline bool FatEntryIsDot(const uint8_t* e) { return e[0] == '.' && e[1] == ' '; }
inline bool FatEntryIsDotDot(const uint8_t* e) { return e[0] == '.' && e[1] == '.' && e[2] == ' '; }

// The 11 name bytes: no control bytes (below 0x1A), none of " * / : < > ? \ | and 0xFF, and
// in the 8-byte base name a blank is followed only by blanks.
bool IsValidShortName(const uint8_t* name11);

// False for null, empty, or a name with ? * | \ / : " < or >.
bool IsCleanName(const char* name);

bool IsValidEntry(const uint8_t* entry, const FatEntryLimits& limits);

// Time stamps: creation (unless its date or time is 0) and last write must be real clock
// readings; reserved attribute bit 0x40 fails. Long-name parts pass.
bool HasValidTimes(const uint8_t* entry);

// A sector that continues a folder (not its first: no dot entries needed): its first entry is
// valid, and of the entries before the end marker at least three and at least half are valid,
// or it holds a single valid entry of a plausible size, or two sound entries (a long name with
// its short entry, or two short ones) of plausible sizes.
bool LooksLikeFolderPart(ByteView sector, const FatEntryLimits& limits);

// The checksum a long-name entry stores (byte 13) of the 11 short-name bytes it belongs to.
uint8_t FatShortNameChecksum(const uint8_t* name11);

// "NAME.EXT" from the 8.3 fields; a deleted entry's first byte becomes '_'.
std::string FatShortName(const uint8_t* entry);
