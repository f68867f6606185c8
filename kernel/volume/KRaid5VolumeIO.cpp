#include "volume/KRaid5VolumeIO.h"

#include <new>
#include <vector>

#include "base/VlmErrors.h"
#include "volume/StripeMath.h"

bool KRaid5VolumeIO::Open(const tagVolumeInfo* record, uint32_t index)
{
    KSpannedVolumeIO::Open(record, index);
    const size_t answering = CountAnsweringMembers();
    const size_t n = m_Record.Extents.size();
    return answering >= 2 && answering + 1 >= n;
}

uint32_t KRaid5VolumeIO::Rebuild(uint32_t missing, uint32_t parity, uint64_t position, uint8_t* out, uint32_t count)
{
    std::vector<uint8_t> scratch;
    try
    {
        scratch.resize(size_t{count} * kSectorBytes);
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    IDeviceIO* parityDevice = Member(parity);
    if (!parityDevice) return ERROR_FUNCTION_FAILED;
    uint32_t r = parityDevice->ReadSectors(m_Record.Extents[parity].DeviceStart + position, out, count);
    if (r != ERROR_SUCCESS) return r;
    const auto members = static_cast<uint32_t>(m_Record.Extents.size());
    for (uint32_t j = 0; j < members; ++j)
    {
        if (j == parity || j == missing) continue;
        IDeviceIO* device = Member(j);
        if (!device) return ERROR_FUNCTION_FAILED;
        r = device->ReadSectors(m_Record.Extents[j].DeviceStart + position, scratch.data(), count);
        if (r != ERROR_SUCCESS) return r; // a second failing member: the data cannot be had
        for (size_t b = 0; b < scratch.size(); ++b) out[b] ^= scratch[b];
    }
    return ERROR_SUCCESS;
}

uint32_t KRaid5VolumeIO::ReadSectors(uint64_t first, void* buffer, uint32_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    const auto members = static_cast<uint32_t>(m_Record.Extents.size());
    while (count >= 1)
    {
        tagStripePiece piece;
        if (!MapRaid5Sector(first, count, m_Record.StripeSize, members, &piece)) return ERROR_FUNCTION_FAILED;
        IDeviceIO* device = Member(piece.Member);
        uint32_t r = ERROR_FUNCTION_FAILED;
        if (device)
            r = device->ReadSectors(m_Record.Extents[piece.Member].DeviceStart + piece.Position, out, piece.Count);
        if (r != ERROR_SUCCESS)
        {
            r = Rebuild(piece.Member, piece.Parity, piece.Position, out, piece.Count);
            if (r != ERROR_SUCCESS) return r;
        }
        out += size_t{piece.Count} * kSectorBytes;
        first += piece.Count;
        count -= piece.Count;
    }
    return ERROR_SUCCESS;
}
