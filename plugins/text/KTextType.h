#pragma once
// One kind of text file. Every kind runs the same walk: a file starts at a sector whose first
// bytes are text and whose preceding bytes are not (the middle of a longer text is no start),
// the kind decided from its first bytes claims it, and it ends at the first byte that is not
// text. A clean end is one followed by zeros to the end of its sector (the unused rest of a
// file's last cluster on most media); a text file shorter than a sector must end cleanly,
// since a few text bytes at a sector start followed by anything else are common in binary
// data.
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

private:
    TextKind m_Kind;
};
