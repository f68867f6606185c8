#pragma once
#include "common/KRawTypeBase.h"
#include "common/TiffWalk.h"

// JPEG/JFIF/EXIF pictures: marker segments from SOI to the first SOS, then entropy-coded data
// up to the EOI marker (progressive pictures go back to marker segments between scans).
class KJpgType final : public KRawTypeBase
{
public:
    KJpgType();

    /// The maker, model and date of the EXIF block of the JPEG stream that starts at `start` of
    /// the file (an APP1 segment "Exif" among the segments before the image data); false when
    /// there is none. Also used for the JPEG previews other formats embed.
    static bool ExifMeta(KRawReader& reader, uint64_t start, tagTiffMeta& meta);

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
    std::string NameOf(KRawReader& reader, const tagRawMatch& match) const override;

private:
    static uint64_t SkipEntropyData(KRawReader& reader, uint64_t pos, uint8_t& marker);
};
