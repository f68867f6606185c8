#pragma once
#include "common/KRawTypeBase.h"

// Ogg files (Vorbis, Opus, FLAC or Theora streams): a run of pages, each with its own CRC.
// Every logical stream starts with a page flagged "beginning" and ends with one flagged "end";
// the file ends after the page that ends the last open stream, unless a new chain of streams
// starts right after it.
class KOggType final : public KRawTypeBase
{
public:
    KOggType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
