#include "SyntheticFiles.h"

#include <cstring>

#include "support/TestFiles.h"

namespace {
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v, bool be = false)
{
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = static_cast<uint8_t>(be ? v >> 8 : v);
    b[at + 1] = static_cast<uint8_t>(be ? v : v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v, bool be = false)
{
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (be ? 24 - 8 * i : 8 * i));
}
void PutText(std::vector<uint8_t>& b, size_t at, const std::string& s)
{
    if (s.empty()) return;
    if (b.size() < at + s.size()) b.resize(at + s.size());
    std::memcpy(b.data() + at, s.data(), s.size());
}
void Fill(std::vector<uint8_t>& b, size_t at, size_t n, uint32_t seed)
{
    if (n == 0) return;
    const std::vector<uint8_t> p = PatternBytes(n, seed);
    if (b.size() < at + n) b.resize(at + n);
    std::memcpy(b.data() + at, p.data(), n);
}
void Append(std::vector<uint8_t>& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
} // namespace

std::vector<uint8_t> TiffLikeFile(const char magic[4], const std::string& make, bool canonMark, bool dng,
                                  uint32_t payload)
{
    std::vector<uint8_t> b(magic, magic + 4);
    const uint32_t ifd = canonMark ? 16 : 8;
    Put32(b, 4, ifd);
    if (canonMark) PutText(b, 8, std::string("CR\x02\0\0\0\0\0", 8));
    const uint16_t entries = dng ? 7 : 6;
    const uint32_t makeAt = ifd + 2 + 12u * entries + 4;
    const uint32_t stripAt = (makeAt + static_cast<uint32_t>(make.size()) + 1 + 1) & ~1u;
    Put16(b, ifd, entries);
    size_t e = ifd + 2;
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        Put16(b, e, tag);
        Put16(b, e + 2, type);
        Put32(b, e + 4, count);
        Put32(b, e + 8, value);
        e += 12;
    };
    entry(256, 3, 1, 64);                                          // width
    entry(257, 3, 1, 32);                                          // height
    entry(271, 2, static_cast<uint32_t>(make.size() + 1), makeAt); // Make
    entry(273, 4, 1, stripAt);                                     // StripOffsets
    entry(277, 3, 1, 1);                                           // SamplesPerPixel
    entry(279, 4, 1, payload);                                     // StripByteCounts
    if (dng) entry(50706, 1, 4, 0x00000401);                       // DNGVersion 1.4
    Put32(b, e, 0);
    PutText(b, makeAt, make + '\0');
    Fill(b, stripAt, payload, 71);
    return b;
}

std::vector<uint8_t> RafFile()
{
    std::vector<uint8_t> b;
    Append(b, "FUJIFILMCCD-RAW 0201FF383501");
    PutText(b, 28, "X-T30");
    b.resize(84, 0);
    PutText(b, 60, "0100");
    const uint32_t parts[6] = {0x200, 0x300, 0x500, 0x40, 0x600, 0x800};
    for (size_t i = 0; i < 6; ++i) Put32(b, 84 + 4 * i, parts[i], true);
    Fill(b, 0x200, 0x300, 72);
    Fill(b, 0x500, 0x40, 73);
    Fill(b, 0x600, 0x800, 74);
    return b;
}

std::vector<uint8_t> PeFile(bool library)
{
    std::vector<uint8_t> b(0x400, 0);
    PutText(b, 0, "MZ");
    Put32(b, 0x3C, 0x80);
    PutText(b, 0x80, std::string("PE\0\0", 4));
    const size_t coff = 0x84, opt = coff + 20;
    Put16(b, coff, 0x8664);
    Put16(b, coff + 2, 2);    // sections
    Put16(b, coff + 16, 240); // optional header bytes (PE32+)
    Put16(b, coff + 18, library ? 0x2022 : 0x0022);
    Put16(b, opt, 0x20B);
    Put32(b, opt + 60, 0x400);              // SizeOfHeaders
    Put32(b, opt + 108, 16);                // data directories
    Put32(b, opt + 112 + 8 * 4, 0xA00);     // certificate table: file offset
    Put32(b, opt + 112 + 8 * 4 + 4, 0x108); // and length
    const size_t sec = opt + 240;
    PutText(b, sec, ".text");
    Put32(b, sec + 16, 0x200);
    Put32(b, sec + 20, 0x400);
    PutText(b, sec + 40, ".data");
    Put32(b, sec + 40 + 16, 0x400);
    Put32(b, sec + 40 + 20, 0x600);
    Fill(b, 0x400, 0x708, 75);
    return b;
}

std::vector<uint8_t> RegistryHive()
{
    std::vector<uint8_t> b(4096, 0);
    PutText(b, 0, "regf");
    Put32(b, 4, 7);
    Put32(b, 8, 7);
    Put32(b, 0x14, 1);
    Put32(b, 0x18, 5);
    Put32(b, 0x20, 1);
    Put32(b, 0x24, 0x20);
    Put32(b, 0x28, 8192);
    uint32_t x = 0;
    for (size_t i = 0; i < 0x1FC; i += 4)
        x ^= static_cast<uint32_t>(b[i] | b[i + 1] << 8 | b[i + 2] << 16 | b[i + 3] << 24);
    Put32(b, 0x1FC, x);
    for (uint32_t bin = 0; bin < 2; ++bin)
    {
        const size_t at = 4096 + 4096u * bin;
        Fill(b, at, 4096, 76 + bin);
        PutText(b, at, "hbin");
        Put32(b, at + 4, 4096 * bin);
        Put32(b, at + 8, 4096);
    }
    return b;
}

std::vector<uint8_t> ShortcutFile()
{
    std::vector<uint8_t> b(0x4C, 0);
    Put32(b, 0, 0x4C);
    const uint8_t clsid[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    std::memcpy(b.data() + 4, clsid, 16);
    Put32(b, 0x14, 0x01 | 0x04 | 0x80); // an item id list, a name, Unicode strings
    Put16(b, 0x4C, 22);                 // the id list: one 20-byte item and the end mark
    Put16(b, 0x4E, 20);
    Fill(b, 0x50, 18, 78);
    Put16(b, 0x62, 0);
    const size_t name = 0x64;
    Put16(b, name, 4);
    PutText(b, name + 2, std::string("N\0o\0t\0e\0", 8));
    const size_t extra = name + 10;
    Put32(b, extra, 16); // one extra block of 16 bytes
    Put32(b, extra + 4, 0xA0000003);
    Fill(b, extra + 8, 8, 79);
    Put32(b, extra + 16, 0); // the terminal block
    return b;
}

std::vector<uint8_t> MidiFile()
{
    std::vector<uint8_t> b;
    Append(b, std::string("MThd\0\0\0\x06\0\x01\0\x02\x01\xE0", 14));
    const std::string tempo("\0\xFF\x51\x03\x07\xA1\x20\0\xFF\x2F\0", 11);
    const std::string notes("\0\x90\x3C\x40\x83\x60\x80\x3C\x40\0\xFF\x2F\0", 13);
    for (const std::string& t : {tempo, notes})
    {
        Append(b, "MTrk");
        Put32(b, b.size(), static_cast<uint32_t>(t.size()), true);
        Append(b, t);
    }
    return b;
}

std::vector<uint8_t> DjvuFile()
{
    std::vector<uint8_t> b;
    Append(b, "AT&TFORM");
    Put32(b, 8, 0, true);
    Append(b, "DJVUINFO");
    Put32(b, b.size(), 10, true);
    Append(b, std::string("\0\x40\0\x20\x18\0\x64\0\x16\0", 10));
    Append(b, "Sjbz");
    Put32(b, b.size(), 301, true);
    Fill(b, b.size(), 301, 80);
    b.push_back(0); // chunks are padded to even lengths
    Put32(b, 8, static_cast<uint32_t>(b.size() - 12), true);
    return b;
}

std::vector<uint8_t> AmrFile()
{
    std::vector<uint8_t> b;
    Append(b, "#!AMR\n");
    for (int i = 0; i < 40; ++i)
    {
        b.push_back(0x3C); // frame type 7 (12.2 kbit/s), quality good
        Fill(b, b.size(), 31, 81 + static_cast<uint32_t>(i));
    }
    return b;
}

std::vector<uint8_t> EmfFile()
{
    std::vector<uint8_t> b(108, 0);
    Put32(b, 0, 1); // header record
    Put32(b, 4, 108);
    PutText(b, 40, " EMF");
    Put32(b, 44, 0x10000);
    Put32(b, 52, 3);          // records: header, one drawing record, end of file
    Put32(b, b.size(), 0x1B); // a move-to record of 16 bytes
    Put32(b, b.size(), 16);
    Put32(b, b.size(), 10);
    Put32(b, b.size(), 20);
    Put32(b, b.size(), 14); // the end-of-file record of 20 bytes
    Put32(b, b.size(), 20);
    Put32(b, b.size(), 0);
    Put32(b, b.size(), 16);
    Put32(b, b.size(), 20);
    Put32(b, 48, static_cast<uint32_t>(b.size()));
    return b;
}

std::vector<uint8_t> EventLog()
{
    std::vector<uint8_t> b(4096, 0);
    PutText(b, 0, std::string("ElfFile\0", 8));
    Put32(b, 32, 128);
    Put16(b, 36, 2);
    Put16(b, 38, 3);
    Put16(b, 40, 4096);
    Put16(b, 42, 2);
    for (size_t chunk = 0; chunk < 2; ++chunk)
    {
        const size_t at = 4096 + 65536 * chunk;
        Fill(b, at, 65536, 82 + static_cast<uint32_t>(chunk));
        PutText(b, at, std::string("ElfChnk\0", 8));
    }
    return b;
}

std::vector<uint8_t> KdbxFile()
{
    std::vector<uint8_t> b;
    Append(b, std::string("\x03\xD9\xA2\x9A\x67\xFB\x4B\xB5\x01\0\x04\0", 12));
    auto field = [&](uint8_t id, uint32_t length) {
        b.push_back(id);
        Put32(b, b.size(), length);
        Fill(b, b.size(), length, 90u + id);
    };
    field(2, 16); // cipher id
    field(3, 4);  // compression
    field(4, 32); // master seed
    field(7, 16); // encryption iv
    b.push_back(0);
    Put32(b, b.size(), 4);
    Append(b, "\r\n\r\n");
    Fill(b, b.size(), 64, 95); // header hash and HMAC
    for (uint32_t length : {1000u, 300u, 0u})
    {
        Fill(b, b.size(), 32, 96 + length);
        Put32(b, b.size(), length);
        Fill(b, b.size(), length, 97 + length);
    }
    return b;
}

std::vector<uint8_t> CursorFromIcon(std::vector<uint8_t> icon)
{
    if (icon.size() < 6) return {};
    icon[2] = 2;
    const size_t count = icon[4] | static_cast<size_t>(icon[5]) << 8;
    for (size_t i = 0; i < count && 6 + 16 * i + 16 <= icon.size(); ++i)
    {
        const size_t at = 6 + 16 * i;
        const uint16_t width = icon[at] ? icon[at] : 256, height = icon[at + 1] ? icon[at + 1] : 256;
        Put16(icon, at + 4, static_cast<uint16_t>(width / 2));
        Put16(icon, at + 6, static_cast<uint16_t>(height / 2));
    }
    return icon;
}
