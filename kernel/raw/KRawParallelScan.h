#pragma once
// The deep scan's file types on every core, with exactly the result of one thread.
//
// A type keeps state from one buffer to the next (it skips the starts that lie inside a file it
// reported, and what it sees of a candidate depends on where the buffer ends), so one type must
// see the buffers of a scan in volume order, cut exactly as the scan driver cut them. Different
// types share nothing, so they can run side by side: the chunks handed over are gathered into
// batches of 1 MiB while the workers scan the batches before. A chunk whose buffer the caller
// keeps for the scan (the read-ahead's blocks) is scanned where it lies, until every group is
// done with its batch; any other chunk is copied into the batch. A group is one type, or all
// the types that do not declare that they may run beside others (RAW_INFO_CONCURRENT), which
// then run one after the other. A free worker takes about its share (by the cost measured on
// the last batch) of the groups waiting for the oldest batch and walks that batch chunk by
// chunk with all of them, so a chunk is read from the core's cache by every type but the
// first. Each group moves on to the next batch as soon as it is done with one, so a slow type
// does not hold the others back; a batch is merged once every group is done with it.
//
// The hits of a batch are handed on in the order of one thread: chunk by chunk, within a chunk
// type by type in list order, each type's hits in the order it reported them.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <mutex>
#include <thread>
#include <vector>

#include "raw/RawFileTypeAbi.h"

class IVolumeIO;

class KRawParallelScan
{
public:
    static constexpr size_t kBatchBytes = size_t{1} << 20;
    static constexpr int kBatches = 8; // batches in memory at once
    static constexpr uint32_t kMaxThreads = 8;

    /// Receives the hits of the scan in the order one thread would have produced them.
    /// With each hit the metadata text its type gave for it (empty when none).
    using Sink = std::function<void(int typeIndex, const RawHit& hit, std::string_view text)>;

    KRawParallelScan() = default;
    ~KRawParallelScan();
    KRawParallelScan(const KRawParallelScan&) = delete;
    KRawParallelScan& operator=(const KRawParallelScan&) = delete;

    /// Threads a machine's cores call for: its core count, at most kMaxThreads.
    static uint32_t DefaultThreads();

    /// Starts a scan of `types` (indexed by type index; null entries are not scanned) in
    /// `groups` of type indexes, each group in ascending order, on `threads` workers, in
    /// batches of `batchBytes`. Anything of an earlier scan is dropped. False when no worker or
    /// no batch memory could be had (nothing runs).
    bool Start(const std::vector<IRawFileType*>& types, std::vector<std::vector<int>> groups, uint32_t threads,
               uint32_t bytesPerSector, IVolumeIO* volume, size_t batchBytes = kBatchBytes);
    /// Adds one chunk (volume-relative `first`, `sectors` whole sectors) to the batch being
    /// filled: with `keep` the chunk is scanned where it lies and `keep` is held until every
    /// group is done with the batch, without it the chunk is copied. Batches that every group
    /// has finished are merged into `sink` on the way; when every batch is in use this waits
    /// for the oldest.
    /// False (nothing taken, nothing waiting) for a chunk larger than a batch: the caller
    /// flushes and scans it itself.
    bool Add(int64_t first, const uint8_t* buffer, uint32_t sectors, const std::shared_ptr<const void>& keep,
             const Sink& sink);
    /// Scans everything added so far and hands all its hits to `sink`.
    void Flush(const Sink& sink);
    /// Drops everything added and not yet handed over; waits for the workers to put it down.
    void Abort();
    bool Running() const { return !m_Groups.empty(); }

private:
    struct tagChunk
    {
        int64_t first;
        uint32_t sectors;
        const uint8_t* data;              // in the batch's bytes, or in the caller's kept buffer
        std::shared_ptr<const void> keep; // the caller's buffer, until every group is done
    };
    struct tagFound
    {
        uint32_t chunk; // index in the batch's chunks
        int typeIndex;
        RawHit hit;
        std::string text; // the type's metadata text for the hit, asked right after its Scan
    };
    struct tagBatch
    {
        std::vector<uint8_t> bytes; // the copied chunks
        size_t copied = 0;          // of bytes
        size_t used = 0;            // bytes of all chunks, copied or kept
        uint32_t keptBuffers = 0;   // the callers' buffers its chunks lie in
        std::vector<tagChunk> chunks;
        std::vector<std::vector<tagFound>> found; // per group
        uint64_t sequence = 0;
        bool submitted = false;
        size_t groupsDone = 0;
        bool inUse = false;
    };
    struct tagGroup
    {
        std::vector<int> types;
        uint64_t next = 0; // the sequence number of the batch it scans next
        bool running = false;
        uint64_t lastCostNs = 0; // of its last batch: the costliest groups are started first
    };

    void Worker();
    /// Empties a batch for reuse (its buffers stay allocated).
    static void ResetBatch(tagBatch& b);
    void PickBundle(std::vector<size_t>& bundle) const;
    void ScanBatch(const std::vector<size_t>& bundle, tagBatch& batch, std::vector<uint64_t>& costs);
    tagBatch& Batch(uint64_t sequence) { return m_Batches[sequence % m_Batches.size()]; }
    bool BatchDone(const tagBatch& b) const { return b.submitted && b.groupsDone == m_Groups.size(); }
    void Submit();
    /// Whether every batch from the oldest to `sequence` is done.
    bool DoneThrough(uint64_t sequence) const;
    /// Sleeps until DoneThrough(sequence); the workers wake the caller only then.
    void WaitDoneThrough(std::unique_lock<std::mutex>& lock, uint64_t sequence);
    void MergeOldest(std::unique_lock<std::mutex>& lock, const Sink& sink);
    void StopWorkers();

    std::vector<IRawFileType*> m_Types;
    std::vector<tagGroup> m_Groups;
    std::vector<tagBatch> m_Batches;
    uint32_t m_dwBytesPerSector = 0;
    size_t m_BatchBytes = kBatchBytes;
    IVolumeIO* m_pVolume = nullptr;
    uint64_t m_Oldest = 0;  // sequence of the oldest batch not yet merged
    uint64_t m_Filling = 0; // sequence of the batch being filled (== m_Submitted count)
    static constexpr uint64_t kNotWaiting = UINT64_MAX;
    uint64_t m_WaitFor = kNotWaiting; // the batch up to which the caller waits for the workers
    std::atomic<bool> m_bAbort{false};
    bool m_bQuit = false;
    uint32_t m_Idle = 0; // workers waiting for work
    mutable std::mutex m_Lock;
    std::condition_variable m_WorkReady;
    std::condition_variable m_BatchDone;
    std::vector<std::thread> m_Threads;
};
