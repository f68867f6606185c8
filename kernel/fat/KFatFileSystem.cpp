#include "base/ResourceLimits.h"
#include "fat/KFatFileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/FormatSize.h"
#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "format/fat/FatBootSector.h"
#include "fat/FatFileConditions.h"
#include "fat/KFatFolderReader.h"
#include "fs/KBuildFileTree.h"
#include "fs/KOutStream.h"
#include "fs/KSectorRanges.h"
#include "fs/SalvageRead.h"
#include "storage/IStorageManager.h"
#include "format/FileSystemType.h"
#include "volume/IVolumeIO.h"
#include "volume/KVolumeManager.h"

namespace {

// The largest table copy held in memory: 2^21 sectors (1 GiB) is beyond any real FAT32 table
// (2^28 clusters); a larger size comes from a damaged boot sector.
constexpr uint32_t kMaxFatSectors = VlmLimits::kMaxFatTableSectors;
// The same bound in bytes, whatever the sector size; also for a table kept in a stored result.
constexpr uint64_t kMaxFatBytes = static_cast<uint64_t>(kMaxFatSectors) * kFatSectorSize;

} // namespace

KFatFileSystem::KFatFileSystem() = default;
KFatFileSystem::~KFatFileSystem() = default;

void KFatFileSystem::AttachScan()
{
    m_Scan.SetVolume(m_pVolume, m_dwBytesPerSector, static_cast<uint64_t>(m_s64TotalSectors));
}

void KFatFileSystem::ResetScan()
{
    m_Store.Clear();
    m_Scan.Reset();
    // The scan judges entries against an empty geometry, whatever was selected before.
    ResetGeometry();
}

void KFatFileSystem::ScanSector(ScanStats* stats, int64_t sector, ByteView bytes)
{
    m_Scan.ScanSector(stats, sector, bytes);
}

void KFatFileSystem::EndScan() { m_Scan.End(*this); }

FileSystemCandidate KFatFileSystem::CandidateHead(size_t index) const
{
    // A FAT candidate begins with the common head.
    static_assert(sizeof(FileSystemCandidate) == kFatCandidateHeadLength);
    FileSystemCandidate head;
    std::memcpy(&head, &m_Scan.Candidates()[index], kFatCandidateHeadLength);
    return head;
}

void KFatFileSystem::ClearSelection()
{
    ResetGeometry();
    m_bJudgeConditions = true;
}

void KFatFileSystem::ResetGeometry()
{
    m_Geometry = FatGeometry{};
    m_Geometry.SectorsPerCluster = 0;
    m_Geometry.Fat1Start = 0;
    m_Geometry.Fat2Start = 0;
    m_Geometry.RootStart = 0;
    m_Table.Clear();
    m_Parser.Reset();
}

// Loads the FAT copy at `start`. A sector of it that cannot be read is taken from the other
// copy at `mirror` (the two hold the same table); one that neither gives stays zero (free), so
// the chains through it end there and their files come back short and damaged, not lost.
bool KFatFileSystem::TryFatCopy(int64_t start, int64_t mirror)
{
    const uint32_t declared = m_Geometry.SectorsPerFat;
    if (start <= 0 || declared > kMaxFatSectors) return false;
    if (start + static_cast<int64_t>(declared) >= m_s64TotalSectors) return false;
    const uint32_t bps = m_dwBytesPerSector;
    if (!FatSectorSizeIsValid(bps)) return false;
    // Only the sectors holding entries of clusters the volume can hold are loaded.
    const uint32_t f = std::min(declared, FatSectorsForVolume(m_Geometry, m_s64TotalSectors));
    if (f == 0) return false;
    std::vector<uint8_t> table;
    try
    {
        if (static_cast<uint64_t>(f) * bps > kMaxFatBytes) return false;
        table.resize(static_cast<size_t>(f) * bps);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    KSectorRanges bad;
    const uint32_t unreadable =
        ReadSectorsSalvaging(*m_pVolume, static_cast<uint64_t>(start), table.data(), f, bps, &bad);
    if (unreadable == f) return false;
    const bool mirrored = mirror > 0 && mirror != start && mirror + static_cast<int64_t>(f) < m_s64TotalSectors;
    for (const KSectorRanges::Range& r : bad.Ranges())
    {
        for (uint64_t s = r.first; mirrored && s < r.first + r.count; ++s)
        {
            const uint64_t at = s - static_cast<uint64_t>(start);
            if (m_pVolume->ReadSectors(static_cast<uint64_t>(mirror) + at, table.data() + at * bps, 1) != 0)
                std::fill_n(table.data() + at * bps, bps, uint8_t{0});
        }
    }
    try
    {
        return m_Table.Accept(std::move(table), m_Geometry.FatType, m_Geometry.ClusterCount);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

void KFatFileSystem::LoadFat()
{
    m_Table.Clear();
    if (m_Geometry.SectorsPerFat == 0 || !m_pVolume) return;
    if (!TryFatCopy(m_Geometry.Fat1Start, m_Geometry.Fat2Start)) TryFatCopy(m_Geometry.Fat2Start, m_Geometry.Fat1Start);
}

bool KFatFileSystem::CreateRootRecords(bool useVolumeName, int64_t sectors)
{
    std::string name;
    if (useVolumeName && m_pVolume)
    {
        m_pVolume->GetName(&name);
        if (!name.empty()) name += "\\";
        const std::string label = VolumeRecordLabel(m_pVolume);
        if (!label.empty())
            name += "(" + label + ")";
        else
            sectors = m_s64TotalSectors;
    }
    if (name.empty())
    {
        const char* type = m_Geometry.FatType == kFatType12 ? "(FAT12)"
            : m_Geometry.FatType == kFatType16              ? "(FAT16)"
            : m_Geometry.FatType == kFatType32              ? "(FAT32)"
                                                            : "";
        name = std::string(type) + FormatSectorsSize(sectors, m_dwBytesPerSector);
    }
    return m_Store.AddRootAndLostFolders<tagFatFileNode>(name, FN_KIND_FAT);
}

FatReadContext KFatFileSystem::ReadContext()
{
    FatReadContext ctx;
    ctx.Volume = m_pVolume;
    ctx.BytesPerSector = m_dwBytesPerSector;
    ctx.VolumeSectors = static_cast<uint64_t>(std::max<int64_t>(m_s64TotalSectors, 0));
    ctx.Geometry = &m_Geometry;
    ctx.Table = &m_Table;
    ctx.Parser = &m_Parser;
    ctx.Store = &m_Store;
    ctx.Progress = this;
    return ctx;
}

uint32_t KFatFileSystem::ReadVolume()
{
    std::vector<uint8_t> boot(m_dwBytesPerSector);
    if (m_pVolume->ReadSectors(0, boot.data(), 1) != 0) return ERROR_INVALID_PARAMETER;
    m_Store.Clear();
    const int32_t type = FileSystemTypeFromBoot(boot);
    FatGeometry g;
    if (const uint32_t rc = FatGeometryFromBootSector(boot, type, m_dwBytesPerSector, &g); rc != ERROR_SUCCESS)
        return rc;
    m_Geometry = g;
    LoadFat();
    if (m_Table.Empty()) return ERROR_INVALID_PARAMETER;
    if (!CreateRootRecords(true, 0)) return ERROR_NOT_ENOUGH_MEMORY;
    KFatFolderReader reader(ReadContext());
    return reader.ReadVolume();
}

uint32_t KFatFileSystem::RebuildCandidate(uint32_t index)
{
    const FatCandidate c = m_Scan.Candidates()[index];
    m_Store.Clear();
    if (c.FirstSector < 0 || c.FirstSector >= m_s64TotalSectors)
    {
        VlmTrace("KFatFileSystem::RebuildCandidate(%u): the file system starts past the volume's end\n", index);
        return ERROR_INVALID_PARAMETER;
    }
    m_Geometry = FatGeometryFromCandidate(c, m_dwBytesPerSector);
    LoadFat(); // a missing table is allowed: folder chains then end after one cluster
    if (m_Geometry.RootStart < 0)
    {
        if (m_Geometry.FatType == kFatType12 || m_Geometry.FatType == kFatType16)
        {
            constexpr uint32_t kAssumedRootEntries = 1024; // the common fixed root
            const int64_t assumed = FatRootSectors(kAssumedRootEntries, m_dwBytesPerSector);
            m_Geometry.RootStart = m_Geometry.DataStart - assumed;
            m_Geometry.RootSectors = static_cast<uint32_t>(assumed);
            if (m_Geometry.RootStart < 0)
            {
                m_Geometry.RootStart = 0;
                m_Geometry.RootSectors = static_cast<uint32_t>(std::min<int64_t>(m_Geometry.DataStart, 0xFFFFFFFF));
            }
        }
        else
        {
            m_Geometry.RootStart = m_Geometry.DataStart - m_Geometry.SectorsPerCluster;
            m_Geometry.RootSectors = m_Geometry.SectorsPerCluster;
        }
    }
    if (m_Scan.DirSectors().empty()) return ERROR_FUNCTION_FAILED;
    KFatFolderReader reader(ReadContext());
    const FatSectorSelection selection = reader.SelectSectors(m_Scan.DirSectors());
    if (!CreateRootRecords(false, c.SectorCount)) return ERROR_NOT_ENOUGH_MEMORY;
    if (selection.Count == 0) return ERROR_SUCCESS;
    return reader.Rebuild(m_Scan.DirSectors(), selection);
}

uint32_t KFatFileSystem::BuildTree(KNodeTree* tree)
{
    if (!tree) return ERROR_INVALID_PARAMETER;
    KBuildFileTree<tagFatFileNode, KFatFileNode> builder;
    const uint32_t rc = builder.Build(m_Store, *tree, *this);
    if (rc != ERROR_SUCCESS || !m_bJudgeConditions) return rc;
    m_bJudgeConditions = false;
    try
    {
        MarkFatConditions(*tree, m_Table, m_Geometry, m_dwBytesPerSector);
    }
    catch (const std::bad_alloc&)
    {
        // The conditions stay unknown; the tree itself is complete.
    }
    return rc;
}

IOutStream* KFatFileSystem::OpenStream(const tagFileNode* record)
{
    if (!record || !m_Store.Owns(record)) return nullptr;
    if ((record->wValidMask & (FN_MASK_SIZE | FN_MASK_ATTRIBUTES)) != (FN_MASK_SIZE | FN_MASK_ATTRIBUTES))
        return nullptr;
    if (record->wAttributes & (FN_ATTR_COMPRESSED | FN_ATTR_ENCRYPTED | FN_ATTR_FOLDER)) return nullptr;
    if (record->s64Size <= 0) return nullptr;
    try
    {
        StreamVector blocks;
        if (!FileRuns(record, &blocks)) return nullptr;
        auto stream = std::make_unique<KOutStream>(record, m_pVolume, &m_Store);
        stream->SetRuns(blocks);
        return stream.release();
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

bool KFatFileSystem::FileRuns(const tagFileNode* record, StreamVector* blocks) const
{
    const auto* fat = static_cast<const tagFatFileNode*>(record);
    // The entry checks keep a record's first cluster inside the table; a record loaded from a
    // damaged scan result is held to the same bound here.
    if (fat->dwFirstCluster < 2 || fat->dwFirstCluster >= m_Geometry.ClusterCount) return false;
    const std::vector<FatRun> runs =
        m_Table.Runs(m_Geometry, m_dwBytesPerSector, fat->dwFirstCluster, static_cast<uint64_t>(record->s64Size));
    blocks->clear();
    blocks->reserve(runs.size());
    for (const FatRun& r : runs) blocks->push_back({r.FirstSector, r.SectorCount, 0});
    return true;
}

namespace {

#pragma pack(push, 1)
// The geometry as it is stored in scan results.
struct tagFatStoredGeometry
{
    uint32_t SectorsPerCluster;
    uint32_t SectorsPerFat;
    int64_t Fat1Start;
    int64_t Fat2Start;
    int64_t RootStart;
    uint32_t RootSectors;
    int64_t DataStart;
    int64_t EndSector;
    uint32_t ClusterCount;
    int32_t FatType;
};
#pragma pack(pop)
static_assert(sizeof(tagFatStoredGeometry) == 60);

template <typename T> bool WriteVector(IStorageManager* out, const std::vector<T>& items)
{
    if (!StorageWrite(out, static_cast<uint32_t>(items.size()))) return false;
    for (const T& item : items)
        if (!StorageWrite(out, item)) return false;
    return true;
}

// `count` records of type Stored, each appended as convert(record): one by one, so a hostile
// count costs no more memory than the stream holds.
template <typename Stored, typename T, typename Convert>
bool ReadItems(IStorageManager* in, uint32_t count, std::vector<T>& items, Convert convert)
{
    for (uint32_t i = 0; i < count; ++i)
    {
        Stored item;
        if (!StorageRead(in, item)) return false;
        items.push_back(convert(item));
    }
    return true;
}

template <typename T> bool ReadVector(IStorageManager* in, std::vector<T>& items)
{
    uint32_t count = 0;
    return StorageRead(in, count) && ReadItems<T>(in, count, items, [](const T& item) { return item; });
}

// The folder sectors in the layout the state was stored with; layout 1 kept 32-bit sectors,
// which load as they were saved.
bool ReadDirSectors(IStorageManager* in, uint32_t layout, std::vector<FatDirSector>& items)
{
    if (layout != 1) return ReadVector(in, items);
    uint32_t count = 0;
    return StorageRead(in, count) && ReadItems<FatDirSectorLayout1>(in, count, items, [](const FatDirSectorLayout1& d) {
               return FatDirSector{d.IsStart, static_cast<int64_t>(d.Sector), d.Cluster};
           });
}

// A stored candidate describes a FAT file system a scan found: one of the three types, at a
// place on the volume, with a size. Anything else comes from a damaged or forged result.
bool IsPlausibleStoredCandidate(const FatCandidate& c)
{
    const bool type = c.FatType == kFatType12 || c.FatType == kFatType16 || c.FatType == kFatType32;
    return type && c.FirstSector >= 0 && c.SectorCount >= 0 && c.DataStart >= 0;
}

} // namespace

int KFatFileSystem::SaveTo(IStorageManager* out)
{
    try
    {
        if (!StorageWrite(out, kFatStoredLayoutMark) || !StorageWrite(out, kFatStoredLayout)) return 0;
        if (!WriteVector(out, m_Scan.Candidates()) || !WriteVector(out, m_Scan.DirSectors())) return 0;
        const FatGeometry& g = m_Geometry;
        const tagFatStoredGeometry sg{g.SectorsPerCluster, g.SectorsPerFat, g.Fat1Start, g.Fat2Start,    g.RootStart,
                                      g.RootSectors,       g.DataStart,     g.EndSector, g.ClusterCount, g.FatType};
        if (!StorageWrite(out, sg)) return 0;
        const std::vector<uint8_t>& table = m_Table.Bytes();
        if (!StorageWrite(out, static_cast<uint32_t>(table.size()))) return 0;
        if (!table.empty() && !StorageWriteExact(out, table.data(), static_cast<int>(table.size()))) return 0;
        const KFatEntryParser::Stored names = m_Parser.Store();
        if (!StorageWriteExact(out, names.data(), static_cast<int>(names.size()))) return 0;
        return m_Store.SaveTo(out);
    }
    catch (const std::bad_alloc&)
    {
        return 0;
    }
}

int KFatFileSystem::LoadFrom(IStorageManager* in)
{
    DetachVolume();
    m_Scan.Reset();
    m_Store.Clear();
    m_bJudgeConditions = false;
    ResetGeometry();
    // A result that fails to load leaves no candidate behind that could still be selected
    // (candidates are read before the rest, and one by one).
    const int loaded = [&]() -> int {
        try
        {
            // Layout 1 begins with the candidate count, later layouts with a mark and their number.
            uint32_t layout = 1;
            uint32_t candidates = 0;
            if (!StorageRead(in, candidates)) return 0;
            if (candidates == kFatStoredLayoutMark &&
                (!StorageRead(in, layout) || layout != kFatStoredLayout || !StorageRead(in, candidates)))
                return 0;
            if (!ReadItems<FatCandidate>(in, candidates, m_Scan.Candidates(),
                                         [](const FatCandidate& c) { return c; }) ||
                !ReadDirSectors(in, layout, m_Scan.DirSectors()))
                return 0;
            for (const FatCandidate& c : m_Scan.Candidates())
                if (!IsPlausibleStoredCandidate(c)) return 0;
            for (const FatDirSector& d : m_Scan.DirSectors())
                if (d.Sector < 0) return 0;
            tagFatStoredGeometry sg{};
            if (!StorageRead(in, sg)) return 0;
            m_Geometry =
                FatGeometry{sg.SectorsPerCluster, sg.SectorsPerFat, sg.Fat1Start, sg.Fat2Start,    sg.RootStart,
                            sg.RootSectors,       sg.DataStart,     sg.EndSector, sg.ClusterCount, sg.FatType};
            uint32_t length = 0;
            if (!StorageRead(in, length)) return 0;
            if (length > 0)
            {
                if (length > kMaxFatBytes) return 0;
                std::vector<uint8_t> table;
                if (!StorageReadItems(in, table, length)) return 0;
                m_Table.Restore(std::move(table), m_Geometry.FatType, m_Geometry.ClusterCount);
            }
            KFatEntryParser::Stored names{};
            if (!StorageReadExact(in, names.data(), static_cast<int>(names.size()))) return 0;
            m_Parser.Restore(names);
            return m_Store.LoadFrom(in);
        }
        catch (const std::bad_alloc&)
        {
            return 0;
        }
    }();
    if (!loaded) m_Scan.Reset();
    return loaded;
}
