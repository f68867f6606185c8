#include "ntfs/NtfsFileRecordParser.h"

#include <algorithm>
#include <cinttypes>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "fs/SalvageRead.h"
#include "ntfs/KNtfsMft.h"
#include "ntfs/NtfsNamedStreams.h"
#include "format/ntfs/NtfsRecord.h"
#include "os/OsTime.h"
#include "volume/IVolumeIO.h"

namespace {

// The $DATA that holds the file's data: through the attribute list when the record has one,
// else the first unnamed one of the record. Null when none; `extension` keeps the bytes of an
// extension record the answer points into.
NtfsAttribute ChooseData(KNtfsMft& mft, ByteView record, std::vector<uint8_t>* extension)
{
    NtfsAttribute chosen;
    const bool listed = WalkAttributeList(mft, record, [&](const tagNtfsAttributeListEntry& e) {
        if (e.Type != kNtfsAttrData || e.FirstVcn != 0 || e.NameLength != 0) return true;
        const NtfsExtension got = ReadExtensionRecord(mft, e.RecordLow, extension);
        if (got == NtfsExtension::Missing) return false;
        if (got == NtfsExtension::Invalid) return true;
        chosen = FindAttribute(*extension, kNtfsAttrData, 0);
        return false;
    });
    return listed ? chosen : FindUnnamedData(record);
}

void ApplyDataSize(const NtfsAttribute& data, int64_t* size, uint16_t* attributes)
{
    const uint16_t flags = data.Header.Flags;
    if (flags & kNtfsAttrFlagEncrypted) *attributes |= kFileAttrEncrypted;
    if (flags & kNtfsAttrFlagCompressed) *attributes |= kFileAttrCompressed;
    tagNtfsNonResidentAttribute nr;
    ByteView pairs;
    if (NonResidentHeader(data, &nr, &pairs))
    {
        if (nr.MappingPairsOffset == 0) return;
        *size += static_cast<int64_t>(nr.DataSize);
        if (nr.InitializedSize != nr.DataSize)
            VlmTrace("Line:%d size=%" PRId64 ",%" PRId64 "\n", __LINE__, static_cast<int64_t>(nr.InitializedSize),
                     static_cast<int64_t>(nr.DataSize));
        return;
    }
    ByteView value;
    if (ResidentValue(data, &value)) *size += static_cast<int64_t>(value.size());
    *attributes = static_cast<uint16_t>(*attributes & ~kFileAttrCompressed);
}

// A base record that lost every $FILE_NAME but still holds a file: its $STANDARD_INFORMATION
// and data (unnamed with a size, or a named stream). A driver that deletes a file spread over
// extension records may take the names out of them before it frees the records, and the
// records 12 .. 15 the format reserves carry no name and no data worth listing.
bool IsNamelessFile(KNtfsMft& mft, ByteView record, uint32_t n)
{
    if (n < kNtfsFirstUserRecord || !FindAttribute(record, kNtfsAttrStandardInformation, 0)) return false;
    std::vector<uint8_t> extension;
    int64_t size = 0;
    uint16_t attributes = 0;
    if (const NtfsAttribute data = ChooseData(mft, record, &extension))
    {
        ApplyDataSize(data, &size, &attributes);
        if (size > 0) return true;
    }
    bool named = false;
    ForEachNamedStream(mft, record, [&](const std::string&, const NtfsAttribute&) { return !(named = true); });
    return named;
}

// The made-up name of a nameless file: its record number, which finds it again.
std::string NamelessFileName(uint32_t n) { return "Record " + std::to_string(n); }

uint64_t ToLocal(uint64_t utc)
{
    int64_t local = 0;
    return FileTimeUtcToLocal(static_cast<int64_t>(utc), &local) ? static_cast<uint64_t>(local) : utc;
}

} // namespace

bool WalkAttributeList(KNtfsMft& mft, ByteView record,
                       const std::function<bool(const tagNtfsAttributeListEntry&)>& visit)
{
    const NtfsAttribute list = FindAttribute(record, kNtfsAttrAttributeList, 0);
    if (!list) return false;
    ByteView value;
    std::vector<uint8_t> outside;
    if (list.IsResident())
    {
        if (!ResidentValue(list, &value)) return false;
    }
    else
    {
        if (!ReadNonResidentValue(mft, list, kNtfsMaxAttributeListBytes, &outside)) return false;
        value = outside;
    }
    size_t walked = 0;
    while (walked < value.size())
    {
        tagNtfsAttributeListEntry e;
        if (!LoadRecord(value, walked, e) || e.Length < sizeof(e)) break;
        if (!visit(e)) break;
        walked += e.Length;
    }
    return true;
}

bool ReadNonResidentValue(KNtfsMft& mft, const NtfsAttribute& attribute, uint64_t maxBytes, std::vector<uint8_t>* out,
                          uint64_t* unreadable)
{
    if (unreadable) *unreadable = 0;
    tagNtfsNonResidentAttribute header;
    ByteView pairs;
    IVolumeIO* volume = mft.GetVolume();
    const uint32_t bps = mft.Geometry().BytesPerSector;
    if (!volume || bps == 0 || !NonResidentHeader(attribute, &header, &pairs) || header.MappingPairsOffset == 0)
        return false;
    StreamVector runs;
    if (!mft.DecodeRunList(pairs, &runs)) return false;
    const uint64_t size = std::min<uint64_t>(header.DataSize, maxBytes);
    try
    {
        // Whole sectors are read; the value is cut to its size afterwards.
        out->assign((size + bps - 1) / bps * bps, 0);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    uint64_t done = 0;
    for (const tagStreamBlock& run : runs)
    {
        if (done >= out->size()) break;
        const uint64_t sectors = std::min<uint64_t>(run.dwSectorCount, (out->size() - done) / bps);
        // A bad sector of the list costs the entries in it (they read as zeros and end the
        // walk there), not the whole list.
        if (run.s64FirstSector != STREAM_HOLE_SECTOR)
        {
            const uint32_t failed = ReadSectorsSalvaging(*volume, static_cast<uint64_t>(run.s64FirstSector),
                                                         out->data() + done, static_cast<uint32_t>(sectors), bps);
            if (failed == sectors) return false;
            if (unreadable) *unreadable += failed;
        }
        done += sectors * bps;
    }
    out->resize(std::min<uint64_t>(size, done));
    return true;
}

NtfsExtension ReadExtensionRecord(KNtfsMft& mft, uint32_t recordNumber, std::vector<uint8_t>* buffer,
                                  const StreamVector* mftRuns)
{
    try
    {
        buffer->assign(mft.RecordBytes(), 0);
    }
    catch (const std::bad_alloc&)
    {
        return NtfsExtension::Missing;
    }
    if (buffer->empty() ||
        mft.ReadRecordIn(mftRuns ? *mftRuns : mft.Geometry().MftRuns, recordNumber, buffer->data()) != 0)
        return NtfsExtension::Missing;
    return CheckFileRecord(*buffer, false) ? NtfsExtension::Ok : NtfsExtension::Invalid;
}

NtfsAttribute FindDataExtent(ByteView record, uint64_t firstVcn)
{
    // A record holds a handful of $DATA attributes; a crafted one with thousands of tiny
    // attributes must not make this search quadratic.
    constexpr int kMaxDataAttributes = 64;
    for (int i = 0; i < kMaxDataAttributes; ++i)
    {
        const NtfsAttribute a = FindAttribute(record, kNtfsAttrData, i);
        if (!a) return {};
        tagNtfsNonResidentAttribute h;
        ByteView pairs;
        if (!a.IsNamed() && NonResidentHeader(a, &h, &pairs) && h.FirstVcn == firstVcn) return a;
    }
    return {};
}

bool ParseFileRecord(KNtfsMft& mft, ByteView record, uint32_t n, std::string* name, tagNtfsFileNode* out)
{
    tagNtfsFileRecordHeader header;
    if (!LoadFileRecordHeader(record, &header)) return false;
    const bool deleted = (header.Flags & kNtfsRecordInUse) == 0;
    // An extension record only carries attributes of its base record, which is listed itself.
    if ((header.BaseRecord & 0xFFFFFFFFFFFFull) != 0) return false;
    std::vector<uint8_t> nameRecord;
    std::optional<NtfsFileNameView> fn = ChooseFileName(record);
    // A file with many attributes may keep its names in an extension record.
    if (!fn)
        WalkAttributeList(mft, record, [&](const tagNtfsAttributeListEntry& e) {
            if (e.Type != kNtfsAttrFileName) return true;
            if (ReadExtensionRecord(mft, e.RecordLow, &nameRecord) == NtfsExtension::Ok)
                fn = ChooseFileName(nameRecord);
            return !fn;
        });
    if (!fn && !IsNamelessFile(mft, record, n)) return false;
    *name = fn ? fn->Name() : NamelessFileName(n);

    out->byKind |= FN_KIND_NTFS | FN_KIND_PRESENT;
    out->dwParentId = fn ? fn->ParentLow() : kNtfsLostFilesId;
    out->dwSelfId = n;
    out->s64RecordSector = mft.RecordToSector(n);
    out->ftCreated = fn ? fn->CreationTime() : 0;
    out->ftModified = fn ? fn->ModificationTime() : 0;
    out->s64Size = 0;
    const uint32_t nameFlags = fn ? fn->Flags() : 0;
    uint16_t attributes = static_cast<uint16_t>(nameFlags & 0xFFFF);
    out->wValidMask = FN_MASK_FOUND;
    // The times and the attribute bits of $STANDARD_INFORMATION win over the name's copies.
    ByteView si;
    uint32_t fileAttributes = 0;
    if (ResidentValue(FindAttribute(record, kNtfsAttrStandardInformation, 0), &si) &&
        LoadU32LE(si, offsetof(tagNtfsStandardInformation, FileAttributes), fileAttributes))
    {
        uint64_t created = 0, modified = 0;
        LoadU64LE(si, offsetof(tagNtfsStandardInformation, CreationTime), created);
        LoadU64LE(si, offsetof(tagNtfsStandardInformation, ModificationTime), modified);
        out->ftCreated = created;
        out->ftModified = modified;
        attributes = static_cast<uint16_t>(fileAttributes & 0xFFFF);
    }
    if (nameFlags & kNtfsNameFlagDirectory) attributes |= kFileAttrDirectory;
    if (nameFlags & kNtfsNameFlagEncrypted) attributes |= kFileAttrEncrypted;
    if (nameFlags & kNtfsNameFlagCompressed) attributes |= kFileAttrCompressed;
    if (deleted) out->byKind |= FN_KIND_NTFS | FN_KIND_DELETED;

    if (!(attributes & kFileAttrDirectory))
    {
        std::vector<uint8_t> extension;
        if (const NtfsAttribute data = ChooseData(mft, record, &extension))
            ApplyDataSize(data, &out->s64Size, &attributes);
        else
            // Without an unnamed $DATA it is no empty file but a metafile kept in indexes
            // ($Quota, $ObjId) or a record whose data could not be found: it has no size.
            out->wValidMask = static_cast<uint16_t>(out->wValidMask & ~FN_MASK_SIZE);
    }
    out->ftCreated = ToLocal(out->ftCreated);
    out->ftModified = ToLocal(out->ftModified);
    if (attributes & kFileAttrEncrypted) attributes = static_cast<uint16_t>(attributes & ~kFileAttrCompressed);
    if (attributes & kFileAttrDirectory)
        attributes = static_cast<uint16_t>(attributes & ~(kFileAttrCompressed | kFileAttrEncrypted));
    out->wAttributes = attributes;
    return true;
}

void ForEachOtherHardLink(KNtfsMft& mft, ByteView record, uint32_t self, const std::string& name, uint32_t parent,
                          const std::function<bool(const std::string& name, uint32_t parent)>& visit)
{
    // Most files have one name (and its DOS short form) and no attribute list: nothing to list,
    // and no name to convert, on the listing's path through every record.
    if (!FindAttribute(record, kNtfsAttrAttributeList, 0))
    {
        int names = 0;
        for (int i = 0; i < kNtfsMaxHardLinks && names < 2; ++i)
        {
            ByteView value;
            const NtfsAttribute a = FindAttribute(record, kNtfsAttrFileName, i);
            if (!a) break;
            const auto fn = ResidentValue(a, &value) ? NtfsFileNameView::Of(value) : std::nullopt;
            if (fn && fn->NameSpace() != kNtfsNameSpaceDos) ++names;
        }
        if (names < 2) return;
    }
    std::set<std::pair<uint32_t, std::string>> seen{{parent, name}};
    // False ends the walk: the visitor asked so, or enough links were listed.
    auto offer = [&](ByteView holder) {
        for (int i = 0; i < kNtfsMaxHardLinks; ++i)
        {
            ByteView value;
            const NtfsAttribute a = FindAttribute(holder, kNtfsAttrFileName, i);
            if (!a) return true;
            const auto fn = ResidentValue(a, &value) ? NtfsFileNameView::Of(value) : std::nullopt;
            if (!fn || fn->NameSpace() == kNtfsNameSpaceDos) continue;
            std::string linked = fn->Name();
            if (linked.empty() || !seen.emplace(fn->ParentLow(), linked).second) continue;
            if (!visit(linked, fn->ParentLow()) || seen.size() > static_cast<size_t>(kNtfsMaxHardLinks)) return false;
        }
        return true;
    };
    if (!offer(record)) return;
    std::set<uint32_t> read{self};
    std::vector<uint8_t> extension;
    WalkAttributeList(mft, record, [&](const tagNtfsAttributeListEntry& e) {
        if (e.Type != kNtfsAttrFileName || !read.insert(e.RecordLow).second) return true;
        tagNtfsFileRecordHeader header;
        if (ReadExtensionRecord(mft, e.RecordLow, &extension) != NtfsExtension::Ok ||
            !LoadFileRecordHeader(extension, &header) || (header.BaseRecord & 0xFFFFFFFFFFFFull) != self)
            return true;
        return offer(extension);
    });
}

void MakeStreamNode(const tagNtfsFileNode& file, const NtfsAttribute& attribute, tagNtfsFileNode* out)
{
    *out = file;
    out->byKind |= FN_KIND_STREAM;
    out->byCondition = FN_COND_UNKNOWN;
    out->wValidMask = static_cast<uint16_t>(out->wValidMask | FN_MASK_SIZE);
    out->s64Size = 0;
    // A folder's stream is a file; compression and encryption are the stream's own.
    uint16_t attributes =
        static_cast<uint16_t>(file.wAttributes & ~(kFileAttrDirectory | kFileAttrCompressed | kFileAttrEncrypted));
    ApplyDataSize(attribute, &out->s64Size, &attributes);
    if (attributes & kFileAttrEncrypted) attributes = static_cast<uint16_t>(attributes & ~kFileAttrCompressed);
    out->wAttributes = attributes;
}
