#pragma once
// The stream of an NTFS compressed file: its data decompressed one compression unit at a time,
// as it is read, so that previews, `cat` and the common copy routine read compressed files like
// any other. One decoded unit is kept; reading on in order never decodes a unit twice.
//
// A unit's pieces that cannot be read make the bytes that could not be decoded unreadable: a
// read that touches them fails (delivering the good bytes before them), so the copy routine
// writes zeros only there and counts them. Bytes past the end of the runs are unreadable too.
#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "format/ntfs/NtfsRunList.h"
#include "fs/IOutStream.h"

class IVolumeIO;

class KNtfsCompressedStream final : public IOutStream
{
public:
    /// `runs` in clusters already turned to volume sectors; `unitSectors` the compression
    /// unit (16 clusters on every volume that compresses); `size` the file's data size.
    KNtfsCompressedStream(const std::string& name, IVolumeIO* volume, StreamVector runs, uint32_t unitSectors,
                          uint32_t bytesPerSector, int64_t size);

    int GetSize(int64_t* size) override;
    int GetName(std::string* name) override;
    int SetName(const std::string& name) override;
    const char* GetNameA() override { return m_Name.c_str(); }
    const char16_t* GetNameW() override { return m_WideName.c_str(); }
    /// 1 inside 0 .. size; otherwise 4 with the position unchanged; 2 for a bad origin.
    int Seek(int origin, int64_t offset, int64_t* newPos) override;
    /// 1; 4 when the data ends before `length` bytes; 2 when a byte of the range cannot be
    /// read or decoded (the bytes before it are delivered and counted in `done`, and the
    /// position moves past them).
    int Read(uint8_t* buffer, int64_t length, int64_t* done) override;

private:
    /// Makes unit `index` the decoded one; false without memory.
    bool Load(uint64_t index);
    void DecodeUnit(const NtfsCompressionUnit& unit);
    /// How many bytes from unit offset `at` on, up to `count`, are sound.
    uint64_t SoundBytes(uint64_t at, uint64_t count) const;

    IVolumeIO* m_pVolume;
    StreamVector m_Runs;
    uint32_t m_UnitSectors;
    uint32_t m_BytesPerSector;
    uint64_t m_UnitBytes;
    int64_t m_Size;
    std::string m_Name;
    std::u16string m_WideName;
    int64_t m_Position = 0;

    std::optional<NtfsUnitReader> m_Reader; // gives unit m_NextUnit next
    uint64_t m_NextUnit = 0;
    uint64_t m_EndUnit = UINT64_MAX; // the first unit the runs do not reach, once known
    uint64_t m_Loaded = UINT64_MAX;  // the unit in m_Unit
    // The bytes of m_Unit that could not be read or decoded, as [first, end) ranges in order.
    std::vector<std::pair<uint64_t, uint64_t>> m_Bad;
    std::vector<uint8_t> m_Unit;
    std::vector<uint8_t> m_Stored; // a unit's stored sectors, read back to back
};
