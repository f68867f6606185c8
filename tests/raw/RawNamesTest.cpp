// Found files named from their own metadata: a whole deep scan with the built plug-in
// libraries over real samples (names in the list, in the tree, when saving and in the stored
// result), hostile names from a type, and a stored result of the earlier numbered-only build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "RawEngineFixture.h"
#include "fs/KNodeTree.h"
#include "storage/KStorageManager.h"

namespace {

// Every file record's name (records 0 and 1 and the type folders left out).
std::multiset<std::string> FileNames(const KRawFileSystem& fs)
{
    std::multiset<std::string> names;
    const KRawFileNode& r = fs.Records();
    for (int i = 2; i < r.GetCount(); ++i)
        if (!IsFolderRecord(r.GetNode(i))) names.insert(r.GetName(r.GetNode(i)));
    return names;
}

const tagFileNode* Named(const KRawFileSystem& fs, const std::string& name)
{
    const KRawFileNode& r = fs.Records();
    for (int i = 0; i < r.GetCount(); ++i)
        if (name == r.GetName(r.GetNode(i))) return r.GetNode(i);
    return nullptr;
}

void CollectTreeNames(const KNodeTree& tree, const tagTreeNode* node, std::set<std::string>& out)
{
    for (const tagTreeNode* c = KNodeTree::GetFirstChild(node); c; c = KNodeTree::GetNextSibling(c))
    {
        out.insert(tree.GetName(c));
        CollectTreeNames(tree, c, out);
    }
}

void Append(std::vector<uint8_t>& image, const std::vector<uint8_t>& file)
{
    image.insert(image.end(), file.begin(), file.end());
    image.resize((image.size() + 511) / 512 * 512 + 1024, 0);
}

} // namespace

TEST(RawPlugins, FoundFilesAreNamedFromWhatTheyCarry)
{
    TempDir empty;
    KRawScanMgr::OverrideProgramFolder(empty.Path());
    ::setenv("VLM_PLUGIN_DIR", VLM_PLUGIN_BIN_DIR, 1);
    {
        const std::string dir = "tests/data/raw/names/";
        const std::map<std::string, std::string> samples = {
            {"camera.jpg", "2021-06-15 09-40-00 Canon EOS 80D.jpg"},
            {"phone.tif", "2019-12-31 23-59-58 Apple iPhone 8.tif"},
            {"phone.heic", "2023-03-04 05-06-07 Google Pixel 7.heic"},
            {"song.mp3", "Åsa Ström - Sång för Västerås.mp3"},
            {"song.flac", "Ensemble Ω - Nocturne No. 2.flac"},
            {"titled.pdf", "Quarterly Report 2021.pdf"},
            // Retitled by an incremental update: the newer dictionary wins; "/" and ":" cannot
            // stand in a file name.
            {"retitled.pdf", "Minutes 3_4_ Budget.pdf"},
            {"message.eml", "Grüße aus Köln.eml"},
            {"report.docx", "Année 2021 – Bilan & Perspectives.docx"},
            {"report.odt", "Année 2021 – Bilan & Perspectives.odt"},
            {"budget.xlsx", "Budget 2022 « Prévisions ».xlsx"},
            {"budget.ods", "Budget 2022 « Prévisions ».ods"},
            {"report.doc", "Année 2021 – Bilan & Perspectives.doc"},
            {"budget.xls", "Budget 2022 « Prévisions ».xls"},
        };
        std::vector<uint8_t> image(8 * 512, 0);
        std::map<std::string, std::vector<uint8_t>> bytes;
        for (const auto& [file, name] : samples)
        {
            bytes[name] = ReadFileBytes(SourcePath(dir + file));
            ASSERT_FALSE(bytes[name].empty()) << file;
            Append(image, bytes[name]);
        }
        // The same photo again (two taken in the same second) and a song without tags.
        Append(image, bytes["2021-06-15 09-40-00 Canon EOS 80D.jpg"]);
        Append(image, ReadFileBytes(SourcePath("tests/data/raw/media/bare.mp3")));

        MemoryVolume volume(image);
        KRawFileSystem fs;
        fs.SetVolume(&volume);
        ASSERT_EQ(fs.Begin_ScanFS(), 0u);
        ScanStats stats{};
        const int64_t total = static_cast<int64_t>(image.size() / 512);
        for (int64_t s = 0; s < total; s += 512)
        {
            const int n = static_cast<int>(std::min<int64_t>(512, total - s));
            fs.ScanFS(&stats, s, image.data() + s * 512, n);
        }
        fs.End_ScanFS();

        std::multiset<std::string> expected;
        for (const auto& [file, name] : samples) expected.insert(name);
        expected.insert("2021-06-15 09-40-00 Canon EOS 80D (2).jpg");
        expected.insert("Recovered_mp3_file(2).mp3"); // the second MP3 found
        EXPECT_EQ(FileNames(fs), expected);

        // The file list shows the tree's names.
        KNodeTree tree;
        ASSERT_EQ(fs.BuildTree(&tree), 0u);
        std::set<std::string> shown;
        CollectTreeNames(tree, tree.GetRoot(), shown);
        for (const std::string& name : expected) EXPECT_TRUE(shown.count(name)) << name;

        // Saving writes the file under its name with the sample's bytes.
        TempDir out;
        for (const auto& [name, data] : bytes)
        {
            const tagFileNode* rec = Named(fs, name);
            ASSERT_NE(rec, nullptr) << name;
            ASSERT_EQ(fs.SaveFile(rec, out.File(name)), 0u) << name;
            EXPECT_EQ(ReadFileBytes(out.File(name)), data) << name;
        }

        // The stored result keeps the names.
        KStorageManager store;
        ASSERT_EQ(store.Open(out.File("scan.rrs"), true), 1);
        ASSERT_EQ(fs.SaveTo(&store), 1);
        ASSERT_EQ(store.Close(), 1);
        KRawFileSystem back;
        KStorageManager in;
        ASSERT_EQ(in.Open(out.File("scan.rrs"), false), 1);
        ASSERT_EQ(back.LoadFrom(&in), 1);
        EXPECT_EQ(FileNames(back), expected);
    }
    ::unsetenv("VLM_PLUGIN_DIR");
    KRawScanMgr::OverrideProgramFolder("");
}

TEST_F(RawEngine, HostileMetadataNamesAreCleanedCutAndMadeUnique)
{
    FakeFactory f;
    FakeRawType* t = f.Add("aaa", "Type A", &m_LogA);
    const std::map<int64_t, std::string> given = {
        {1, "Holiday"},
        {2, "Holiday"},
        {3, "Holiday"},
        {4, "../../etc/passwd"},
        {5, "Tab\there\r\nline\x01\x7F end  "},
        {6, "Bad \xC3\x28 utf8 \xED\xA0\x80 surrogate \xF4\x90\x80\x80 big"},
        {7, "Spoof \xE2\x80\xAEgpj.exe"}, // a right-to-left override
        {8, "   ...   "},                 // nothing usable: numbered
        {9, "Recovered_aaa_file(10)"},    // reads like the numbered name of file 10
        {10, ""},                         // no name: numbered
        {11, std::string(256, 'x')},      // fills the answer without a terminator
        {12,
         [] {
             std::string s;
             for (int i = 0; i < 100; ++i) s += "\xC3\xA9";
             return s;
         }()},
        {13, "A:B*C?D\"E<F>G|H\\I"},
    };
    for (const auto& [sector, name] : given)
    {
        t->HitAt(sector, 512);
        t->NameAt(sector, name);
    }
    List(f);
    MemoryVolume volume(std::vector<uint8_t>(20 * 512));
    KRawFileSystem& fs = Fs(volume);
    Scan(fs, 20, 512);
    fs.End_ScanFS();

    std::map<int64_t, std::string> got;
    const KRawFileNode& r = fs.Records();
    for (int i = 3; i < r.GetCount(); ++i) got[static_cast<int64_t>(r.GetNode(i)->ftCreated)] = r.GetName(r.GetNode(i));
    EXPECT_EQ(got[1], "Holiday.aaa");
    EXPECT_EQ(got[2], "Holiday (2).aaa");
    EXPECT_EQ(got[3], "Holiday (3).aaa");
    EXPECT_EQ(got[4], "_.._etc_passwd.aaa");
    EXPECT_EQ(got[5], "Tab here line end.aaa");
    EXPECT_EQ(got[6], "Bad _( utf8 ___ surrogate ____ big.aaa");
    EXPECT_EQ(got[7], "Spoof _gpj.exe.aaa");
    EXPECT_EQ(got[8], "Recovered_aaa_file(8).aaa");
    EXPECT_EQ(got[9], "Recovered_aaa_file(10) (2).aaa");
    EXPECT_EQ(got[10], "Recovered_aaa_file(10).aaa");
    // Long names are cut on a character boundary, room left for the suffix and extension.
    for (const int64_t s : {11, 12})
    {
        const std::string& n = got[s];
        EXPECT_LE(n.size(), KRawNames::kMaxNameBytes) << n;
        EXPECT_GE(n.size(), 90u) << n;
        EXPECT_EQ(n.substr(n.size() - 4), ".aaa");
        EXPECT_EQ(KRawNames::Clean(n, 1000), n) << "valid UTF-8, nothing left to clean";
    }
    EXPECT_EQ(got[13], "A_B_C_D_E_F_G_H_I.aaa");
}

// Saved by the build before names were taken from metadata: two types, a sized file, a file
// whose end the next hit decided and one that ran to the volume's end (the same scan as below).
TEST_F(RawEngine, StoredResultOfTheNumberedOnlyBuildLoadsUnchanged)
{
    KRawFileSystem fs;
    KStorageManager in;
    ASSERT_EQ(in.Open(SourcePath("tests/data/stored/deep-scan-numbered.bin"), false), 1);
    ASSERT_EQ(fs.LoadFrom(&in), 1);
    uint32_t count = 0;
    ASSERT_EQ(fs.GetCandidateCount(&count), 1);
    EXPECT_EQ(count, 1u);
    const KRawFileNode& r = fs.Records();
    ASSERT_EQ(r.GetCount(), 7);
    EXPECT_STREQ(r.GetName(r.GetNode(2)), "Type A(2)");
    EXPECT_STREQ(r.GetName(r.GetNode(3)), "Type B(1)");
    const struct
    {
        const char* name;
        int64_t size;
        uint64_t sector;
    } files[] = {
        {"Recovered_aaa_file(1).aaa", 1234, 7},
        {"Recovered_bbb_file(1).bbb", 10 * 512, 20},
        {"Recovered_aaa_file(2).aaa", 4096, 30},
    };
    for (int i = 0; i < 3; ++i)
    {
        const tagFileNode* n = r.GetNode(4 + i);
        EXPECT_STREQ(r.GetName(n), files[i].name);
        EXPECT_EQ(n->s64Size, files[i].size);
        EXPECT_EQ(n->ftCreated, files[i].sector);
    }
}
