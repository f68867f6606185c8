#pragma once
// FILE records: the check at the gate, the update-sequence repair and the bounded attribute
// walk. Pure functions over bytes; no I/O. Everything downstream works on attributes that
// FindAttribute returned, whose bytes lie wholly inside the record buffer.
#include <cstdint>
#include <optional>
#include <string>

#include "base/ByteView.h"
#include "format/ntfs/NtfsFileName.h"
#include "format/ntfs/NtfsLayout.h"

// Validates a FILE record in `buffer` (bufferSize bytes readable). Header rules, then the
// sequence number at the end of every 512-byte stride that lies inside the buffer. With
// `checkOnly` that is all; otherwise the buffer must hold the whole allocated record, the
// strides are repaired and every attribute is checked (value inside the attribute, runlist
// headers of $DATA sane, no forbidden character in a $FILE_NAME).
bool CheckFileRecord(MutableByteView record, bool checkOnly);

// Puts the saved bytes of the update sequence array back at the end of every stride.
bool ApplyFileRecordFixup(MutableByteView record);

// An attribute of a record as FindAttribute hands it out: its bytes lie wholly inside the
// record buffer and its header fits its length; a resident one also has its value inside it,
// a non-resident one the whole non-resident header. An empty one means "not found".
struct NtfsAttribute
{
    tagNtfsAttributeHeader Header{};
    ByteView Bytes; // the whole attribute, header included

    explicit operator bool() const { return !Bytes.empty(); }
    bool IsResident() const { return Header.NonResident == 0; }
    bool IsNamed() const { return Header.NameLength != 0; }
    /// The name's UTF-16LE bytes; empty when it has none or the name does not fit in it.
    ByteView NameUnits() const
    {
        const size_t bytes = 2u * Header.NameLength;
        return RangeFits(Bytes.size(), Header.NameOffset, bytes) ? Bytes.subspan(Header.NameOffset, bytes) : ByteView{};
    }
};

// The `nth` (from 0) attribute of `type` in a checked record, or an empty one.
NtfsAttribute FindAttribute(ByteView record, uint32_t type, int nth);

// The value of a resident attribute; false for a non-resident or empty one.
bool ResidentValue(const NtfsAttribute& attribute, ByteView* value);

// The $FILE_NAME that names a record: the first one, or the second when that is the Win32
// long name (a short DOS name usually comes first). None when there is none.
std::optional<NtfsFileNameView> ChooseFileName(ByteView record);

// The header of a non-resident attribute and its runlist bytes (to the attribute's end);
// false for a resident one or one too short for its header.
bool NonResidentHeader(const NtfsAttribute& attribute, tagNtfsNonResidentAttribute* header, ByteView* mappingPairs);

// The first unnamed $DATA among instances 0 .. 4 (the search ends at the first missing
// instance), or an empty one.
NtfsAttribute FindUnnamedData(ByteView record);

// The header of a record (false when the view is shorter than it).
bool LoadFileRecordHeader(ByteView record, tagNtfsFileRecordHeader* out);

// Converts the whole UTF-16LE units of `name` (stopping at a zero unit) to the 8-bit form kept
// in records, at most 519 bytes; a unit with no equivalent becomes "_". Always true.
bool ConvertName(ByteView name, std::string* out);
