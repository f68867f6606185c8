#include "os/OsImage.h"

#include <vector>

#include "base/VlmErrors.h"
#include "format/image/ImageSignature.h"
#include "os/OsDevice.h"

namespace {

constexpr size_t kSignatureBytes = 512;

} // namespace

uint32_t OsContainerSectorSize(uint64_t bytes)
{
    return bytes > 512 && bytes <= 4096 && (bytes & (bytes - 1)) == 0 ? static_cast<uint32_t>(bytes) : 0;
}

uint32_t OsOpenImage(const std::string& path, std::unique_ptr<OsImage>* image, std::string* why)
{
    // The head and the tail of the file tell the container (a fixed VHD is known by its footer).
    int fd = -1;
    if (const uint32_t err = OsOpenReadOnly(path, &fd); err != ERROR_SUCCESS) return err;
    std::vector<uint8_t> head(kSignatureBytes);
    std::vector<uint8_t> tail(kSignatureBytes);
    size_t gotHead = 0;
    size_t gotTail = 0;
    uint64_t length = 0;
    uint32_t err = OsReadAt(fd, 0, head.data(), head.size(), &gotHead);
    // Block devices are always raw: only files are containers.
    const bool file = !OsIsBlockDevice(fd);
    if (err == ERROR_SUCCESS && file && OsQueryLength(fd, &length) && length >= kSignatureBytes)
        err = OsReadAt(fd, length - kSignatureBytes, tail.data(), tail.size(), &gotTail);
    OsCloseFd(fd);
    if (err != ERROR_SUCCESS) return err;
    head.resize(gotHead);
    tail.resize(gotTail == kSignatureBytes ? kSignatureBytes : 0);
    const ImageFormat format = file ? DetectImageFormat(head, tail) : ImageFormat::Raw;
    switch (format)
    {
    case ImageFormat::Ewf: return OsOpenEwfImage(path, image, why);
    case ImageFormat::Vhd: return OsOpenVhdImage(path, image, why);
    case ImageFormat::Vmdk: return OsOpenVmdkImage(path, image, why);
    case ImageFormat::Qcow: return OsOpenQcowImage(path, image, why);
    case ImageFormat::Raw: break;
    }
    return OsOpenRawImage(path, image, why);
}
