#pragma once
#include <cstdint>

#include "common/KRawTypeBase.h"

// Matroska and WebM files: an EBML header naming the document type, then one Segment whose
// size gives the file's end. The segment's top-level elements (clusters, cues, tags, ...) are
// walked to that end, so a damaged or cut file shows; a live recording whose segment size was
// never written ends where its elements stop.
class KMatroskaType : public KRawTypeBase
{
protected:
    KMatroskaType(const tagRawTypeInfo& info, std::span<const tagRawSignature> signatures, bool webm)
        : KRawTypeBase(info, signatures), m_WebM(webm)
    {}

    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    struct tagElement
    {
        uint32_t id = 0; // with its length marker, as the format writes IDs
        uint64_t size = 0;
        bool unknownSize = false;
        uint64_t dataOffset = 0; // file offset of the element's data
    };

    /// The element header at `pos` (pure over `v`, which starts at `pos`).
    static bool ParseElement(ByteView v, uint64_t pos, tagElement& e);
    static bool ReadElement(KRawReader& reader, uint64_t pos, tagElement& e);
    /// Walks the children of a cluster whose size was not written; where they stop.
    static uint64_t OpenClusterEnd(KRawReader& reader, uint64_t pos);

    bool m_WebM;
};

class KMkvType final : public KMatroskaType
{
public:
    KMkvType();
};

class KWebmType final : public KMatroskaType
{
public:
    KWebmType();
};
