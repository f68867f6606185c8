#include "text/TextTypeList.h"

#include "text/KTextType.h"

namespace {
constexpr int64_t KiB = 1024;
constexpr int64_t MiB = 1024 * KiB;
constexpr int64_t GiB = 1024 * MiB;

// Leading blanks and a byte-order mark may come before markup and data.
#define VLM_LEAD " \t\r\n\xEF"
// First letters of the header names a message starts with (Return-Path, Received, From, Date,
// Delivered-To, Message-ID, MIME-Version, Subject, To, Cc, Reply-To, X-Mailer).
constexpr const char* kHeaderInitials = "RFDMSTCXrfdmstcx";

const tagTextTypeDesc kTxt{{"txt", "Text Document", 64, 1 * GiB}, TextKind::Txt, nullptr};
const tagTextTypeDesc kCsv{{"csv", "Comma Separated Values", 64, 1 * GiB}, TextKind::Csv, nullptr};
const tagTextTypeDesc kHtml{{"html", "HTML Document", 64, 256 * MiB}, TextKind::Html, "<" VLM_LEAD};
const tagTextTypeDesc kXml{{"xml", "XML Document", 64, 1 * GiB}, TextKind::Xml, "<" VLM_LEAD};
const tagTextTypeDesc kSvg{{"svg", "SVG Drawing", 64, 256 * MiB}, TextKind::Svg, "<" VLM_LEAD};
const tagTextTypeDesc kJson{{"json", "JSON Data", 32, 1 * GiB}, TextKind::Json, "{[" VLM_LEAD};
const tagTextTypeDesc kEml{{"eml", "E-mail Message", 128, 256 * MiB}, TextKind::Eml, kHeaderInitials};
const tagTextTypeDesc kMbox{{"mbox", "Mailbox Folder", 128, 16 * GiB}, TextKind::Mbox, "F"};
const tagTextTypeDesc kVcf{{"vcf", "vCard Contacts", 32, 64 * MiB}, TextKind::Vcf, "Bb" VLM_LEAD};
const tagTextTypeDesc kIcs{{"ics", "iCalendar Data", 32, 64 * MiB}, TextKind::Ics, "Bb" VLM_LEAD};
const tagTextTypeDesc kScript{{"sh", "Script", 32, 64 * MiB}, TextKind::Script, "#"};
const tagTextTypeDesc kPs{{"ps", "PostScript Document", 64, 1 * GiB}, TextKind::PostScript, "%"};
const tagTextTypeDesc kEps{{"eps", "Encapsulated PostScript", 64, 256 * MiB}, TextKind::Eps, "%"};
const tagTextTypeDesc kC{{"c", "C/C++ Source", 64, 64 * MiB}, TextKind::CSource, "#/" VLM_LEAD};
const tagTextTypeDesc kPy{{"py", "Python Source", 64, 64 * MiB}, TextKind::Python, "#\"'fi" VLM_LEAD};
#undef VLM_LEAD

template <const tagTextTypeDesc& Desc> KRawTypeBase* Create() { return new (std::nothrow) KTextType(Desc); }
} // namespace

std::span<const RawTypeCreate> RawTypeList_text()
{
    static constexpr RawTypeCreate kTypes[] = {
        &Create<kHtml>, &Create<kXml>, &Create<kSvg>, &Create<kJson>,   &Create<kEml>,
        &Create<kMbox>, &Create<kVcf>, &Create<kIcs>, &Create<kScript>, &Create<kPs>,
        &Create<kEps>,  &Create<kC>,   &Create<kPy>,  &Create<kCsv>,    &Create<kTxt>,
    };
    return kTypes;
}
