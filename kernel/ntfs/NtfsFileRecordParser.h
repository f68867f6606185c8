#pragma once
// From a checked FILE record to what the engine keeps of it: the node record of the listing,
// and the runs of the file's unnamed data, also when they are spread over extension records
// named by a resident $ATTRIBUTE_LIST.
#include <cstdint>
#include <functional>
#include <string>

#include "fs/IOutStream.h"
#include "fs/tagFileNode.h"
#include "ntfs/NtfsLayout.h"

class KNtfsMft;

// Fills `out` (zeroed by the caller) and `name` from a record that passed CheckFileRecord with
// its fixup applied; false when the record has no usable $FILE_NAME. Times are converted to
// local time.
bool ParseFileRecord(KNtfsMft& mft, const uint8_t* record, uint32_t recordNumber, std::string* name,
                     tagNtfsFileNode* out);

// Walks the entries of the record's resident $ATTRIBUTE_LIST, calling `visit` for each until
// it returns false, an entry of length 0 or one that does not fit ends the list. False when
// the record has no resident attribute list (value offset 0).
bool WalkAttributeList(const uint8_t* record, int bufferSize,
                       const std::function<bool(const tagNtfsAttributeListEntry&)>& visit);

// How an extension record named by an attribute-list entry was read.
enum class NtfsExtension
{
    Ok,       // read and checked; `buffer` holds it
    Missing,  // no sector, no buffer or a read error
    Invalid,  // read but failed its check
};
NtfsExtension ReadExtensionRecord(KNtfsMft& mft, uint32_t recordNumber, std::vector<uint8_t>* buffer);
