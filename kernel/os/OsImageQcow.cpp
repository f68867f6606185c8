// QCOW images (versions 1 to 3) through libqcow. The library parses the header and the cluster
// tables; what it reports is bounded here. Images backed by another file and encrypted images
// are refused with a reason rather than read as if their missing data were zeros.
#include <libqcow.h>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "os/OsImage.h"

namespace {

class OsQcowImage final : public OsImage
{
public:
    ~OsQcowImage() override
    {
        if (m_File)
        {
            libqcow_file_close(m_File, nullptr);
            libqcow_file_free(&m_File, nullptr);
        }
    }
    uint64_t Length() const override { return m_Length; }
    const char* FormatName() const override { return "QCOW"; }
    std::vector<std::string> Files() const override { return {m_Path}; }

    uint32_t ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override
    {
        return ClampedRead(m_Length, offset, buffer, length, got, [this](void* to, size_t count, uint64_t at) {
            libqcow_error_t* error = nullptr;
            const ssize_t n = libqcow_file_read_buffer_at_offset(m_File, to, count, static_cast<off64_t>(at), &error);
            libqcow_error_free(&error);
            return n;
        });
    }

    uint32_t Open(const std::string& path, std::string* why)
    {
        m_Path = path;
        libqcow_error_t* error = nullptr;
        if (libqcow_file_initialize(&m_File, &error) != 1)
        {
            libqcow_error_free(&error);
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        if (libqcow_file_open(m_File, path.c_str(), LIBQCOW_OPEN_READ, &error) != 1)
        {
            libqcow_error_free(&error);
            libqcow_file_free(&m_File, nullptr);
            if (why) *why = "not a readable QCOW image";
            return ERROR_INVALID_DATA;
        }
        size64_t size = 0;
        uint32_t encryption = 0;
        const bool sized = libqcow_file_get_media_size(m_File, &size, &error) == 1;
        libqcow_error_free(&error);
        const bool plain = libqcow_file_get_encryption_method(m_File, &encryption, &error) == 1 &&
            encryption == LIBQCOW_ENCRYPTION_METHOD_NONE;
        libqcow_error_free(&error);
        if (!sized || !plain)
        {
            if (why) *why = sized ? "encrypted QCOW images are not supported" : "the QCOW header gives no size";
            return ERROR_NOT_SUPPORTED;
        }
        // An overlay holds only what changed since its backing file; read alone it would show
        // zeros where the disk has data.
        size_t backing = 0;
        const int hasBacking = libqcow_file_get_utf8_backing_filename_size(m_File, &backing, &error);
        libqcow_error_free(&error);
        if (hasBacking == 1 && backing > 1)
        {
            if (why) *why = "QCOW overlays on a backing file are not supported (convert the chain to one image)";
            return ERROR_NOT_SUPPORTED;
        }
        m_Length = size;
        return ERROR_SUCCESS;
    }

private:
    libqcow_file_t* m_File = nullptr;
    uint64_t m_Length = 0;
    std::string m_Path;
};

} // namespace

uint32_t OsOpenQcowImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why)
{
    return OsOpenImageAs<OsQcowImage>(path, image, why);
}
