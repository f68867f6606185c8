// Expert Witness images (.E01 and its segments .E02, ..., and the later Ex01) through libewf.
// The library finds the segments, parses the section headers and inflates the chunks. A chunk
// whose checksum does not match is handed back zero-filled by the library and counted; such a
// read is reported here as failed, so the bytes are treated as unreadable, never as data.
#include <libewf.h>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "os/OsImage.h"

namespace {

class OsEwfImage final : public OsImage
{
public:
    ~OsEwfImage() override
    {
        if (m_Handle)
        {
            libewf_handle_close(m_Handle, nullptr);
            libewf_handle_free(&m_Handle, nullptr);
        }
    }
    uint64_t Length() const override { return m_Length; }
    uint32_t SectorSize() const override { return m_SectorSize; }
    const char* FormatName() const override { return "E01"; }
    std::vector<std::string> Files() const override { return m_Segments; }

    uint32_t ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override
    {
        *got = 0;
        if (offset >= m_Length) return ERROR_SUCCESS;
        if (length > m_Length - offset) length = static_cast<size_t>(m_Length - offset);
        libewf_error_t* error = nullptr;
        const ssize_t n = libewf_handle_read_random(m_Handle, buffer, length, static_cast<off64_t>(offset), &error);
        libewf_error_free(&error);
        uint32_t bad = 0;
        libewf_handle_get_number_of_checksum_errors(m_Handle, &bad, &error);
        libewf_error_free(&error);
        if (n < 0 || bad != m_ChecksumErrors)
        {
            m_ChecksumErrors = bad;
            VlmTrace("E01 read at %llu failed (damaged chunk)\n", static_cast<unsigned long long>(offset));
            return ERROR_READ_FAULT;
        }
        *got = static_cast<size_t>(n);
        return ERROR_SUCCESS;
    }

    uint32_t Open(const std::string& path, std::string* why)
    {
        libewf_error_t* error = nullptr;
        char** names = nullptr;
        int count = 0;
        if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &error) != 1 || count < 1)
        {
            libewf_error_free(&error);
            if (why) *why = "the E01 segment files cannot be found";
            return ERROR_FILE_NOT_FOUND;
        }
        for (int i = 0; i < count; ++i) m_Segments.emplace_back(names[i]);
        uint32_t err = ERROR_SUCCESS;
        if (libewf_handle_initialize(&m_Handle, &error) != 1)
            err = ERROR_NOT_ENOUGH_MEMORY;
        else if (libewf_handle_open(m_Handle, names, count, LIBEWF_OPEN_READ, &error) != 1)
        {
            libewf_handle_free(&m_Handle, nullptr);
            err = ERROR_INVALID_DATA;
            if (why) *why = "not a readable E01 image";
        }
        libewf_error_free(&error);
        libewf_glob_free(names, count, nullptr);
        if (err != ERROR_SUCCESS) return err;
        size64_t size = 0;
        uint32_t bytesPerSector = 0;
        if (libewf_handle_get_media_size(m_Handle, &size, &error) != 1)
        {
            libewf_error_free(&error);
            if (why) *why = "the E01 image gives no size";
            return ERROR_INVALID_DATA;
        }
        if (libewf_handle_get_bytes_per_sector(m_Handle, &bytesPerSector, &error) == 1)
            m_SectorSize = OsContainerSectorSize(bytesPerSector);
        libewf_error_free(&error);
        m_Length = size;
        return ERROR_SUCCESS;
    }

private:
    libewf_handle_t* m_Handle = nullptr;
    uint64_t m_Length = 0;
    uint32_t m_SectorSize = 0;
    uint32_t m_ChecksumErrors = 0;
    std::vector<std::string> m_Segments;
};

} // namespace

uint32_t OsOpenEwfImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why)
{
    return OsOpenImageAs<OsEwfImage>(path, image, why);
}
