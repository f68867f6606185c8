#include "format/image/ImageSignature.h"

#include <cstring>

namespace {

constexpr size_t kFooterSize = 512;

bool StartsWith(std::span<const uint8_t> bytes, const char* magic, size_t length)
{
    return bytes.size() >= length && std::memcmp(bytes.data(), magic, length) == 0;
}

} // namespace

ImageFormat DetectImageFormat(std::span<const uint8_t> head, std::span<const uint8_t> tail)
{
    if (StartsWith(head, "EVF\x09\x0d\x0a\xff\x00", 8) || StartsWith(head, "EVF2\x0d\x0a\x81\x00", 8))
        return ImageFormat::Ewf;
    if (StartsWith(head, "vhdxfile", 8) || StartsWith(head, "conectix", 8)) return ImageFormat::Vhd;
    if (tail.size() == kFooterSize && StartsWith(tail, "conectix", 8)) return ImageFormat::Vhd;
    if (StartsWith(head, "KDMV", 4) || StartsWith(head, "COWD", 4) || StartsWith(head, "# Disk DescriptorFile", 21))
        return ImageFormat::Vmdk;
    if (StartsWith(head, "QFI\xfb", 4)) return ImageFormat::Qcow;
    return ImageFormat::Raw;
}
