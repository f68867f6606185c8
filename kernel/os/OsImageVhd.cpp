// VHD (fixed and dynamic) and VHDX images through libvhdi. The library parses the footer, the
// block allocation table and, for VHDX, the region and metadata tables. Differencing images
// hold only what changed since their parent and are refused rather than read with holes.
#include <libvhdi.h>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "os/OsImage.h"

namespace {

class OsVhdImage final : public OsImage
{
public:
    ~OsVhdImage() override
    {
        if (m_File)
        {
            libvhdi_file_close(m_File, nullptr);
            libvhdi_file_free(&m_File, nullptr);
        }
    }
    uint64_t Length() const override { return m_Length; }
    uint32_t SectorSize() const override { return m_SectorSize; }
    const char* FormatName() const override { return m_Vhdx ? "VHDX" : "VHD"; }
    std::vector<std::string> Files() const override { return {m_Path}; }

    uint32_t ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override
    {
        return ClampedRead(m_Length, offset, buffer, length, got, [this](void* to, size_t count, uint64_t at) {
            libvhdi_error_t* error = nullptr;
            const ssize_t n = libvhdi_file_read_buffer_at_offset(m_File, to, count, static_cast<off64_t>(at), &error);
            libvhdi_error_free(&error);
            return n;
        });
    }

    uint32_t Open(const std::string& path, std::string* why)
    {
        m_Path = path;
        libvhdi_error_t* error = nullptr;
        if (libvhdi_file_initialize(&m_File, &error) != 1)
        {
            libvhdi_error_free(&error);
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        if (libvhdi_file_open(m_File, path.c_str(), LIBVHDI_OPEN_READ, &error) != 1)
        {
            libvhdi_error_free(&error);
            libvhdi_file_free(&m_File, nullptr);
            if (why) *why = "not a readable VHD or VHDX image";
            return ERROR_INVALID_DATA;
        }
        size64_t size = 0;
        uint32_t type = 0;
        uint16_t major = 0;
        uint16_t minor = 0;
        const bool sized = libvhdi_file_get_media_size(m_File, &size, &error) == 1;
        libvhdi_error_free(&error);
        const bool typed = libvhdi_file_get_disk_type(m_File, &type, &error) == 1;
        libvhdi_error_free(&error);
        if (libvhdi_file_get_format_version(m_File, &major, &minor, &error) == 1) m_Vhdx = major == 2;
        libvhdi_error_free(&error);
        if (!sized || !typed)
        {
            if (why) *why = "the VHD header gives no size or disk type";
            return ERROR_INVALID_DATA;
        }
        if (type == LIBVHDI_DISK_TYPE_DIFFERENTIAL)
        {
            if (why) *why = "differencing VHD images are not supported (merge it with its parent first)";
            return ERROR_NOT_SUPPORTED;
        }
        uint32_t bytesPerSector = 0;
        if (libvhdi_file_get_bytes_per_sector(m_File, &bytesPerSector, &error) == 1)
            m_SectorSize = OsContainerSectorSize(bytesPerSector);
        libvhdi_error_free(&error);
        m_Length = size;
        return ERROR_SUCCESS;
    }

private:
    libvhdi_file_t* m_File = nullptr;
    uint64_t m_Length = 0;
    uint32_t m_SectorSize = 0;
    bool m_Vhdx = false;
    std::string m_Path;
};

} // namespace

uint32_t OsOpenVhdImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why)
{
    return OsOpenImageAs<OsVhdImage>(path, image, why);
}
