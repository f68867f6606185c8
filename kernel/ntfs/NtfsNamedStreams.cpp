#include "ntfs/NtfsNamedStreams.h"

#include <algorithm>
#include <set>

#include "ntfs/KNtfsMft.h"
#include "ntfs/NtfsFileRecordParser.h"
#include "format/ntfs/NtfsRecord.h"

namespace {

// $DATA attributes looked at in one record: a crafted record with thousands of tiny
// attributes must not make the search quadratic.
constexpr int kMaxDataAttributes = 256;

// The $DATA of `instance` in a checked record, or an empty one.
NtfsAttribute FindDataInstance(ByteView record, uint16_t instance)
{
    for (int i = 0; i < kMaxDataAttributes; ++i)
    {
        const NtfsAttribute a = FindAttribute(record, kNtfsAttrData, i);
        if (!a || a.Header.Instance == instance) return a;
    }
    return {};
}

uint64_t FirstVcn(const NtfsAttribute& attribute)
{
    tagNtfsNonResidentAttribute h;
    ByteView pairs;
    return NonResidentHeader(attribute, &h, &pairs) ? h.FirstVcn : 0;
}

// An extension record read once for all the list entries that name it in a row.
class ExtensionCache
{
public:
    explicit ExtensionCache(KNtfsMft& mft) : m_Mft(mft) {}

    NtfsExtension Get(uint32_t recordNumber, ByteView* record)
    {
        if (!m_bValid || recordNumber != m_dwNumber)
        {
            m_Got = ReadExtensionRecord(m_Mft, recordNumber, &m_Buffer);
            m_dwNumber = recordNumber;
            m_bValid = true;
        }
        *record = m_Buffer;
        return m_Got;
    }

private:
    KNtfsMft& m_Mft;
    std::vector<uint8_t> m_Buffer;
    uint32_t m_dwNumber = 0;
    bool m_bValid = false;
    NtfsExtension m_Got = NtfsExtension::Missing;
};

} // namespace

std::string NtfsAttributeName(const NtfsAttribute& attribute)
{
    std::string name;
    ConvertName(attribute.NameUnits(), &name);
    return name;
}

void ForEachNamedStream(KNtfsMft& mft, ByteView record,
                        const std::function<bool(const std::string&, const NtfsAttribute&)>& visit)
{
    std::set<std::string> seen;
    // False ends the walk: the visitor asked so, or enough streams were listed.
    auto offer = [&](const NtfsAttribute& a) {
        if (!a.IsNamed() || FirstVcn(a) != 0) return true;
        std::string name = NtfsAttributeName(a);
        if (name.empty() || !seen.insert(name).second) return true;
        return visit(name, a) && seen.size() < static_cast<size_t>(kNtfsMaxNamedStreams);
    };
    ExtensionCache cache(mft);
    const bool listed = WalkAttributeList(mft, record, [&](const tagNtfsAttributeListEntry& e) {
        if (e.Type != kNtfsAttrData || e.NameLength == 0 || e.FirstVcn != 0) return true;
        ByteView holder;
        if (cache.Get(e.RecordLow, &holder) != NtfsExtension::Ok)
            return true; // that stream is lost; others may lie in readable records
        const NtfsAttribute a = FindDataInstance(holder, e.Instance);
        return !a || offer(a);
    });
    if (listed) return;
    for (int i = 0; i < kMaxDataAttributes; ++i)
    {
        const NtfsAttribute a = FindAttribute(record, kNtfsAttrData, i);
        if (!a || !offer(a)) return;
    }
}

NtfsStreamFound LocateNamedStream(KNtfsMft& mft, ByteView record, const std::string& name, NtfsStreamData* out)
{
    *out = NtfsStreamData{};
    bool found = false, invalid = false, ended = false;
    uint64_t nextVcn = 0;
    // One extent: the first one decides whether the stream is resident, later ones add runs.
    auto take = [&](const NtfsAttribute& a) {
        tagNtfsNonResidentAttribute h;
        ByteView pairs;
        if (!NonResidentHeader(a, &h, &pairs))
        {
            ByteView value;
            if (found || !ResidentValue(a, &value)) return;
            out->resident = true;
            out->flags = a.Header.Flags;
            out->value.assign(value.begin(), value.end());
            found = true;
            return;
        }
        // Extents go on from the first; another extent at cluster 0 is a second stream of
        // the same name (a damaged record), which the listing does not offer.
        if (ended || out->resident || (found ? h.FirstVcn == 0 : h.FirstVcn != 0)) return;
        // An extent that leaves a gap ends the stream: it and later ones would land too early.
        if (found && h.FirstVcn != nextVcn)
        {
            ended = true;
            return;
        }
        nextVcn = h.LastVcn + 1;
        if (!found)
        {
            out->flags = h.Header.Flags;
            out->compressionUnit = h.CompressionUnit;
        }
        found = true;
        StreamVector extent;
        if (h.MappingPairsOffset != 0 && mft.DecodeRunList(pairs, &extent))
            out->runs.insert(out->runs.end(), extent.begin(), extent.end());
    };
    ExtensionCache cache(mft);
    const bool listed = WalkAttributeList(mft, record, [&](const tagNtfsAttributeListEntry& e) {
        if (e.Type != kNtfsAttrData || e.NameLength == 0) return true;
        ByteView holder;
        const NtfsExtension got = cache.Get(e.RecordLow, &holder);
        if (got != NtfsExtension::Ok)
        {
            // A missing extent ends the stream (the runs so far stand) only once it began.
            invalid = invalid || (got == NtfsExtension::Invalid && found);
            return !found;
        }
        const NtfsAttribute a = FindDataInstance(holder, e.Instance);
        if (a && NtfsAttributeName(a) == name) take(a);
        return true;
    });
    if (!listed)
        for (int i = 0; i < kMaxDataAttributes; ++i)
        {
            const NtfsAttribute a = FindAttribute(record, kNtfsAttrData, i);
            if (!a) break;
            if (a.IsNamed() && FirstVcn(a) == 0 && NtfsAttributeName(a) == name)
            {
                take(a);
                break;
            }
        }
    if (invalid) return NtfsStreamFound::Invalid;
    return found ? NtfsStreamFound::Ok : NtfsStreamFound::Missing;
}

bool StreamPartOfName(const std::string& entryName, const std::string& fileName, std::string* stream)
{
    if (entryName.size() <= fileName.size() + 1 || entryName.compare(0, fileName.size(), fileName) != 0 ||
        entryName[fileName.size()] != ':')
        return false;
    *stream = entryName.substr(fileName.size() + 1);
    return true;
}
