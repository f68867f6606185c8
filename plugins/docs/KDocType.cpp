#include "KDocType.h"

#include "KDocReaderSource.h"
#include "OfficeTitle.h"
#include "PdfTitle.h"

KDocType::KDocType(const tagDocTypeDesc& desc) : KRawTypeBase(desc.info, desc.signatures), m_Desc(desc) {}

RawHeader KDocType::CheckHeader(ByteView head, uint64_t& size) const
{
    size = 0;
    return m_Desc.gate(head) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KDocType::FindEnd(KRawReader& reader) const
{
    KDocReaderSource src(reader);
    const DocProbe p = m_Desc.parse(src);
    if (p.kind != m_Desc.kind) return {};
    return {true, p.size};
}

std::string KDocType::NameOf(KRawReader& reader, const tagRawMatch& match) const
{
    KDocReaderSource src(reader);
    switch (m_Desc.kind)
    {
    case DocKind::Pdf: return PdfTitle(src, match.size);
    case DocKind::Docx:
    case DocKind::Xlsx:
    case DocKind::Pptx:
    case DocKind::Odt:
    case DocKind::Ods:
    case DocKind::Odp: return ZipDocumentTitle(src, match.size, m_Desc.kind);
    case DocKind::Doc:
    case DocKind::Xls:
    case DocKind::Ppt: return OleDocumentTitle(src);
    default: return {};
    }
}
