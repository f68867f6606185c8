#pragma once
// Reads a candidate file as a stream of bits, least significant bit of each byte first (the
// order of deflate), through the bounded reader: whole windows at a time, so a walk over a
// large file costs one view per 64 KiB. Reading past the reader's limit or the volume's end
// sets a sticky flag and yields zero bits.
#include <cstdint>

#include "common/KRawReader.h"

class KRawBitReader
{
public:
    KRawBitReader(KRawReader& reader, uint64_t byteOffset) : m_Reader(reader), m_Next(byteOffset) {}

    /// The next `n` bits (n <= 32), first bit lowest; 0 and Exhausted() when they are not there.
    uint32_t Bits(unsigned n);
    /// The next `n` bits without consuming them (n <= 32); missing bits read as zero.
    uint32_t Peek(unsigned n);
    void Drop(unsigned n);
    /// Drops the bits left in the current byte.
    void AlignToByte() { Drop(m_Count % 8); }
    /// Skips `n` whole bytes; only after AlignToByte.
    void SkipBytes(uint64_t n);

    /// File offset of the byte holding the next bit (after AlignToByte: the next byte).
    uint64_t BytePos() const { return m_Next - m_Count / 8; }
    bool Exhausted() const { return m_Exhausted; }

private:
    bool Refill(unsigned n);

    KRawReader& m_Reader;
    uint64_t m_Next; // file offset of the next byte to load into m_Bits
    ByteView m_View; // bytes from m_Next on, as last handed out by the reader
    uint64_t m_Bits = 0;
    unsigned m_Count = 0; // valid bits in m_Bits
    bool m_Exhausted = false;
};
