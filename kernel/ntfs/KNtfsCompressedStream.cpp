#include "ntfs/KNtfsCompressedStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/TextCodec.h"
#include "base/VlmErrors.h"
#include "format/ntfs/NtfsLznt1.h"
#include "fs/KSectorRanges.h"
#include "fs/SalvageRead.h"
#include "volume/IVolumeIO.h"

KNtfsCompressedStream::KNtfsCompressedStream(const std::string& name, IVolumeIO* volume, StreamVector runs,
                                             uint32_t unitSectors, uint32_t bytesPerSector, int64_t size)
    : m_pVolume(volume), m_Runs(std::move(runs)), m_UnitSectors(unitSectors), m_BytesPerSector(bytesPerSector),
      m_UnitBytes(uint64_t{unitSectors} * bytesPerSector), m_Size(std::max<int64_t>(size, 0))
{
    SetName(name);
}

int KNtfsCompressedStream::GetSize(int64_t* size)
{
    *size = m_Size;
    return STREAM_OK;
}

int KNtfsCompressedStream::GetName(std::string* name)
{
    *name = m_Name;
    return STREAM_OK;
}

int KNtfsCompressedStream::SetName(const std::string& name)
{
    m_Name = name;
    m_WideName = Utf8ToUtf16(name, 519);
    return STREAM_OK;
}

int KNtfsCompressedStream::Seek(int origin, int64_t offset, int64_t* newPos)
{
    int64_t target = 0;
    switch (origin)
    {
    case SEEK_ORIGIN_BEGIN: target = offset; break;
    case SEEK_ORIGIN_CURRENT: target = m_Position + offset; break;
    case SEEK_ORIGIN_END: target = m_Size + offset; break;
    default: return STREAM_FAIL;
    }
    if (target < 0 || target > m_Size)
    {
        if (newPos) *newPos = m_Position;
        return STREAM_END;
    }
    m_Position = target;
    if (newPos) *newPos = target;
    return STREAM_OK;
}

void KNtfsCompressedStream::DecodeUnit(const NtfsCompressionUnit& unit)
{
    std::fill(m_Unit.begin(), m_Unit.end(), 0);
    m_Bad.clear();
    if (unit.kind == NtfsCompressionUnit::Kind::Sparse) return;
    if (unit.kind == NtfsCompressionUnit::Kind::Stored)
    {
        // Stored as it is: a bad sector costs only itself.
        uint64_t at = 0;
        for (const tagStreamBlock& piece : unit.pieces)
        {
            KSectorRanges bad;
            const auto first = static_cast<uint64_t>(piece.s64FirstSector);
            ReadSectorsSalvaging(*m_pVolume, first, m_Unit.data() + at, piece.dwSectorCount, m_BytesPerSector, &bad);
            for (const auto& range : bad.Ranges())
                m_Bad.emplace_back(at + (range.first - first) * m_BytesPerSector,
                                   at + (range.first + range.count - first) * m_BytesPerSector);
            at += uint64_t{piece.dwSectorCount} * m_BytesPerSector;
        }
        return;
    }
    // Compressed: the pieces are read back to back; an unreadable sector ends what can be
    // decoded, since the chunks after it cannot be found.
    size_t readBytes = 0;
    bool cut = false;
    for (const tagStreamBlock& piece : unit.pieces)
    {
        KSectorRanges bad;
        const auto first = static_cast<uint64_t>(piece.s64FirstSector);
        if (ReadSectorsSalvaging(*m_pVolume, first, m_Stored.data() + readBytes, piece.dwSectorCount, m_BytesPerSector,
                                 &bad) > 0)
        {
            readBytes += static_cast<size_t>((bad.Ranges().front().first - first) * m_BytesPerSector);
            cut = true;
            break;
        }
        readBytes += size_t{piece.dwSectorCount} * m_BytesPerSector;
    }
    const uint64_t produced =
        DecodeCompressionUnit(ByteView(m_Stored.data(), readBytes), cut, m_Unit.data(), m_UnitBytes);
    // A whole unit that decodes short is completed with zeros, as the file system does.
    if (cut && produced < m_UnitBytes) m_Bad.emplace_back(produced, m_UnitBytes);
}

uint64_t KNtfsCompressedStream::SoundBytes(uint64_t at, uint64_t count) const
{
    for (const auto& [first, end] : m_Bad)
    {
        if (end <= at) continue;
        if (first <= at) return 0;
        return std::min(count, first - at);
    }
    return count;
}

bool KNtfsCompressedStream::Load(uint64_t index)
{
    if (m_Loaded == index) return true;
    m_Loaded = UINT64_MAX;
    try
    {
        if (m_Unit.size() != m_UnitBytes)
        {
            m_Unit.assign(static_cast<size_t>(m_UnitBytes), 0);
            m_Stored.assign(static_cast<size_t>(m_UnitBytes), 0);
        }
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    if (index >= m_EndUnit)
    {
        // The runs end before the file does: nothing of this unit is known.
        std::fill(m_Unit.begin(), m_Unit.end(), 0);
        m_Bad.assign(1, {0, m_UnitBytes});
        m_Loaded = index;
        return true;
    }
    if (!m_Reader || index < m_NextUnit)
    {
        m_Reader.emplace(m_Runs, m_UnitSectors);
        m_NextUnit = 0;
    }
    NtfsCompressionUnit unit;
    while (m_NextUnit <= index)
    {
        if (!m_Reader->Next(&unit))
        {
            m_EndUnit = m_NextUnit;
            return Load(index);
        }
        ++m_NextUnit;
    }
    DecodeUnit(unit);
    m_Loaded = index;
    return true;
}

int KNtfsCompressedStream::Read(uint8_t* buffer, int64_t length, int64_t* done)
{
    if (done) *done = 0;
    if (!buffer || length < 0 || !m_pVolume || m_UnitBytes == 0) return STREAM_FAIL;
    const int64_t want = std::min<int64_t>(length, m_Size - m_Position);
    int64_t got = 0;
    while (got < want)
    {
        const auto pos = static_cast<uint64_t>(m_Position);
        const uint64_t index = pos / m_UnitBytes;
        const uint64_t inUnit = pos % m_UnitBytes;
        if (!Load(index)) return STREAM_FAIL;
        const uint64_t piece = std::min<uint64_t>(m_UnitBytes - inUnit, static_cast<uint64_t>(want - got));
        const uint64_t good = SoundBytes(inUnit, piece);
        std::memcpy(buffer + got, m_Unit.data() + inUnit, static_cast<size_t>(good));
        got += static_cast<int64_t>(good);
        m_Position += static_cast<int64_t>(good);
        if (done) *done = got;
        if (good < piece) return STREAM_FAIL;
    }
    return got == length ? STREAM_OK : STREAM_END;
}
