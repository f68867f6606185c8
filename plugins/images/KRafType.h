#pragma once
#include "common/KRawTypeBase.h"

// Fujifilm raw files: a fixed header names the camera and gives the offset and length of each
// part (the JPEG preview, the sensor header, the sensor data), big-endian; the file ends with
// the last of them.
class KRafType final : public KRawTypeBase
{
public:
    KRafType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    /// The date and camera of the JPEG preview's EXIF block.
    std::string NameOf(KRawReader& reader, const tagRawMatch& match) const override;
};
