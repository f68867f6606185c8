#pragma once
// The condition of every file of one NTFS listing (tagFileNode::byCondition), judged while
// the MFT is listed, from the records in hand and the file system's $Bitmap (record 6).
//
// Data kept inside its FILE record (resident) and empty files are intact: the record that was
// read holds all of it. A live file's runs must be allocated in $Bitmap; one that is not shows
// that this $Bitmap is not the files' own (a quick format wrote a new one, the candidate's
// record 6 belongs to another file system), and then nothing is known of any file with runs.
// Otherwise live files are intact, and a deleted file is overwritten when any cluster of its
// runs is allocated again, intact when all are free. Without a readable $Bitmap, the runs of
// the live records still claim their clusters: a deleted file on a claimed cluster is
// overwritten, any other stays unknown.
//
// Deleted files may claim the same cluster: the driver gave it to one after the other was
// deleted, and that one may have been deleted since. Only the last to take it holds its bytes,
// and it is the one whose record changed last ($STANDARD_INFORMATION's MFT change time): the
// others are overwritten. When the latest claimants changed at the same time, neither is
// known to be intact.
//
// A deleted file whose runs end before its data does lost the record that mapped the rest,
// and is overwritten.
//
// A file whose data lies in extension records (an $ATTRIBUTE_LIST) is judged by the runs of
// every extent; when one cannot be read, or its record now belongs to another file, it is
// judged as a live file when live and stays unknown when deleted.
#include <cstdint>
#include <vector>

#include "format/ntfs/NtfsRecord.h"
#include "fs/IOutStream.h"
#include "fs/KClusterBitmap.h"
#include "fs/tagFileNode.h"

class KNtfsMft;

class KNtfsConditions
{
public:
    explicit KNtfsConditions(KNtfsMft& mft) : m_Mft(mft) {}

    /// Reads $Bitmap of the open file system, which has `clusters` clusters.
    void Begin(uint64_t clusters);
    /// One listed record (checked, fixups applied) and the node made of it; for a named stream's
    /// node, `streamData` is the stream's first $DATA extent.
    void Note(ByteView record, tagNtfsFileNode* node, const NtfsAttribute* streamData = nullptr);
    /// Sets the condition of every noted node.
    void Finish();

    /// True when $Bitmap was read (tests and traces).

private:
    struct DeferredRun
    {
        uint32_t nFile;  // index into m_Deleted
        uint32_t nCount; // clusters
        int64_t s64First;
    };

    bool ReadBitmap(uint64_t clusters);
    bool ListedDataRuns(ByteView record, uint32_t self, StreamVector* runs);
    /// Lowers the verdicts of deleted files whose clusters a later deleted file took.
    void JudgeSharedClusters(std::vector<uint8_t>* verdict) const;
    void NoteLive(const StreamVector& runs, tagNtfsFileNode* node);
    void NoteDeleted(const StreamVector& runs, tagNtfsFileNode* node, uint64_t changed, bool incomplete);
    bool Incomplete(const StreamVector& runs, const tagNtfsFileNode* node) const;

    KNtfsMft& m_Mft;
    KClusterBitmap m_Map; // $Bitmap, or the clusters claimed by live records
    bool m_bBitmap = false;
    bool m_bOwn = true; // no live file contradicts $Bitmap
    std::vector<tagNtfsFileNode*> m_Live;
    std::vector<tagNtfsFileNode*> m_Deleted;
    std::vector<uint64_t> m_Changed; // per deleted file: the record's MFT change time, 0 unknown
    std::vector<bool> m_Incomplete;  // per deleted file: its runs end before its data
    std::vector<DeferredRun> m_Runs;
};
