#pragma once
// A source over bytes already in memory (tests, fuzzers, and the part of a scan buffer that
// holds a whole file).
#include "ole/IDocSource.h"

class KSpanDocSource final : public IDocSource
{
public:
    explicit KSpanDocSource(ByteView bytes) : m_Bytes(bytes) {}
    uint64_t Limit() const override { return m_Bytes.size(); }
    bool Read(uint64_t off, void* out, size_t len) override;
    size_t ReadSome(uint64_t off, void* out, size_t len) override;

private:
    ByteView m_Bytes;
};
