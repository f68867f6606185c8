#pragma once
#include "common/KRawTypeBase.h"
#include "media/IsoMediaProbe.h"

// One flavour of the ISO base media / QuickTime family. Every flavour walks the same boxes
// and claims only the files whose brand is its own.
class KIsoMediaType : public KRawTypeBase
{
protected:
    KIsoMediaType(const tagRawTypeInfo& info, std::span<const tagRawSignature> signatures, IsoKind kind)
        : KRawTypeBase(info, signatures), m_Kind(kind)
    {}

    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    IsoKind m_Kind;
};

class KMp4Type final : public KIsoMediaType
{
public:
    KMp4Type();
};

class KM4aType final : public KIsoMediaType
{
public:
    KM4aType();
};

class K3gpType final : public KIsoMediaType
{
public:
    K3gpType();
};

class KMovType final : public KIsoMediaType
{
public:
    KMovType();
};

class K3g2Type final : public KIsoMediaType
{
public:
    K3g2Type();
};

class KM4vType final : public KIsoMediaType
{
public:
    KM4vType();
};

class KCr3Type final : public KIsoMediaType
{
public:
    KCr3Type();
};
