#pragma once
// TIFF pictures and the camera raw formats that keep the TIFF layout. All of them walk the
// same directory tree (common/TiffWalk); the header's magic number, a maker's mark after the
// header, the DNG version tag or the camera maker named in the first directory tell which
// format a file is, and each type claims only its own.
#include "common/KRawTypeBase.h"

enum class TiffKind
{
    Tiff,
    Cr2, // Canon: "CR" and a version after the header
    Nef, // Nikon
    Arw, // Sony
    Dng, // any maker's digital negative
    Pef, // Pentax
    Orf, // Olympus: magic "RO" or "SR"
    Rw2  // Panasonic: magic 0x55
};

struct tagTiffTypeDesc
{
    tagRawTypeInfo info;
    std::span<const tagRawSignature> signatures;
    TiffKind kind;
};

class KTiffType final : public KRawTypeBase
{
public:
    explicit KTiffType(const tagTiffTypeDesc& desc);

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
    std::string NameOf(KRawReader& reader, const tagRawMatch& match) const override;

private:
    TiffKind m_Kind;
};

/// The TIFF family's types, in list order.
std::span<const RawTypeCreate> TiffFamilyTypes();
