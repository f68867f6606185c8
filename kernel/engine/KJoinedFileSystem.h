#pragma once
// One tree for a file system found by a full scan that ran together with a deep scan: the
// file system's own tree, plus the files the deep scan found that none of its files (present
// or deleted) holds, under one folder of their own ("Extra Found Files", one sub-folder per
// file type). Recovering that one tree then gives everything the scan found on the volume,
// each file once.
//
// A deep-scan find is the same file as one of the file system's when its first byte lies
// inside the data of any of the file system's files: the byte extents of every file's runs
// (chain, runlist, or the contiguous guess for a deleted file) are collected into one sorted
// set. A find inside another file is part of it (a picture inside a document, the file's own
// start) and is left to that file; a find outside every extent is a file the structures lost.
// Only finds within the file system's own sectors join it (a disk's other partitions keep
// theirs): those of the candidate that holds the most of the tree's files.
//
// The view owns nothing but the records of its folders: it routes every question about a
// record to the file system whose store holds it, so copying out, streams and data runs work
// for both kinds of record. Neither file system changes, and nothing of the view is stored:
// a loaded scan result builds it again.
#include <cstdint>
#include <memory>

#include "base/VlmErrors.h"
#include "engine/KDataExtents.h"
#include "fs/IFileSystem.h"
#include "fs/KFileNode.h"

class KFileSystemMgr;
class KNodeTree;
class KRawFileSystem;

class KJoinedFileSystem final : public IFileSystem
{
public:
    KJoinedFileSystem(IFileSystem* candidate, KRawFileSystem* deepScan);
    ~KJoinedFileSystem() override;

    /// A view for `fs` when `fileSystems` also holds a finished deep scan that found files and
    /// `fs` is not that deep scan; null otherwise (the file system's tree is shown alone).
    static std::unique_ptr<KJoinedFileSystem> ForCandidate(IFileSystem* fs, const KFileSystemMgr& fileSystems);

    IFileSystem* Candidate() const { return m_pCandidate; }

    /// A view is never stored: both return 0 and transfer nothing.
    int LoadFrom(IStorageManager*) override { return 0; }
    int SaveTo(IStorageManager*) override { return 0; }
    void SetVolume(IVolumeIO* volume) override;
    IVolumeIO* GetVolume() override;
    void SetSectorInfo(uint32_t value, uint32_t bytesPerSector) override;
    uint32_t GetSectorInfo(uint32_t* bytesPerSector) override;
    /// The view does not scan: the file systems it joins were scanned already.
    uint32_t Begin_ScanFS() override { return ERROR_NOT_SUPPORTED; }
    uint32_t ScanFS(ScanStats*, int64_t, const uint8_t*, int) override { return ERROR_NOT_SUPPORTED; }
    uint32_t End_ScanFS() override { return ERROR_NOT_SUPPORTED; }
    int GetCandidateCount(uint32_t* count) override;
    int GetCandidate(int index, FileSystemCandidate* out) override;
    uint32_t SelectCandidate(uint32_t index) override;
    /// The candidate's tree, then the deep-scan finds no file of it holds.
    uint32_t BuildTree(KNodeTree* tree) override;
    uint32_t SaveFile(const tagFileNode* record, const std::string& path) override;
    IOutStream* OpenStream(const tagFileNode* record) override;
    bool GetDataRuns(const tagFileNode* record, StreamVector* runs) override;

private:
    /// The file system whose store holds `record`; null for the view's own folders.
    IFileSystem* Owner(const tagFileNode* record) const;
    /// The byte extents of every file of the candidate's tree.
    bool CollectExtents(const KNodeTree& tree, uint32_t bytesPerSector);
    /// The bytes of the candidate that holds the most of the extents (the whole volume when
    /// no candidate holds any).
    void CandidateBytes(uint32_t bytesPerSector, uint64_t* first, uint64_t* end);
    /// Adds the extra folder with the finds in [first, end) outside every extent below the
    /// tree's root.
    bool AddExtraFinds(KNodeTree* tree, uint32_t bytesPerSector, uint64_t first, uint64_t end);

    IFileSystem* m_pCandidate;
    KRawFileSystem* m_pDeepScan;
    KFileNode m_Folders; // the extra folder and its type folders
    KDataExtents m_Extents;
    // Deep-scan finds of the last BuildTree, for its trace line: inside a file of the candidate,
    // added under the extra folder, and outside the candidate's sectors.
    uint32_t m_dwDuplicates = 0;
    uint32_t m_dwExtras = 0;
    uint32_t m_dwOutside = 0;
};
