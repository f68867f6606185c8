#pragma once
#include "common/IsoBoxWalk.h"
#include "common/KRawTypeBase.h"

// HEIF pictures (HEIC from phones, AVIF): ISO base media files whose brands name a still
// picture or picture sequence and whose items live in a top-level "meta" box. The end is the
// end of the box chain, walked as for video.
class KHeifType : public KRawTypeBase
{
protected:
    enum class Flavour
    {
        None,
        Heic,
        Avif
    };

    KHeifType(const tagRawTypeInfo& info, std::span<const tagRawSignature> signatures, Flavour flavour)
        : KRawTypeBase(info, signatures), m_Flavour(flavour)
    {}

    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
    /// The date and camera of the picture's EXIF item.
    std::string NameOf(KRawReader& reader, const tagRawMatch& match) const override;

private:
    static Flavour FlavourOf(ByteView head, uint32_t ftypSize);

    Flavour m_Flavour;
};

class KHeicType final : public KHeifType
{
public:
    KHeicType();
};

class KAvifType final : public KHeifType
{
public:
    KAvifType();
};
