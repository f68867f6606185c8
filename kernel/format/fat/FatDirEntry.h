#pragma once
// Plausibility checks for 32-byte FAT directory entries. They separate real entries, present
// or deleted, from the garbage a sector scan meets; each takes one 32-byte entry view.
#include <cstdint>
#include <string>

#include "base/ByteView.h"
#include "format/fat/FatDirEntryView.h"

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

// The 11 name bytes: no control bytes (below 0x1A), none of " * / : < > ? \ | and 0xFF, and
// in the 8-byte base name a blank is followed only by blanks.
bool IsValidShortName(FatDirEntryView::ShortNameBytes name);

// False for null, empty, or a name with ? * | \ / : " < or >.
bool IsCleanName(const char* name);

bool IsValidEntry(FatDirEntryView entry, const FatEntryLimits& limits);

// The looser test of the gap search, which knows only the cluster count of a FAT32 boot sector
// it found: an entry that could belong to a file system of `clusters` clusters (0: unknown).
// A long-name part passes as IsValidEntry takes it; a short entry needs a first cluster below
// `clusters`, data only with a cluster of 2 or more, no forbidden name byte, no reserved
// attribute bit, and a time stamp unless it is the volume label.
bool IsPlausibleFolderEntry(FatDirEntryView entry, uint64_t clusters);

// Time stamps: creation (unless its date or time is 0) and last write must be real clock
// readings; reserved attribute bit 0x40 fails. Long-name parts pass.
bool HasValidTimes(FatDirEntryView entry);

// A sector that continues a folder (not its first: no dot entries needed): its first entry is
// valid, and of the entries before the end marker at least three and at least half are valid,
// or it holds a single valid entry of a plausible size, or two sound entries (a long name with
// its short entry, or two short ones) of plausible sizes.
bool LooksLikeFolderPart(ByteView sector, const FatEntryLimits& limits);

// The checksum a long-name part stores of the 11 short-name bytes it belongs to.
uint8_t FatShortNameChecksum(FatDirEntryView::ShortNameBytes name);

// "NAME.EXT" from the 8.3 fields; a deleted entry's first byte becomes '_'.
std::string FatShortName(FatDirEntryView entry);

// The label of a FAT root folder (`root`: its first sectors): the first entry with the volume
// bit, skipping long-name parts and deleted entries, ending at an unused entry; blanks and tabs
// around it removed and the DOS code page converted. False when there is none.
bool FatRootLabel(ByteView root, std::string* label);
