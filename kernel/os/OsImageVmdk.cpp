// VMDK images (sparse, stream-optimised and flat, one file or a descriptor with its extents)
// through libvmdk. The library parses the descriptor, the grain directories and the grain
// tables; extent files are looked for beside the file given. Snapshot layers (a disk with a
// parent) are refused rather than read with the parent's data missing.
#include <libvmdk.h>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "os/OsImage.h"

namespace {

class OsVmdkImage final : public OsImage
{
public:
    ~OsVmdkImage() override
    {
        if (m_Handle)
        {
            libvmdk_handle_close(m_Handle, nullptr);
            libvmdk_handle_free(&m_Handle, nullptr);
        }
    }
    uint64_t Length() const override { return m_Length; }
    const char* FormatName() const override { return "VMDK"; }
    std::vector<std::string> Files() const override { return {m_Path}; }

    uint32_t ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override
    {
        return ClampedRead(m_Length, offset, buffer, length, got, [this](void* to, size_t count, uint64_t at) {
            libvmdk_error_t* error = nullptr;
            const ssize_t n =
                libvmdk_handle_read_buffer_at_offset(m_Handle, to, count, static_cast<off64_t>(at), &error);
            libvmdk_error_free(&error);
            return n;
        });
    }

    uint32_t Open(const std::string& path, std::string* why)
    {
        m_Path = path;
        libvmdk_error_t* error = nullptr;
        if (libvmdk_handle_initialize(&m_Handle, &error) != 1)
        {
            libvmdk_error_free(&error);
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        const size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
        const bool opened = libvmdk_handle_open(m_Handle, path.c_str(), LIBVMDK_OPEN_READ, &error) == 1 &&
            libvmdk_handle_set_extent_data_files_path(m_Handle, folder.c_str(), folder.size(), &error) == 1 &&
            libvmdk_handle_open_extent_data_files(m_Handle, &error) == 1;
        libvmdk_error_free(&error);
        if (!opened)
        {
            if (why) *why = "not a readable VMDK image (or its extent files are missing)";
            return ERROR_INVALID_DATA;
        }
        size64_t size = 0;
        if (libvmdk_handle_get_media_size(m_Handle, &size, &error) != 1)
        {
            libvmdk_error_free(&error);
            if (why) *why = "the VMDK descriptor gives no size";
            return ERROR_INVALID_DATA;
        }
        size_t parent = 0;
        const int hasParent = libvmdk_handle_get_utf8_parent_filename_size(m_Handle, &parent, &error);
        libvmdk_error_free(&error);
        if (hasParent == 1 && parent > 1)
        {
            if (why) *why = "VMDK snapshot layers are not supported (consolidate the disk first)";
            return ERROR_NOT_SUPPORTED;
        }
        m_Length = size;
        return ERROR_SUCCESS;
    }

private:
    libvmdk_handle_t* m_Handle = nullptr;
    uint64_t m_Length = 0;
    std::string m_Path;
};

} // namespace

uint32_t OsOpenVmdkImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why)
{
    return OsOpenImageAs<OsVmdkImage>(path, image, why);
}
