#pragma once
// The parsers' byte source over the deep scan's bounded reader: bytes of the scan buffer come
// without I/O, the rest through the volume, nothing beyond the type's maximum size.
#include "ole/IDocSource.h"
#include "common/KRawReader.h"

class KDocReaderSource final : public IDocSource
{
public:
    explicit KDocReaderSource(KRawReader& reader) : m_Reader(reader) {}
    uint64_t Limit() const override { return m_Reader.Limit(); }
    bool Read(uint64_t off, void* out, size_t len) override;
    size_t ReadSome(uint64_t off, void* out, size_t len) override;

private:
    KRawReader& m_Reader;
};
