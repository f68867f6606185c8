#pragma once
// Test disks for GPT discovery: a writer of protective MBRs and GPT headers and arrays with their
// CRCs onto an in-memory disk (only the sectors written are kept, so a disk past the gap-search
// thresholds costs little).
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/MemoryMedia.h"
#include "support/TestFiles.h"

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
    void WriteTo(MemoryDisk& disk) const;
    /// Sectors one array takes on `disk`.
    uint64_t ArraySectors(const MemoryDisk& disk) const;
};

/// Recomputes the header CRC of the header in `sector` after a test changed a field.
void FixGptHeaderCrc(std::vector<uint8_t>& sector);
