#pragma once
#include "common/KRawTypeBase.h"
#include "media/AsfProbe.h"

// One flavour of ASF; each claims the files whose streams make them its own.
class KAsfMediaType : public KRawTypeBase
{
protected:
    KAsfMediaType(const tagRawTypeInfo& info, AsfKind kind);

    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    AsfKind m_Kind;
};

class KWmvType final : public KAsfMediaType
{
public:
    KWmvType();
};

class KWmaType final : public KAsfMediaType
{
public:
    KWmaType();
};

class KAsfType final : public KAsfMediaType
{
public:
    KAsfType();
};
