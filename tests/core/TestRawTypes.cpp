#include "TestRawTypes.h"

#include <cstdio>
#include <cstring>

namespace {

class TaggedType final : public IRawFileType
{
public:
    explicit TaggedType(const TestRawFactory::Spec& spec) : m_Spec(spec) {}
    int Initiate() override { return 1; }
    int GetDescription(char* buffer, uint32_t size) override
    {
        std::snprintf(buffer, size, "%s", m_Spec.Description.c_str());
        return 1;
    }
    int GetExtension(char* buffer, uint32_t size) override
    {
        std::snprintf(buffer, size, "%s", m_Spec.Extension.c_str());
        return 1;
    }
    int BeginScan() override { return 1; }
    int EndScan() override { return 1; }
    int Scan(const RawScanArgs* args, IRawFileArray* hits) override
    {
        for (uint32_t s = 0; s < args->sectorCount; ++s)
        {
            const uint8_t* sector = args->buffer + size_t(s) * args->bytesPerSector;
            if (std::memcmp(sector, m_Spec.Tag.data(), 8) != 0)
                continue;
            RawHit hit{args->firstSector + s, m_Spec.Size};
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
        if (id != RAW_INFO_SIZE_LIMITS || size < 16)
            return 1;
        const int64_t limits[2] = {1, 1 << 20};
        std::memcpy(out, limits, sizeof(limits));
        return 0;
    }

private:
    TestRawFactory::Spec m_Spec;
};

} // namespace

IRawFileType* TestRawFactory::GetType(int index)
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return new TaggedType(m_Specs[static_cast<size_t>(index)]);
}
