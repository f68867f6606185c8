#pragma once
// Helpers for the full-scan tests: index records built byte by byte and a volume that lies far
// out on a large disk (the scan itself: support/FullScan.h).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fs/IFileSystem.h"
#include "support/FullScan.h"
#include "tests/ntfs/NtfsRecordBuilder.h"

struct IndexEntrySpec
{
    uint64_t number;
    std::vector<uint8_t> fileName; // a $FILE_NAME value (RecordBuilder::FileName)
};

// An index record of `size` bytes at `vcn` as it lies on disk, the stride tails moved into the
// update sequence array.
inline std::vector<uint8_t> BuildIndexRecord(uint64_t vcn, const std::vector<IndexEntrySpec>& entries,
                                             uint32_t size = 4096, uint16_t usn = 0x0202)
{
    std::vector<uint8_t> r(size, 0);
    std::memcpy(r.data(), "INDX", 4);
    const uint16_t count = static_cast<uint16_t>(size / 512 + 1);
    RecordBuilder::Put16(r, 4, 40);
    RecordBuilder::Put16(r, 6, count);
    RecordBuilder::Put64(r, 16, vcn);
    const uint32_t first = 64;
    RecordBuilder::Put32(r, 24, first - 24);
    size_t pos = first;
    for (const IndexEntrySpec& e : entries)
    {
        const uint16_t length = static_cast<uint16_t>((16 + e.fileName.size() + 7) & ~size_t{7});
        RecordBuilder::Put32(r, pos, static_cast<uint32_t>(e.number));
        RecordBuilder::Put16(r, pos + 4, static_cast<uint16_t>(e.number >> 32));
        RecordBuilder::Put16(r, pos + 8, length);
        RecordBuilder::Put16(r, pos + 10, static_cast<uint16_t>(e.fileName.size()));
        std::memcpy(r.data() + pos + 16, e.fileName.data(), e.fileName.size());
        pos += length;
    }
    RecordBuilder::Put16(r, pos + 8, 16); // closing entry
    RecordBuilder::Put16(r, pos + 12, 2);
    pos += 16;
    RecordBuilder::Put32(r, 28, static_cast<uint32_t>(pos - 24));
    RecordBuilder::Put32(r, 32, size - 24);
    RecordBuilder::Put16(r, 40, usn);
    for (uint16_t i = 1; i < count; ++i)
    {
        std::memcpy(r.data() + 40 + 2 * i, r.data() + i * 512 - 2, 2);
        RecordBuilder::Put16(r, i * 512 - 2, usn);
    }
    return r;
}
