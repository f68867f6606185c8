#pragma once
#include "common/KRawTypeBase.h"

// Password databases (KDBX): two signatures, a version, header fields (an id byte and a
// length) up to the end field. Version 4 then has the header's hash and HMAC and the payload
// in HMAC blocks (32-byte code, u32 length, data) ended by an empty block, which ends the
// file; version 3 has its encrypted payload without any length, whose end is not told.
class KKdbxType final : public KRawTypeBase
{
public:
    KKdbxType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
