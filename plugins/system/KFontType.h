#pragma once
#include "common/KRawTypeBase.h"

// TrueType and OpenType fonts (sfnt): a table directory (version, table count and the binary
// search fields derived from it, then one record per table: tag, checksum, offset, length).
// Tables are laid on 4-byte boundaries, so the file ends with the last table's end rounded up
// to 4. OpenType fonts with CFF outlines ("OTTO") are .otf, the rest .ttf.
class KSfntType final : public KRawTypeBase
{
public:
    explicit KSfntType(bool postscriptOutlines);

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};

// Web fonts (WOFF 1 and 2): the header gives the whole file's length.
class KWoffType final : public KRawTypeBase
{
public:
    explicit KWoffType(bool version2);

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;

private:
    bool m_Version2;
};
