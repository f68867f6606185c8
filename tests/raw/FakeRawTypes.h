#pragma once
// In-process file types for engine tests: each reports the hits a test scripted for given
// volume sectors, and counts how it was called.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "raw/KRawScanMgr.h"
#include "raw/RawFileTypeAbi.h"

struct FakeTypeLog
{
    int scans = 0;
    int begins = 0;
    int ends = 0;
    int released = 0;
};

class FakeRawType final : public IRawFileType
{
public:
    FakeRawType(std::string ext, std::string desc, FakeTypeLog* log)
        : m_Ext(std::move(ext)), m_Desc(std::move(desc)), m_Log(log)
    {}

    /// Scan reports `size` at `sector` whenever a buffer covers `sector`; `at` may also lie
    /// outside the buffer (misbehaving types).
    void HitAt(int64_t sector, int64_t size, int64_t reportWith = -1)
    {
        m_Hits[reportWith < 0 ? sector : reportWith].push_back({sector, size});
    }
    void SetLimits(int64_t minSize, int64_t maxSize)
    {
        m_Min = minSize;
        m_Max = maxSize;
        m_HasLimits = true;
    }
    void SetInitiate(int result) { m_Initiate = result; }
    /// The hit at `sector` carries the metadata name `bytes` (written unterminated when it
    /// fills the whole answer buffer).
    void NameAt(int64_t sector, std::string bytes) { m_Names[sector] = std::move(bytes); }

    int Initiate() override { return m_Initiate; }
    int GetDescription(char* b, uint32_t n) override { return Copy(m_Desc, b, n); }
    int GetExtension(char* b, uint32_t n) override { return Copy(m_Ext, b, n); }
    int BeginScan() override
    {
        ++m_Log->begins;
        return 1;
    }
    int EndScan() override
    {
        ++m_Log->ends;
        return 1;
    }
    int Scan(const RawScanArgs* args, IRawFileArray* hits) override;
    int Reserved6() override { return 0; }
    int Reserved7() override { return 0; }
    void Release() override
    {
        ++m_Log->released;
        delete this;
    }
    int Reserved9() override { return 0; }
    int GetInfo(int id, void* out, uint32_t size) override;

private:
    static int Copy(const std::string& s, char* b, uint32_t n);

    std::string m_Ext, m_Desc;
    FakeTypeLog* m_Log;
    std::map<int64_t, std::vector<RawHit>> m_Hits; // keyed by the sector that triggers them
    std::map<int64_t, std::string> m_Names;        // keyed by the hit's first sector
    int64_t m_Min = 0, m_Max = 0;
    bool m_HasLimits = false;
    int m_Initiate = 1;
};

class FakeFactory final : public IRawFileTypeFactory
{
public:
    FakeRawType* Add(const std::string& ext, const std::string& desc, FakeTypeLog* log)
    {
        m_Types.push_back(new FakeRawType(ext, desc, log));
        return m_Types.back();
    }
    int GetCount() override { return static_cast<int>(m_Types.size()); }
    IRawFileType* GetType(int i) override { return m_Types[static_cast<size_t>(i)]; }

private:
    std::vector<FakeRawType*> m_Types; // owned by the engine once listed
};
