#include "exfat/KExFatFileSystem.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "base/VlmErrors.h"
#include "format/exfat/ExFatLayout.h"
#include "fs/KBuildFileTree.h"
#include "fs/KOutStream.h"
#include "storage/IStorageManager.h"
#include "volume/IVolumeIO.h"

namespace {

// Clusters in use that the rest of a file whose chain gave out may pass on its way through the
// free ones; past that the rest is read on contiguously, and each such file stays cheap.
constexpr uint64_t kMaxSkippedClusters = 1u << 16;

// Appends cluster `c` to `runs`, joining it to the last run when it follows it.
void AppendCluster(std::vector<ExFatRun>* runs, uint32_t c)
{
    if (!runs->empty() && runs->back().FirstCluster + runs->back().Count == c && runs->back().Count < UINT32_MAX)
        ++runs->back().Count;
    else
        runs->push_back({c, 1});
}

// A file's stream: bytes past the valid data length read as zeros, whatever the sector holds
// (the space was allocated but never written).
class KExFatStream final : public KOutStream
{
public:
    KExFatStream(const tagExFatFileNode* record, IVolumeIO* volume, const KFileNode* store)
        : KOutStream(record, volume, store), m_s64Valid(record->s64ValidLength)
    {}

    int Read(uint8_t* buffer, int64_t length, int64_t* done) override
    {
        const int64_t at = GetPosition();
        const int rc = KOutStream::Read(buffer, length, done);
        const int64_t got = done ? *done : 0;
        if (buffer && got > 0 && at + got > m_s64Valid)
        {
            const int64_t from = std::max<int64_t>(m_s64Valid - at, 0);
            std::memset(buffer + from, 0, static_cast<size_t>(got - from));
        }
        return rc;
    }

private:
    int64_t m_s64Valid;
};

constexpr int64_t kHole = -1;

} // namespace

KExFatFileSystem::KExFatFileSystem() = default;
KExFatFileSystem::~KExFatFileSystem() = default;

void KExFatFileSystem::AttachScan()
{
    m_Scan.SetVolume(m_pVolume, m_dwBytesPerSector, static_cast<uint64_t>(m_s64TotalSectors));
}

void KExFatFileSystem::ResetScan()
{
    m_Store.Clear();
    m_Scan.Reset();
}

void KExFatFileSystem::ScanSector(ScanStats* stats, int64_t sector, ByteView bytes)
{
    m_Scan.ScanSector(stats, sector, bytes);
}

void KExFatFileSystem::ClearSelection()
{
    m_Place = ExFatPlacement{};
    m_Fat.clear();
    m_Bitmap.Clear();
    m_strLabel.clear();
}

uint32_t KExFatFileSystem::BuildTree(KNodeTree* tree)
{
    if (!tree) return ERROR_INVALID_PARAMETER;
    KBuildFileTree<tagExFatFileNode, KExFatFileNode> builder;
    return builder.Build(m_Store, *tree, *this);
}

std::vector<ExFatRun> KExFatFileSystem::DataClusters(uint32_t first, bool contiguous, uint64_t clusters,
                                                     bool* guessed) const
{
    std::vector<ExFatRun> runs;
    *guessed = false;
    const ExFatBoot& b = m_Place.Boot;
    if (!b.ClusterValid(first) || clusters == 0) return runs;
    if (!contiguous)
    {
        const ExFatChainEnd end = WalkExFatChain(m_Fat, b.ClusterCount, first, clusters, &runs, ExFat::kMaxFileRuns);
        if (end == ExFatChainEnd::Complete) return runs;
        // The chain gave out (a deleted file's entries freed, a damaged table). The file was
        // written into the free clusters of its time, and the clusters in use between them
        // belong to files that were there before it: the rest is taken from the clusters free
        // now after the last one reached, then (no allocation bitmap, or too many clusters in
        // use on the way) contiguously.
        *guessed = true;
        uint64_t have = 0;
        for (const ExFatRun& r : runs) have += r.Count;
        if (runs.empty() || have >= clusters) return runs;
        first = runs.back().FirstCluster + runs.back().Count;
        clusters -= have;
        for (uint64_t budget = kMaxSkippedClusters;
             !m_Bitmap.Empty() && clusters > 0 && b.ClusterValid(first) && runs.size() < ExFat::kMaxFileRuns; ++first)
        {
            if (!m_Bitmap.AnySet(first - ExFat::kFirstCluster, 1))
            {
                AppendCluster(&runs, first);
                --clusters;
            }
            else if (budget-- == 0)
                break;
        }
        if (clusters == 0 || !b.ClusterValid(first)) return runs;
    }
    // Contiguous: as far as the heap goes.
    const uint64_t room = uint64_t{b.ClusterCount} - (first - ExFat::kFirstCluster);
    uint64_t n = std::min(clusters, room);
    while (n > 0)
    {
        const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(n, 0x10000000));
        if (!runs.empty() && runs.back().FirstCluster + runs.back().Count == first &&
            uint64_t{runs.back().Count} + piece <= UINT32_MAX)
            runs.back().Count += piece;
        else
            runs.push_back({first, piece});
        first += piece;
        n -= piece;
    }
    return runs;
}

bool KExFatFileSystem::FileRuns(const tagFileNode* file, StreamVector* blocks) const
{
    const auto* record = static_cast<const tagExFatFileNode*>(file);
    if (!m_Place.Valid() || record->s64Size <= 0) return false;
    const uint64_t clusterBytes = m_Place.Boot.ClusterBytes();
    const uint64_t volumeSectorBytes = clusterBytes / m_Place.SectorsPerCluster();
    const uint64_t size = static_cast<uint64_t>(record->s64Size);
    const uint64_t valid =
        std::min<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(record->s64ValidLength, 0)), size);
    const uint64_t wanted = (valid + clusterBytes - 1) / clusterBytes;
    bool guessed = false;
    const std::vector<ExFatRun> runs =
        DataClusters(record->dwFirstCluster, (record->byStreamFlags & ExFat::kFlagNoFatChain) != 0, wanted, &guessed);
    if (wanted > 0 && runs.empty()) return false;
    blocks->clear();
    uint64_t sectorsLeft = (size + volumeSectorBytes - 1) / volumeSectorBytes;
    for (const ExFatRun& r : runs)
    {
        const uint64_t sectors = std::min<uint64_t>(uint64_t{r.Count} * m_Place.SectorsPerCluster(), sectorsLeft);
        for (uint64_t done = 0; done < sectors;)
        {
            const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(sectors - done, 0x40000000));
            blocks->push_back({m_Place.ClusterSector(r.FirstCluster) + static_cast<int64_t>(done), piece, 0});
            done += piece;
        }
        sectorsLeft -= sectors;
    }
    // Past the valid data length, or past the heap: zeros.
    while (sectorsLeft > 0)
    {
        const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(sectorsLeft, 0x40000000));
        blocks->push_back({kHole, piece, 0});
        sectorsLeft -= piece;
    }
    return true;
}

IOutStream* KExFatFileSystem::OpenStream(const tagFileNode* record)
{
    if (!record || !m_Store.Owns(record) || !IsFileRecord(record) || record->s64Size <= 0) return nullptr;
    try
    {
        const auto* r = static_cast<const tagExFatFileNode*>(record);
        StreamVector blocks;
        if (!FileRuns(r, &blocks)) return nullptr;
        auto stream = std::make_unique<KExFatStream>(r, m_pVolume, &m_Store);
        stream->SetRuns(blocks);
        return stream.release();
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

// --- Stored state -----------------------------------------------------------------------------

namespace {

constexpr uint32_t kStoredLayoutMark = 0x54414658; // "XFAT"
constexpr uint32_t kStoredLayout = 1;

#pragma pack(push, 1)
struct tagExFatStoredPlacement
{
    ExFatCandidate Geometry; // the boot sector's geometry as a candidate carries it
    int64_t Base;
    uint32_t Scale;
    uint8_t Valid;
};
#pragma pack(pop)

} // namespace

int KExFatFileSystem::SaveTo(IStorageManager* out)
{
    try
    {
        if (!StorageWrite(out, kStoredLayoutMark) || !StorageWrite(out, kStoredLayout)) return 0;
        if (!StorageWrite(out, static_cast<uint32_t>(m_Scan.Candidates().size()))) return 0;
        for (const ExFatCandidate& c : m_Scan.Candidates())
            if (!StorageWrite(out, c)) return 0;
        if (!StorageWrite(out, static_cast<uint32_t>(m_Scan.DirSectors().size()))) return 0;
        for (int64_t s : m_Scan.DirSectors())
            if (!StorageWrite(out, s)) return 0;
        tagExFatStoredPlacement p{};
        p.Geometry = MakeExFatCandidate(m_Place.Boot, m_Place.Base, 0);
        p.Base = m_Place.Base;
        p.Scale = m_Place.Scale;
        p.Valid = m_Place.Valid() ? 1 : 0;
        if (!StorageWrite(out, p)) return 0;
        if (!StorageWrite(out, static_cast<uint32_t>(m_Fat.size()))) return 0;
        if (!m_Fat.empty() && !StorageWriteExact(out, m_Fat.data(), static_cast<int>(m_Fat.size()))) return 0;
        return m_Store.SaveTo(out);
    }
    catch (const std::bad_alloc&)
    {
        return 0;
    }
}

int KExFatFileSystem::LoadFrom(IStorageManager* in)
{
    DetachVolume();
    m_Scan.Reset();
    m_Store.Clear();
    m_Place = ExFatPlacement{};
    m_Fat.clear();
    m_Bitmap.Clear();
    const int loaded = [&]() -> int {
        try
        {
            uint32_t mark = 0, layout = 0, count = 0;
            if (!StorageRead(in, mark) || mark != kStoredLayoutMark || !StorageRead(in, layout) ||
                layout != kStoredLayout || !StorageRead(in, count))
                return 0;
            // Read one by one: a hostile count costs no more than the stream holds.
            for (uint32_t i = 0; i < count; ++i)
            {
                ExFatCandidate c{};
                ExFatBoot check;
                if (!StorageRead(in, c) || !ExFatCandidateBoot(c, &check)) return 0;
                m_Scan.Candidates().push_back(c);
            }
            if (!StorageRead(in, count) || count > KExFatSectorScan::kMaxDirSectors) return 0;
            for (uint32_t i = 0; i < count; ++i)
            {
                int64_t s = 0;
                if (!StorageRead(in, s) || s < 0) return 0;
                m_Scan.DirSectors().push_back(s);
            }
            tagExFatStoredPlacement p{};
            if (!StorageRead(in, p)) return 0;
            if (p.Valid)
            {
                if (p.Base < 0 || p.Scale == 0 || p.Scale > 8 || !ExFatCandidateBoot(p.Geometry, &m_Place.Boot))
                    return 0;
                m_Place.Base = p.Base;
                m_Place.Scale = p.Scale;
            }
            uint32_t length = 0;
            if (!StorageRead(in, length) || length > ExFat::kMaxFatBytes) return 0;
            if (length > 0 && !StorageReadItems(in, m_Fat, length)) return 0;
            return m_Store.LoadFrom(in);
        }
        catch (const std::bad_alloc&)
        {
            return 0;
        }
    }();
    if (!loaded)
    {
        m_Scan.Reset();
        m_Place = ExFatPlacement{};
        m_Fat.clear();
    }
    return loaded;
}
