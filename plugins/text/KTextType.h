#pragma once
// One kind of text file. Every kind runs the same walk: a file starts at a sector whose first
// bytes are text and whose preceding bytes are not (the middle of a longer text is no start),
// the kind decided from its first bytes claims it, and it ends at the first byte that is not
// text. That byte must be followed by zeros to the end of its sector (systems write a file's
// last sector whole, the rest of it zero-filled), or be the first of the next sector: text
// that stops mid-sector at anything else is a string inside other data.
#include "common/KRawTypeBase.h"
#include "text/TextKind.h"

struct tagTextTypeDesc
{
    tagRawTypeInfo info;
    TextKind kind;
    /// Bytes a file of this kind may begin with (its marker's first byte, leading blanks or a
    /// byte-order mark); null: any byte that can begin text.
    const char* firstBytes;
};

class KTextType final : public KRawTypeBase
{
public:
    explicit KTextType(const tagTextTypeDesc& desc);

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
    bool Plausible(const uint8_t* sector, const uint8_t* previous, uint32_t bytesPerSector) const override;
    /// A mail message's subject.
    std::string NameOf(KRawReader& reader, const tagRawMatch& match) const override;

private:
    TextKind m_Kind;
};
