#pragma once
#include "common/KRawTypeBase.h"

// Windows programs and libraries (PE): a DOS header whose e_lfanew points at "PE\0\0", the
// COFF header, the optional header and the section table. The file ends with the last byte of
// the headers, of any section's raw data, of the COFF symbol and string tables or of the
// attached signature (the certificate table, the one data directory given as a file offset).
// Data appended after all of these (installer payloads) is not part of the image and is not
// included. The DLL flag of the COFF header tells the two types apart.
class KPeType final : public KRawTypeBase
{
public:
    explicit KPeType(bool library);

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    bool m_Library;
};
