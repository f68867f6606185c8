#pragma once
// From a checked FILE record to what the engine keeps of it: the node record of the listing,
// and the runs of the file's unnamed data, also when they are spread over extension records
// named by a resident $ATTRIBUTE_LIST.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/ResourceLimits.h"
#include "fs/IOutStream.h"
#include "fs/tagFileNode.h"
#include "format/ntfs/NtfsLayout.h"
#include "format/ntfs/NtfsRecord.h"

class KNtfsMft;

// The id of the "Lost Files" folder of a listing: files whose folder is unknown go there.
inline constexpr uint32_t kNtfsLostFilesId = 1;

// Fills `out` (zeroed by the caller) and `name` from a record that passed CheckFileRecord with
// its fixup applied. A base record without a usable $FILE_NAME that still holds a file's data
// is named "Record <n>" and placed in "Lost Files"; false for any other record without a name.
// Times are converted to local time.
bool ParseFileRecord(KNtfsMft& mft, ByteView record, uint32_t recordNumber, std::string* name, tagNtfsFileNode* out);

// Calls `visit` with the name and parent record (low 32 bits) of every other hard link of a
// file: each $FILE_NAME of the record, and of the extension records its attribute list names
// that still belong to record `self`, but the DOS short names and the pair ParseFileRecord
// chose (`name` in `parent`); each pair once, at most kNtfsMaxHardLinks of them.
inline constexpr int kNtfsMaxHardLinks = 1024;
void ForEachOtherHardLink(KNtfsMft& mft, ByteView record, uint32_t self, const std::string& name, uint32_t parent,
                          const std::function<bool(const std::string& name, uint32_t parent)>& visit);

// The node of a named stream of `file` (a node ParseFileRecord made) from the stream's first
// $DATA extent: the file's ids, times and record, the stream's size, compression and
// encryption, and FN_KIND_STREAM. The caller names it "<file>:<stream>".
void MakeStreamNode(const tagNtfsFileNode& file, const NtfsAttribute& attribute, tagNtfsFileNode* out);

// Largest $ATTRIBUTE_LIST value read through its runs; a longer one is cut to this size (the
// entries that fit are still walked).
inline constexpr uint64_t kNtfsMaxAttributeListBytes = VlmLimits::kMaxAttributeListBytes;

// Walks the entries of the record's $ATTRIBUTE_LIST, calling `visit` for each until it
// returns false, an entry of length 0 or one that does not fit ends the list. A list that is
// too long for the record lies in clusters of its own and is read through its runs with the
// open file system of `mft`. False when the record has no attribute list (a resident one with
// value offset 0, or a non-resident one that cannot be read).
bool WalkAttributeList(KNtfsMft& mft, ByteView record,
                       const std::function<bool(const tagNtfsAttributeListEntry&)>& visit);

// Reads the value of a non-resident attribute through its runs, at most `maxBytes` of it
// (holes read as zeros). Sectors that cannot be read are zeros too; `unreadable` (optional)
// receives their count. False without runs, or when a whole run cannot be read.
bool ReadNonResidentValue(KNtfsMft& mft, const NtfsAttribute& attribute, uint64_t maxBytes, std::vector<uint8_t>* out,
                          uint64_t* unreadable = nullptr);

// How an extension record named by an attribute-list entry was read.
enum class NtfsExtension
{
    Ok,      // read and checked; `buffer` holds it
    Missing, // no sector, no buffer or a read error
    Invalid, // read but failed its check
};
// The record is found through `mftRuns`, or the open MFT's runs when null (the $MFT's own
// extension records are read through the part of it mapped so far).
NtfsExtension ReadExtensionRecord(KNtfsMft& mft, uint32_t recordNumber, std::vector<uint8_t>* buffer,
                                  const StreamVector* mftRuns = nullptr);

// The unnamed non-resident $DATA of a checked record whose extent starts at `firstVcn`, or null.
NtfsAttribute FindDataExtent(ByteView record, uint64_t firstVcn);
