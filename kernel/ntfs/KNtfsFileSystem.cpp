#include "ntfs/KNtfsFileSystem.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "base/FormatSize.h"
#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "fs/CopyFileOut.h"
#include "fs/KBuildFileTree.h"
#include "fs/KNodeTree.h"
#include "fs/KOutStream.h"
#include "ntfs/KNtfsConditions.h"
#include "ntfs/KNtfsCompressedStream.h"
#include "ntfs/KNtfsFileExport.h"
#include "ntfs/KNtfsResidentDataStream.h"
#include "ntfs/NtfsFileRecordParser.h"
#include "ntfs/NtfsNamedStreams.h"
#include "format/ntfs/NtfsRecord.h"
#include "format/ntfs/NtfsRunList.h"
#include "ntfs/NtfsStateStorage.h"
#include "volume/NtfsVolumeLabel.h"
#include "base/EngineStrings.h"
#include "storage/IStorageManager.h"
#include "volume/IVolumeIO.h"

void KNtfsFileSystem::SetVolume(IVolumeIO* volume) { m_Mft.SetVolume(volume); }

void KNtfsFileSystem::SetSectorInfo(uint32_t value, uint32_t bytesPerSector)
{
    m_dwSectorInfo = value;
    m_Mft.Geometry().BytesPerSector = bytesPerSector;
}

uint32_t KNtfsFileSystem::GetSectorInfo(uint32_t* bytesPerSector)
{
    if (bytesPerSector) *bytesPerSector = m_Mft.Geometry().BytesPerSector;
    return m_dwSectorInfo;
}

uint32_t KNtfsFileSystem::Begin_ScanFS()
{
    if (!m_Mft.GetVolume() || m_Mft.Geometry().BytesPerSector == 0) return ERROR_CURRENT_DIRECTORY;
    m_Candidates.clear();
    m_Scan.Begin();
    return ERROR_SUCCESS;
}

uint32_t KNtfsFileSystem::ScanFS(ScanStats* stats, int64_t firstSector, const uint8_t* buffer, int sectorCount)
{
    if (!m_Mft.GetVolume() || m_Mft.Geometry().BytesPerSector == 0) return ERROR_NOT_SAME_DEVICE;
    try
    {
        if (sectorCount <= 0) return ERROR_SUCCESS;
        if (!buffer) return ERROR_INVALID_PARAMETER;
        const size_t bytes = static_cast<size_t>(sectorCount) * m_Mft.Geometry().BytesPerSector;
        return m_Scan.Scan(stats, firstSector, ByteView(buffer, bytes));
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

uint32_t KNtfsFileSystem::End_ScanFS()
{
    try
    {
        return m_Scan.End();
    }
    catch (const std::bad_alloc&)
    {
        m_Scan.Begin();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

int KNtfsFileSystem::GetCandidateCount(uint32_t* count)
{
    if (count) *count = static_cast<uint32_t>(m_Candidates.size());
    return 1;
}

int KNtfsFileSystem::GetCandidate(int index, FileSystemCandidate* out)
{
    if (!out || index < 0 || static_cast<size_t>(index) >= m_Candidates.size()) return 0;
    std::memcpy(out, &m_Candidates[static_cast<size_t>(index)].Head, sizeof(FileSystemCandidate));
    return 1;
}

bool KNtfsFileSystem::CreateRootNodes(bool useVolumeName, int64_t sectors)
{
    IVolumeIO* volume = m_Mft.GetVolume();
    std::string name;
    if (useVolumeName && volume)
    {
        volume->GetName(&name);
        if (!name.empty()) name += '\\';
        // The label partition discovery shows is the $VOLUME_NAME of this same MFT.
        std::string label;
        const int64_t mft = m_Mft.RecordToSector(0);
        if (mft >= 0 && ReadVolumeLabel(volume, mft, &label) && !label.empty())
            name += "(" + label + ")";
        else
        {
            tagDiskGeometry g;
            if (volume->GetGeometry(&g) == ERROR_SUCCESS) sectors = static_cast<int64_t>(g.TotalSectors);
        }
    }
    if (name.empty()) name = "(NTFS)" + FormatSectorsSize(sectors, m_Mft.Geometry().BytesPerSector);
    tagNtfsFileNode* root = m_Nodes.AddRecord(name);
    if (!root) return false;
    root->wValidMask = FN_MASK_SYSTEM_FOLDER;
    root->byKind = FN_KIND_NTFS | FN_KIND_PRESENT;
    root->wAttributes = FN_ATTR_FOLDER;
    tagNtfsFileNode* lost = m_Nodes.AddRecord(EngineString(IDS_LOST_FILES));
    if (!lost) return false;
    lost->wValidMask = FN_MASK_SYSTEM_FOLDER;
    lost->byKind = FN_KIND_NTFS | FN_KIND_LOST;
    lost->wAttributes = FN_ATTR_FOLDER;
    lost->dwSelfId = kNtfsLostFilesId;
    lost->dwParentId = 0;
    return true;
}

uint32_t KNtfsFileSystem::ListMft(bool normal, int64_t sectors)
{
    const uint32_t count = m_Mft.GetRecordCount();
    SetStage(EStage::ReadFileSystem);
    SetMaxValue(count);
    BeginProgress();
    uint32_t result = ERROR_SUCCESS;
    std::vector<uint8_t> record;
    try
    {
        record.resize(m_Mft.RecordBytes());
    }
    catch (const std::bad_alloc&)
    {
        EndProgress();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (!CreateRootNodes(normal, sectors))
    {
        EndProgress();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    std::string name;
    std::vector<std::pair<tagNtfsFileNode*, const tagNtfsFileNode*>> links; // a hard link, its file
    // The allocation map covers the clusters that lie on the volume: a damaged sector count
    // must not size it, and clusters past the volume's end hold nothing to judge.
    KNtfsConditions conditions(m_Mft);
    const NtfsGeometry& g = m_Mft.Geometry();
    const int64_t onVolume = std::max<int64_t>(g.VolumeTotalSector - std::max<int64_t>(g.VolumeStart, 0), 0);
    const int64_t fsSectors = std::clamp<int64_t>(m_s64SectorCount, 0, onVolume);
    conditions.Begin(static_cast<uint64_t>(fsSectors) / std::max<uint32_t>(g.SectorsPerCluster, 1));
    for (uint32_t n = kNtfsFirstListedRecord; n < count; ++n)
    {
        if (IsCanceled()) break;
        SetValue(n);
        bool hole = false;
        const uint32_t runEnd = m_Mft.RunEndRecord(n, &hole);
        if (hole && runEnd > n)
        {
            n = runEnd - 1; // a hole holds no records
            continue;
        }
        const uint32_t rc = m_Mft.ReadFileRecord(n, record.data());
        if (rc == ERROR_END_OF_MEDIA && runEnd > n)
        {
            // Every later record of this run lies past the end too (a truncated image, or a
            // damaged run length): one failed read per run, not one per record.
            VlmTrace(
                "KNtfsFileSystem::ListMft(): MFT record %u lies past the end of the volume; records %u..%u skipped\n",
                n, n, runEnd - 1);
            n = runEnd - 1;
            continue;
        }
        if (rc != ERROR_SUCCESS || !CheckFileRecord(record, false)) continue;
        tagNtfsFileNode node{};
        if (!ParseFileRecord(m_Mft, record, n, &name, &node)) continue;
        if (node.dwParentId == kNtfsRootDirectoryRecord) node.dwParentId = 0;
        tagNtfsFileNode* added = m_Nodes.AddRecord(name);
        if (!added)
        {
            result = ERROR_NOT_ENOUGH_MEMORY; // reported, not passed off as a complete listing
            break;
        }
        node.pszName = added->pszName;
        std::memcpy(added, &node, sizeof(node));
        conditions.Note(record, added);
        if (!ListNamedStreams(record, node, name, conditions) || !ListHardLinks(record, added, name, &links))
        {
            result = ERROR_NOT_ENOUGH_MEMORY;
            break;
        }
    }
    conditions.Finish();
    for (const auto& [link, file] : links) link->byCondition = file->byCondition;
    EndProgress();
    return result;
}

bool KNtfsFileSystem::ListNamedStreams(ByteView record, const tagNtfsFileNode& file, const std::string& name,
                                       KNtfsConditions& conditions)
{
    // A metafile without unnamed data ($UsnJrnl with its $J and $Max) keeps its streams to
    // itself: they are the file system's bookkeeping, not files.
    if (!(file.wValidMask & FN_MASK_SIZE) && !(file.wAttributes & FN_ATTR_FOLDER) && name.rfind('$', 0) == 0)
        return true;
    bool stored = true;
    ForEachNamedStream(m_Mft, record, [&](const std::string& stream, const NtfsAttribute& data) {
        tagNtfsFileNode node{};
        MakeStreamNode(file, data, &node);
        tagNtfsFileNode* added = m_Nodes.AddRecord(name + ":" + stream);
        if (!added) return stored = false;
        node.pszName = added->pszName;
        std::memcpy(added, &node, sizeof(node));
        conditions.Note(record, added, &data);
        return true;
    });
    return stored;
}

bool KNtfsFileSystem::ListHardLinks(ByteView record, const tagNtfsFileNode* file, const std::string& name,
                                    std::vector<std::pair<tagNtfsFileNode*, const tagNtfsFileNode*>>* links)
{
    // A folder has one name; a file has one node per name, each in its own folder.
    if (file->wAttributes & FN_ATTR_FOLDER) return true;
    const uint32_t parent = file->dwParentId == 0 ? kNtfsRootDirectoryRecord : file->dwParentId;
    bool stored = true;
    ForEachOtherHardLink(m_Mft, record, file->dwSelfId, name, parent, [&](const std::string& linked, uint32_t in) {
        tagNtfsFileNode node = *file;
        node.dwParentId = in == kNtfsRootDirectoryRecord ? 0 : in;
        tagNtfsFileNode* added = m_Nodes.AddRecord(linked);
        if (!added) return stored = false;
        node.pszName = added->pszName;
        std::memcpy(added, &node, sizeof(node));
        links->emplace_back(added, file);
        return true;
    });
    return stored;
}

uint32_t KNtfsFileSystem::NormalListing()
{
    IVolumeIO* volume = m_Mft.GetVolume();
    std::vector<uint8_t> sector;
    try
    {
        sector.resize(m_Mft.Geometry().BytesPerSector);
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (volume->ReadSectors(0, sector.data(), 1) != ERROR_SUCCESS) return ERROR_FUNCTION_FAILED;
    m_Mft.ClearWindow();
    m_Mft.Geometry().VolumeStart = 0;
    m_Nodes.Clear();
    m_Mft.Geometry().MftRuns.clear();
    if (m_Mft.ParseBootSector(sector) != ERROR_SUCCESS) return ERROR_INVALID_PARAMETER;
    m_s64SectorCount = m_Mft.Geometry().VolumeTotalSector;
    return ListMft(true, m_s64SectorCount);
}

uint32_t KNtfsFileSystem::SelectCandidate(uint32_t index)
{
    try
    {
        NtfsGeometry& g = m_Mft.Geometry();
        if (g.BytesPerSector == 0 || !m_Mft.GetVolume()) return ERROR_INVALID_PARAMETER;
        if (index == FS_CANDIDATE_VOLUME) return NormalListing();
        if (g.SectorsPerCluster == 0 || static_cast<int32_t>(index) < 0 || index >= m_Candidates.size())
            return ERROR_INVALID_PARAMETER;
        const NtfsCandidate& c = m_Candidates[index];
        // A candidate's record size must be one that can be read (1 .. 128 sectors).
        if (c.wSectorsPerFileRecord == 0 || c.wSectorsPerFileRecord > kNtfsMaxRecordSectors)
            return ERROR_INVALID_PARAMETER;
        m_Nodes.Clear();
        m_Mft.ClearWindow();
        g.VolumeStart = c.Head.s64FirstSector;
        m_s64SectorCount = c.Head.s64SectorCount;
        g.SectorsPerCluster = c.Head.wSectorsPerCluster;
        g.SectorsPerFileRecord = c.wSectorsPerFileRecord;
        g.SectorsPerIndexRecord = c.wSectorsPerIndexRecord;
        g.MftRuns = c.MftRuns;
        const uint32_t rc = ListMft(false, c.Head.s64SectorCount);
        return rc == ERROR_SUCCESS ? ERROR_FUNCTION_FAILED : rc;
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

uint32_t KNtfsFileSystem::BuildTree(KNodeTree* tree)
{
    if (!tree) return ERROR_INVALID_PARAMETER;
    KBuildFileTree<tagNtfsFileNode, KNtfsFileNode> builder;
    return builder.Build(m_Nodes, *tree, *this);
}

const tagNtfsFileNode* KNtfsFileSystem::OwnNode(const tagFileNode* record) const
{
    // Only records of this store carry the NTFS part behind the head.
    return m_Nodes.Owns(record) ? static_cast<const tagNtfsFileNode*>(record) : nullptr;
}

uint32_t KNtfsFileSystem::SaveFile(const tagFileNode* record, const std::string& path)
{
    const tagNtfsFileNode* node = OwnNode(record);
    if (!node || (node->wValidMask & (FN_MASK_SIZE | FN_MASK_ATTRIBUTES)) != (FN_MASK_SIZE | FN_MASK_ATTRIBUTES))
        return ERROR_FUNCTION_FAILED;
    // Plain and compressed data both read through the file's stream; only encrypted files
    // are written in their own backup format.
    if (!(node->wAttributes & FN_ATTR_ENCRYPTED))
        return CopyFileOut(*this, node, path, m_Mft.Geometry().BytesPerSector);
    try
    {
        KNtfsFileExport exporter(*this);
        return exporter.Save(node, path);
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// The record of `node` read into `record`, then where its unnamed data lies: the runs of
// every extent (through the attribute list when there is one), or the resident value in
// `record`. With `streamable`, compressed and encrypted data with runs is refused: only
// SaveFile can read those.
KNtfsFileSystem::DataPlace KNtfsFileSystem::LocateData(const tagNtfsFileNode* node, bool streamable,
                                                       std::vector<uint8_t>* record, StreamVector* runs,
                                                       ByteView* resident)
{
    record->assign(m_Mft.RecordBytes(), 0);
    const uint32_t size = static_cast<uint32_t>(record->size());
    if (size == 0 || m_Mft.ReadRecordAt(node->s64RecordSector, record->data()) != ERROR_SUCCESS)
        return DataPlace::Unreadable;
    if (!CheckFileRecord(*record, false)) return DataPlace::Refused;
    const bool special = streamable && (node->wAttributes & (FN_ATTR_COMPRESSED | FN_ATTR_ENCRYPTED)) != 0;
    if (IsStreamRecord(node))
    {
        NtfsStreamData stream;
        if (FindStream(node, *record, &stream) != NtfsStreamFound::Ok) return DataPlace::Refused;
        if (stream.resident)
        {
            record->swap(stream.value);
            *resident = ByteView(record->data(), record->size());
            return DataPlace::Resident;
        }
        if (special) return DataPlace::Refused;
        *runs = std::move(stream.runs);
        return DataPlace::Runs;
    }
    bool refused = false;
    std::vector<uint8_t> extension;
    uint64_t nextVcn = 0;
    const bool listed = WalkAttributeList(m_Mft, *record, [&](const tagNtfsAttributeListEntry& e) {
        if (e.Type != kNtfsAttrData || e.NameLength != 0) return true;
        const NtfsExtension got = ReadExtensionRecord(m_Mft, e.RecordLow, &extension);
        if (got != NtfsExtension::Ok)
        {
            refused = got == NtfsExtension::Invalid;
            return false; // a missing extension ends the list; the runs so far stand
        }
        const NtfsAttribute data = FindDataExtent(extension, e.FirstVcn);
        tagNtfsNonResidentAttribute header;
        ByteView pairs;
        // An extent that is not where the list says, or that leaves a gap, ends the runs: the
        // later ones would land too early in the file.
        if (!data || !NonResidentHeader(data, &header, &pairs) || header.MappingPairsOffset == 0 ||
            header.FirstVcn != nextVcn)
            return false;
        nextVcn = header.LastVcn + 1;
        if (special)
        {
            refused = true;
            return false;
        }
        StreamVector extent;
        m_Mft.DecodeRunList(pairs, &extent);
        runs->insert(runs->end(), extent.begin(), extent.end());
        return true;
    });
    if (refused) return DataPlace::Refused;
    if (listed) return DataPlace::Runs;
    const NtfsAttribute data = FindUnnamedData(*record);
    if (!data) return DataPlace::Runs;
    tagNtfsNonResidentAttribute header;
    ByteView pairs;
    if (NonResidentHeader(data, &header, &pairs))
    {
        if (special) return DataPlace::Refused;
        if (header.MappingPairsOffset != 0) m_Mft.DecodeRunList(pairs, runs);
        return DataPlace::Runs;
    }
    return ResidentValue(data, resident) ? DataPlace::Resident : DataPlace::Runs;
}

NtfsStreamFound KNtfsFileSystem::FindStream(const tagNtfsFileNode* node, ByteView record, NtfsStreamData* out)
{
    tagNtfsFileNode file{};
    std::string fileName, stream;
    if (!ParseFileRecord(m_Mft, record, node->dwSelfId, &fileName, &file) ||
        !StreamPartOfName(m_Nodes.GetName(node), fileName, &stream))
        return NtfsStreamFound::Missing;
    return LocateNamedStream(m_Mft, record, stream, out);
}

IOutStream* KNtfsFileSystem::OpenStream(const tagFileNode* record)
{
    const tagNtfsFileNode* node = OwnNode(record);
    if (!node || (node->wValidMask & (FN_MASK_SIZE | FN_MASK_ATTRIBUTES)) != (FN_MASK_SIZE | FN_MASK_ATTRIBUTES) ||
        (node->wAttributes & FN_ATTR_FOLDER))
        return nullptr;
    try
    {
        if ((node->wAttributes & (FN_ATTR_COMPRESSED | FN_ATTR_ENCRYPTED)) == FN_ATTR_COMPRESSED)
        {
            KNtfsFileExport::Plan plan;
            bool resident = false;
            if (KNtfsFileExport(*this).CollectRuns(node, &plan, &resident) != ERROR_SUCCESS) return nullptr;
            if (!resident)
            {
                if (plan.unitSectors == 0) return nullptr; // a compression unit no volume uses
                return new KNtfsCompressedStream(m_Nodes.GetName(node), m_Mft.GetVolume(), std::move(plan.runs),
                                                 static_cast<uint32_t>(plan.unitSectors),
                                                 m_Mft.Geometry().BytesPerSector, node->s64Size);
            }
        }
        std::vector<uint8_t> buffer;
        StreamVector runs;
        ByteView value;
        const DataPlace place = LocateData(node, true, &buffer, &runs, &value);
        if (place == DataPlace::Unreadable || place == DataPlace::Refused) return nullptr;
        if (place == DataPlace::Resident)
        {
            auto resident = std::make_unique<KNtfsResidentDataStream>(m_Nodes.GetName(node), m_Mft.GetVolume());
            if (!resident->SetData(value)) return nullptr;
            return resident.release();
        }
        auto stream = std::make_unique<KOutStream>(node, m_Mft.GetVolume(), &m_Nodes);
        stream->SetRuns(runs);
        return stream.release();
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

bool KNtfsFileSystem::GetDataRuns(const tagFileNode* record, StreamVector* runs)
{
    const tagNtfsFileNode* node = OwnNode(record);
    if (!runs || !node || !IsFileRecord(node) || node->s64Size <= 0) return false;
    try
    {
        runs->clear();
        std::vector<uint8_t> buffer;
        ByteView value;
        const DataPlace place = LocateData(node, false, &buffer, runs, &value);
        if (place == DataPlace::Refused) return false;
        if (place == DataPlace::Runs) return true;
        // Resident data lies in the record, and a copy of a record that cannot be read ends
        // there: either way the record's own sectors are what the copy reads.
        runs->assign(1, tagStreamBlock{node->s64RecordSector, m_Mft.Geometry().SectorsPerFileRecord, 0});
        return node->s64RecordSector >= 0;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

IOutStream* KNtfsFileSystem::OpenAttributeStream(const NtfsAttribute& attribute)
{
    static constexpr const char* kName = "NTFS_ATTRIBUTE";
    if (!attribute) return nullptr;
    try
    {
        tagNtfsNonResidentAttribute header;
        ByteView pairs;
        if (NonResidentHeader(attribute, &header, &pairs))
        {
            tagNtfsFileNode node{};
            node.wValidMask = FN_MASK_LOST_FOLDER;
            node.s64Size = static_cast<int64_t>(header.DataSize);
            StreamVector runs;
            if (header.MappingPairsOffset == 0 || !m_Mft.DecodeRunList(pairs, &runs)) return nullptr;
            auto stream = std::make_unique<KOutStream>(&node, m_Mft.GetVolume());
            stream->SetName(kName);
            stream->SetRuns(runs);
            return stream.release();
        }
        ByteView value;
        if (!ResidentValue(attribute, &value)) return nullptr;
        auto resident = std::make_unique<KNtfsResidentDataStream>(kName, m_Mft.GetVolume());
        if (!resident->SetData(value)) return nullptr;
        return resident.release();
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

void KNtfsFileSystem::Reset()
{
    m_Candidates.clear();
    m_Scan.Begin();
    m_Nodes.Clear();
    NtfsGeometry& g = m_Mft.Geometry();
    g.SectorsPerCluster = 1;
    g.SectorsPerFileRecord = 2;
    g.SectorsPerIndexRecord = 0;
    g.VolumeStart = 0;
    g.MftRuns.clear();
    m_Mft.ClearWindow();
    m_s64SectorCount = 0;
}

int KNtfsFileSystem::SaveTo(IStorageManager* out)
{
    const NtfsGeometry& g = m_Mft.Geometry();
    const bool ok = StorageWrite(out, g.VolumeTotalSector) && StorageWrite(out, m_Mft.WindowCount()) &&
        StorageWrite(out, m_Mft.WindowFirst()) && StorageWrite(out, g.SectorsPerCluster) &&
        StorageWrite(out, g.SectorsPerFileRecord) && StorageWrite(out, g.SectorsPerIndexRecord) &&
        StorageWrite(out, g.VolumeStart) && StorageWrite(out, m_s64SectorCount) && SaveRuns(out, g.MftRuns) &&
        StorageWrite(out, static_cast<uint32_t>(m_Candidates.size()));
    if (!ok) return 0;
    for (const NtfsCandidate& c : m_Candidates)
        if (!SaveNtfsCandidate(out, c)) return 0;
    return m_Nodes.SaveTo(out);
}

int KNtfsFileSystem::LoadFrom(IStorageManager* in)
{
    try
    {
        Reset();
        NtfsGeometry& g = m_Mft.Geometry();
        uint32_t windowCount = 0, windowFirst = 0, candidates = 0;
        const bool ok = StorageRead(in, g.VolumeTotalSector) && StorageRead(in, windowCount) &&
            StorageRead(in, windowFirst) && StorageRead(in, g.SectorsPerCluster) &&
            StorageRead(in, g.SectorsPerFileRecord) && StorageRead(in, g.SectorsPerIndexRecord) &&
            StorageRead(in, g.VolumeStart) && StorageRead(in, m_s64SectorCount) && LoadRuns(in, &g.MftRuns) &&
            StorageRead(in, candidates) && candidates <= kNtfsMaxStoredCandidates;
        // The window's bytes are not stored: it stays empty until records are read again. A
        // stored record size that cannot be read is refused like a damaged file.
        if (!ok || g.SectorsPerFileRecord == 0 || g.SectorsPerFileRecord > kNtfsMaxRecordSectors ||
            !MftRunsArePlausible(g.MftRuns))
        {
            Reset();
            return 0;
        }
        for (uint32_t i = 0; i < candidates; ++i)
        {
            NtfsCandidate c;
            if (!LoadNtfsCandidate(in, &c) || c.Head.s64FirstSector < 0 || c.Head.s64SectorCount < 0 ||
                !MftRunsArePlausible(c.MftRuns))
            {
                Reset(); // no candidate of a refused result can be selected
                return 0;
            }
            m_Candidates.push_back(std::move(c));
        }
        return m_Nodes.LoadFrom(in);
    }
    catch (const std::bad_alloc&)
    {
        return 0;
    }
}
