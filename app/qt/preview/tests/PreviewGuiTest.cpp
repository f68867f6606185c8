// The desktop previews, headless: pictures decode from deep-scan files and from files whose
// data lie in scattered runs, a damaged picture is refused, text and rich text show, the quick
// previewer picks picture, document or notice, and the media dialog deletes its copy.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <filesystem>
#include <functional>
#include <memory>

#include "CDocumentRenderer.h"
#include "CFitImageView.h"
#include "CImageViewDlg.h"
#include "CMediaViewDlg.h"
#include "CPreviewStreamDevice.h"
#include "CQuickPreviewPane.h"
#include <QPushButton>
#include "CTextViewDlg.h"
#include "PreviewImageDecode.h"
#include "base/VlmErrors.h"
#include "core/CPreviewTempFile.h"
#include "fat/KFatFileSystem.h"
#include "fs/KNodeTree.h"
#include "fs/KOutStream.h"
#include "raw/KRawFileSystem.h"
#include "support/TestFiles.h"
#include "support/MemoryMedia.h"
#include "TestRawTypes.h"

namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "test_preview_gui";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down after main has returned races the media backend's threads.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::vector<uint8_t> Sample(const std::string& name)
{
    return ReadFileBytes(SourcePath("tests/data/raw/media/" + name));
}

std::unique_ptr<IOutStream> StreamOver(MemoryVolume& volume, tagFileNode& record, const StreamVector& runs)
{
    auto stream = std::make_unique<KOutStream>(&record, &volume);
    stream->SetRuns(runs);
    return stream;
}

void Shoot(QWidget& widget, const char* name)
{
    const QString folder = QStringLiteral(VLM_BINARY_DIR) + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    widget.show();
    QApplication::processEvents();
    widget.grab().save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

const tagFileNode* FirstLeaf(const KNodeTree& tree, const std::function<bool(const tagTreeNode*)>& want)
{
    const tagFileNode* found = nullptr;
    std::function<void(const tagTreeNode*)> walk = [&](const tagTreeNode* n) {
        for (const tagTreeNode* c = KNodeTree::GetFirstChild(n); c && !found; c = KNodeTree::GetNextSibling(c))
        {
            if (!IsFolderRecord(c->pRecord) && want(c)) found = c->pRecord;
            walk(c);
        }
    };
    walk(tree.GetRoot());
    return found;
}

} // namespace

TEST(PreviewImages, DecodeFromDeepScanFilesAndScatteredRuns)
{
    App();
    const std::vector<uint8_t> png = Sample("picture.png");
    ASSERT_GT(png.size(), 1024u);

    // The deep scan finds the picture by its signature behind some junk and serves it.
    std::vector<uint8_t> image = PatternBytes(64 * 512, 9);
    for (size_t s = 0; s < image.size(); s += 512) image[s] = 0;
    image.insert(image.begin() + 16 * 512, png.begin(), png.end());
    image.resize((image.size() + 511) / 512 * 512);
    TestRawFactory factory(
        {{"png", "Test picture", std::string("\x89PNG\r\n\x1a\n", 8), static_cast<int64_t>(png.size())}});
    MemoryVolume volume(image);
    KRawFileSystem raw;
    // Types are listed only while a manager lives; the file system holds one.
    KRawScanMgr::AddFactory(&factory);
    raw.SetVolume(&volume);
    ASSERT_EQ(raw.Begin_ScanFS(), 0u);
    ScanStats stats{};
    ASSERT_EQ(raw.ScanFS(&stats, 0, image.data(), static_cast<int>(image.size() / 512)), 0u);
    ASSERT_EQ(raw.End_ScanFS(), 0u);
    KNodeTree tree;
    raw.BuildTree(&tree);
    const tagFileNode* found = FirstLeaf(tree, [](const tagTreeNode* n) { return n->pRecord->byKind & FN_KIND_DEEP; });
    ASSERT_NE(found, nullptr);
    CPreviewStreamDevice device(std::unique_ptr<IOutStream>(raw.OpenStream(found)));
    const QImage decoded = DecodePreviewImage(&device, QSize(4000, 4000));
    ASSERT_FALSE(decoded.isNull());
    const QImage reference = QImage::fromData(png.data(), static_cast<int>(png.size()));
    EXPECT_EQ(decoded.size(), reference.size());

    // A deleted file's clusters need not lie in order: the second half first on the volume.
    const std::vector<uint8_t> jpeg = Sample("baseline.jpg");
    const size_t half = (jpeg.size() / 2 + 511) / 512 * 512;
    std::vector<uint8_t> scattered(jpeg.begin() + static_cast<std::ptrdiff_t>(half), jpeg.end());
    scattered.resize((scattered.size() + 511) / 512 * 512);
    const uint32_t tailSectors = static_cast<uint32_t>(scattered.size() / 512);
    scattered.insert(scattered.end(), jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(half));
    MemoryVolume scatteredVolume(scattered);
    tagFileNode record{};
    record.wValidMask = FN_MASK_FOUND;
    record.s64Size = static_cast<int64_t>(jpeg.size());
    record.byKind = FN_KIND_DELETED;
    CPreviewStreamDevice jpegDevice(StreamOver(
        scatteredVolume, record, {{tailSectors, static_cast<uint32_t>(half / 512), 0}, {0, tailSectors, 0}}));
    const QImage photo = DecodePreviewImage(&jpegDevice, QSize(64, 64));
    ASSERT_FALSE(photo.isNull());
    EXPECT_LE(photo.width(), 64);
    EXPECT_LE(photo.height(), 64);
    const QImage photoReference = QImage::fromData(jpeg.data(), static_cast<int>(jpeg.size()));
    EXPECT_EQ(photo.size(), photoReference.size().scaled(64, 64, Qt::KeepAspectRatio));

    // The same data with a bad sector in the middle of its header does not decode.
    scatteredVolume.SetBadRange(tailSectors, 1);
    CPreviewStreamDevice damaged(StreamOver(
        scatteredVolume, record, {{tailSectors, static_cast<uint32_t>(half / 512), 0}, {0, tailSectors, 0}}));
    EXPECT_TRUE(DecodePreviewImage(&damaged, QSize(64, 64)).isNull());

    CImageViewDlg dialog(decoded);
    Shoot(dialog, "preview-image");
}

TEST(PreviewDialogs, TextRichTextAndMedia)
{
    App();
    CTextViewDlg text;
    text.Show({'c', 'a', 'f', 0xE9, '\n', 'l', 'i', 'n', 'e'});
    EXPECT_FALSE(text.ShowsRichText());
    EXPECT_EQ(text.ShownText(), QString::fromUtf8("caf\xC3\xA9\nline"));
    Shoot(text, "preview-text");
    const std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Dear \\b Sir\\b0 ,\\par Regards}";
    CTextViewDlg rich;
    rich.Show(std::vector<uint8_t>(rtf.begin(), rtf.end()));
    EXPECT_TRUE(rich.ShowsRichText());
    EXPECT_EQ(rich.ShownText(), QStringLiteral("Dear Sir,\nRegards"));
    Shoot(rich, "preview-richtext");

    auto copy = std::make_unique<CPreviewTempFile>();
    ASSERT_EQ(copy->Prepare("tone.wav"), ERROR_SUCCESS);
    const std::vector<uint8_t> wav = Sample("tone.wav");
    WriteFileBytes(copy->Path(), wav);
    const std::string path = copy->Path();
    {
        CMediaViewDlg media(std::move(copy));
        if (!CMediaViewDlg::HasPlayer())
        {
            EXPECT_FALSE(media.Status().isEmpty());
        }
        Shoot(media, "preview-media");
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(PreviewQuick, PictureDocumentOrNotice)
{
    App();
    // A FAT volume's files, copied out by the file system itself.
    TempDir dir;
    const std::string img = dir.File("fat12.img");
    ASSERT_TRUE(UnpackZst(SourcePath("tests/data/fat12-floppy.img.zst"), img));
    MemoryVolume volume(ReadFileBytes(img));
    KFatFileSystem fat;
    fat.SetVolume(&volume);
    ASSERT_EQ(fat.SelectCandidate(FS_CANDIDATE_VOLUME), 0u);
    KNodeTree tree;
    ASSERT_EQ(fat.BuildTree(&tree), 0u);
    const tagFileNode* text =
        FirstLeaf(tree, [&](const tagTreeNode* n) { return std::string(tree.GetName(n)) == "Read me first.txt"; });
    ASSERT_NE(text, nullptr);

    CQuickPreviewPane pane;
    pane.resize(320, 240);
    // Neither picture nor document: the head of the file, as text.
    pane.ShowFile(&fat, text, "Read me first.txt");
    EXPECT_EQ(pane.Shown(), EQuickPreview::Unsupported);
    EXPECT_EQ(pane.Showing(), CQuickPreviewPane::EShows::Text);
    EXPECT_FALSE(pane.ShownText().isEmpty());
    // Named like a compound document, but the data are text: nothing rendered, the text shown.
    pane.ShowFile(&fat, text, "minutes.doc");
    EXPECT_EQ(pane.Shown(), EQuickPreview::Unsupported);
    EXPECT_EQ(pane.Showing(), CQuickPreviewPane::EShows::Text);
    EXPECT_FALSE(pane.Rendering());
    Shoot(pane, "quick-unsupported");

    // A picture from the deep scan's kind of record: scaled into the pane on white.
    const std::vector<uint8_t> jpeg = Sample("baseline.jpg");
    std::vector<uint8_t> bytes = jpeg;
    bytes.resize((bytes.size() + 511) / 512 * 512);
    MemoryVolume jpegVolume(bytes);
    KRawFileSystem raw;
    raw.SetVolume(&jpegVolume);
    TestRawFactory factory({{"jpg", "Test photo", std::string(reinterpret_cast<const char*>(jpeg.data()), 8),
                             static_cast<int64_t>(jpeg.size())}});
    KRawScanMgr::AddFactory(&factory);
    ScanStats stats{};
    raw.Begin_ScanFS();
    raw.ScanFS(&stats, 0, bytes.data(), static_cast<int>(bytes.size() / 512));
    raw.End_ScanFS();
    KNodeTree rawTree;
    raw.BuildTree(&rawTree);
    const tagFileNode* photo =
        FirstLeaf(rawTree, [](const tagTreeNode* n) { return n->pRecord->byKind & FN_KIND_DEEP; });
    ASSERT_NE(photo, nullptr);
    pane.ShowFile(&raw, photo, "00001.jpg");
    EXPECT_EQ(pane.Shown(), EQuickPreview::Image);
    EXPECT_FALSE(pane.View()->Image().isNull());
    EXPECT_LE(pane.View()->Image().width(), 320);
    Shoot(pane, "quick-image");

    CQuickPreviewLink link;
    EXPECT_TRUE(link.text().contains(QStringLiteral("Click here to open &#x27;Quick Previewer&#x27;")) ||
                link.text().contains(QStringLiteral("Click here to open 'Quick Previewer'")));
    link.SetOpen(true);
    EXPECT_TRUE(link.text().contains(QStringLiteral("close")));
}

namespace {

// Stands in for the office suite: "converts" by copying a prepared PDF into --outdir under the
// document's base name, or hangs when told to.
struct FakeOffice
{
    explicit FakeOffice(const std::string& mode)
    {
        const std::string pdf = Dir.File("page.pdf");
        QPdfWriterPage(pdf);
        const std::string script = Dir.File("soffice");
        const std::string body = "#!/bin/sh\n"
                                 "out=''; doc=''; profile=''\n"
                                 "while [ $# -gt 0 ]; do case \"$1\" in --outdir) out=\"$2\"; shift;; -env:*) "
                                 "profile=\"$1\";; *) doc=\"$1\";; esac; shift; done\n"
                                 "echo \"$profile\" > '" +
            Dir.File("profile.txt") + "'\n" + (mode == "hang" ? std::string("exec sleep 600\n") : std::string()) +
            "base=$(basename \"$doc\"); cp '" + pdf + "' \"$out/${base%.*}.pdf\"\n";
        WriteFileBytes(script, std::vector<uint8_t>(body.begin(), body.end()));
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        // Under both names the renderer looks for, so that an installed suite is not found first.
        std::filesystem::create_symlink(script, Dir.File("libreoffice"));
        m_OldPath = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString(Dir.Path()) + ":" + m_OldPath);
    }
    ~FakeOffice() { qputenv("PATH", m_OldPath); }
    static void QPdfWriterPage(const std::string& path);
    TempDir Dir;
    QByteArray m_OldPath;
};

} // namespace

void FakeOffice::QPdfWriterPage(const std::string& path)
{
    QPdfWriter writer(QString::fromStdString(path));
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("Sans"), 48));
    painter.drawText(QRect(0, 0, writer.width(), writer.height() / 4), Qt::AlignCenter,
                     QStringLiteral("Quarterly report"));
    painter.fillRect(QRect(writer.width() / 4, writer.height() / 3, writer.width() / 2, writer.height() / 6),
                     Qt::darkBlue);
}

TEST(PreviewQuick, DocumentsRenderedInTheBackgroundAndCancelled)
{
    App();
    const std::vector<uint8_t> docx = ReadFileBytes(SourcePath("tests/data/raw/docs/sample.docx"));
    ASSERT_FALSE(docx.empty());
    std::vector<uint8_t> bytes = docx;
    bytes.resize((bytes.size() + 511) / 512 * 512);
    MemoryVolume volume(bytes);
    KRawFileSystem raw;
    raw.SetVolume(&volume);
    TestRawFactory factory({{"docx", "Test document", std::string(reinterpret_cast<const char*>(docx.data()), 8),
                             static_cast<int64_t>(docx.size())}});
    KRawScanMgr::AddFactory(&factory);
    ScanStats stats{};
    raw.Begin_ScanFS();
    raw.ScanFS(&stats, 0, bytes.data(), static_cast<int>(bytes.size() / 512));
    raw.End_ScanFS();
    KNodeTree tree;
    raw.BuildTree(&tree);
    const tagFileNode* doc = FirstLeaf(tree, [](const tagTreeNode* n) { return n->pRecord->byKind & FN_KIND_DEEP; });
    ASSERT_NE(doc, nullptr);

    {
        FakeOffice office("convert");
        if (!CDocumentRenderer::Available()) GTEST_SKIP() << "built without the PDF module";
        CQuickPreviewPane pane;
        pane.resize(300, 400);
        QSignalSpy done(&pane, &CQuickPreviewPane::RenderFinished);
        pane.ShowFile(&raw, doc, "report.docx");
        EXPECT_EQ(pane.Shown(), EQuickPreview::Document);
        EXPECT_EQ(pane.View()->Text(), QStringLiteral("Loading...\n(Double click here to cancel)"));
        Shoot(pane, "quick-loading");
        ASSERT_TRUE(done.wait(20000));
        ASSERT_FALSE(pane.View()->Image().isNull());
        EXPECT_LE(pane.View()->Image().height(), 400);
        // The page is drawn on white, the blue box in its middle.
        const QImage page = pane.View()->Image();
        EXPECT_EQ(page.pixelColor(2, 2), QColor(Qt::white));
        EXPECT_EQ(page.pixelColor(page.width() / 2, page.height() * 5 / 12), QColor(Qt::darkBlue));
        // Each job had a profile folder of its own.
        const std::vector<uint8_t> profile = ReadFileBytes(office.Dir.File("profile.txt"));
        EXPECT_NE(std::string(profile.begin(), profile.end()).find("-env:UserInstallation=file://"), std::string::npos);
        Shoot(pane, "quick-document");
    }
    {
        FakeOffice office("hang");
        CQuickPreviewPane pane;
        pane.ShowFile(&raw, doc, "report.docx");
        ASSERT_TRUE(pane.Rendering());
        QElapsedTimer timer;
        timer.start();
        emit pane.View()->DoubleClicked();
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_FALSE(pane.Rendering());
        EXPECT_EQ(pane.View()->Text(), QStringLiteral("Quick Previewer does not support this file type."));
    }
}

// One sample file found by the deep scan of a volume that holds only it.
struct FoundSample
{
    FoundSample(const std::string& sample, const char* ext)
        : Bytes(ReadFileBytes(SourcePath(sample))), Size(static_cast<int64_t>(Bytes.size())), Padded(Pad(Bytes)),
          Volume(Padded), Factory({{ext, "Test", std::string(reinterpret_cast<const char*>(Bytes.data()), 8), Size}})
    {
        Raw.SetVolume(&Volume);
        KRawScanMgr::AddFactory(&Factory);
        ScanStats stats{};
        Raw.Begin_ScanFS();
        Raw.ScanFS(&stats, 0, Padded.data(), static_cast<int>(Padded.size() / 512));
        Raw.End_ScanFS();
        Raw.BuildTree(&Tree);
        Record = FirstLeaf(Tree, [](const tagTreeNode* n) { return n->pRecord->byKind & FN_KIND_DEEP; });
    }

    static std::vector<uint8_t> Pad(std::vector<uint8_t> bytes)
    {
        bytes.resize((bytes.size() + 511) / 512 * 512);
        return bytes;
    }

    std::vector<uint8_t> Bytes;
    int64_t Size;
    std::vector<uint8_t> Padded;
    MemoryVolume Volume;
    KRawFileSystem Raw;
    TestRawFactory Factory;
    KNodeTree Tree;
    const tagFileNode* Record = nullptr;
};

// A PDF file and a video: the page drawn when this build has the PDF module, else the notice
// in plain words with the file's first bytes; the video gets the play button, or the words
// saying there is no player.
TEST(PreviewQuick, PdfPageOrPlainWordsAndMediaControls)
{
    App();
    {
        FoundSample pdf("tests/data/raw/docs/sample.pdf", "pdf");
        ASSERT_NE(pdf.Record, nullptr);
        CQuickPreviewPane pane;
        pane.resize(300, 400);
        QSignalSpy done(&pane, &CQuickPreviewPane::RenderFinished);
        pane.ShowFile(&pdf.Raw, pdf.Record, "statement.pdf");
        if (CDocumentRenderer::PdfAvailable())
        {
            ASSERT_TRUE(done.wait(20000));
            EXPECT_EQ(pane.Showing(), CQuickPreviewPane::EShows::Document);
            ASSERT_FALSE(pane.View()->Image().isNull());
        }
        else
        {
            EXPECT_TRUE(pane.ShownText().startsWith(QStringLiteral("This document cannot be drawn here")))
                << pane.ShownText().left(120).toStdString();
            EXPECT_TRUE(pane.ShownText().contains(QStringLiteral("%PDF-"))) << "the file's first bytes follow";
        }
    }
    {
        FoundSample clip("tests/data/raw/media/clip.mp4", "mp4");
        ASSERT_NE(clip.Record, nullptr);
        CQuickPreviewPane pane;
        int played = 0;
        pane.SetPlayer([&played] { ++played; });
        pane.ShowFile(&clip.Raw, clip.Record, "holiday.mp4");
        EXPECT_EQ(pane.Showing(), CQuickPreviewPane::EShows::Media);
        auto* play = pane.findChild<QPushButton*>();
        ASSERT_NE(play, nullptr);
        if (CMediaViewDlg::HasPlayer())
        {
            play->click();
            EXPECT_EQ(played, 1);
        }
        else
            EXPECT_TRUE(play->isHidden());
    }
}
