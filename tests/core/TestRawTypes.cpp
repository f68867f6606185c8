#include "TestRawTypes.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class TaggedType final : public IRawFileType
{
public:
    explicit TaggedType(const TestRawFactory::TypeDesc& desc) : m_Desc(desc) {}
    int Initiate() override { return 1; }
    int GetDescription(char* buffer, uint32_t size) override
    {
        std::snprintf(buffer, size, "%s", m_Desc.Description.c_str());
        return 1;
    }
    int GetExtension(char* buffer, uint32_t size) override
    {
        std::snprintf(buffer, size, "%s", m_Desc.Extension.c_str());
        return 1;
    }
    int BeginScan() override { return 1; }
    int EndScan() override { return 1; }
    int Scan(const RawScanArgs* args, IRawFileArray* hits) override
    {
        for (uint32_t s = 0; s < args->sectorCount; ++s)
        {
            const uint8_t* sector = args->buffer + size_t(s) * args->bytesPerSector;
            if (std::memcmp(sector, m_Desc.Tag.data(), 8) != 0) continue;
            RawHit hit{args->firstSector + s, m_Desc.Size};
            hits->Add(&hit);
        }
        return 1;
    }
    int Reserved6() override { return 0; }
    int Reserved7() override { return 0; }
    void Release() override { delete this; }
    int Reserved9() override { return 0; }
    int GetInfo(int id, void* out, uint32_t size) override
    {
        if (id != RAW_INFO_SIZE_LIMITS || size < 16) return 1;
        const int64_t limits[2] = {1, 1 << 20};
        std::memcpy(out, limits, sizeof(limits));
        return 0;
    }

private:
    TestRawFactory::TypeDesc m_Desc;
};

} // namespace

IRawFileType* TestRawFactory::GetType(int index)
{
    if (index < 0 || index >= GetCount()) return nullptr;
    return new TaggedType(m_Descs[static_cast<size_t>(index)]);
}

ScopedRawTypes::ScopedRawTypes(std::vector<TestRawFactory::TypeDesc> descs, bool enableAll)
    : m_Factory(std::move(descs))
{
    KRawScanMgr::OverrideProgramFolder(m_Dir.Path());
    ::unsetenv("VLM_PLUGIN_DIR");
    m_Types = std::make_unique<KRawScanMgr>();
    Added = KRawScanMgr::AddFactory(&m_Factory);
    for (int i = 0; enableAll && i < Added; ++i) m_Types->SetEnabled(i, true);
}

ScopedRawTypes::~ScopedRawTypes()
{
    m_Types.reset();
    KRawScanMgr::OverrideProgramFolder("");
}
