#pragma once
// In-process deep-scan types for the session tests: each finds a file wherever a sector starts
// with its 8-byte tag, and reports a fixed size.
#include <memory>
#include <string>
#include <vector>

#include "raw/KRawScanMgr.h"
#include "raw/RawFileTypeAbi.h"
#include "support/TestFiles.h"

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

// The factory's types as the only deep-scan types (no plug-in folder) while it lives, each
// enabled as its default says or, with `enableAll`, all of them.
class ScopedRawTypes
{
public:
    explicit ScopedRawTypes(std::vector<TestRawFactory::TypeDesc> descs, bool enableAll = false);
    ~ScopedRawTypes();
    KRawScanMgr& Types() { return *m_Types; }
    int Added = 0; // what AddFactory counted

private:
    TempDir m_Dir;
    TestRawFactory m_Factory;
    std::unique_ptr<KRawScanMgr> m_Types;
};
