#include "volume/KStripeVolumeIO.h"

#include "base/VlmErrors.h"
#include "volume/StripeMath.h"

bool KStripeVolumeIO::Open(const tagVolumeInfo* record, uint32_t index)
{
    return KSpannedVolumeIO::Open(record, index);
}

uint32_t KStripeVolumeIO::ReadSectors(uint64_t first, void* buffer, uint32_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    const auto members = static_cast<uint32_t>(m_Record.Extents.size());
    while (count >= 1)
    {
        tagStripePiece piece;
        if (!MapStripedSector(first, count, m_Record.StripeSize, members, &piece))
            return ERROR_FUNCTION_FAILED; // no stripe size or no members: nothing can be mapped
        IDeviceIO* device = Member(piece.Member);
        if (!device) return ERROR_FUNCTION_FAILED;
        const uint64_t start = m_Record.Extents[piece.Member].DeviceStart;
        const uint32_t r = device->ReadSectors(start + piece.Position, out, piece.Count);
        if (r != ERROR_SUCCESS) return r;
        out += size_t{piece.Count} * kSectorBytes;
        first += piece.Count;
        count -= piece.Count;
    }
    return ERROR_SUCCESS;
}
