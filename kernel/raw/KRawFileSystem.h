#pragma once
// The deep scan as a file system: it takes part in the same sector stream as the FAT and NTFS
// scanners, asks every enabled file type for file starts in each buffer, records each start as
// a file named after its type, decides the length of files whose type could not tell it, and
// groups the files in one folder per type under a folder named after the volume.
//
// Plug-ins are trusted with where files start, not with the volume: a hit outside the volume
// is dropped and a length that is negative or runs past the volume's end is corrected, each
// with a trace line, so one faulty type cannot turn into unreadable or bogus records.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/ResourceLimits.h"
#include "fs/IFileSystem.h"
#include "raw/KRawFileArray.h"
#include "raw/KRawFileNode.h"
#include "raw/KRawParallelScan.h"
#include "raw/KRawNames.h"
#include "raw/KRawScanMgr.h"

class KRawFileSystem final : public IFileSystem
{
public:
    static constexpr uint32_t kRecordIdBase = 0x1000000;
    static constexpr size_t kMaxName = 259;

    KRawFileSystem();
    ~KRawFileSystem() override;

    int LoadFrom(IStorageManager* in) override;
    int SaveTo(IStorageManager* out) override;
    void SetVolume(IVolumeIO* volume) override { m_pVolume = volume; }
    IVolumeIO* GetVolume() override { return m_pVolume; }
    void SetSectorInfo(uint32_t value, uint32_t bytesPerSector) override;
    uint32_t GetSectorInfo(uint32_t* bytesPerSector) override;
    uint32_t Begin_ScanFS() override;
    uint32_t ScanFS(ScanStats* stats, int64_t firstSector, const uint8_t* buffer, int sectorCount) override
    {
        return ScanSharedFS(stats, firstSector, buffer, sectorCount, nullptr);
    }
    uint32_t ScanSharedFS(ScanStats* stats, int64_t firstSector, const uint8_t* buffer, int sectorCount,
                          const std::shared_ptr<const void>& keep) override;
    uint32_t End_ScanFS() override;
    int GetCandidateCount(uint32_t* count) override;
    int GetCandidate(int index, FileSystemCandidate* out) override;
    uint32_t SelectCandidate(uint32_t) override { return 0; }
    uint32_t BuildTree(KNodeTree* tree) override;
    uint32_t SaveFile(const tagFileNode* record, const std::string& path) override;
    IOutStream* OpenStream(const tagFileNode* record) override;
    bool GetDataRuns(const tagFileNode* record, StreamVector* runs) override;

    const KRawFileNode& Records() const { return m_Records; }
    /// Hits dropped since Begin_ScanFS because the scan had recorded the most files it keeps.
    uint64_t DroppedHits() const { return m_u64DroppedHits; }
    /// The most files one scan records (VlmLimits::kMaxDeepScanHits; lower in tests).
    void SetHitLimit(uint32_t limit) { m_dwHitLimit = limit; }
    uint32_t HitLimit() const { return m_dwHitLimit; }
    const KRawScanMgr& Types() const { return m_ScanMgr; }
    /// Threads the types run on from the next Begin_ScanFS (default: one per core, see
    /// KRawParallelScan), in batches of `batchBytes`; 0 or 1 scans every type on the caller's
    /// thread. The files found are the same either way.
    void SetScanThreads(uint32_t threads, size_t batchBytes = KRawParallelScan::kBatchBytes)
    {
        m_dwThreads = threads;
        m_BatchBytes = batchBytes;
    }

private:
    // A file whose end is decided by the next hit (or the volume's end).
    struct Pending
    {
        int record;    // index in m_Records
        int typeIndex; // index in the type list
    };
    static_assert(sizeof(Pending) == 8);

    void Reset();
    bool TypeLimits(int typeIndex, int64_t* minSize, int64_t* maxSize) const;
    void ClosePending(int64_t nextFirstSector);
    bool CheckHit(int typeIndex, RawHit& hit) const;
    /// `text`: the metadata text the type gave for the hit (empty: a numbered name).
    void AddFile(ScanStats* stats, int typeIndex, const RawHit& hit, std::string_view text);
    /// One hit, in the order of a scan on one thread: checked, recorded or counted as dropped.
    void TakeHit(ScanStats* stats, int typeIndex, RawHit hit, std::string_view text);
    /// Every enabled type's Scan on one buffer, on this thread.
    void ScanHere(ScanStats* stats, const RawScanArgs& args);
    void StartWorkers();
    std::string VolumeFolderName() const;
    bool IsOurFile(const tagFileNode* record) const;
    /// The file's sectors from its first one, in runs a block can count; false without geometry.
    bool FileRuns(const tagFileNode* record, StreamVector* runs) const;

    IVolumeIO* m_pVolume = nullptr;
    uint32_t m_dwSectorValue = 0;
    uint32_t m_dwSectorSize = 512;
    FileSystemCandidate m_Candidate{};
    uint32_t m_dwFinished = 0;
    KRawFileNode m_Records;
    KRawScanMgr m_ScanMgr;
    std::vector<Pending> m_Pending;
    uint32_t m_dwBytesPerSector = 0;
    KRawFileArray m_Hits;
    uint32_t m_dwHits = 0;
    uint32_t m_dwHitLimit = VlmLimits::kMaxDeepScanHits;
    uint64_t m_u64DroppedHits = 0;
    uint32_t m_dwThreads = KRawParallelScan::DefaultThreads();
    size_t m_BatchBytes = KRawParallelScan::kBatchBytes;
    bool m_bWorkersChosen = false;
    // Declared after the type list: the workers stop before the types can go.
    std::unique_ptr<KRawParallelScan> m_pParallel;
    KRawNames m_Names; // metadata names given during the scan, per type folder
};
