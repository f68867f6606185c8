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
// Only the runs in the base record are looked at; a file whose data lies in extension records
// (an $ATTRIBUTE_LIST) is judged as a live file when live and stays unknown when deleted.
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
    void NoteLive(const StreamVector& runs, tagNtfsFileNode* node);
    void NoteDeleted(const StreamVector& runs, tagNtfsFileNode* node);

    KNtfsMft& m_Mft;
    KClusterBitmap m_Map; // $Bitmap, or the clusters claimed by live records
    bool m_bBitmap = false;
    bool m_bOwn = true; // no live file contradicts $Bitmap
    std::vector<tagNtfsFileNode*> m_Live;
    std::vector<tagNtfsFileNode*> m_Deleted;
    std::vector<DeferredRun> m_Runs;
};
