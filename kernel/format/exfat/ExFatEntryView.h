#pragma once
// One 32-byte exFAT folder entry, read where it lies. A view holds exactly 32 bytes: it is
// made from a fixed-size span, or by At / ExFatEntrySlots, which check that the bytes are
// there. Its accessors read the fields of each entry type (ExFatLayout.h) by their names; the
// type byte says which of them apply.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "base/ByteView.h"
#include "format/exfat/ExFatLayout.h"

class ExFatEntryView
{
public:
    using Bytes = std::span<const uint8_t, ExFat::kEntryBytes>;

    explicit ExFatEntryView(Bytes bytes) : m_Bytes(bytes) {}

    /// The entry at byte `offset` of `bytes`; none when fewer than 32 bytes lie there.
    static std::optional<ExFatEntryView> At(ByteView bytes, size_t offset)
    {
        if (!RangeFits(bytes.size(), offset, ExFat::kEntryBytes)) return std::nullopt;
        return ExFatEntryView(bytes.subspan(offset).first<ExFat::kEntryBytes>());
    }

    /// The type byte: 0 ends the folder; bit 7 (kInUse) is cleared in a deleted entry.
    uint8_t EntryType() const { return m_Bytes[0]; }
    bool InUse() const { return (EntryType() & ExFat::kInUse) != 0; }
    bool IsEndOfDirectory() const { return EntryType() == ExFat::kTypeEndOfDirectory; }
    /// The type whether the entry is in use or deleted: `type` with or without kInUse.
    bool IsOfType(uint8_t type) const
    {
        return (EntryType() & static_cast<uint8_t>(~ExFat::kInUse)) == (type & static_cast<uint8_t>(~ExFat::kInUse));
    }
    /// Bit 6 of the type: a secondary entry of a set.
    bool IsSecondary() const { return (EntryType() & 0x40) != 0; }

    // --- File entry (primary of a set) ---
    uint8_t SecondaryCount() const { return m_Bytes[ExFat::kOffSecondaryCount]; }
    uint16_t SetChecksum() const { return U16(ExFat::kOffSetChecksum); }
    uint16_t FileAttributes() const { return U16(ExFat::kOffAttributes); }
    uint32_t CreateTime() const { return U32(ExFat::kOffCreateTime); }
    uint32_t ModifyTime() const { return U32(ExFat::kOffModifyTime); }
    uint32_t AccessTime() const { return U32(ExFat::kOffAccessTime); }
    uint8_t Create10ms() const { return m_Bytes[ExFat::kOffCreate10ms]; }
    uint8_t Modify10ms() const { return m_Bytes[ExFat::kOffModify10ms]; }
    uint8_t CreateUtcOffset() const { return m_Bytes[ExFat::kOffCreateUtcOffset]; }
    uint8_t ModifyUtcOffset() const { return m_Bytes[ExFat::kOffModifyUtcOffset]; }
    uint8_t AccessUtcOffset() const { return m_Bytes[ExFat::kOffAccessUtcOffset]; }

    // --- Stream extension entry; FirstCluster and DataLength also of bitmap and upcase ---
    uint8_t StreamFlags() const { return m_Bytes[ExFat::kOffStreamFlags]; }
    uint8_t NameLength() const { return m_Bytes[ExFat::kOffNameLength]; }
    uint16_t NameHash() const { return U16(ExFat::kOffNameHash); }
    uint64_t ValidDataLength() const { return U64(ExFat::kOffValidDataLength); }
    uint32_t FirstCluster() const { return U32(ExFat::kOffFirstCluster); }
    uint64_t DataLength() const { return U64(ExFat::kOffDataLength); }

    // --- File name entry ---
    /// UTF-16 unit i (< kNameCharsPerEntry) of the entry's part of the name.
    char16_t NameChar(size_t i) const
    {
        return i < ExFat::kNameCharsPerEntry ? static_cast<char16_t>(U16(ExFat::kOffNameChars + 2 * i)) : 0;
    }

    // --- Volume label, bitmap and upcase entries ---
    uint8_t LabelLength() const { return m_Bytes[ExFat::kOffLabelLength]; }
    /// UTF-16 unit i (< kMaxLabelLength) of the label.
    char16_t LabelChar(size_t i) const
    {
        return i < ExFat::kMaxLabelLength ? static_cast<char16_t>(U16(ExFat::kOffLabelChars + 2 * i)) : 0;
    }
    uint8_t BitmapFlags() const { return m_Bytes[ExFat::kOffBitmapFlags]; }
    uint32_t UpcaseChecksum() const { return U32(ExFat::kOffUpcaseChecksum); }

private:
    // Fixed offsets inside the 32 bytes the view holds.
    uint16_t U16(size_t off) const { return PeekU16LE(m_Bytes.data() + off); }
    uint32_t U32(size_t off) const { return PeekU32LE(m_Bytes.data() + off); }
    uint64_t U64(size_t off) const { return PeekU64LE(m_Bytes.data() + off); }

    Bytes m_Bytes;
};
