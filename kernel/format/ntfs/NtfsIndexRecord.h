#pragma once
// Directory index records ("INDX" blocks of a directory's $INDEX_ALLOCATION): the check and
// repair of one record and the reduction of its entries to scan records. Each entry carries
// a copy of the child's $FILE_NAME and the child's record number, so the entries name records
// and parents even where the FILE records themselves are lost. Pure functions over bytes.
#include <cstdint>
#include <vector>

#include "base/ResourceLimits.h"
#include "base/ByteView.h"
#include "format/ntfs/NtfsScanRecord.h"

// Index records beyond this many VCNs into a directory are not believed.
inline constexpr int64_t kNtfsMaxIndexVcn = VlmLimits::kMaxIndexVcn;
// Largest index record accepted (real ones are 4 KiB); larger claims are garbage.
inline constexpr uint32_t kNtfsMaxIndexRecordBytes = VlmLimits::kMaxIndexRecordBytes;
// An entry shorter than this has no key (the closing entry of a node).
inline constexpr uint32_t kNtfsMinIndexEntryBytes = 84;

// Validates an index record in `record` (bufferSize bytes readable, strides of
// `bytesPerSector`). The header rules and the sequence number at the end of every stride that
// lies inside the buffer are checked in both modes; with `checkOnly` the buffer may hold only
// the start of the record. Otherwise the whole record must be there and the strides are
// repaired. A bad stride writes "Invalid IndexRecord.".
bool CheckIndexRecord(MutableByteView record, uint32_t bytesPerSector, bool checkOnly);

// Total bytes of the index record that starts the buffer (allocated + 24), 0 when the header
// cannot be read.
uint32_t IndexRecordBytes(ByteView record);

// Fills `out` from one entry (the bytes of the entry, at most its length). False for an entry
// shorter than a key or one that claims a metafile number under another name.
bool ParseIndexEntry(ByteView entry, NtfsScanRecord* out, uint64_t vcn);

// Appends one scan record per entry of a checked and repaired index record found at `sector`;
// the walk ends at the first entry that cannot be taken. Returns the number appended.
size_t CollectIndexEntries(int64_t sector, ByteView record, std::vector<NtfsScanRecord>* out);
