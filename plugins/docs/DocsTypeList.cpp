#include "docs/DocsTypeList.h"

#include <cstring>

#include "docs/DocsLayout.h"
#include "docs/KDocType.h"
#include "docs/MailParser.h"
#include "docs/OleDocument.h"
#include "docs/PdfParser.h"
#include "docs/RarParser.h"
#include "docs/RtfParser.h"
#include "docs/SqliteParser.h"
#include "docs/ZipParser.h"
#include "ole/OleParser.h"

namespace {

constexpr int64_t KiB = 1024;
constexpr int64_t MiB = 1024 * KiB;
constexpr int64_t GiB = 1024 * MiB;

// ---- gates: pure checks of the first bytes ----------------------------------------------

bool ZipGate(ByteView head)
{
    uint16_t nameLength = 0;
    return LoadU16LE(head, 26, nameLength) && RangeFits(head.size(), 30, nameLength) &&
        CheckZipLocalHeader(head.first(30), head.subspan(30, nameLength));
}

// An OpenDocument file names its kind in the first member, which the first bytes hold: the
// OpenDocument types leave every other archive alone, the OOXML types every OpenDocument file.
template <DocKind Kind> bool OdfGate(ByteView head) { return ZipGate(head) && OdfKindOfHead(head) == Kind; }

bool OoxmlGate(ByteView head) { return ZipGate(head) && OdfKindOfHead(head) == DocKind::None; }

bool PdfGate(ByteView head)
{
    return head.size() >= 8 && std::memcmp(head.data(), "%PDF-", 5) == 0 && head[6] == '.' && head[7] >= '0' &&
        head[7] <= '9';
}

bool RarGate(ByteView head)
{
    return (head.size() >= 7 && std::memcmp(head.data(), kRar4Marker, 7) == 0) ||
        (head.size() >= 8 && std::memcmp(head.data(), kRar5Marker, 8) == 0);
}

bool PstGate(ByteView head)
{
    uint16_t client = 0;
    return head.size() >= 4 && std::memcmp(head.data(), kPstMagic, 4) == 0 && LoadU16LE(head, 8, client) &&
        client == kPstClientMagic;
}

bool DbxGate(ByteView head)
{
    return head.size() >= kDbxFileSizeOffset + 4 && std::memcmp(head.data(), kDbxMagic, 4) == 0;
}

bool RtfGate(ByteView head)
{
    return head.size() >= 6 && std::memcmp(head.data(), "{\\rtf", 5) == 0 && head[5] >= '0' && head[5] <= '9';
}

// Another file starts on a sector boundary; 512 bytes is the finest sector there is.
DocProbe ParsePdfAt512(IDocSource& src) { return ParsePdf(src, 512); }

// ---- signatures -------------------------------------------------------------------------

constexpr tagRawSignature kZipSig[] = {{0, 4, "PK\x03\x04"}};
constexpr tagRawSignature kOleSig[] = {{0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"}};
constexpr tagRawSignature kPdfSig[] = {{0, 5, "%PDF-"}};
constexpr tagRawSignature kRarSig[] = {{0, 7, "Rar!\x1A\x07\x00"}, {0, 8, "Rar!\x1A\x07\x01\x00"}};
constexpr tagRawSignature kPstSig[] = {{0, 4, "!BDN"}};
constexpr tagRawSignature kDbxSig[] = {{0, 4, "\xCF\xAD\x12\xFE"}};
constexpr tagRawSignature kRtfSig[] = {{0, 5, "{\\rtf"}};
constexpr tagRawSignature kSqliteSig[] = {{0, 16, "SQLite format 3"}}; // with its zero byte

// ---- the types --------------------------------------------------------------------------

const tagDocTypeDesc kDocx{
    {"docx", "Office Open XML Document", 256, 2 * GiB}, kZipSig, DocKind::Docx, OoxmlGate, ParseZip};
const tagDocTypeDesc kXlsx{
    {"xlsx", "Office Open XML Spreadsheet", 256, 2 * GiB}, kZipSig, DocKind::Xlsx, OoxmlGate, ParseZip};
const tagDocTypeDesc kPptx{
    {"pptx", "Office Open XML Presentation", 256, 2 * GiB}, kZipSig, DocKind::Pptx, OoxmlGate, ParseZip};
const tagDocTypeDesc kDoc{
    {"doc", "Compound File Document", 1536, 2 * GiB}, kOleSig, DocKind::Doc, IsOleHeader, ParseOleDocument};
const tagDocTypeDesc kXls{
    {"xls", "Compound File Spreadsheet", 1536, 2 * GiB}, kOleSig, DocKind::Xls, IsOleHeader, ParseOleDocument};
const tagDocTypeDesc kPpt{
    {"ppt", "Compound File Presentation", 1536, 2 * GiB}, kOleSig, DocKind::Ppt, IsOleHeader, ParseOleDocument};
const tagDocTypeDesc kPub{
    {"pub", "Compound File Publication", 1536, 2 * GiB}, kOleSig, DocKind::Pub, IsOleHeader, ParseOleDocument};
const tagDocTypeDesc kMsg{
    {"msg", "Outlook Message", 1536, 2 * GiB}, kOleSig, DocKind::Msg, IsOleHeader, ParseOleDocument};
const tagDocTypeDesc kOdt{
    {"odt", "OpenDocument Text", 256, 2 * GiB}, kZipSig, DocKind::Odt, OdfGate<DocKind::Odt>, ParseZip};
const tagDocTypeDesc kOds{
    {"ods", "OpenDocument Spreadsheet", 256, 2 * GiB}, kZipSig, DocKind::Ods, OdfGate<DocKind::Ods>, ParseZip};
const tagDocTypeDesc kOdp{
    {"odp", "OpenDocument Presentation", 256, 2 * GiB}, kZipSig, DocKind::Odp, OdfGate<DocKind::Odp>, ParseZip};
const tagDocTypeDesc kEpub{
    {"epub", "EPUB Book", 256, 2 * GiB}, kZipSig, DocKind::Epub, OdfGate<DocKind::Epub>, ParseZip};
const tagDocTypeDesc kPdf{{"pdf", "PDF Document", 64, 1 * GiB}, kPdfSig, DocKind::Pdf, PdfGate, ParsePdfAt512};
const tagDocTypeDesc kZip{{"zip", "ZIP Archive", 64, 4 * GiB}, kZipSig, DocKind::Zip, ZipGate, ParseZip};
const tagDocTypeDesc kRar{{"rar", "RAR Archive", 20, 4 * GiB}, kRarSig, DocKind::Rar, RarGate, ParseRar};
const tagDocTypeDesc kPst{{"pst", "Personal Mail Store", 0x4600, 50 * GiB}, kPstSig, DocKind::Pst, PstGate, ParsePst};
const tagDocTypeDesc kRtf{{"rtf", "Rich Text Document", 8, 512 * MiB}, kRtfSig, DocKind::Rtf, RtfGate, ParseRtf};
const tagDocTypeDesc kSqlite{
    {"sqlite", "SQLite Database", 512, 256 * GiB}, kSqliteSig, DocKind::Sqlite, CheckSqliteHeader, ParseSqlite};
const tagDocTypeDesc kDbx{
    {"dbx", "Mail Folder Database", kDbxHeaderSize, 2 * GiB}, kDbxSig, DocKind::Dbx, DbxGate, ParseDbx};

template <const tagDocTypeDesc& Desc> KRawTypeBase* Create() { return new (std::nothrow) KDocType(Desc); }

} // namespace

std::span<const RawTypeCreate> RawTypeList_docs()
{
    static constexpr RawTypeCreate kTypes[] = {
        &Create<kDocx>, &Create<kXlsx>, &Create<kPptx>,   &Create<kDoc>,  &Create<kXls>, &Create<kPpt>, &Create<kPub>,
        &Create<kOdt>,  &Create<kOds>,  &Create<kOdp>,    &Create<kPdf>,  &Create<kZip>, &Create<kRar>, &Create<kPst>,
        &Create<kDbx>,  &Create<kRtf>,  &Create<kSqlite>, &Create<kEpub>, &Create<kMsg>,
    };
    return kTypes;
}
