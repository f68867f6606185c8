#pragma once
// The factory a plug-in library exports: it lists the library's types from one array and
// creates a fresh object for each GetType call (the engine releases each one it took).
#include <span>

#include "common/KRawTypeBase.h"
#include "raw/RawFileTypeAbi.h"

class KRawTypeFactory final : public IRawFileTypeFactory
{
public:
    explicit KRawTypeFactory(std::span<const RawTypeCreate> types) : m_Types(types) {}

    int GetCount() override { return static_cast<int>(m_Types.size()); }
    IRawFileType* GetType(int index) override;

private:
    std::span<const RawTypeCreate> m_Types;
};
