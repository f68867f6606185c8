// The text carver: text files of every kind laid into junk are found once, with their kind and
// exact length, by a scan with every type the program ships; text ends only where a file can.
// And the precision of the whole scan: random data, compressed data and machine code give no
// file that is not there.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "RawScanHarness.h"
#include "support/TestFiles.h"

namespace {
struct tagTextSample
{
    const char* extension;
    std::string body;
};

std::string Repeat(const std::string& line, int times)
{
    std::string s;
    for (int i = 0; i < times; ++i) s += line;
    return s;
}

std::vector<tagTextSample> TextSamples()
{
    const std::string mail = "Return-Path: <ann@example.org>\nReceived: from mx.example.org by example.net\n"
                             "From: Ann <ann@example.org>\nTo: bob@example.net\nSubject: Minutes\n"
                             "Date: Tue, 15 Jun 2021 09:40:00 +0200\nMessage-ID: <1@example.org>\n\n";
    return {
        {"html",
         "<!DOCTYPE html>\n<html><head><title>Notes</title></head>\n<body>\n" +
             Repeat("<p>Meeting notes, caf\xC3\xA9 \xE2\x82\xAC 12, item after item.</p>\n", 40) + "</body></html>\n"},
        {"html",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- page -->\n<html xmlns=\"http://www.w3.org/1999/xhtml\">\n"
         "<body><p>An XHTML page with enough words to pass the minimum.</p></body></html>\n"},
        {"xml",
         "<?xml version=\"1.0\"?>\n<catalog>\n" + Repeat("  <book id=\"b1\"><title>Dune</title></book>\n", 30) +
             "</catalog>\n"},
        {"svg",
         "<?xml version=\"1.0\" standalone=\"no\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" "
         "height=\"10\">\n"
         "<rect width=\"10\" height=\"10\" fill=\"red\"/>\n</svg>\n"},
        {"json",
         "{\n  \"name\": \"vellum\",\n  \"tags\": [\"a\", \"b\", 3, -4.5e2, true, null],\n  \"nested\": {\"k\": "
         "\"v\\\"q\"}\n}\n"},
        {"eml", mail + Repeat("The minutes are attached below, line by line.\n", 20)},
        {"mbox",
         "From ann@example.org Tue Jun 15 09:40:00 2021\n" + mail +
             "Body one.\n\n"
             "From bob@example.net Tue Jun 15 10:00:00 2021\n" +
             mail + "Body two.\n"},
        {"vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Example\r\nTEL:+1 555 0100\r\nEND:VCARD\r\n"},
        {"ics",
         "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nSUMMARY:Review\r\nDTSTART:20210615T094000Z\r\n"
         "END:VEVENT\r\nEND:VCALENDAR\r\n"},
        {"sh", "#!/bin/sh\nset -e\nfor f in *.txt; do\n  echo \"$f\"\n  wc -l \"$f\"\ndone\n"},
        {"ps",
         "%!PS-Adobe-3.0\n%%Pages: 1\n/Times-Roman findfont 12 scalefont setfont\n72 720 moveto (Hello) "
         "show\nshowpage\n%%EOF\n"},
        {"eps",
         "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 100 100\nnewpath 0 0 moveto 100 100 lineto stroke\n%%EOF\n"},
        {"c", "#include <stdio.h>\n\nint main(void)\n{\n    puts(\"hello, world\");\n    return 0;\n}\n"},
        {"csv", "date;amount;payee\n" + Repeat("2021-06-15;12,50;\"Caf\xC3\xA9; Bar\"\n", 25)},
        {"txt", Repeat("Plain words in a plain file, \xCE\xB1\xCE\xB2\xCE\xB3 and \xF0\x9F\x99\x82 too.\n", 60)},
        {"txt", ReadFileText(SourcePath("README.md"))},
        {"c", ReadFileText(SourcePath("plugins/text/KTextType.h"))},
        {"c",
         "/*\n * Licence text first, as in most sources.\n */\n\n#include \"vlm.h\"\n\nint vlm(void) { return 0; }\n"},
        {"py",
         "# A module.\n\"\"\"Docstring\nover lines.\"\"\"\nimport os\nfrom sys import argv\nprint(os.sep, argv)\n"},
    };
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// Runs a program and returns what it wrote.
std::vector<uint8_t> Output(const std::string& command)
{
    std::vector<uint8_t> out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.insert(out.end(), buf, buf + n);
    ::pclose(pipe);
    return out;
}

} // namespace

TEST(TextCarver, EveryKindFoundOnceWithItsLength)
{
    const std::vector<tagTextSample> samples = TextSamples();
    std::vector<uint8_t> image = Junk(8 * 512, 21);
    struct Placed
    {
        const char* extension;
        int64_t sector, size;
    };
    std::vector<Placed> placed;
    for (size_t i = 0; i < samples.size(); ++i)
    {
        ASSERT_GT(samples[i].body.size(), 64u) << i;
        const int64_t sector = static_cast<int64_t>(image.size() / 512);
        Plant(image, image.size(), Bytes(samples[i].body));
        // The rest of the last sector is zero, as in an unused cluster tail; then junk.
        image.resize((image.size() + 511) / 512 * 512);
        const std::vector<uint8_t> junk = Junk((2 + i % 3) * 512, static_cast<uint32_t>(30 + i));
        image.insert(image.end(), junk.begin(), junk.end());
        placed.push_back({samples[i].extension, sector, static_cast<int64_t>(samples[i].body.size())});
    }
    const std::vector<RawTypePtr> types = AllTypes();
    for (uint32_t bufferSectors : {512u, 3u})
    {
        const auto found = ScanImage(image, types, 512, bufferSectors);
        std::string what;
        for (const tagFoundFile& f : found) what += f.extension + "@" + std::to_string(f.firstSector) + " ";
        ASSERT_EQ(found.size(), placed.size()) << what;
        for (const Placed& p : placed)
        {
            int hits = 0;
            for (const tagFoundFile& f : found)
            {
                if (f.firstSector != p.sector) continue;
                ++hits;
                EXPECT_EQ(f.extension, p.extension) << "at sector " << p.sector;
                EXPECT_EQ(f.size, p.size) << p.extension << " at sector " << p.sector;
            }
            EXPECT_EQ(hits, 1) << p.extension << " at sector " << p.sector;
        }
    }
}

TEST(TextCarver, EndsOnlyWhereAFileCanEnd)
{
    const RawTypePtr txt = AnyType("txt");
    const std::string line = "Every line of this file is text and nothing else, up to the end\n"; // 64 bytes
    const std::vector<uint8_t> junk = Junk(2048, 41); // sectors that start with zeros
    auto scan = [&](const std::string& text, bool junkAfter) {
        std::vector<uint8_t> image = Junk(8 * 512, 40);
        Plant(image, 512, Bytes(text));
        if (junkAfter)
            Plant(image, 512 + text.size(), junk);
        else
            std::fill(image.begin() + 512 + static_cast<long>(text.size()), image.begin() + 512 * 8, 0);
        return ScanImage(image, txt);
    };
    // Text stopping mid-sector at anything but zeros is a string inside other data, however long.
    EXPECT_TRUE(scan(Repeat(line, 3) + "x", true).empty());
    EXPECT_TRUE(scan(Repeat(line, 14) + "x", true).empty());
    // Text filling whole sectors, then a sector that is not text: it ends at the boundary.
    auto found = scan(Repeat(line, 16), true);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, 1024);
    // Short plain text: lines of something, ending with a line break.
    EXPECT_EQ(scan(Repeat(line, 2), false).size(), 1u);
    EXPECT_TRUE(scan(Repeat(line, 2) + "no line break at the end", false).empty());
    EXPECT_TRUE(scan(std::string(200, ' ') + "@\n", false).empty());
}

// Random bytes, a program (this test), and the program compressed by two real compressors,
// scanned with every type: nothing but the program and the xz stream themselves, once each.
TEST(CarvingPrecision, NothingFoundInRandomCompressedOrMachineCode)
{
    const std::vector<RawTypePtr> types = AllTypes();
    std::vector<uint8_t> random = PatternBytes(32u << 20, 50);
    std::vector<uint8_t> code = ReadFileBytes("/proc/self/exe");
    ASSERT_GT(code.size(), 1u << 20);
    TempDir dir;
    WriteFileBytes(dir.File("code"), code);
    std::vector<uint8_t> packed = Output("zstd -q -3 -c " + ShellQuote(dir.File("code")));
    std::vector<uint8_t> xz = Output("xz -1 -T1 -c " + ShellQuote(dir.File("code")));
    ASSERT_GT(packed.size(), 1u << 18);
    ASSERT_GT(xz.size(), 1u << 18);
    struct Case
    {
        std::vector<uint8_t>* data;
        const char* onlyHit; // the one file expected at sector 0, or null
    } cases[] = {{&random, nullptr}, {&code, "elf"}, {&packed, nullptr}, {&xz, "xz"}};
    for (const Case& c : cases)
    {
        const int64_t size = static_cast<int64_t>(c.data->size());
        c.data->resize((c.data->size() + 511) / 512 * 512);
        const auto found = ScanImage(*c.data, types);
        std::string what;
        for (const tagFoundFile& f : found) what += f.extension + "@" + std::to_string(f.firstSector) + " ";
        if (!c.onlyHit)
        {
            EXPECT_TRUE(found.empty()) << size << " bytes: " << what;
            continue;
        }
        ASSERT_EQ(found.size(), 1u) << c.onlyHit << ": " << what;
        EXPECT_EQ(found[0].extension, c.onlyHit);
        EXPECT_EQ(found[0].firstSector, 0);
        EXPECT_EQ(found[0].size, size) << c.onlyHit;
    }
}
