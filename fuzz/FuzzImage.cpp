#include "FuzzImage.h"

#include <algorithm>
#include <cstring>

#include "base/VlmErrors.h"

KSparseImage KSparseImage::FromSparse(const uint8_t* data, size_t size)
{
    KSparseImage image;
    uint32_t declared = 0;
    std::memcpy(&declared, data, std::min<size_t>(size, 4));
    image.m_Sectors = std::clamp<uint64_t>(declared, 1, kFuzzMaxSparseSectors);
    for (size_t off = 4; off < size; off += kFuzzSparseRecord)
    {
        uint32_t sector = 0;
        const size_t head = std::min<size_t>(4, size - off);
        std::memcpy(&sector, data + off, head);
        std::vector<uint8_t>& bytes = image.m_Present[sector % image.m_Sectors];
        bytes.assign(kFuzzSectorBytes, 0);
        if (off + 4 < size)
            std::memcpy(bytes.data(), data + off + 4, std::min<size_t>(kFuzzSectorBytes, size - off - 4));
    }
    return image;
}

KSparseImage KSparseImage::FromFlat(const uint8_t* data, size_t size)
{
    KSparseImage image;
    image.m_Sectors = size / kFuzzSectorBytes;
    for (uint64_t s = 0; s < image.m_Sectors; ++s)
        image.m_Present[s].assign(data + s * kFuzzSectorBytes, data + (s + 1) * kFuzzSectorBytes);
    return image;
}

bool KSparseImage::Read(uint64_t first, void* buffer, uint32_t count) const
{
    if (first > m_Sectors || count > m_Sectors - first) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    std::memset(out, 0, size_t{count} * kFuzzSectorBytes);
    for (auto it = m_Present.lower_bound(first); it != m_Present.end() && it->first < first + count; ++it)
        std::memcpy(out + (it->first - first) * kFuzzSectorBytes, it->second.data(), kFuzzSectorBytes);
    return true;
}

std::vector<uint8_t> KSparseImage::Encode(uint64_t sectors, const std::map<uint64_t, std::vector<uint8_t>>& present)
{
    std::vector<uint8_t> out(4);
    const auto declared = static_cast<uint32_t>(std::min<uint64_t>(sectors, UINT32_MAX));
    std::memcpy(out.data(), &declared, 4);
    for (const auto& [sector, bytes] : present)
    {
        const auto number = static_cast<uint32_t>(sector);
        const size_t at = out.size();
        out.resize(at + kFuzzSparseRecord, 0);
        std::memcpy(out.data() + at, &number, 4);
        std::memcpy(out.data() + at + 4, bytes.data(), std::min<size_t>(bytes.size(), kFuzzSectorBytes));
    }
    return out;
}

uint32_t KFuzzDevice::ReadSectors(uint64_t firstSector, void* buffer, uint32_t count)
{
    ++m_Reads;
    return m_Image.Read(firstSector, buffer, count) ? ERROR_SUCCESS : ERROR_END_OF_MEDIA;
}

uint32_t KFuzzDevice::GetKind(uint32_t* kind)
{
    *kind = DEVICE_HARDDISK;
    return ERROR_SUCCESS;
}

namespace {

void FillGeometry(uint64_t sectors, tagDiskGeometry* geometry)
{
    geometry->BytesPerSector = kFuzzSectorBytes;
    geometry->TracksPerCylinder = 255;
    geometry->SectorsPerTrack = 63;
    geometry->Cylinders = static_cast<uint32_t>(sectors / (255 * 63));
    geometry->TotalSectors = sectors;
    geometry->TotalSectors512 = sectors;
}

} // namespace

uint32_t KFuzzDevice::GetGeometry(tagDiskGeometry* geometry)
{
    FillGeometry(m_Image.Sectors(), geometry);
    return ERROR_SUCCESS;
}

uint32_t KFuzzDevice::GetDescription(std::string* text)
{
    *text = "Fuzz Disk";
    return ERROR_SUCCESS;
}

uint32_t KFuzzVolume::ReadSectors(uint64_t firstSector, void* buffer, uint32_t count)
{
    ++m_Reads;
    return m_Image.Read(firstSector, buffer, count) ? ERROR_SUCCESS : ERROR_END_OF_MEDIA;
}

uint32_t KFuzzVolume::GetDeviceKind(uint32_t* kind)
{
    *kind = DEVICE_HARDDISK;
    return ERROR_SUCCESS;
}

uint32_t KFuzzVolume::GetVolumeType(uint32_t* type)
{
    *type = 1;
    return ERROR_SUCCESS;
}

uint32_t KFuzzVolume::GetGeometry(tagDiskGeometry* geometry)
{
    FillGeometry(m_Image.Sectors(), geometry);
    return ERROR_SUCCESS;
}

uint32_t KFuzzVolume::GetDescription(std::string* text)
{
    *text = "Fuzz Volume";
    return ERROR_SUCCESS;
}

uint32_t KFuzzVolume::GetName(std::string* name)
{
    *name = "F:";
    return ERROR_SUCCESS;
}

int KFuzzStorage::Read(void* buffer, int length, int* done)
{
    *done = 0;
    if (length < 0) return 0;
    const size_t n = std::min<size_t>(static_cast<size_t>(length), m_Size - m_Pos);
    if (n) std::memcpy(buffer, m_Data + m_Pos, n);
    m_Pos += n;
    *done = static_cast<int>(n);
    return 1;
}

int KFuzzStorage::Write(const void*, int, int* done)
{
    *done = 0;
    return 0;
}
