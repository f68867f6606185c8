#pragma once
// One $FILE_NAME value, read where it lies: the value of a $FILE_NAME attribute, or the key of
// a directory index entry (which is a copy of it). A view holds at least the fixed part of
// tagNtfsFileName: it is made by Of, which checks that those bytes are there. Its accessors
// read the fields by their names. The name's UTF-16 units follow the fixed part; NameLength
// counts them, but only the units that lie inside the value are ever read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/ByteView.h"
#include "format/ntfs/NtfsLayout.h"

class NtfsFileNameView
{
public:
    /// The value as a $FILE_NAME; none when it is shorter than the fixed part.
    static std::optional<NtfsFileNameView> Of(ByteView value)
    {
        if (value.size() < sizeof(tagNtfsFileName)) return std::nullopt;
        return NtfsFileNameView(value);
    }

    uint32_t ParentLow() const { return U32(offsetof(tagNtfsFileName, ParentLow)); }
    uint16_t ParentHigh() const { return U16(offsetof(tagNtfsFileName, ParentHigh)); }
    uint16_t ParentSequence() const { return U16(offsetof(tagNtfsFileName, ParentSequence)); }
    /// The parent's record number: ParentLow and ParentHigh together (48 bits).
    uint64_t ParentRecord() const { return ParentLow() | (static_cast<uint64_t>(ParentHigh()) << 32); }
    uint64_t CreationTime() const { return U64(offsetof(tagNtfsFileName, CreationTime)); }
    uint64_t ModificationTime() const { return U64(offsetof(tagNtfsFileName, ModificationTime)); }
    uint64_t MftChangeTime() const { return U64(offsetof(tagNtfsFileName, MftChangeTime)); }
    uint64_t AccessTime() const { return U64(offsetof(tagNtfsFileName, AccessTime)); }
    uint64_t AllocatedSize() const { return U64(offsetof(tagNtfsFileName, AllocatedSize)); }
    uint64_t DataSize() const { return U64(offsetof(tagNtfsFileName, DataSize)); }
    /// kNtfsNameFlag* bits; the low 16 are file-attribute bits.
    uint32_t Flags() const { return U32(offsetof(tagNtfsFileName, Flags)); }
    uint32_t ReparseTag() const { return U32(offsetof(tagNtfsFileName, ReparseTag)); }
    /// The name's length as stored, in UTF-16 units (more than the value may hold).
    uint8_t NameLength() const { return m_Value[offsetof(tagNtfsFileName, NameLength)]; }
    uint8_t NameSpace() const { return m_Value[offsetof(tagNtfsFileName, NameSpace)]; }
    bool IsDirectory() const { return (Flags() & kNtfsNameFlagDirectory) != 0; }

    /// The name's UTF-16LE bytes: NameLength units, fewer when the value ends first.
    ByteView NameUnits() const
    {
        const ByteView tail = m_Value.subspan(sizeof(tagNtfsFileName));
        return tail.first(std::min<size_t>(NameLength(), tail.size() / 2) * 2);
    }
    /// The name in the 8-bit form kept in records (ConvertName of NameUnits).
    std::string Name() const;

private:
    explicit NtfsFileNameView(ByteView value) : m_Value(value) {}

    // Offsets inside the fixed part, which Of checked.
    uint16_t U16(size_t off) const { return PeekU16LE(m_Value.data() + off); }
    uint32_t U32(size_t off) const { return PeekU32LE(m_Value.data() + off); }
    uint64_t U64(size_t off) const { return PeekU64LE(m_Value.data() + off); }

    ByteView m_Value;
};
