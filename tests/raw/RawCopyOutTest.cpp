// Copying deep-scan files out, streams over them, and the stored scan state; plus a scan with
// the real plug-in libraries of this build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "FakeRawTypes.h"
#include "core/CFileTypeTree.h"
#include "RawEngineFixture.h"
#include "base/VlmErrors.h"
#include "os/OsFile.h"
#include "storage/KStorageManager.h"

namespace {

// Cancels on the n-th question.
class CancelAfter final : public IProgress_Client
{
public:
    explicit CancelAfter(int n) : m_Left(n) {}
    int IsCanceled() override { return --m_Left < 0 ? 1 : 0; }

private:
    int m_Left;
};

} // namespace

TEST_F(RawEngine, SaveFileCopiesExactlyAndRefusesWhatItMust)
{
    FakeFactory f;
    f.Add("big", "Big", &m_LogA)->HitAt(3, 300 * 512 + 17); // more than two copy pieces
    List(f);
    const std::vector<uint8_t> image = PatternBytes(400 * 512, 77);
    MemoryVolume volume(image);
    KRawFileSystem& fs = Fs(volume);
    Scan(fs, 400, 512);
    fs.End_ScanFS();
    const tagFileNode* file = fs.Records().GetNode(3);
    ASSERT_NE(file, nullptr);

    TempDir dir;
    const std::string out = dir.File("copy.big");
    ASSERT_EQ(fs.SaveFile(file, out), 0u);
    const std::vector<uint8_t> copy = ReadFileBytes(out);
    ASSERT_EQ(copy.size(), 300u * 512 + 17);
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), image.begin() + 3 * 512));

    // An existing target is never overwritten.
    WriteFileBytes(dir.File("taken"), {1, 2, 3});
    EXPECT_EQ(fs.SaveFile(file, dir.File("taken")), ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadFileBytes(dir.File("taken")), (std::vector<uint8_t>{1, 2, 3}));

    // Cancelled after the first piece was written: 1223, and the partial file is removed again.
    CancelAfter cancel(1);
    fs.SetClient(&cancel);
    EXPECT_EQ(fs.SaveFile(file, dir.File("part")), ERROR_CANCELLED);
    fs.SetClient(nullptr);
    EXPECT_FALSE(OsPathExists(dir.File("part")));

    // Unreadable sectors are written as zeros, the rest is kept.
    volume.SetBadRange(200, 1);
    ASSERT_EQ(fs.SaveFile(file, dir.File("bad")), 0u);
    EXPECT_EQ(ReadFileBytes(dir.File("bad")).size(), copy.size());

    // Records of other scanners and a file system without a volume are refused.
    tagRawFileNode foreign = *static_cast<const tagRawFileNode*>(file);
    foreign.byKind = FN_KIND_PRESENT | FN_KIND_FAT;
    EXPECT_EQ(fs.SaveFile(&foreign, dir.File("x")), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(fs.OpenStream(&foreign), nullptr);
    KRawFileSystem empty;
    EXPECT_EQ(empty.SaveFile(file, dir.File("y")), ERROR_INVALID_PARAMETER);
}

TEST_F(RawEngine, StoredScanLoadsBackWhole)
{
    FakeFactory f;
    f.Add("aaa", "Type A", &m_LogA)->HitAt(7, 1234);
    List(f);
    MemoryVolume volume(std::vector<uint8_t>(50 * 512));
    KRawFileSystem& fs = Fs(volume);
    fs.SetSectorInfo(3, 4096);
    Scan(fs, 50, 512);
    fs.End_ScanFS();

    TempDir dir;
    KStorageManager out;
    ASSERT_EQ(out.Open(dir.File("scan.rrs"), true), 1);
    ASSERT_EQ(fs.SaveTo(&out), 1);
    ASSERT_EQ(out.Close(), 1);

    KRawFileSystem back;
    KStorageManager in;
    ASSERT_EQ(in.Open(dir.File("scan.rrs"), false), 1);
    ASSERT_EQ(back.LoadFrom(&in), 1);
    uint32_t bps = 0;
    back.GetSectorInfo(&bps);
    EXPECT_EQ(bps, 4096u);
    uint32_t count = 0;
    EXPECT_EQ(back.GetCandidateCount(&count), 1);
    EXPECT_EQ(count, 1u);
    ASSERT_EQ(back.Records().GetCount(), fs.Records().GetCount());
    const tagFileNode* r = back.Records().GetNode(3);
    EXPECT_STREQ(back.Records().GetName(r), "Recovered_aaa_file(1).aaa");
    EXPECT_EQ(r->s64Size, 1234);
    EXPECT_EQ(r->ftCreated, 7u);
    // A loaded scan needs its volume again before anything can be read.
    EXPECT_EQ(back.OpenStream(r), nullptr);
    back.SetVolume(&volume);
    std::unique_ptr<IOutStream> s(back.OpenStream(r));
    EXPECT_TRUE(s);
}

namespace {

std::vector<std::string> ListedExtensions()
{
    KRawScanMgr mgr;
    std::vector<std::string> exts;
    for (int i = 0; i < mgr.GetTypeCount(); ++i)
    {
        tagRawTypeEntry e;
        mgr.GetTypeEntry(i, &e);
        EXPECT_EQ(e.dwTypeId, 4096u + static_cast<uint32_t>(i));
        exts.push_back(e.strExtension);
    }
    return exts;
}

} // namespace

TEST(RawPlugins, LibrariesAreFoundInTheProgramFolderTheInstalledFolderAndThroughTheEnvironment)
{
    TempDir empty;
    // Nothing in the program folder, the libraries of this build through VLM_PLUGIN_DIR.
    KRawScanMgr::OverrideProgramFolder(empty.Path());
    ::setenv("VLM_PLUGIN_DIR", VLM_PLUGIN_BIN_DIR, 1);
    std::vector<std::string> exts = ListedExtensions();
    for (const char* ext :
         {"docx", "xlsx", "pptx", "doc", "xls", "ppt", "pub", "odt", "ods", "odp", "pdf", "zip", "rar", "pst", "dbx"})
        EXPECT_EQ(std::count(exts.begin(), exts.end(), ext), 1) << ext;
    // The same folder twice: every library loads once.
    KRawScanMgr::OverrideProgramFolder(VLM_PLUGIN_BIN_DIR);
    EXPECT_EQ(ListedExtensions(), exts);
    // Neither: no types at all.
    ::unsetenv("VLM_PLUGIN_DIR");
    KRawScanMgr::OverrideProgramFolder(empty.Path());
    EXPECT_TRUE(ListedExtensions().empty());
    // An installed layout under any prefix: PREFIX/bin/ and PREFIX/lib/vellumar/plugins/.
    TempDir prefix;
    const std::filesystem::path plugins = prefix.Path() + "/lib/vellumar/plugins";
    std::filesystem::create_directories(plugins);
    std::filesystem::create_directories(prefix.Path() + "/bin");
    for (const std::string& path : OsFindFiles(std::string(VLM_PLUGIN_BIN_DIR) + "*.api"))
        std::filesystem::create_symlink(path, plugins / std::filesystem::path(path).filename());
    KRawScanMgr::OverrideProgramFolder(prefix.Path() + "/bin");
    EXPECT_EQ(ListedExtensions(), exts);
    KRawScanMgr::OverrideProgramFolder("");
}

TEST(RawPlugins, EveryShippedTypeSitsInANamedGroup)
{
    // "Other files" is for types of third-party libraries; a user looking for pictures or
    // music must find every type this build ships under its group.
    TempDir empty;
    KRawScanMgr::OverrideProgramFolder(empty.Path());
    ::setenv("VLM_PLUGIN_DIR", VLM_PLUGIN_BIN_DIR, 1);
    {
        KRawScanMgr mgr;
        ASSERT_GE(mgr.GetTypeCount(), 48);
        CFileTypeTree tree(mgr);
        const int other = static_cast<int>(tree.Groups().size()) - 1;
        for (const CFileTypeTree::Item& item : tree.Items()) EXPECT_NE(item.nGroup, other) << item.strText;
    }
    ::unsetenv("VLM_PLUGIN_DIR");
    KRawScanMgr::OverrideProgramFolder("");
}

TEST(RawPlugins, DeepScanWithTheBuiltLibrariesFindsDocuments)
{
    TempDir empty;
    KRawScanMgr::OverrideProgramFolder(empty.Path());
    ::setenv("VLM_PLUGIN_DIR", VLM_PLUGIN_BIN_DIR, 1);
    {
        // A whole deep scan over an image holding a document and a PDF.
        std::vector<uint8_t> image = PatternBytes(8 * 512, 3);
        const std::vector<uint8_t> docx = ReadFileBytes(SourcePath("tests/data/raw/docs/sample.docx"));
        image.insert(image.end(), docx.begin(), docx.end());
        image.resize((image.size() + 511) / 512 * 512 + 1024, 0);
        const int64_t pdfSector = static_cast<int64_t>(image.size() / 512);
        const std::vector<uint8_t> pdf = ReadFileBytes(SourcePath("tests/data/raw/docs/sample.pdf"));
        image.insert(image.end(), pdf.begin(), pdf.end());
        image.resize((image.size() + 511) / 512 * 512 + 4096, 0);
        MemoryVolume volume(image);
        KRawFileSystem fs;
        fs.SetVolume(&volume);
        ASSERT_EQ(fs.Begin_ScanFS(), 0u);
        ScanStats stats{};
        std::vector<uint8_t> buf(512 * 512);
        const int64_t total = static_cast<int64_t>(image.size() / 512);
        for (int64_t s = 0; s < total; s += 512)
        {
            const int n = static_cast<int>(std::min<int64_t>(512, total - s));
            volume.ReadSectors(static_cast<uint64_t>(s), buf.data(), static_cast<uint32_t>(n));
            fs.ScanFS(&stats, s, buf.data(), n);
        }
        fs.End_ScanFS();
        EXPECT_EQ(stats.dwRawFiles, 2u);
        const KRawFileNode& r = fs.Records();
        bool sawDocx = false, sawPdf = false;
        for (int i = 2; i < r.GetCount(); ++i)
        {
            const tagFileNode* n = r.GetNode(i);
            if (std::string(r.GetName(n)) == "Recovered_docx_file(1).docx")
            {
                sawDocx = n->s64Size == static_cast<int64_t>(docx.size()) && n->ftCreated == 8;
            }
            else if (std::string(r.GetName(n)) == "Recovered_pdf_file(1).pdf")
            {
                sawPdf =
                    n->s64Size == static_cast<int64_t>(pdf.size()) && n->ftCreated == static_cast<uint64_t>(pdfSector);
            }
        }
        EXPECT_TRUE(sawDocx);
        EXPECT_TRUE(sawPdf);
    }
    ::unsetenv("VLM_PLUGIN_DIR");
    KRawScanMgr::OverrideProgramFolder("");
}
