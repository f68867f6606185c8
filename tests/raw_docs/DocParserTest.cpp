// The pure parsers over bytes in memory: truncated samples never report a length the bytes do
// not have, and the format rules of each parser. (Every sample found with its exact length among
// junk, and random damage kept in bounds: DocTypeScanTest, through the scan.)
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "DocSamples.h"
#include "docs/DocsLayout.h"
#include "docs/MailParser.h"
#include "docs/OfficeTitle.h"
#include "docs/OleDocument.h"
#include "docs/PdfParser.h"
#include "docs/RarParser.h"
#include "docs/RtfParser.h"
#include "docs/SqliteParser.h"
#include "docs/ZipParser.h"
#include "ole/KSpanDocSource.h"
#include "support/TestFiles.h"

std::vector<uint8_t> LoadDocSample(const std::string& file)
{
    return ReadFileBytes(SourcePath("tests/data/raw/docs/" + file));
}

namespace {

// Every parser of the family, as the scan would try them on one start.
DocProbe ProbeAll(ByteView bytes)
{
    KSpanDocSource src(bytes);
    const std::function<DocProbe()> parsers[] = {
        [&] { return ParseZip(src); }, [&] { return ParseOleDocument(src); }, [&] { return ParsePdf(src, 512); },
        [&] { return ParseRar(src); }, [&] { return ParsePst(src); },         [&] { return ParseDbx(src); },
        [&] { return ParseRtf(src); }, [&] { return ParseSqlite(src); },
    };
    for (const auto& parse : parsers)
    {
        const DocProbe p = parse();
        if (p.kind != DocKind::None) return p;
    }
    return {};
}

} // namespace

TEST(DocParsers, TruncatedSamplesGiveNoLengthBeyondTheBytes)
{
    for (const DocSample& s : DocSamples())
    {
        SCOPED_TRACE(s.file);
        const std::vector<uint8_t> bytes = LoadDocSample(s.file);
        for (size_t cut : {size_t{7}, size_t{40}, bytes.size() / 4, bytes.size() / 2, bytes.size() - 1})
        {
            const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
            const DocProbe p = ProbeAll(part);
            EXPECT_LT(p.size, bytes.size()) << "cut at " << cut;
            EXPECT_LE(p.size, cut) << "cut at " << cut;
            // Cut before the members that name it, an office document is a plain archive.
            const bool zipped = s.kind >= DocKind::Zip && s.kind <= DocKind::Odp;
            if (p.kind != DocKind::None && !(zipped && p.kind == DocKind::Zip))
            {
                EXPECT_EQ(p.kind, s.kind) << "cut at " << cut;
            }
        }
    }
}

TEST(DocZip, KindFollowsTheMembers)
{
    // Without [Content_Types].xml a "word/" member does not make a document.
    std::vector<uint8_t> docx = LoadDocSample("sample.docx");
    for (size_t i = 0; i + 19 <= docx.size(); ++i)
        if (std::memcmp(&docx[i], "[Content_Types].xml", 19) == 0) docx[i + 1] = 'X';
    KSpanDocSource src(docx);
    const DocProbe p = ParseZip(src);
    EXPECT_EQ(p.kind, DocKind::Zip);
    EXPECT_EQ(p.size, docx.size());

    // A truncated document keeps its kind from the local headers seen before the cut.
    const std::vector<uint8_t> full = LoadDocSample("sample.xlsx");
    const std::vector<uint8_t> half(full.begin(), full.begin() + static_cast<long>(full.size() * 3 / 4));
    KSpanDocSource halfSrc(half);
    const DocProbe h = ParseZip(halfSrc);
    EXPECT_EQ(h.kind, DocKind::Xlsx);
    EXPECT_EQ(h.size, 0u);
}

TEST(DocZip, StoredInnerArchiveDoesNotEndTheOuterOne)
{
    // An archive holding another archive uncompressed: the inner end record sits inside the
    // outer file, and its offsets do not fit the outer start.
    const std::vector<uint8_t> inner = LoadDocSample("sample-stream.zip");
    // One stored member whose data is the inner archive, then the outer central directory.
    tagZipLocalHeader h{};
    h.Signature = kZipLocalSig;
    h.VersionNeeded = 10;
    h.CompressedSize = h.UncompressedSize = static_cast<uint32_t>(inner.size());
    h.NameLength = 9;
    std::vector<uint8_t> zip(sizeof h);
    std::memcpy(zip.data(), &h, sizeof h);
    zip.insert(zip.end(), {'i', 'n', 'n', 'e', 'r', '.', 'z', 'i', 'p'});
    zip.insert(zip.end(), inner.begin(), inner.end());
    tagZipCentralHeader c{};
    c.Signature = kZipCentralSig;
    c.VersionNeeded = 10;
    c.CompressedSize = c.UncompressedSize = h.CompressedSize;
    c.NameLength = 9;
    const uint32_t cdOff = static_cast<uint32_t>(zip.size());
    zip.resize(zip.size() + sizeof c);
    std::memcpy(zip.data() + cdOff, &c, sizeof c);
    zip.insert(zip.end(), {'i', 'n', 'n', 'e', 'r', '.', 'z', 'i', 'p'});
    tagZipEndRecord e{};
    e.Signature = kZipEndSig;
    e.EntriesOnDisk = e.EntriesTotal = 1;
    e.CentralOffset = cdOff;
    e.CentralSize = static_cast<uint32_t>(zip.size() - cdOff);
    const size_t at = zip.size();
    zip.resize(at + sizeof e);
    std::memcpy(zip.data() + at, &e, sizeof e);
    // Force the search path as well: mark the member as having a trailing descriptor.
    for (uint16_t flags : {uint16_t{0}, uint16_t{8}})
    {
        std::memcpy(zip.data() + 6, &flags, 2);
        KSpanDocSource src(zip);
        const DocProbe p = ParseZip(src);
        EXPECT_EQ(p.size, zip.size()) << "flags " << flags;
    }
}

TEST(DocZip, LocalHeaderGate)
{
    const std::vector<uint8_t> zip = LoadDocSample("sample.zip");
    auto check = [&](size_t off, uint8_t value) {
        std::vector<uint8_t> b = zip;
        b[off] = value;
        return CheckZipLocalHeader(ByteView(b.data(), 30), ByteView(b.data() + 30, PeekU16LE(&b[26])));
    };
    EXPECT_TRUE(check(4, 20));
    EXPECT_FALSE(check(4, 64));    // version 6.4 does not exist
    EXPECT_FALSE(check(7, 0x80));  // reserved flag bit
    EXPECT_FALSE(check(8, 7));     // unknown method
    EXPECT_FALSE(check(30, 0x01)); // control character in the name
}

TEST(DocPdf, EndIsTheLastMarkerThatEndsTheFile)
{
    const std::vector<uint8_t> one = LoadDocSample("sample.pdf");
    const std::vector<uint8_t> two = LoadDocSample("sample-update.pdf");
    // The updated file keeps its first marker inside: its end is the second one.
    KSpanDocSource src2(two);
    EXPECT_EQ(ParsePdf(src2, 512).size, two.size());

    // Another document starting at the next sector boundary ends a file without a marker.
    std::vector<uint8_t> noEnd(one.begin(), one.end() - 7);
    noEnd.resize(2048, ' ');
    noEnd.insert(noEnd.end(), one.begin(), one.end());
    KSpanDocSource src3(noEnd);
    const DocProbe p = ParsePdf(src3, 512);
    EXPECT_EQ(p.kind, DocKind::Pdf);
    EXPECT_EQ(p.size, 0u);

    // Zeros after the marker are slack, not a continuation.
    std::vector<uint8_t> slack = one;
    slack.resize(one.size() + 600, 0);
    slack.insert(slack.end(), {'1', ' ', '0', ' ', 'o', 'b', 'j'});
    KSpanDocSource src4(slack);
    EXPECT_EQ(ParsePdf(src4, 512).size, one.size());

    // Digits, a comment or other junk after the marker are not an update, even when another
    // document's marker follows further on (not on a sector boundary).
    for (const char* junk : {"\n20261208 1 0 R junk", "12 0 R", "%comment\n", "7 0 objx"})
    {
        std::vector<uint8_t> after = one;
        after.insert(after.end(), junk, junk + std::strlen(junk));
        after.resize(one.size() + 1000, 'x');
        after.insert(after.end(), one.begin(), one.end());
        KSpanDocSource src(after);
        EXPECT_EQ(ParsePdf(src, 512).size, one.size()) << junk;
    }
    // An update after blank lines is kept, whether it starts with an object or a table.
    for (const char* update : {"\r\n\n3 0 obj\n<< >>\nendobj\n%%EOF\n", " xref\n0 1\n%%EOF\n"})
    {
        std::vector<uint8_t> updated = one;
        updated.insert(updated.end(), update, update + std::strlen(update));
        const size_t whole = updated.size();
        updated.resize(whole + 600, 0);
        KSpanDocSource src(updated);
        EXPECT_EQ(ParsePdf(src, 512).size, whole) << update;
    }

    const uint8_t notPdf[] = {'%', 'P', 'D', 'F', '-', 'x', '.', '1'};
    KSpanDocSource src5(notPdf);
    EXPECT_EQ(ParsePdf(src5, 512).kind, DocKind::None);
}

TEST(DocRar, HeaderCrcGuardsTheWalk)
{
    for (const char* file : {"sample.rar", "sample-v5.rar"})
    {
        SCOPED_TRACE(file);
        std::vector<uint8_t> rar = LoadDocSample(file);
        // Damage the first file header's name: the walk stops there, the start stays a RAR.
        const size_t nameAt = std::string(rar.begin(), rar.end()).find(".txt");
        ASSERT_NE(nameAt, std::string::npos);
        rar[nameAt] ^= 0x20;
        KSpanDocSource src(rar);
        DocProbe p = ParseRar(src);
        EXPECT_EQ(p.kind, DocKind::Rar);
        EXPECT_EQ(p.size, 0u);
        // A damaged archive header right after the marker: not an archive at all.
        rar = LoadDocSample(file);
        rar[std::string(file) == "sample.rar" ? 9 : 13] ^= 0x01;
        KSpanDocSource src2(rar);
        EXPECT_EQ(ParseRar(src2).kind, DocKind::None);
    }
}

TEST(DocMail, RecordedLengthBeyondTheBytesIsNotReported)
{
    for (const char* file : {"sample.pst", "sample-ansi.pst", "sample.dbx"})
    {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> full = LoadDocSample(file);
        const std::vector<uint8_t> part(full.begin(), full.end() - 512);
        const DocProbe p = ProbeAll(part);
        EXPECT_NE(p.kind, DocKind::None);
        EXPECT_EQ(p.size, 0u);
    }
    std::vector<uint8_t> pst = LoadDocSample("sample.pst");
    pst[10] = 16; // no store version 16
    KSpanDocSource src(pst);
    EXPECT_EQ(ParsePst(src).kind, DocKind::None);
    std::vector<uint8_t> dbx = LoadDocSample("sample.dbx");
    dbx[kDbxFileSizeOffset + 1] = 0; // smaller than the header itself
    dbx[kDbxFileSizeOffset] = 0x10;
    KSpanDocSource src2(dbx);
    EXPECT_EQ(ParseDbx(src2).kind, DocKind::None);
}

namespace {
DocProbe Rtf(std::string_view text)
{
    KSpanDocSource src(ByteView(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    return ParseRtf(src);
}
} // namespace

TEST(DocRtf, EndIsTheBraceThatClosesTheOuterGroup)
{
    struct Case
    {
        std::string_view text;
        uint64_t size; // 0: the end cannot be told
        const char* what;
    };
    const Case cases[] = {
        {"{\\rtf1 a{b}c}{\\rtf1 next}", 13, "nested group, then the next document"},
        {"{\\rtf1 \\{ \\} \\\\}\r\nXY", 18, "escaped braces and backslash; CR LF belongs to the file"},
        {"{\\rtf1 {\\*\\objdata \\bin4 }}}{}}ZZ", 31, "braces inside binary data are data"},
        {"{\\rtf1 \\bin-5 }}", 15, "a negative binary length skips nothing"},
        {"{\\rtf1 {unclosed", 0, "cut before the outer group closes"},
        {"{\\rtf1 \\bin999 }", 0, "binary data past the end"},
        {std::string_view("{\\rtf1 text\0\0\0\0}", 16), 0, "zeros: overwritten or cut"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const DocProbe p = Rtf(c.text);
        EXPECT_EQ(p.kind, DocKind::Rtf);
        EXPECT_EQ(p.size, c.size);
    }
    EXPECT_EQ(Rtf("{\\rtfX}").kind, DocKind::None);
}

TEST(DocSqlite, PageCountCountsOnlyWhileCurrent)
{
    const std::vector<uint8_t> db = LoadDocSample("sample.sqlite");
    ASSERT_GE(db.size(), 100u);
    {
        // The header's page count written by a writer that did not keep it current.
        std::vector<uint8_t> stale = db;
        stale[95] ^= 1; // version-valid-for no longer equals the change counter
        KSpanDocSource src(stale);
        const DocProbe p = ParseSqlite(src);
        EXPECT_EQ(p.kind, DocKind::Sqlite);
        EXPECT_EQ(p.size, 0u);
    }
    {
        // A page size that is not a power of two, and a foreign payload fraction.
        std::vector<uint8_t> bad = db;
        bad[16] = 0x03, bad[17] = 0x00;
        EXPECT_FALSE(CheckSqliteHeader(bad));
        bad = db;
        bad[21] = 65;
        EXPECT_FALSE(CheckSqliteHeader(bad));
    }
    {
        // A page count beyond the bytes there are.
        std::vector<uint8_t> big = db;
        big[28] = 0x00, big[29] = 0x10;
        KSpanDocSource src(big);
        EXPECT_EQ(ParseSqlite(src).size, 0u);
    }
}

namespace {

// A summary information stream of one section holding a code page and a title value.
std::vector<uint8_t> SummaryStream(uint16_t codePage, uint16_t type, uint32_t length, const std::string& text)
{
    std::vector<uint8_t> b(48, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        if (b.size() < at + 4) b.resize(at + 4, 0);
        std::memcpy(&b[at], &v, 4);
    };
    b[0] = 0xFE, b[1] = 0xFF;
    put32(24, 1);
    std::memcpy(&b[28], kSummaryInfoFmtid, 16);
    put32(44, 48);
    // Section at 48: size, two properties, then the values at 24 and 32 of the section.
    put32(48 + 4, 2);
    put32(48 + 8, kPidCodePage), put32(48 + 12, 24);
    put32(48 + 16, kPidTitle), put32(48 + 20, 32);
    put32(48 + 24, kVtI2), put32(48 + 28, codePage);
    put32(48 + 32, type), put32(48 + 36, length);
    b.insert(b.end(), text.begin(), text.end());
    put32(48, static_cast<uint32_t>(b.size() - 48));
    return b;
}

std::string U16(std::u16string_view s)
{
    std::string b;
    for (const char16_t c : s) b += static_cast<char>(c & 0xFF), b += static_cast<char>(c >> 8);
    return b;
}

} // namespace

// Titles as their writers store them (the real samples of every writer: MetaNameTest): XML
// references and CDATA, the namespace prefix the part binds, and summary information in the
// code pages and string types compound files use.
TEST(OfficeTitles, TextIsDecodedAsItsWriterMeantIt)
{
    constexpr std::string_view kDc = " xmlns:dc=\"http://purl.org/dc/elements/1.1/\"";
    const std::pair<std::string, std::string> xml[] = {
        {"<p" + std::string(kDc) + "><dc:title> A &amp; B &lt;1&gt; &#233;&#xE9;&#x1F600; &#55296; &bogus; </dc:title>",
         "A & B <1> éé😀 &#55296; &bogus;"},
        {"<p xmlns:d='http://purl.org/dc/elements/1.1/'><d:titles>x</d:titles><d:title>Bound</d:title>", "Bound"},
        // Another namespace's value holding "xmlns:" (as OpenDocument's own do).
        {"<p xmlns:m=\"urn:x:xmlns:m:1.0\"" + std::string(kDc) + "><dc:title>After</dc:title>", "After"},
        {"<p" + std::string(kDc) + "><dc:title><![CDATA[a < b]]> c</dc:title>", "a < b c"},
        {"<p" + std::string(kDc) + "><dc:title/><dc:title>Second</dc:title>", ""},
        {"<p" + std::string(kDc) + "><dc:title>never ends", ""},
    };
    for (const auto& [in, want] : xml) EXPECT_EQ(XmlDcTitle(in), want) << in;

    const struct
    {
        uint16_t codePage, type;
        uint32_t length;
        std::string text, want;
    } summary[] = {
        {1252, kVtLpstr, 9, std::string("Caf\xE9 \x80 \x96\0", 9), "Café € –"},
        {1200, kVtLpstr, 6, U16(u"Ωx") + std::string(2, '\0'), "Ωx"},
        {1252, kVtLpwstr, 3, U16(u"Ωx") + std::string(2, '\0'), "Ωx"},
        {65001, kVtLpstr, 6, "Gr\xC3\xBC\xC3\x9F", "Grüß"},
        {1251, kVtLpstr, 3, "Abc", "Abc"},
        {1251, kVtLpstr, 3, "\xC0\xE1\xE2", ""}, // not guessed in a code page not known here
        {1252, kVtLpstr, 400, "Short", ""},      // runs past the stream
    };
    for (const auto& c : summary)
        EXPECT_EQ(SummaryTitle(SummaryStream(c.codePage, c.type, c.length, c.text)), c.want) << c.want;
}
