// Names read from what found files carry, at the plug-in: real samples made by the tools of
// their trade, the same samples with hostile metadata, and every cut of them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "RawScanHarness.h"

namespace {

struct tagNamedSample
{
    const char* file;
    const char* extension;
    const char* name;
};

constexpr tagNamedSample kSamples[] = {
    {"names/camera.jpg", "jpg", "2021-06-15 09-40-00 Canon EOS 80D"},
    {"names/phone.tif", "tif", "2019-12-31 23-59-58 Apple iPhone 8"},
    {"names/phone.heic", "heic", "2023-03-04 05-06-07 Google Pixel 7"},
    {"names/song.mp3", "mp3", "Åsa Ström - Sång för Västerås"},
    {"media/tagged.mp3", "mp3", "Test - Tone"},
    {"names/song.flac", "flac", "Ensemble Ω - Nocturne No. 2"},
    {"names/titled.pdf", "pdf", "Quarterly Report 2021"},
    {"names/retitled.pdf", "pdf", "Minutes 3/4: Budget"},
    {"names/message.eml", "eml", "Grüße aus Köln"},
    // Titles in the deflated properties part of office documents ("&" stored as "&amp;") and in
    // the summary information of compound files.
    {"names/report.docx", "docx", "Année 2021 – Bilan & Perspectives"},
    {"names/report.odt", "odt", "Année 2021 – Bilan & Perspectives"},
    {"names/budget.xlsx", "xlsx", "Budget 2022 « Prévisions »"},
    {"names/budget.ods", "ods", "Budget 2022 « Prévisions »"},
    {"names/report.doc", "doc", "Année 2021 – Bilan & Perspectives"},
    {"names/budget.xls", "xls", "Budget 2022 « Prévisions »"},
    // Files that carry nothing to be named by.
    {"media/bare.mp3", "mp3", ""},
    {"media/baseline.jpg", "jpg", ""},
    {"docs/sample.pdf", "pdf", ""},
    {"docs/sample.docx", "docx", ""},
    {"docs/sample.odt", "odt", ""},
    {"docs/sample.doc", "doc", ""},
};

// The one file `type` finds in `file` laid after two sectors of junk; its name.
std::string NameFound(const std::vector<uint8_t>& file, const RawTypePtr& type)
{
    std::vector<uint8_t> image = Junk(2 * 512, 5);
    Plant(image, 2 * 512, file);
    image.resize((image.size() + 511) / 512 * 512 + 1024, 0);
    const auto found = ScanImage(image, type);
    return found.size() == 1 && found[0].firstSector == 2 ? found[0].name : "<not found>";
}

size_t Find(const std::vector<uint8_t>& bytes, std::string_view what, size_t from = 0)
{
    for (size_t i = from; i + what.size() <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, what.data(), what.size()) == 0) return i;
    return std::string::npos;
}

} // namespace

TEST(MetadataNames, RealSamplesAreNamedFromWhatTheyCarry)
{
    for (const tagNamedSample& s : kSamples)
    {
        const RawTypePtr type = AnyType(s.extension);
        ASSERT_TRUE(type) << s.extension;
        EXPECT_EQ(NameFound(RawSample(s.file), type), s.name) << s.file;
    }
}

TEST(MetadataNames, HostileMetadataIsBoundedAndCutFilesNameThemselvesOrNot)
{
    // The EXIF directory pointer aimed back at the main directory (a cycle): the date of the
    // main directory (a later edit) is all there is.
    std::vector<uint8_t> jpg = RawSample("names/camera.jpg");
    const size_t tiff = Find(jpg, std::string_view("Exif\0\0", 6)) + 6;
    ASSERT_LT(tiff, jpg.size());
    const bool le = jpg[tiff] == 'I';
    auto u32 = [&](size_t at) {
        return le ? uint32_t{jpg[at]} | jpg[at + 1] << 8 | jpg[at + 2] << 16 | uint32_t{jpg[at + 3]} << 24
                  : uint32_t{jpg[at]} << 24 | jpg[at + 1] << 16 | jpg[at + 2] << 8 | jpg[at + 3];
    };
    const uint32_t ifd0 = u32(tiff + 4);
    const size_t entries =
        le ? jpg[tiff + ifd0] | jpg[tiff + ifd0 + 1] << 8 : jpg[tiff + ifd0] << 8 | jpg[tiff + ifd0 + 1];
    bool aimed = false;
    for (size_t e = 0; e < entries; ++e)
    {
        const size_t at = tiff + ifd0 + 2 + 12 * e;
        const uint16_t tag = le ? jpg[at] | jpg[at + 1] << 8 : jpg[at] << 8 | jpg[at + 1];
        if (tag != 0x8769) continue;
        std::vector<uint8_t> cyclic = jpg;
        std::memcpy(cyclic.data() + at + 8, jpg.data() + tiff + 4, 4);
        EXPECT_EQ(NameFound(cyclic, AnyType("jpg")), "2022-01-01 10-00-00 Canon EOS 80D");
        // Aimed past the segment (and the file): no EXIF date, the main directory's again.
        std::vector<uint8_t> wild = jpg;
        std::memset(wild.data() + at + 8, le ? 0xF0 : 0x7F, 4);
        EXPECT_EQ(NameFound(wild, AnyType("jpg")), "2022-01-01 10-00-00 Canon EOS 80D");
        aimed = true;
    }
    EXPECT_TRUE(aimed);

    // An ID3 title frame whose size runs far past its tag: that frame is not read, and the
    // ID3v1 trailer (UTF-8 in its Latin-1 fields, as this writer does) stands in; without the
    // trailer there is no title, and an artist alone names nothing.
    std::vector<uint8_t> mp3 = RawSample("names/song.mp3");
    const size_t tit2 = Find(mp3, "TIT2");
    ASSERT_NE(tit2, std::string::npos);
    std::memset(mp3.data() + tit2 + 4, 0x7F, 4);
    EXPECT_EQ(NameFound(mp3, AnyType("mp3")), "Åsa Ström - Sång för Västerås");
    std::memcpy(mp3.data() + mp3.size() - 128, "XXX", 3);
    EXPECT_EQ(NameFound(mp3, AnyType("mp3")), "");

    // A PDF whose cross-reference offset points nowhere: the latest information dictionary is
    // found by its object header instead.
    std::vector<uint8_t> pdf = RawSample("names/retitled.pdf");
    const size_t startxref = Find(pdf, "startxref", pdf.size() - 64);
    ASSERT_NE(startxref, std::string::npos);
    std::memcpy(pdf.data() + startxref + 10, "9999", 4);
    EXPECT_EQ(NameFound(pdf, AnyType("pdf")), "Minutes 3/4: Budget");

    // An OpenDocument file cut after its properties part, its central directory lost: the
    // members before it are passed by their own streams and descriptors.
    const std::vector<uint8_t> odt = RawSample("names/report.odt");
    const size_t settings = Find(odt, "settings.xml");
    ASSERT_NE(settings, std::string::npos);
    const std::vector<uint8_t> cutOdt(odt.begin(), odt.begin() + static_cast<std::ptrdiff_t>(settings - 30));
    EXPECT_EQ(NameFound(cutOdt, AnyType("odt")), "Année 2021 – Bilan & Perspectives");

    // Every cut of every sample: the name is the whole one or none. A retitled PDF cut before
    // its update is the first version, with the first title; a subject cut inside its encoded
    // word stays that text, a mail header being what it is.
    for (const tagNamedSample& s : kSamples)
    {
        const std::vector<uint8_t> whole = RawSample(s.file);
        const RawTypePtr type = AnyType(s.extension);
        const size_t step = std::max<size_t>(whole.size() / 48, 1);
        for (size_t cut = step; cut < whole.size(); cut += step)
        {
            const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
            const std::string name = NameFound(part, type);
            if (name == "<not found>" || name.empty() || name == s.name) continue;
            if (std::string(s.file) == "names/retitled.pdf" && name == "Quarterly Report 2021") continue;
            EXPECT_EQ(std::string(s.extension), "eml") << s.file << " cut at " << cut << ": " << name;
            EXPECT_LE(name.size(), 255u);
        }
    }
}
