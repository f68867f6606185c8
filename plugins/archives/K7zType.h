#pragma once
#include "common/KRawTypeBase.h"

// 7z archives: the signature header, guarded by its own CRC-32, gives the place and size of
// the archive's directory, which is the last thing in the file.
class K7zType final : public KRawTypeBase
{
public:
    K7zType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
};
