#pragma once
// The hits of one plug-in Scan call, in the order the plug-in added them.
#include <vector>

#include "raw/RawFileTypeAbi.h"

class KRawFileArray final : public IRawFileArray
{
public:
    void Clear() override { m_Hits.clear(); }
    /// A null hit is ignored; a hit that cannot be stored (no memory) is lost.
    void Add(const RawHit* hit) override;
    int GetCount() override { return static_cast<int>(m_Hits.size()); }
    int GetAt(int index, RawHit* out) override;
    virtual ~KRawFileArray() = default;

private:
    std::vector<RawHit> m_Hits;
};
