#pragma once
// Bounded reading of one candidate file during a deep scan. Offsets are relative to the file's
// first byte (a sector start inside the scan buffer). Bytes still inside the scan buffer are
// served from it without copying; bytes beyond it are read through the volume in windows of
// whole sectors. Nothing at or past `limit` (the type's maximum size) is readable, and the
// bytes read through the volume are capped, so a hostile length field cannot make a type read
// a whole disk.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/ResourceLimits.h"
#include "base/ByteView.h"
#include "raw/RawFileTypeAbi.h"

class KRawReader
{
public:
    /// The largest view handed out at once.
    static constexpr size_t kMaxView = VlmLimits::kMaxPluginView;

    /// `sectorIndex` is the file's first sector as an index into args.buffer.
    KRawReader(const RawScanArgs& args, uint32_t sectorIndex, uint64_t limit);

    /// Bytes [off, off + len) as one view (len <= kMaxView), or an empty view when any of them
    /// cannot be read. The view stays valid until the next call on this reader.
    ByteView View(uint64_t off, size_t len);
    /// Up to `len` bytes from `off` (len <= kMaxView): fewer at the end of the volume, of the
    /// limit or before an unreadable sector; empty when none.
    ByteView ViewUpTo(uint64_t off, size_t len);

    bool U8(uint64_t off, uint8_t& out);
    bool U16LE(uint64_t off, uint16_t& out);
    bool U32LE(uint64_t off, uint32_t& out);
    bool U64LE(uint64_t off, uint64_t& out);
    bool U16BE(uint64_t off, uint16_t& out);
    bool U32BE(uint64_t off, uint32_t& out);
    bool U64BE(uint64_t off, uint64_t& out);

    /// The `len` bytes just before the file's first byte (len <= one sector), from the scan
    /// buffer or the volume; empty at the start of the volume or when they cannot be read.
    ByteView Preceding(size_t len);

    /// File-relative offset of the first occurrence of `b` in [from, to), or `to` when absent or
    /// unreadable.
    uint64_t FindByte(uint64_t from, uint64_t to, uint8_t b);

    uint64_t Limit() const { return m_Limit; }
    uint32_t BytesPerSector() const { return m_BytesPerSector; }
    /// Bytes of the file that lie in the scan buffer (readable without any I/O).
    uint64_t BufferedBytes() const { return m_BufBytes; }
    /// Bytes read through the volume so far.
    uint64_t VolumeBytesRead() const { return m_VolumeBytes; }

private:
    bool Fill(uint64_t off, size_t len);
    uint64_t VolumeSectors();

    const uint8_t* m_Buf;
    const uint8_t* m_BufStart; // the scan buffer's first byte
    uint64_t m_BufBytes;
    IVolumeIO* m_Volume;
    uint32_t m_BytesPerSector;
    uint64_t m_FileSector; // volume-relative first sector of the file
    uint64_t m_Limit;
    uint64_t m_Budget;
    uint64_t m_VolumeBytes = 0;
    int64_t m_VolumeSectors = -1; // -1 until asked; 0 when the geometry is unknown

    std::vector<uint8_t> m_Window;
    std::vector<uint8_t> m_Before; // the sector before the file when it lies outside the buffer
    uint64_t m_WinOff = 0;         // file-relative offset of m_Window[0]
    size_t m_WinLen = 0;           // valid bytes in m_Window
};
