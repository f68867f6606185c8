// Listing an exFAT volume from its own structures, and rebuilding a scan candidate from the
// folder sectors a full scan recorded.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "base/FormatSize.h"
#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "exfat/KExFatFileSystem.h"
#include "format/exfat/ExFatEntryView.h"
#include "format/exfat/ExFatLayout.h"
#include "fs/OverlappingSpans.h"
#include "fs/SalvageRead.h"
#include "os/OsTime.h"
#include "volume/IVolumeIO.h"
#include "volume/KVolumeManager.h"

namespace {

// Folders walked in one listing: each costs its record and a queue slot.
constexpr size_t kMaxFolders = size_t{1} << 20;
// Clusters of one folder mapped to it when a candidate is rebuilt.
constexpr uint64_t kMaxRebuiltFolderClusters = 65536;

// Hands `take` every sound entry set of `v` whose File entry starts before byte `starts` (a
// set may run on past it, into the bytes read after a cluster), in order, until it returns
// false. A slot that opens no set is passed over.
template <typename Take> void ForEachSet(ByteView v, size_t starts, Take take)
{
    for (size_t off = 0; off + ExFat::kEntryBytes <= std::min(v.size(), starts);)
    {
        ExFatEntrySet set;
        if (ParseExFatEntrySet(v, off, &set) != ExFatSetStatus::Ok)
        {
            off += ExFat::kEntryBytes;
            continue;
        }
        off += size_t{set.EntryCount} * ExFat::kEntryBytes;
        if (!take(set)) return;
    }
}

// A timestamp as local wall-clock file time. With a valid UTC offset the stamp is the writer's
// local time in that zone: it is turned into UTC and shown in this machine's zone; without
// one it is taken as local time, as FAT times are.
uint64_t FileTimeOf(const ExFatTimestamp& t)
{
    int64_t ft = 0;
    if (!DosDateTimeToFileTime(static_cast<uint16_t>(t.Packed >> 16), static_cast<uint16_t>(t.Packed & 0xFFFF), &ft))
        return 0;
    ft += int64_t{t.Hundredths} * (kFileTimeTicksPerSecond / 100);
    if (t.UtcOffset & 0x80)
    {
        // Bits 0-6: a signed count of 15-minute steps.
        const int quarters = (t.UtcOffset & 0x40) ? static_cast<int>(t.UtcOffset & 0x7F) - 128 : (t.UtcOffset & 0x7F);
        const int64_t utc = ft - int64_t{quarters} * 15 * 60 * kFileTimeTicksPerSecond;
        int64_t local = 0;
        if (FileTimeUtcToLocal(utc, &local)) ft = local;
    }
    return static_cast<uint64_t>(ft);
}

bool ReadRuns(IVolumeIO& volume, const ExFatPlacement& place, uint32_t bytesPerSector, uint64_t volumeSectors,
              const std::vector<ExFatRun>& runs, std::vector<uint8_t>* out)
{
    const uint64_t spc = place.SectorsPerCluster();
    for (const ExFatRun& r : runs)
    {
        const int64_t first = place.ClusterSector(r.FirstCluster);
        const uint64_t sectors = uint64_t{r.Count} * spc;
        if (first < 0 || static_cast<uint64_t>(first) + sectors > volumeSectors) return false;
        const size_t at = out->size();
        out->resize(at + sectors * bytesPerSector);
        ReadSectorsSalvaging(volume, static_cast<uint64_t>(first), out->data() + at, static_cast<uint32_t>(sectors),
                             bytesPerSector);
    }
    return true;
}

} // namespace

bool KExFatFileSystem::LoadFat()
{
    m_Fat.clear();
    const ExFatBoot& b = m_Place.Boot;
    const uint64_t bytes =
        std::min<uint64_t>((uint64_t{b.ClusterCount} + 2) * 4, uint64_t{b.FatLength} * b.BytesPerSector);
    if (bytes > ExFat::kMaxFatBytes) return false;
    const uint64_t sectors = (bytes + m_dwBytesPerSector - 1) / m_dwBytesPerSector;
    const int64_t start = m_Place.Base + static_cast<int64_t>(b.ActiveFatOffset()) * m_Place.Scale;
    if (start < 0 || static_cast<uint64_t>(start) + sectors > static_cast<uint64_t>(m_s64TotalSectors)) return false;
    m_Fat.resize(sectors * m_dwBytesPerSector);
    const uint32_t bad = ReadSectorsSalvaging(*m_pVolume, static_cast<uint64_t>(start), m_Fat.data(),
                                              static_cast<uint32_t>(sectors), m_dwBytesPerSector);
    if (bad) VlmTrace("exFAT: %u sectors of the FAT unreadable; chains through them end there\n", bad);
    return true;
}

std::vector<uint8_t> KExFatFileSystem::ReadFolder(uint32_t firstCluster, bool contiguous, uint64_t length)
{
    std::vector<uint8_t> out;
    const ExFatBoot& b = m_Place.Boot;
    if (!b.ClusterValid(firstCluster)) return out;
    const uint64_t cb = b.ClusterBytes();
    const uint64_t bytes = length ? std::min(length, ExFat::kMaxFolderBytes) : ExFat::kMaxFolderBytes;
    const uint64_t clusters = (bytes + cb - 1) / cb;
    std::vector<ExFatRun> runs;
    if (contiguous)
    {
        const uint64_t room = uint64_t{b.ClusterCount} - (firstCluster - ExFat::kFirstCluster);
        runs.push_back({firstCluster, static_cast<uint32_t>(std::min(clusters, room))});
    }
    else
    {
        WalkExFatChain(m_Fat, b.ClusterCount, firstCluster, clusters, &runs, ExFat::kMaxFileRuns);
    }
    if (!ReadRuns(*m_pVolume, m_Place, m_dwBytesPerSector, static_cast<uint64_t>(m_s64TotalSectors), runs, &out))
        VlmTrace("exFAT: folder at cluster %u reaches past the volume\n", firstCluster);
    if (length && out.size() > length) out.resize(static_cast<size_t>(length));
    return out;
}

void KExFatFileSystem::LoadRootMetadata(const std::vector<uint8_t>& root)
{
    const ByteView v(root);
    const ExFatBoot& b = m_Place.Boot;
    bool haveBitmap = false;
    for (size_t off = 0; off + ExFat::kEntryBytes <= v.size(); off += ExFat::kEntryBytes)
    {
        const ExFatEntryView e = *ExFatEntryView::At(v, off);
        const uint8_t type = e.EntryType();
        if (e.IsEndOfDirectory()) break;
        ExFatLabelText(v, off, &m_strLabel);
        if (type == ExFat::kTypeUpcase && !m_Upcase.Loaded())
        {
            const uint32_t first = e.FirstCluster(), checksum = e.UpcaseChecksum();
            const uint64_t length = e.DataLength();
            if (length > 0 && length <= ExFat::kMaxUpcaseBytes && b.ClusterValid(first))
            {
                std::vector<uint8_t> table = ReadFolder(first, false, length);
                if (table.size() < length) table = ReadFolder(first, true, length);
                if (!m_Upcase.Decode(table, checksum)) VlmTrace("exFAT: the upcase table's checksum does not hold\n");
            }
        }
        // The bitmap of the active FAT (with two FATs there are two bitmaps).
        const bool activeSecond = b.NumberOfFats == 2 && (b.VolumeFlags & ExFat::kVolumeFlagSecondFat);
        if (type == ExFat::kTypeBitmap && !haveBitmap && ((e.BitmapFlags() & 1) != 0) == activeSecond)
        {
            const uint32_t first = e.FirstCluster();
            const uint64_t length = e.DataLength();
            const uint64_t need = (uint64_t{b.ClusterCount} + 7) / 8;
            if (length < need || !b.ClusterValid(first)) continue;
            std::vector<uint8_t> bits = ReadFolder(first, false, need);
            if (bits.size() < need) bits = ReadFolder(first, true, need);
            if (bits.size() >= need && m_Bitmap.Assign(std::move(bits), b.ClusterCount)) haveBitmap = true;
        }
    }
    if (!haveBitmap) VlmTrace("exFAT: no allocation bitmap; file conditions stay unknown\n");
}

bool KExFatFileSystem::CreateRootRecords(const std::string& rootName)
{
    if (!m_Store.AddRootAndLostFolders<tagExFatFileNode>(rootName, FN_KIND_FAT)) return false;
    m_dwNextId = 2;
    return true;
}

uint8_t KExFatFileSystem::JudgeCondition(const tagExFatFileNode* r) const
{
    if (m_Bitmap.Empty() || r->s64Size <= 0) return FN_COND_UNKNOWN;
    const bool contiguous = (r->byStreamFlags & ExFat::kFlagNoFatChain) != 0;
    const uint64_t cb = m_Place.Boot.ClusterBytes();
    const uint64_t clusters = (static_cast<uint64_t>(r->s64Size) + cb - 1) / cb;
    bool guessed = false;
    const std::vector<ExFatRun> runs = DataClusters(r->dwFirstCluster, contiguous, clusters, &guessed);
    uint64_t have = 0;
    bool anySet = false, allSet = true;
    for (const ExFatRun& run : runs)
    {
        have += run.Count;
        anySet = anySet || m_Bitmap.AnySet(run.FirstCluster - 2, run.Count);
        allSet = allSet && m_Bitmap.AllSet(run.FirstCluster - 2, run.Count);
    }
    if (r->byKind & FN_KIND_PRESENT) return allSet && !guessed && have == clusters ? FN_COND_INTACT : FN_COND_UNKNOWN;
    if (anySet) return FN_COND_OVERWRITTEN;
    // A deleted chained file whose chain gave out is read on as if contiguous: only a guess.
    return guessed || have < clusters ? FN_COND_UNKNOWN : FN_COND_INTACT;
}

tagExFatFileNode* KExFatFileSystem::AddSet(const ExFatEntrySet& set, uint32_t selfId, uint32_t parentId, bool deleted)
{
    char name[ExFat::kMaxNameLength * 4 + 1];
    size_t n = 0;
    ExFatNameToUtf8(set.Name, set.NameLength, name, sizeof(name), &n);
    auto* r = m_Store.Add<tagExFatFileNode>(std::string_view(name, n));
    if (!r) return nullptr;
    r->wValidMask = FN_MASK_FOUND;
    r->wAttributes =
        set.Attributes & (FN_ATTR_READONLY | FN_ATTR_HIDDEN | FN_ATTR_SYSTEM | FN_ATTR_FOLDER | FN_ATTR_ARCHIVE);
    r->s64Size = set.IsFolder() ? 0 : static_cast<int64_t>(std::min<uint64_t>(set.DataLength, INT64_MAX));
    r->ftCreated = FileTimeOf(set.Created);
    r->ftModified = FileTimeOf(set.Modified);
    r->byKind = FN_KIND_FAT | (deleted ? FN_KIND_DELETED : FN_KIND_PRESENT);
    r->dwSelfId = selfId;
    r->dwParentId = parentId;
    r->dwFirstCluster = set.FirstCluster;
    r->byStreamFlags = set.StreamFlags;
    r->s64ValidLength = static_cast<int64_t>(std::min<uint64_t>(set.ValidDataLength, INT64_MAX));
    if (!set.IsFolder()) r->byCondition = JudgeCondition(r);
    return r;
}

void KExFatFileSystem::ListFolder(ByteView entries, uint32_t parentId, bool parentDeleted,
                                  std::vector<PendingFolder>* pending)
{
    bool ended = false;
    for (size_t off = 0; off + ExFat::kEntryBytes <= entries.size();)
    {
        if (ExFatEntryView::At(entries, off)->IsEndOfDirectory()) ended = true;
        ExFatEntrySet set;
        if (ParseExFatEntrySet(entries, off, &set) != ExFatSetStatus::Ok)
        {
            off += ExFat::kEntryBytes;
            continue;
        }
        off += size_t{set.EntryCount} * ExFat::kEntryBytes;
        // A set past the end-of-folder mark is left from an earlier use of the cluster.
        const bool deleted = set.Deleted || parentDeleted || ended;
        if (m_Upcase.Loaded() && ExFatNameHash(set.Name, set.NameLength, m_Upcase) != set.NameHash)
            ++m_dwHashMismatches;
        const uint32_t id = m_dwNextId++;
        if (!AddSet(set, id, parentId, deleted)) return;
        if (set.IsFolder() && set.FirstCluster != 0 && pending->size() < kMaxFolders)
            pending->push_back({id, set.FirstCluster, set.StreamFlags, set.DataLength, deleted});
    }
}

uint32_t KExFatFileSystem::ReadVolume()
{
    m_Store.Clear();
    m_nBootRegion = -1;
    m_Upcase = ExFatUpcase{};
    m_dwHashMismatches = 0;
    const uint32_t bps = m_dwBytesPerSector;
    // Both boot regions at the largest sector size: 24 sectors of 4096 bytes.
    const uint64_t want = std::min<uint64_t>((24 * 4096 + bps - 1) / bps, static_cast<uint64_t>(m_s64TotalSectors));
    if (want == 0) return ERROR_INVALID_PARAMETER;
    std::vector<uint8_t> head(want * bps);
    ReadSectorsSalvaging(*m_pVolume, 0, head.data(), static_cast<uint32_t>(want), bps);
    ExFatBoot boot;
    int region = -1;
    for (uint32_t size = 512; size <= 4096 && region < 0; size *= 2)
        if (size >= bps && 24ull * size <= head.size())
            region = ChooseExFatBootRegion(ByteView(head).first(24ull * size), size, &boot);
    if (region < 0)
    {
        // Neither checksum holds: a boot sector that parses is still better than nothing.
        if (ParseExFatBootSector(ByteView(head).first(std::min<size_t>(head.size(), 4096)), &boot)) region = 0;
        VlmTrace("exFAT: no boot region with a sound checksum%s\n",
                 region == 0 ? "; the main boot sector is used" : "");
        if (region < 0) return ERROR_INVALID_PARAMETER;
    }
    if (region == 1) VlmTrace("exFAT: the main boot region is damaged; the backup region is used\n");
    if (boot.BytesPerSector < bps || boot.BytesPerSector % bps) return ERROR_INVALID_PARAMETER;
    m_nBootRegion = region;
    m_Place.Boot = boot;
    m_Place.Base = 0;
    m_Place.Scale = boot.BytesPerSector / bps;
    if (!LoadFat()) return ERROR_INVALID_PARAMETER;
    const std::vector<uint8_t> root = ReadFolder(boot.RootCluster, false, 0);
    if (root.empty()) return ERROR_INVALID_PARAMETER;
    LoadRootMetadata(root);
    std::string name;
    m_pVolume->GetName(&name);
    if (!name.empty()) name += "\\";
    const std::string label = !m_strLabel.empty() ? m_strLabel : VolumeRecordLabel(m_pVolume);
    if (!label.empty()) name += "(" + label + ")";
    if (name.empty()) name = "(exFAT)" + FormatSectorsSize(m_s64TotalSectors, bps);
    if (!CreateRootRecords(name)) return ERROR_NOT_ENOUGH_MEMORY;
    std::vector<PendingFolder> pending;
    ListFolder(root, 0, false, &pending);
    std::unordered_set<uint32_t> visited{boot.RootCluster};
    for (size_t i = 0; i < pending.size(); ++i)
    {
        if (IsCanceled()) break;
        const PendingFolder f = pending[i];
        // A folder reached twice (a deleted set and the live one, or a loop) is listed once.
        if (!visited.insert(f.FirstCluster).second) continue;
        const std::vector<uint8_t> bytes =
            ReadFolder(f.FirstCluster, (f.Flags & ExFat::kFlagNoFatChain) != 0, f.Length);
        ListFolder(bytes, f.Id, f.Deleted, &pending);
    }
    if (m_dwHashMismatches)
        VlmTrace("exFAT: %u entry sets whose name hash does not match their name\n", m_dwHashMismatches);
    MarkOverlappingDeletedFiles();
    return ERROR_SUCCESS;
}

void KExFatFileSystem::MarkOverlappingDeletedFiles()
{
    std::vector<ClusterSpan> spans;
    const uint64_t cb = m_Place.Boot.ClusterBytes();
    for (int i = 2; i < m_Store.GetCount(); ++i)
    {
        auto* r = m_Store.Get<tagExFatFileNode>(i);
        if (!r || !(r->byKind & FN_KIND_DELETED) || r->s64Size <= 0 || (r->wAttributes & FN_ATTR_FOLDER) || cb == 0)
            continue;
        bool guessed = false;
        const uint64_t clusters = (static_cast<uint64_t>(r->s64Size) + cb - 1) / cb;
        const std::vector<ExFatRun> runs =
            DataClusters(r->dwFirstCluster, (r->byStreamFlags & ExFat::kFlagNoFatChain) != 0, clusters, &guessed);
        uint64_t first = UINT64_MAX, end = 0;
        for (const ExFatRun& run : runs)
        {
            first = std::min<uint64_t>(first, run.FirstCluster);
            end = std::max<uint64_t>(end, uint64_t{run.FirstCluster} + run.Count);
        }
        if (end > first) spans.push_back({first, end, r});
    }
    MarkOverlappingSpans(spans);
}

uint32_t KExFatFileSystem::RebuildCandidate(uint32_t index)
{
    const ExFatCandidate c = m_Scan.Candidates()[index];
    m_Store.Clear();
    ExFatBoot boot;
    if (!ExFatCandidateBoot(c, &boot) || c.Head.s64FirstSector >= m_s64TotalSectors ||
        boot.BytesPerSector < m_dwBytesPerSector || boot.BytesPerSector % m_dwBytesPerSector)
        return ERROR_INVALID_PARAMETER;
    m_Place.Boot = boot;
    m_Place.Base = c.Head.s64FirstSector;
    m_Place.Scale = boot.BytesPerSector / m_dwBytesPerSector;
    // A missing table is allowed: chained folders then end after one cluster. An inferred
    // candidate has none (its boot region, and with it the FAT's place, is unknown).
    if (c.FromBackup != 2) LoadFat();
    if (!CreateRootRecords("(exFAT)" + FormatSectorsSize(c.Head.s64SectorCount, m_dwBytesPerSector)))
        return ERROR_NOT_ENOUGH_MEMORY;
    // The recorded folder sectors inside this file system's heap, as clusters.
    const int64_t heap = m_Place.ClusterSector(ExFat::kFirstCluster);
    const int64_t spc = m_Place.SectorsPerCluster();
    std::vector<uint32_t> clusters;
    for (int64_t s : m_Scan.DirSectors())
    {
        if (s < heap) continue;
        const uint64_t k = static_cast<uint64_t>((s - heap) / spc);
        if (k >= boot.ClusterCount) continue;
        const auto cl = static_cast<uint32_t>(k + ExFat::kFirstCluster);
        if (clusters.empty() || clusters.back() != cl) clusters.push_back(cl);
    }
    // A cluster is read with the start of the next one when that holds folder data too, so
    // a set that crosses from one into the other is whole.
    const uint64_t spill = (ExFat::kMaxSecondaryCount + 1) * ExFat::kEntryBytes;
    auto readCluster = [&](size_t i) {
        const bool next = i + 1 < clusters.size() && clusters[i + 1] == clusters[i] + 1;
        std::vector<uint8_t> bytes = ReadFolder(clusters[i], true, boot.ClusterBytes() + (next ? spill : 0));
        return bytes;
    };
    // Pass 1: which folder each cluster belongs to, from the folders' sets.
    std::unordered_map<uint32_t, uint32_t> owner;
    if (c.FromBackup != 2)
    {
        std::vector<ExFatRun> root;
        WalkExFatChain(m_Fat, boot.ClusterCount, boot.RootCluster, kMaxRebuiltFolderClusters, &root, 4096);
        for (const ExFatRun& r : root)
            for (uint32_t k = 0; k < r.Count; ++k) owner.emplace(r.FirstCluster + k, 0);
    }
    for (size_t i = 0; i < clusters.size() && !IsCanceled(); ++i)
    {
        ForEachSet(readCluster(i), boot.ClusterBytes(), [&](const ExFatEntrySet& set) {
            if (!set.IsFolder() || !boot.ClusterValid(set.FirstCluster)) return true;
            const uint64_t n = std::clamp<uint64_t>((set.DataLength + boot.ClusterBytes() - 1) / boot.ClusterBytes(), 1,
                                                    kMaxRebuiltFolderClusters);
            std::vector<ExFatRun> runs;
            if (set.NoFatChain())
                runs.push_back({set.FirstCluster, static_cast<uint32_t>(n)});
            else
                WalkExFatChain(m_Fat, boot.ClusterCount, set.FirstCluster, n, &runs, 4096);
            if (runs.empty()) runs.push_back({set.FirstCluster, 1});
            for (const ExFatRun& r : runs)
                for (uint32_t k = 0; k < r.Count; ++k) owner.emplace(r.FirstCluster + k, set.FirstCluster);
            return true;
        });
    }
    // Pass 2: the records. Folders are named by their first cluster; the sets of a cluster no
    // known folder owns go under a made-up folder named by that cluster.
    uint32_t fileId = 0x80000000u;
    for (size_t i = 0; i < clusters.size() && !IsCanceled(); ++i)
    {
        const auto it = owner.find(clusters[i]);
        const uint32_t parent = it != owner.end() ? it->second : clusters[i];
        bool full = false;
        ForEachSet(readCluster(i), boot.ClusterBytes(), [&](const ExFatEntrySet& set) {
            uint32_t self = set.IsFolder() ? set.FirstCluster : ++fileId;
            if (self == parent || self == 0) self = ++fileId;
            full = !AddSet(set, self, parent, set.Deleted);
            return !full;
        });
        if (full) return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}
