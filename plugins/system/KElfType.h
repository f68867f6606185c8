#pragma once
#include "common/KRawTypeBase.h"

// ELF executables, shared libraries and object files: the file header locates the program
// header table and the section header table; the file ends with the last byte of either table
// or of any section or segment with contents in the file.
class KElfType final : public KRawTypeBase
{
public:
    KElfType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
