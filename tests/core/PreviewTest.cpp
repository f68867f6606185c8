// Previews: the refusals and limits, the text encodings, the head copy for players and the
// quick previewer's choice, read through engine streams over in-memory volumes and the
// committed images.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "SessionRig.h"
#include "base/VlmErrors.h"
#include "core/CPreviewTempFile.h"
#include "core/PreviewCheck.h"
#include "core/PreviewHexDump.h"
#include "core/PreviewQuick.h"
#include "core/PreviewRtf.h"
#include "core/PreviewStream.h"
#include "core/PreviewText.h"
#include "core/VlmStrings.h"
#include "fat/KFatFileSystem.h"
#include "fs/KNodeTree.h"
#include "fs/KOutStream.h"
#include "support/TestFiles.h"
#include "support/TestTrees.h"
#include "support/MemoryMedia.h"

namespace {

constexpr int64_t kMiB = 1048576;

tagFileNode FileRecord(int64_t size, uint16_t attributes = FN_ATTR_ARCHIVE)
{
    tagFileNode r{};
    r.wValidMask = FN_MASK_FOUND;
    r.s64Size = size;
    r.wAttributes = attributes;
    r.byKind = FN_KIND_PRESENT;
    return r;
}

// A file of `size` bytes whose data are `runs` over a volume holding `image`.
struct MemoryFile
{
    MemoryFile(std::vector<uint8_t> image, int64_t size, const StreamVector& runs)
        : Volume(std::move(image)), Record(FileRecord(size)), Stream(&Record, &Volume)
    {
        Stream.SetRuns(runs);
    }
    // The bytes themselves, in one run.
    explicit MemoryFile(const std::vector<uint8_t>& bytes)
        : MemoryFile(Padded(bytes), static_cast<int64_t>(bytes.size()),
                     {{0, static_cast<uint32_t>((bytes.size() + 511) / 512), 0}})
    {}
    static std::vector<uint8_t> Padded(std::vector<uint8_t> bytes)
    {
        bytes.resize((bytes.size() + 511) / 512 * 512);
        return bytes;
    }
    MemoryVolume Volume;
    tagFileNode Record;
    KOutStream Stream;
};

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

struct RecordingProgress final : IProgress_Client
{
    int SetMaxValue(int64_t max) override
    {
        Max = max;
        return 0;
    }
    int SetValue(int64_t value) override
    {
        Values.push_back(value);
        return 0;
    }
    int IsCanceled() override { return CancelAfter >= 0 && static_cast<int>(Values.size()) >= CancelAfter; }
    int64_t Max = -1;
    std::vector<int64_t> Values;
    int CancelAfter = -1;
};

} // namespace

TEST(PreviewChecks, RefusalsInTheirOrder)
{
    EXPECT_EQ(PreviewRefusal(nullptr), IDS_PREVIEW_SELECT_FILE);
    tagFileNode noSize = FileRecord(10);
    noSize.wValidMask &= static_cast<uint16_t>(~FN_MASK_SIZE);
    EXPECT_EQ(PreviewRefusal(&noSize), IDS_PREVIEW_BAD_SIZE);
    tagFileNode noAttributes = FileRecord(10, FN_ATTR_FOLDER);
    noAttributes.wValidMask &= static_cast<uint16_t>(~FN_MASK_ATTRIBUTES);
    EXPECT_EQ(PreviewRefusal(&noAttributes), IDS_PREVIEW_BAD_SIZE);
    tagFileNode negative = FileRecord(-1);
    EXPECT_EQ(PreviewRefusal(&negative), IDS_PREVIEW_BAD_SIZE);
    tagFileNode folder = FileRecord(0, FN_ATTR_FOLDER | FN_ATTR_COMPRESSED);
    EXPECT_EQ(PreviewRefusal(&folder), IDS_PREVIEW_DIRECTORY);
    tagFileNode both = FileRecord(10, FN_ATTR_COMPRESSED | FN_ATTR_ENCRYPTED);
    EXPECT_EQ(PreviewRefusal(&both), IDS_PREVIEW_ENCRYPTED);
    tagFileNode compressed = FileRecord(10, FN_ATTR_COMPRESSED);
    EXPECT_EQ(PreviewRefusal(&compressed), 0u);
    tagFileNode encrypted = FileRecord(10, FN_ATTR_ENCRYPTED | FN_ATTR_READONLY);
    EXPECT_EQ(PreviewRefusal(&encrypted), IDS_PREVIEW_ENCRYPTED);
    tagFileNode plain = FileRecord(0, FN_ATTR_READONLY | FN_ATTR_HIDDEN);
    EXPECT_EQ(PreviewRefusal(&plain), 0u);
}

TEST(PreviewChecks, TextAndMediaLimits)
{
    tagFileNode exact = FileRecord(10485760);
    tagFileNode over = FileRecord(10485761);
    EXPECT_EQ(TextPreviewRefusal(&exact), 0u);
    EXPECT_EQ(TextPreviewRefusal(&over), IDS_PREVIEW_TEXT_TOO_BIG);
    tagFileNode folder = FileRecord(20 * kMiB, FN_ATTR_FOLDER);
    EXPECT_EQ(TextPreviewRefusal(&folder), IDS_PREVIEW_DIRECTORY);
    EXPECT_FALSE(MediaPreviewTruncated(&exact));
    EXPECT_TRUE(MediaPreviewTruncated(&over));

    tagFileNode quick = FileRecord(kQuickPreviewLimit);
    EXPECT_TRUE(QuickPreviewAllowed(&quick));
    quick.s64Size += 1;
    EXPECT_FALSE(QuickPreviewAllowed(&quick));
    EXPECT_FALSE(QuickPreviewAllowed(&folder));
    EXPECT_FALSE(QuickPreviewAllowed(nullptr));
}

TEST(PreviewText, FileOfExactlyTheLimitIsReadWhole)
{
    const std::vector<uint8_t> bytes = PatternBytes(static_cast<size_t>(kPreviewTextLimit), 7);
    MemoryFile file(bytes);
    ASSERT_EQ(TextPreviewRefusal(&file.Record), 0u);
    std::vector<uint8_t> read;
    tagStreamCopy copy;
    EXPECT_EQ(ReadStreamHead(file.Stream, kPreviewTextLimit, read, &copy), ERROR_SUCCESS);
    EXPECT_EQ(copy.s64Bytes, kPreviewTextLimit);
    EXPECT_EQ(copy.dwBadPieces, 0u);
    EXPECT_TRUE(read == bytes);
}

TEST(PreviewText, EncodingsGuessedAndConverted)
{
    struct Case
    {
        std::vector<uint8_t> bytes;
        ETextEncoding encoding;
        std::string utf8;
    };
    const Case cases[] = {
        {Bytes("plain ascii\r\n"), ETextEncoding::Utf8, "plain ascii\r\n"},
        {Bytes("\xEF\xBB\xBFmit BOM \xC3\xA4"), ETextEncoding::Utf8, "mit BOM \xC3\xA4"},
        {Bytes("\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xF0\x9F\x93\xB7"), ETextEncoding::Utf8,
         "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xF0\x9F\x93\xB7"},
        // The head of a file may end inside a character: still UTF-8, the stump replaced.
        {Bytes("caf\xC3\xA9 \xE2\x82"), ETextEncoding::Utf8, "caf\xC3\xA9 \xEF\xBF\xBD"},
        {Bytes("caf\xE9 cr\xE8me"), ETextEncoding::Latin1, "caf\xC3\xA9 cr\xC3\xA8me"},
        // Overlong and surrogate forms are not UTF-8.
        {Bytes("a\xC0\x80"), ETextEncoding::Latin1, "a\xC3\x80\xC2\x80"},
        {Bytes("\xED\xA0\x80"), ETextEncoding::Latin1, "\xC3\xAD\xC2\xA0\xC2\x80"},
        {Bytes(std::string_view("\xFF\xFEh\0i\0=\xD8\xF7\xDC", 10)), ETextEncoding::Utf16LE, "hi\xF0\x9F\x93\xB7"},
        {Bytes(std::string_view("\xFE\xFF\0h\xD8\x3D\0i\0", 9)), ETextEncoding::Utf16BE, "h\xEF\xBF\xBDi\xEF\xBF\xBD"},
        // UTF-16 without a byte-order mark is not guessed.
        {Bytes(std::string_view("h\0i\0", 4)), ETextEncoding::Utf8, std::string("h\0i\0", 4)},
    };
    for (const Case& c : cases)
    {
        const std::string label(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(GuessTextEncoding(c.bytes), c.encoding) << label;
        EXPECT_EQ(PlainTextToUtf8(c.bytes), c.utf8) << label;
    }
    EXPECT_TRUE(IsRichText(Bytes("{\\rtf1\\ansi hello}")));
    EXPECT_FALSE(IsRichText(Bytes("{\\rt")));
    EXPECT_FALSE(IsRichText(Bytes(" {\\rtf1")));
}

TEST(PreviewStream, DamageAndShortRunsDoNotHideTheRest)
{
    // Three pieces of 1 MiB; the middle one lies on a bad sector.
    const std::vector<uint8_t> image = PatternBytes(static_cast<size_t>(3 * kMiB), 3);
    MemoryFile file(image, 3 * kMiB, {{0, 6144, 0}});
    file.Volume.SetBadRange(2048 + 100, 1);
    std::vector<uint8_t> read;
    tagStreamCopy copy;
    EXPECT_EQ(ReadStreamHead(file.Stream, -1, read, &copy), ERROR_SUCCESS);
    ASSERT_EQ(read.size(), static_cast<size_t>(3 * kMiB));
    EXPECT_EQ(copy.dwBadPieces, 1u);
    EXPECT_TRUE(std::equal(read.begin(), read.begin() + kMiB, image.begin()));
    EXPECT_TRUE(std::all_of(read.begin() + kMiB, read.begin() + 2 * kMiB, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(read.begin() + 2 * kMiB, read.end(), image.begin() + 2 * kMiB));

    // Runs that end before the file size: what they hold is delivered, then the end is told.
    MemoryFile shortRuns(image, 3 * kMiB, {{0, 3000, 0}});
    EXPECT_EQ(ReadStreamHead(shortRuns.Stream, -1, read, &copy), ERROR_READ_FAULT);
    EXPECT_EQ(copy.s64Bytes, 3000 * 512);
    EXPECT_TRUE(std::equal(read.begin(), read.end(), image.begin()));
}

TEST(PreviewTempFile, LargeMediaFileCopiesItsFirstTenMiBAndIsGoneAfterwards)
{
    // 30 MiB of file from 1 MiB of volume: the runs visit the same sectors again and again,
    // each time shifted by one sector so that a piece copied from the wrong place shows.
    const std::vector<uint8_t> image = PatternBytes(static_cast<size_t>(kMiB + 30 * 512), 11);
    StreamVector runs;
    std::vector<uint8_t> expected;
    for (uint32_t i = 0; i < 30; ++i)
    {
        runs.push_back({i, 2048, 0});
        if (expected.size() < static_cast<size_t>(kPreviewMediaLimit))
            expected.insert(expected.end(), image.begin() + i * 512, image.begin() + i * 512 + kMiB);
    }
    MemoryFile file(image, 30 * kMiB, runs);
    ASSERT_TRUE(MediaPreviewTruncated(&file.Record));
    std::string path, folder;
    {
        CPreviewTempFile temp;
        ASSERT_EQ(temp.Prepare("holiday clip.avi"), ERROR_SUCCESS);
        path = temp.Path();
        folder = std::filesystem::path(path).parent_path().string();
        EXPECT_EQ(std::filesystem::path(path).filename(), "holiday clip.avi");
        EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_all);
        RecordingProgress progress;
        ASSERT_EQ(temp.CopyHead(file.Stream, kPreviewMediaLimit, &progress), ERROR_SUCCESS);
        EXPECT_EQ(progress.Max, kPreviewMediaLimit);
        ASSERT_EQ(progress.Values.size(), 10u);
        EXPECT_EQ(progress.Values.front(), kPreviewPieceBytes);
        EXPECT_EQ(progress.Values.back(), kPreviewMediaLimit);
        EXPECT_EQ(std::filesystem::file_size(path), static_cast<uintmax_t>(kPreviewMediaLimit));
        EXPECT_TRUE(ReadFileBytes(path) == expected);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(PreviewTempFile, CancelNamesAndStrangers)
{
    const std::vector<uint8_t> image = PatternBytes(static_cast<size_t>(4 * kMiB), 5);
    MemoryFile file(image, 4 * kMiB, {{0, 8192, 0}});
    CPreviewTempFile temp;
    ASSERT_EQ(temp.Prepare("clip.mpg"), ERROR_SUCCESS);
    RecordingProgress progress;
    progress.CancelAfter = 2;
    EXPECT_EQ(temp.CopyHead(file.Stream, kPreviewMediaLimit, &progress), ERROR_CANCELLED);
    EXPECT_FALSE(std::filesystem::exists(temp.Path()));

    // A file of the same name in the temporary folder belongs to someone else: it survives.
    TempDir tmp;
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", tmp.Path().c_str(), 1);
    WriteFileBytes(tmp.File("clip.mpg"), Bytes("not ours"));
    CPreviewTempFile other;
    const uint32_t prepared = other.Prepare("../clip.mpg");
    old ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");
    ASSERT_EQ(prepared, ERROR_SUCCESS);
    EXPECT_EQ(std::filesystem::path(other.Path()).filename(), ".._clip.mpg");
    EXPECT_EQ(std::filesystem::path(other.Path()).parent_path().parent_path(), std::filesystem::path(tmp.Path()));
    EXPECT_EQ(other.CopyHead(file.Stream, 100, nullptr), ERROR_SUCCESS);
    other.Remove();
    EXPECT_TRUE(ReadFileBytes(tmp.File("clip.mpg")) == Bytes("not ours"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.Path()), {}), 1);

    EXPECT_EQ(PreviewSafeFileName(".."), "_");
    EXPECT_EQ(PreviewSafeFileName(""), "_");
    const std::string longName = std::string(150, 'a') + std::string(100, '\xD0') + ".jpeg";
    const std::string cut = PreviewSafeFileName(longName);
    EXPECT_LE(cut.size(), 200u);
    EXPECT_EQ(cut.substr(cut.size() - 5), ".jpeg");
}

TEST(PreviewQuick, DocumentTableAndCompoundCheck)
{
    const std::vector<uint8_t> doc = ReadFileBytes(SourcePath("tests/data/raw/docs/sample.doc"));
    const std::vector<uint8_t> xls = ReadFileBytes(SourcePath("tests/data/raw/docs/sample.xls"));
    const std::vector<uint8_t> docx = ReadFileBytes(SourcePath("tests/data/raw/docs/sample.docx"));
    const std::vector<uint8_t> pub = ReadFileBytes(SourcePath("tests/data/raw/docs/sample.pub"));
    ASSERT_FALSE(doc.empty() || xls.empty() || docx.empty() || pub.empty());
    MemoryFile docFile(doc), xlsFile(xls), docxFile(docx), pubFile(pub);

    EXPECT_EQ(QuickPreviewChoice("letter.doc", false, &docFile.Stream), EQuickPreview::Document);
    EXPECT_EQ(QuickPreviewChoice("SHEET.XLS", false, &xlsFile.Stream), EQuickPreview::Document);
    // A "doc" that is not a compound document, or one of another kind, is not rendered...
    EXPECT_EQ(QuickPreviewChoice("renamed.doc", false, &docxFile.Stream), EQuickPreview::Unsupported);
    EXPECT_EQ(QuickPreviewChoice("flyer.ppt", false, &pubFile.Stream), EQuickPreview::Unsupported);
    EXPECT_EQ(QuickPreviewChoice("lost.doc", false, nullptr), EQuickPreview::Unsupported);
    // ...while a "docx" goes to rendering as it is, whatever its bytes.
    EXPECT_EQ(QuickPreviewChoice("report.docx", false, &docFile.Stream), EQuickPreview::Document);
    EXPECT_EQ(QuickPreviewChoice("report.docx", false, nullptr), EQuickPreview::Document);
    EXPECT_EQ(QuickPreviewChoice("layers.PSD", false, nullptr), EQuickPreview::Document);
    // A picture wins over the name; an unknown name is unsupported.
    EXPECT_EQ(QuickPreviewChoice("photo.doc", true, nullptr), EQuickPreview::Image);
    EXPECT_EQ(QuickPreviewChoice("notes.txt", false, &docFile.Stream), EQuickPreview::Unsupported);
    EXPECT_EQ(QuickDocumentKind("a.pptx"), EQuickDocument::Render);
    EXPECT_EQ(QuickDocumentKind("a.ppt"), EQuickDocument::CompoundCheck);
    EXPECT_EQ(QuickDocumentKind("doc"), EQuickDocument::CompoundCheck);
    EXPECT_EQ(QuickDocumentKind("a.docm"), EQuickDocument::None);

    // A compound document cut short still reads as far as it goes, without reading past it.
    std::vector<uint8_t> head(doc.begin(), doc.begin() + 512);
    MemoryFile cut(head);
    EXPECT_EQ(QuickPreviewChoice("cut.doc", false, &cut.Stream), EQuickPreview::Unsupported);
}

TEST(PreviewHexDump, LinesAndTail)
{
    std::vector<uint8_t> bytes = Bytes("PK\x03\x04 hello, world!\x7F\x80");
    EXPECT_EQ(HexDump(bytes, 0x20),
              "00000020  50 4b 03 04 20 68 65 6c  6c 6f 2c 20 77 6f 72 6c  |PK.. hello, worl|\n"
              "00000030  64 21 7f 80                                       |d!..|\n");
    EXPECT_EQ(HexDump({}), "");
}

TEST(PreviewDeletedFile, ReadsThroughItsStreamAndItsTemporaryCopy)
{
    const std::vector<uint8_t> bytes = LoadFixtureImage("fat12-floppy");
    ASSERT_FALSE(bytes.empty());
    MemoryVolume volume(bytes);
    KFatFileSystem fs;
    fs.SetVolume(&volume);
    ASSERT_EQ(fs.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fs.BuildTree(&tree), 0u);
    const tagFileNode* deleted = nullptr;
    for (const auto& [path, record] : TreePaths(tree))
    {
        if ((record->byKind & FN_KIND_DELETED) && path.find("be deleted later") != std::string::npos) deleted = record;
    }
    ASSERT_NE(deleted, nullptr);
    ASSERT_EQ(TextPreviewRefusal(deleted), 0u);
    const std::string sha = "191cb32ce6a459ce8f6bcd496130db36d59502d2e89801331d243ea824adc801";
    std::unique_ptr<IOutStream> stream(fs.OpenStream(deleted));
    ASSERT_TRUE(stream);
    std::vector<uint8_t> read;
    ASSERT_EQ(ReadStreamHead(*stream, kPreviewTextLimit, read), ERROR_SUCCESS);
    EXPECT_EQ(Sha256Hex(read.data(), read.size()), sha);

    std::string path;
    {
        CPreviewTempFile temp;
        ASSERT_EQ(temp.Prepare("to be deleted later.txt"), ERROR_SUCCESS);
        ASSERT_EQ(temp.SaveWhole(fs, deleted), ERROR_SUCCESS);
        path = temp.Path();
        EXPECT_EQ(Sha256OfFile(path), sha);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(Sha256Hex(volume.Image().data(), volume.Image().size()), Sha256Hex(bytes.data(), bytes.size()));
}

TEST(PreviewRtf, TextAndSimpleFormatting)
{
    std::string html;
    ASSERT_TRUE(RtfToHtml(Bytes("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red0\\green0\\blue0;}"
                                "{\\*\\generator Writer;}\\f0 Dear \\b Sir\\b0 ,\\par "
                                "caf\\'e9 \\'80 5 <&> \\{x\\}\\uc1\\u8364?\\u-10179?\\par\n{\\i cut\\'"),
                          html));
    EXPECT_EQ(html,
              "Dear <b>Sir</b>,<br>\ncaf\xC3\xA9 \xE2\x82\xAC 5 &lt;&amp;&gt; {x}\xE2\x82\xAC\xEF\xBF\xBD<br>\n"
              "<i>cut</i>");
    EXPECT_FALSE(RtfToHtml(Bytes("plain"), html));
    // Deep nesting and a control word that never ends do not run away.
    std::string deep = "{\\rtf1" + std::string(100000, '{') + "x" + std::string(100000, '}') + "\\bin";
    ASSERT_TRUE(RtfToHtml(Bytes(deep), html));
    EXPECT_EQ(html, "x");
}
