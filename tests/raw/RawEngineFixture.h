#pragma once
// A deep-scan engine whose type list holds only what a test lists (no plug-ins are searched).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "FakeRawTypes.h"
#include "raw/KRawFileSystem.h"
#include "support/TestFiles.h"
#include "support/MemoryMedia.h"

class RawEngine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::unsetenv("VLM_PLUGIN_DIR");
        KRawScanMgr::OverrideProgramFolder(m_NoPlugins.Path());
        m_Mgr = std::make_unique<KRawScanMgr>();
    }
    void TearDown() override
    {
        m_Fs.reset();
        m_Mgr.reset();
        KRawScanMgr::OverrideProgramFolder("");
    }

    void List(FakeFactory& f) { KRawScanMgr::AddFactory(&f); }

    KRawFileSystem& Fs(IVolumeIO& volume)
    {
        m_Fs = std::make_unique<KRawFileSystem>();
        m_Fs->SetVolume(&volume);
        Begin(*m_Fs);
        return *m_Fs;
    }

    static void Begin(KRawFileSystem& fs) { ASSERT_EQ(fs.Begin_ScanFS(), 0u); }

    /// Feeds sectors [0, total) in chunks of zeros, as the scan driver does.
    static void Scan(KRawFileSystem& fs, int64_t total, int chunk, ScanStats* stats = nullptr)
    {
        ScanStats local{};
        std::vector<uint8_t> buf(static_cast<size_t>(chunk) * 512);
        for (int64_t s = 0; s < total; s += chunk)
        {
            const int n = static_cast<int>(std::min<int64_t>(chunk, total - s));
            fs.ScanFS(stats ? stats : &local, s, buf.data(), n);
        }
    }

    /// Size of the record named `name`; -1 when there is none.
    static int64_t Size(const KRawFileSystem& fs, const std::string& name)
    {
        const KRawFileNode& r = fs.Records();
        for (int i = 0; i < r.GetCount(); ++i)
            if (name == r.GetName(r.GetNode(i))) return r.GetNode(i)->s64Size;
        return -1;
    }

    TempDir m_NoPlugins;
    std::unique_ptr<KRawScanMgr> m_Mgr;
    std::unique_ptr<KRawFileSystem> m_Fs;
    FakeTypeLog m_LogA, m_LogB, m_LogC;
};
