#pragma once
// In-process deep-scan types for the session tests: each finds a file wherever a sector starts
// with its 8-byte tag, and reports a fixed size.
#include <string>
#include <vector>

#include "raw/RawFileTypeAbi.h"

class TestRawFactory final : public IRawFileTypeFactory
{
public:
    struct TypeDesc
    {
        std::string Extension;
        std::string Description;
        std::string Tag; // 8 bytes
        int64_t Size = 1024;
    };
    explicit TestRawFactory(std::vector<TypeDesc> descs) : m_Descs(std::move(descs)) {}
    int GetCount() override { return static_cast<int>(m_Descs.size()); }
    IRawFileType* GetType(int index) override;

private:
    std::vector<TypeDesc> m_Descs;
};
