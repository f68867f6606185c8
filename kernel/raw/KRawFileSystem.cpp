#include "raw/KRawFileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "fs/CopyFileOut.h"
#include "fs/KBuildFileTree.h"
#include "fs/KOutStream.h"
#include "base/EngineStrings.h"
#include "storage/IStorageManager.h"
#include "volume/IVolumeIO.h"
#include "volume/KVolumeManager.h"

namespace {

constexpr uint32_t kOpticalDrive = 4;
constexpr uint32_t kOpticalSectorSize = 2048;

std::string Cut(std::string s, size_t max)
{
    if (s.size() > max) s.resize(max);
    return s;
}

} // namespace

KRawFileSystem::KRawFileSystem() { Reset(); }

KRawFileSystem::~KRawFileSystem() = default;

void KRawFileSystem::Reset()
{
    if (m_pParallel) m_pParallel->Abort();
    m_bWorkersChosen = false;
    m_pVolume = nullptr;
    m_dwSectorValue = 0;
    m_dwSectorSize = 512;
    std::memset(&m_Candidate, 0, sizeof m_Candidate);
    m_dwFinished = 0;
    m_Records.Clear();
    m_Pending.clear();
    m_dwBytesPerSector = 0;
}

void KRawFileSystem::SetSectorInfo(uint32_t value, uint32_t bytesPerSector)
{
    m_dwSectorValue = value;
    m_dwSectorSize = bytesPerSector;
}

uint32_t KRawFileSystem::GetSectorInfo(uint32_t* bytesPerSector)
{
    if (bytesPerSector) *bytesPerSector = m_dwSectorSize;
    return m_dwSectorValue;
}

std::string KRawFileSystem::VolumeFolderName() const
{
    std::string name;
    m_pVolume->GetName(&name);
    const std::string label = VolumeRecordLabel(m_pVolume);
    if (!name.empty()) name += "\\";
    if (!label.empty()) name += "(" + label + ")";
    if (name.empty()) name = std::string("(") + m_Candidate.szLabel + ")";
    return name;
}

uint32_t KRawFileSystem::Begin_ScanFS()
{
    if (!m_pVolume) return ERROR_CURRENT_DIRECTORY;
    if (m_pParallel) m_pParallel->Abort();
    m_bWorkersChosen = false;
    try
    {
        m_ScanMgr.ResetFoundCounts();
        for (int i = 0; i < m_ScanMgr.GetTypeCount(); ++i) m_ScanMgr.GetType(i)->BeginScan();
        m_Records.Clear();
        m_Pending.clear();
        m_dwHits = 0;
        m_u64DroppedHits = 0;
        m_Names.Clear();
        std::memset(&m_Candidate, 0, sizeof m_Candidate);
        m_Candidate.wLength = sizeof m_Candidate;
        m_Candidate.wSectorsPerCluster = 1;
        std::snprintf(m_Candidate.szLabel, sizeof m_Candidate.szLabel, "%s", EngineString(IDS_DEEP_SCAN_LABEL));
        tagDiskGeometry g{};
        if (m_pVolume->GetGeometry(&g) == ERROR_SUCCESS && g.TotalSectors <= INT64_MAX)
        {
            m_Candidate.s64SectorCount = static_cast<int64_t>(g.TotalSectors);
            m_dwBytesPerSector = g.BytesPerSector;
        }
        else
        {
            m_Candidate.s64SectorCount = 0;
            m_dwBytesPerSector = 0;
        }
        m_dwFinished = 0;

        auto* root = m_Records.Add<tagRawFileNode>(Cut(VolumeFolderName(), KFileNode::kMaxNameLength));
        auto* lost = root ? m_Records.Add<tagRawFileNode>(EngineString(IDS_LOST_FILES)) : nullptr;
        if (!lost) return ERROR_INVALID_FUNCTION;
        root->wValidMask = lost->wValidMask = FN_MASK_SYSTEM_FOLDER;
        root->wAttributes = lost->wAttributes = FN_ATTR_FOLDER;
        root->byKind = FN_KIND_DEEP;
        lost->byKind = FN_KIND_LOST;
        lost->dwSelfId = 1;
        for (int i = 0; i < m_ScanMgr.GetTypeCount(); ++i)
        {
            tagRawTypeEntry e;
            m_ScanMgr.GetTypeEntry(i, &e);
            auto* folder = m_Records.Add<tagRawFileNode>(Cut(e.strDescription, kMaxName));
            if (!folder) return ERROR_INVALID_FUNCTION;
            folder->wValidMask = FN_MASK_LOST_FOLDER;
            folder->byKind = FN_KIND_DEEP;
            folder->wAttributes = FN_ATTR_FOLDER;
            folder->dwSelfId = e.dwTypeId;
        }
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

bool KRawFileSystem::TypeLimits(int typeIndex, int64_t* minSize, int64_t* maxSize) const
{
    IRawFileType* type = m_ScanMgr.GetType(typeIndex);
    int64_t limits[2] = {0, 0};
    if (!type || type->GetInfo(RAW_INFO_SIZE_LIMITS, limits, sizeof limits) != 0) return false;
    *minSize = limits[0];
    *maxSize = limits[1];
    return true;
}

void KRawFileSystem::ClosePending(int64_t nextFirstSector)
{
    for (const Pending& p : m_Pending)
    {
        auto* rec = m_Records.Get<tagRawFileNode>(p.record);
        int64_t minSize = 0, maxSize = 0;
        if (!rec || !TypeLimits(p.typeIndex, &minSize, &maxSize)) continue;
        // Both sectors lie inside the volume (CheckHit), so the product cannot overflow.
        int64_t size = (nextFirstSector - static_cast<int64_t>(rec->ftCreated)) * int64_t{m_dwBytesPerSector};
        size = std::max(size, minSize);
        size = std::min(size, maxSize);
        rec->s64Size = size;
    }
    m_Pending.clear();
}

bool KRawFileSystem::CheckHit(int typeIndex, RawHit& hit) const
{
    const int64_t total = m_Candidate.s64SectorCount;
    if (hit.firstSector < 0 || (total > 0 && hit.firstSector >= total))
    {
        VlmTrace("Deep scan: type %d reported a file at sector %lld outside the volume; dropped\n", typeIndex,
                 static_cast<long long>(hit.firstSector));
        return false;
    }
    if (hit.size < 0)
    {
        VlmTrace("Deep scan: type %d reported a negative size at sector %lld; its end is decided later\n", typeIndex,
                 static_cast<long long>(hit.firstSector));
        hit.size = 0;
    }
    if (total > 0 && m_dwBytesPerSector)
    {
        const int64_t room = (total - hit.firstSector) * int64_t{m_dwBytesPerSector};
        if (hit.size > room)
        {
            VlmTrace("Deep scan: type %d reported %lld bytes at sector %lld, past the volume's end; cut to %lld\n",
                     typeIndex, static_cast<long long>(hit.size), static_cast<long long>(hit.firstSector),
                     static_cast<long long>(room));
            hit.size = room;
        }
    }
    return true;
}

void KRawFileSystem::AddFile(ScanStats* stats, int typeIndex, const RawHit& hit, std::string_view text)
{
    tagRawTypeEntry e;
    m_ScanMgr.GetTypeEntry(typeIndex, &e);
    ++m_Candidate.dwFilesMatch;
    if (stats) ++stats->dwRawFiles;
    const uint32_t found = e.dwFoundCount + 1;
    m_ScanMgr.SetFoundCount(typeIndex, found);

    std::string name = text.empty() ? std::string() : m_Names.Claim(typeIndex, text, e.strExtension);
    if (name.empty())
    {
        char numbered[512];
        std::snprintf(numbered, sizeof numbered, "Recovered_%s_file(%d).%s", e.strExtension.c_str(),
                      static_cast<int>(found), e.strExtension.c_str());
        name = Cut(numbered, kMaxName);
    }
    const int index = m_Records.GetCount();
    auto* rec = m_Records.Add<tagRawFileNode>(name);
    if (!rec) return;
    rec->wValidMask = FN_MASK_LOST_FOLDER;
    rec->byKind = FN_KIND_DEEP;
    rec->dwSelfId = static_cast<uint32_t>(index) + kRecordIdBase;
    rec->dwParentId = e.dwTypeId;
    rec->s64Size = hit.size;
    rec->ftCreated = static_cast<uint64_t>(hit.firstSector);
    if (hit.size == 0) m_Pending.push_back({index, typeIndex});
}

void KRawFileSystem::TakeHit(ScanStats* stats, int typeIndex, RawHit hit, std::string_view text)
{
    if (!CheckHit(typeIndex, hit)) return;
    // A dropped hit still ends the file before it.
    ClosePending(hit.firstSector);
    if (m_dwHits >= m_dwHitLimit)
    {
        if (m_u64DroppedHits++ == 0)
            VlmTrace("Deep scan: %u files recorded, the most one scan keeps; later files are dropped "
                     "(first at sector %lld)\n",
                     m_dwHits, static_cast<long long>(hit.firstSector));
        return;
    }
    ++m_dwHits;
    AddFile(stats, typeIndex, hit, text);
}

void KRawFileSystem::ScanHere(ScanStats* stats, const RawScanArgs& args)
{
    for (int t = 0; t < m_ScanMgr.GetTypeCount(); ++t)
    {
        tagRawTypeEntry e;
        m_ScanMgr.GetTypeEntry(t, &e);
        if (!e.dwEnabled) continue;
        m_Hits.Clear();
        e.pType->Scan(&args, &m_Hits);
        for (int h = 0; h < m_Hits.GetCount(); ++h)
        {
            RawHit hit{};
            if (m_Hits.GetAt(h, &hit)) TakeHit(stats, t, hit, HitMetadataText(e.pType, hit.firstSector));
        }
    }
}

void KRawFileSystem::StartWorkers()
{
    // Types that may run beside others get a worker each; the rest share one, one after the
    // other. With no type of the first kind there is nothing to share out.
    m_bWorkersChosen = true;
    if (m_dwThreads < 2) return;
    std::vector<IRawFileType*> types(static_cast<size_t>(m_ScanMgr.GetTypeCount()), nullptr);
    std::vector<std::vector<int>> groups;
    std::vector<int> together;
    for (int t = 0; t < m_ScanMgr.GetTypeCount(); ++t)
    {
        tagRawTypeEntry e;
        m_ScanMgr.GetTypeEntry(t, &e);
        if (!e.dwEnabled || !e.pType) continue;
        types[static_cast<size_t>(t)] = e.pType;
        int32_t concurrent = 0;
        if (e.pType->GetInfo(RAW_INFO_CONCURRENT, &concurrent, sizeof concurrent) == 0 && concurrent == 1)
            groups.push_back({t});
        else
            together.push_back(t);
    }
    if (groups.empty()) return;
    if (!together.empty()) groups.push_back(std::move(together));
    if (!m_pParallel) m_pParallel = std::make_unique<KRawParallelScan>();
    m_pParallel->Start(types, std::move(groups), m_dwThreads, m_dwBytesPerSector, m_pVolume, m_BatchBytes);
}

uint32_t KRawFileSystem::ScanSharedFS(ScanStats* stats, int64_t firstSector, const uint8_t* buffer, int sectorCount,
                                      const std::shared_ptr<const void>& keep)
{
    if (!m_pVolume || !buffer || sectorCount <= 0) return ERROR_SUCCESS;
    const RawScanArgs args{firstSector, buffer, static_cast<uint32_t>(sectorCount), m_dwBytesPerSector, m_pVolume};
    try
    {
        if (!m_bWorkersChosen) StartWorkers();
        if (!m_pParallel || !m_pParallel->Running())
        {
            ScanHere(stats, args);
            return ERROR_SUCCESS;
        }
        const KRawParallelScan::Sink sink = [&](int t, const RawHit& hit, std::string_view text) {
            TakeHit(stats, t, hit, text);
        };
        if (!m_pParallel->Add(firstSector, buffer, args.sectorCount, keep, sink))
        {
            m_pParallel->Flush(sink);
            ScanHere(stats, args);
        }
        // The last chunk of the volume: the counters of the scan's window end complete.
        const int64_t total = m_Candidate.s64SectorCount;
        if (total > 0 && firstSector + sectorCount >= total) m_pParallel->Flush(sink);
    }
    catch (const std::bad_alloc&)
    {
        // A hit that cannot be recorded is dropped; the scan goes on.
    }
    return ERROR_SUCCESS;
}

uint32_t KRawFileSystem::End_ScanFS()
{
    if (m_pParallel && m_pParallel->Running())
    {
        try
        {
            m_pParallel->Flush(
                [&](int t, const RawHit& hit, std::string_view text) { TakeHit(nullptr, t, hit, text); });
        }
        catch (const std::bad_alloc&)
        {
            m_pParallel->Abort();
        }
    }
    tagDiskGeometry g{};
    const bool known = m_pVolume && m_pVolume->GetGeometry(&g) == ERROR_SUCCESS && g.TotalSectors <= INT64_MAX;
    for (const Pending& p : m_Pending)
    {
        auto* rec = m_Records.Get<tagRawFileNode>(p.record);
        int64_t minSize = 0, maxSize = 0;
        // Without the volume's size the end stays unknown (size 0).
        if (!rec || !known || !TypeLimits(p.typeIndex, &minSize, &maxSize)) continue;
        const int64_t first = static_cast<int64_t>(rec->ftCreated);
        const int64_t total = static_cast<int64_t>(g.TotalSectors);
        rec->s64Size = std::min(std::max<int64_t>(total - first, 0) * int64_t{m_dwBytesPerSector}, maxSize);
    }
    m_Pending.clear();
    if (m_u64DroppedHits > 0)
        VlmTrace("Deep scan: %llu files dropped past the limit of %u\n",
                 static_cast<unsigned long long>(m_u64DroppedHits), m_dwHitLimit);
    for (int i = 0; i < m_ScanMgr.GetTypeCount(); ++i)
    {
        tagRawTypeEntry e;
        m_ScanMgr.GetTypeEntry(i, &e);
        char name[512];
        std::snprintf(name, sizeof name, "%s(%d)", e.strDescription.c_str(), static_cast<int>(e.dwFoundCount));
        // Record i + 2 is type i's folder as long as the list has not changed since Begin_ScanFS.
        auto* folder = m_Records.Get<tagRawFileNode>(i + 2);
        if (folder && IsFolderRecord(folder) && folder->dwSelfId == e.dwTypeId)
            m_Records.SetName(folder, Cut(name, kMaxName));
        e.pType->EndScan();
    }
    m_ScanMgr.ResetFoundCounts();
    m_Names.Clear();
    m_dwFinished = 1;
    return ERROR_SUCCESS;
}

int KRawFileSystem::GetCandidateCount(uint32_t* count)
{
    if (!m_dwFinished) return 0;
    if (count) *count = m_Candidate.dwFilesMatch > 0 ? 1 : 0;
    return 1;
}

int KRawFileSystem::GetCandidate(int index, FileSystemCandidate* out)
{
    if (index != 0 || !out || !m_dwFinished) return 0;
    std::memcpy(out, &m_Candidate, sizeof m_Candidate);
    return 1;
}

uint32_t KRawFileSystem::BuildTree(KNodeTree* tree)
{
    if (!tree) return ERROR_INVALID_PARAMETER;
    KBuildFileTree<tagRawFileNode, KRawFileNode> builder;
    return builder.Build(m_Records, *tree, *this);
}

bool KRawFileSystem::IsOurFile(const tagFileNode* record) const
{
    return m_pVolume && record && (record->byKind & FN_KIND_DEEP);
}

uint32_t KRawFileSystem::SaveFile(const tagFileNode* record, const std::string& path)
{
    if (!IsOurFile(record)) return ERROR_INVALID_PARAMETER;
    tagDiskGeometry g{};
    uint32_t bytesPerSector = m_pVolume->GetGeometry(&g) == ERROR_SUCCESS ? g.BytesPerSector : 0;
    uint32_t kind = 0;
    if (const uint32_t rc = m_pVolume->GetDeviceKind(&kind); rc != ERROR_SUCCESS) return rc;
    if (kind == kOpticalDrive) bytesPerSector = kOpticalSectorSize;
    // Every write is checked: a full target returns its error instead of a short file that
    // passes for a recovered one.
    return CopyFileOut(*this, record, path, bytesPerSector);
}

bool KRawFileSystem::FileRuns(const tagFileNode* record, StreamVector* runs) const
{
    tagDiskGeometry g{};
    if (m_pVolume->GetGeometry(&g) != ERROR_SUCCESS || g.BytesPerSector == 0) return false;
    const auto* raw = static_cast<const tagRawFileNode*>(record);
    // A record of a stored result is held to the volume like a hit of a scan: it starts on the
    // volume and its runs end at the volume's end at the latest.
    const bool sized = g.TotalSectors > 0 && g.TotalSectors <= INT64_MAX;
    if (sized && raw->ftCreated >= g.TotalSectors) return false;
    const int64_t size = std::max<int64_t>(raw->s64Size, 0);
    uint64_t sectors = (static_cast<uint64_t>(size) + g.BytesPerSector - 1) / g.BytesPerSector;
    if (sized) sectors = std::min(sectors, g.TotalSectors - raw->ftCreated);
    // One run; a file longer than one run can count is split into several consecutive runs.
    runs->clear();
    int64_t first = static_cast<int64_t>(raw->ftCreated);
    for (uint64_t left = sectors; left > 0;)
    {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(left, 0x80000000u));
        runs->push_back({first, n, 0});
        first += n;
        left -= n;
    }
    return true;
}

IOutStream* KRawFileSystem::OpenStream(const tagFileNode* record)
{
    if (!IsOurFile(record)) return nullptr;
    StreamVector runs;
    try
    {
        if (!FileRuns(record, &runs)) return nullptr;
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
    auto* stream = new (std::nothrow) KOutStream(record, m_pVolume, m_Records.Owns(record) ? &m_Records : nullptr);
    if (!stream) return nullptr;
    if (stream->SetRuns(runs) != STREAM_OK)
    {
        delete stream;
        return nullptr;
    }
    return stream;
}

bool KRawFileSystem::GetDataRuns(const tagFileNode* record, StreamVector* runs)
{
    if (!runs || !IsOurFile(record) || !IsFileRecord(record) || record->s64Size <= 0) return false;
    try
    {
        return FileRuns(record, runs);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

int KRawFileSystem::SaveTo(IStorageManager* out)
{
    return StorageWrite(out, m_dwSectorSize) && StorageWrite(out, m_Candidate) && StorageWrite(out, m_dwFinished) &&
            StorageWrite(out, m_dwBytesPerSector) && m_Records.SaveTo(out)
        ? 1
        : 0;
}

int KRawFileSystem::LoadFrom(IStorageManager* in)
{
    Reset();
    m_Pending.clear();
    if (!StorageRead(in, m_dwSectorSize) || !StorageRead(in, m_Candidate) || !StorageRead(in, m_dwFinished) ||
        !StorageRead(in, m_dwBytesPerSector))
        return 0;
    return m_Records.LoadFrom(in) ? 1 : 0;
}
