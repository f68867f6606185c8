#pragma once
// exFAT directory entry sets. A file or folder is a set of consecutive 32-byte entries: a
// File entry (attributes, times, the count of entries that follow), a Stream Extension entry
// (first cluster, lengths, whether the data is contiguous) and File Name entries of 15 UTF-16
// units each. A deleted set keeps its bytes with the in-use bit of every type byte cleared;
// the set checksum (taken while the set was in use) still identifies it.
#include <cstdint>
#include <string>

#include "base/ByteView.h"

enum class ExFatSetStatus
{
    Ok,
    NotASet,     // no File entry here
    Truncated,   // the entry count runs past the bytes given (past the folder's end)
    Malformed,   // counts, lengths or entry types that no sound set has
    BadChecksum, // a set whose checksum does not match its bytes
};

struct ExFatTimestamp
{
    uint32_t Packed = 0;    // DOS date (high 16 bits) and time (low 16 bits)
    uint8_t Hundredths = 0; // 10 ms units, 0-199, added to the 2-second time
    uint8_t UtcOffset = 0;  // bit 7: valid; bits 0-6: signed quarter hours east of UTC
};

struct ExFatEntrySet
{
    bool Deleted = false;
    uint32_t EntryCount = 0; // the File entry and its secondaries
    uint16_t Attributes = 0;
    ExFatTimestamp Created;
    ExFatTimestamp Modified;
    ExFatTimestamp Accessed;
    uint8_t StreamFlags = 0;
    uint16_t NameHash = 0;
    uint64_t ValidDataLength = 0;
    uint32_t FirstCluster = 0;
    uint64_t DataLength = 0;
    uint32_t NameLength = 0; // UTF-16 units in Name
    char16_t Name[255] = {};

    bool IsFolder() const { return (Attributes & 0x10) != 0; }
    bool NoFatChain() const { return (StreamFlags & 0x02) != 0; }
};

/// The sum a set's checksum field must hold: over every byte of the set's `count` entries at
/// the start of `set`, the checksum field itself left out, with each type byte's in-use bit
/// set as it was when the sum was taken.
uint16_t ExFatSetChecksum(ByteView set, uint32_t count);

/// Parses the set whose File entry is at `offset` in `entries` (an in-use or a deleted one;
/// a deleted File entry must be followed by deleted secondaries, an in-use one by in-use ones).
ExFatSetStatus ParseExFatEntrySet(ByteView entries, size_t offset, ExFatEntrySet* out);

/// Cheap test for the scan: a File entry (in use or deleted) followed by a Stream Extension
/// entry of the same state, within the view.
bool LooksLikeExFatSet(ByteView entries, size_t offset);

/// The volume label entry at `offset`: true and its UTF-16 units when it is one (in use).
bool ParseExFatLabel(ByteView entries, size_t offset, char16_t* label, uint32_t* length);

/// The same label as UTF-8.
bool ExFatLabelText(ByteView entries, size_t offset, std::string* text);

/// Appends the UTF-8 form of `count` UTF-16 units (unpaired surrogates become U+FFFD).
void ExFatNameToUtf8(const char16_t* name, uint32_t count, char* out, size_t capacity, size_t* written);
