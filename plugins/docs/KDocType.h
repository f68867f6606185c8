#pragma once
// One deep-scan type of the document, archive and mailbox family. The family's formats are
// containers whose kind and end are only known after walking their structure (a ZIP's members
// decide between a plain archive and an office document), so every type here is one row of a
// descriptor table: a cheap gate over the first bytes, then the format's parser over the
// bounded reader, accepted only when it names this type's kind.
#include "DocProbe.h"
#include "ole/IDocSource.h"
#include "common/KRawTypeBase.h"

struct tagDocTypeDesc
{
    tagRawTypeInfo info;
    std::span<const tagRawSignature> signatures;
    DocKind kind;                       // the kind this type reports
    bool (*gate)(ByteView head);        // pure check of the first bytes
    DocProbe (*parse)(IDocSource& src); // kind and length from the structure
};

class KDocType final : public KRawTypeBase
{
public:
    explicit KDocType(const tagDocTypeDesc& desc);

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
    /// The document's own title, for the kinds that carry one where it can be read.
    std::string NameOf(KRawReader& reader, const tagRawMatch& match) const override;

private:
    const tagDocTypeDesc& m_Desc;
};
