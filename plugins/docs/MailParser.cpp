#include "MailParser.h"

#include <cstring>

#include "DocSearch.h"
#include "DocsLayout.h"

DocProbe ParsePst(IDocSource& src)
{
    DocProbe probe;
    uint8_t head[16];
    if (!src.Read(0, head, sizeof head) || std::memcmp(head, kPstMagic, 4) != 0) return probe;
    if (PeekU16LE(head + 8) != kPstClientMagic) return probe;
    // Both platform bytes are 0x01 in every store.
    if (head[kPstPlatformOffset] != 0x01 || head[kPstPlatformOffset + 1] != 0x01) return probe;
    const uint16_t version = PeekU16LE(head + kPstVersionOffset);
    uint64_t eof = 0;
    if (version == 14 || version == 15)
    {
        uint32_t eof32 = 0;
        if (!SrcU32(src, kPstAnsiEofOffset, eof32)) return probe;
        eof = eof32;
    }
    else if (version >= 23 && version <= 0x40)
    {
        if (!SrcU64(src, kPstUnicodeEofOffset, eof)) return probe;
    }
    else
    {
        return probe;
    }
    // A store holds at least its header and the first allocation map page.
    if (eof <= kPstFirstAmap) return probe;
    probe.kind = DocKind::Pst;
    if (Reaches(src, eof)) probe.size = eof;
    return probe;
}

DocProbe ParseDbx(IDocSource& src)
{
    DocProbe probe;
    uint8_t head[20];
    if (!src.Read(0, head, sizeof head) || std::memcmp(head, kDbxMagic, 4) != 0) return probe;
    // Bytes 4..19 are a class identifier: message store, folder list, POP3 list or offline
    // store. The first three share their last twelve bytes.
    static constexpr uint8_t kClassTail[12] = {0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};
    const bool family = head[5] == 0xFD && head[6] == 0x74 && head[7] == 0x6F &&
        (head[4] == 0xC5 || head[4] == 0xC6 || head[4] == 0xC7) &&
        std::memcmp(head + 8, kClassTail, sizeof kClassTail) == 0;
    const bool offline = head[4] == 0x30 && head[5] == 0x9D && head[6] == 0xFE && head[7] == 0x26;
    if (!family && !offline) return probe;
    uint32_t size = 0;
    if (!SrcU32(src, kDbxFileSizeOffset, size) || size < kDbxHeaderSize) return probe;
    probe.kind = DocKind::Dbx;
    if (Reaches(src, size)) probe.size = size;
    return probe;
}
