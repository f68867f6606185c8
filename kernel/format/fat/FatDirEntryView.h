#pragma once
// One 32-byte FAT folder slot, read where it lies. A view holds exactly 32 bytes: it is made
// from a fixed-size span, or by At / FatDirEntrySlots, which check that the bytes are there.
// Its accessors read the fields of tagFatDirEntry (a short entry) and tagFatLongNameEntry (a
// long-name part) by their names; the slot is one or the other, as IsLongName tells.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "base/ByteView.h"
#include "format/fat/FatLayout.h"

class FatDirEntryView
{
public:
    using Bytes = std::span<const uint8_t, kFatEntrySize>;
    // The 11 bytes of an 8.3 name as the entry stores them: 8 of base name, 3 of extension.
    using ShortNameBytes = std::span<const uint8_t, 11>;

    explicit FatDirEntryView(Bytes bytes) : m_Bytes(bytes) {}

    /// The slot at byte `offset` of `bytes`; none when fewer than 32 bytes lie there.
    static std::optional<FatDirEntryView> At(ByteView bytes, size_t offset)
    {
        if (!RangeFits(bytes.size(), offset, kFatEntrySize)) return std::nullopt;
        return FatDirEntryView(bytes.subspan(offset).first<kFatEntrySize>());
    }

    Bytes Raw() const { return m_Bytes; }

    // --- Short entry (tagFatDirEntry) ---
    /// Name[0]: 0x00 an unused slot (the folder ends), 0xE5 a deleted entry, else the name's
    /// first byte.
    uint8_t NameLead() const { return m_Bytes[offsetof(tagFatDirEntry, Name)]; }
    /// Name and Ext together, as the checksum and the validity rules take them.
    ShortNameBytes NameAndExt() const
    {
        return m_Bytes.first<sizeof(tagFatDirEntry::Name) + sizeof(tagFatDirEntry::Ext)>();
    }
    std::span<const uint8_t, 8> Name() const { return m_Bytes.subspan<offsetof(tagFatDirEntry, Name), 8>(); }
    std::span<const uint8_t, 3> Ext() const { return m_Bytes.subspan<offsetof(tagFatDirEntry, Ext), 3>(); }
    uint8_t Attributes() const { return m_Bytes[offsetof(tagFatDirEntry, Attributes)]; }
    uint8_t NtCase() const { return m_Bytes[offsetof(tagFatDirEntry, NtCase)]; }
    uint16_t CreateTime() const { return U16(offsetof(tagFatDirEntry, CreateTime)); }
    uint16_t CreateDate() const { return U16(offsetof(tagFatDirEntry, CreateDate)); }
    uint16_t ClusterHigh() const { return U16(offsetof(tagFatDirEntry, ClusterHigh)); }
    uint16_t WriteTime() const { return U16(offsetof(tagFatDirEntry, WriteTime)); }
    uint16_t WriteDate() const { return U16(offsetof(tagFatDirEntry, WriteDate)); }
    uint16_t ClusterLow() const { return U16(offsetof(tagFatDirEntry, ClusterLow)); }
    uint32_t FileSize() const { return U32(offsetof(tagFatDirEntry, FileSize)); }
    /// ClusterHigh and ClusterLow together.
    uint32_t FirstCluster() const { return (uint32_t{ClusterHigh()} << 16) | ClusterLow(); }

    bool IsUnused() const { return NameLead() == 0; }
    bool IsDeleted() const { return NameLead() == kFatDeletedMark; }
    bool IsLongName() const { return Attributes() == FAT_ATTR_LONG_NAME; }
    /// A folder's first two entries: "." (itself) and ".." (its parent).
    bool IsDot() const { return Name()[0] == '.' && Name()[1] == ' '; }
    bool IsDotDot() const { return Name()[0] == '.' && Name()[1] == '.' && Name()[2] == ' '; }
    /// Every byte the same (a filled or wiped slot, not an entry).
    bool AllBytesEqual() const
    {
        for (const uint8_t b : m_Bytes)
            if (b != m_Bytes[0]) return false;
        return true;
    }

    // --- Long-name part (tagFatLongNameEntry) ---
    /// The part number, with kFatLongNameLastFlag on the last part; 0xE5 once deleted.
    uint8_t Sequence() const { return m_Bytes[offsetof(tagFatLongNameEntry, Sequence)]; }
    /// The checksum of the short name the part belongs to.
    uint8_t Checksum() const { return m_Bytes[offsetof(tagFatLongNameEntry, Checksum)]; }
    /// Always 0 in a long-name part.
    uint16_t LongNameCluster() const { return U16(offsetof(tagFatLongNameEntry, Cluster)); }
    /// Character i (0..12) of the part, in reading order across Chars1, Chars2 and Chars3.
    char16_t LongNameChar(size_t i) const
    {
        constexpr size_t n1 = sizeof(tagFatLongNameEntry::Chars1) / 2, n2 = sizeof(tagFatLongNameEntry::Chars2) / 2;
        if (i < n1) return static_cast<char16_t>(U16(offsetof(tagFatLongNameEntry, Chars1) + 2 * i));
        if (i < n1 + n2) return static_cast<char16_t>(U16(offsetof(tagFatLongNameEntry, Chars2) + 2 * (i - n1)));
        if (i < kFatLongNameChars)
            return static_cast<char16_t>(U16(offsetof(tagFatLongNameEntry, Chars3) + 2 * (i - n1 - n2)));
        return 0;
    }

private:
    // Fixed offsets inside the 32 bytes the view holds.
    uint16_t U16(size_t off) const { return PeekU16LE(m_Bytes.data() + off); }
    uint32_t U32(size_t off) const { return PeekU32LE(m_Bytes.data() + off); }

    Bytes m_Bytes;
};

static_assert(sizeof(tagFatLongNameEntry) == kFatEntrySize && sizeof(tagFatDirEntry) == kFatEntrySize);

// The whole 32-byte slots of a folder buffer, in order; bytes after the last whole slot are
// none.
class FatDirEntrySlots
{
public:
    explicit FatDirEntrySlots(ByteView bytes) : m_Bytes(bytes) {}

    size_t size() const { return m_Bytes.size() / kFatEntrySize; }
    /// Slot i; none past the last whole slot.
    std::optional<FatDirEntryView> operator[](size_t i) const
    {
        if (i >= size()) return std::nullopt;
        return FatDirEntryView(m_Bytes.subspan(i * kFatEntrySize).first<kFatEntrySize>());
    }

    class Iterator
    {
    public:
        Iterator(ByteView bytes, size_t at) : m_Bytes(bytes), m_At(at) {}
        FatDirEntryView operator*() const { return FatDirEntryView(m_Bytes.subspan(m_At).first<kFatEntrySize>()); }
        Iterator& operator++()
        {
            m_At += kFatEntrySize;
            return *this;
        }
        bool operator!=(const Iterator& o) const { return m_At != o.m_At; }

    private:
        ByteView m_Bytes;
        size_t m_At;
    };
    Iterator begin() const { return Iterator(m_Bytes, 0); }
    Iterator end() const { return Iterator(m_Bytes, size() * kFatEntrySize); }

private:
    ByteView m_Bytes;
};
