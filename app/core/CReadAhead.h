#pragma once
// Reads a volume from its first sector to its last on a thread of its own, a few blocks ahead
// of the scanners: while they work on one block the next ones are being read, so a scan runs
// at the speed of the slower of the two instead of their sum. A block is whole chunks of the
// scan, about 1 MiB: large enough that a read costs little per byte, small enough to be still
// in the cache when the scanners get to it (with 4 MiB blocks the copy out of the page cache
// went to memory and a scan of a 1 GiB image took nearly twice as long). Blocks are aligned in
// memory and start at multiples of their size on the volume; the device is told the volume
// will be read sequentially.
//
// A scanner may keep a block's bytes after the driver has moved on (the deep scan's workers
// scan them where they lie): the block is then handed out with a lease, and its memory is not
// read into again until every copy of the lease is gone. The memory lives as long as any lease
// does, even past the read-ahead itself.
//
// A block whose read fails is read again chunk by chunk, and a failing chunk sector by sector
// (ReadSectorsSalvaging): every readable sector still reaches the scanners, the unreadable ones
// are zeros, and each is counted once with the chunk it lies in.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "fs/KSectorRanges.h"

class IVolumeIO;

class CReadAhead
{
public:
    /// About this many bytes per block, and this many blocks in memory at once.
    static constexpr uint32_t kBlockBytes = 1u << 20;
    static constexpr int kBlocks = 8;

    struct tagBlock
    {
        int64_t s64First = 0; // volume sector of the block's first byte
        uint32_t dwSectors = 0;
        uint8_t* pData = nullptr;  // dwSectors whole sectors
        std::vector<uint32_t> Bad; // unreadable sectors of each chunk, in order
        KSectorRanges Unreadable;  // where they lie
    };

    CReadAhead(IVolumeIO& volume, int64_t totalSectors, uint32_t bytesPerSector, uint32_t chunkSectors);
    ~CReadAhead();
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    /// Allocates the blocks and starts reading; false when there is no memory for them. Without
    /// a thread (the system refused one) every block is read when it is asked for.
    bool Start();
    /// The next block in volume order, waiting for it if it is still being read; null past the
    /// last one or after Stop. It stays valid until Release.
    const tagBlock* Next();
    /// A lease on the bytes of the block last returned by Next: while a copy of it is held, they
    /// stay as they are (and in memory). Null when there is no memory for the lease; the caller
    /// then scans the block as if it had no lease.
    std::shared_ptr<const void> Lease();
    /// Gives the block last returned by Next back for reading.
    void Release();
    /// Ends the reading (the blocks read ahead are dropped) and waits for the thread.
    void Stop();

    uint32_t BlockSectors() const { return m_dwBlockSectors; }

private:
    struct FreeMemory
    {
        void operator()(uint8_t* p) const;
    };
    struct tagSlot
    {
        tagBlock Block;
        std::unique_ptr<uint8_t, FreeMemory> Memory;
        bool bFull = false;
        uint32_t dwLeases = 0; // leases on its bytes still held
    };
    // What the reading thread, the scan and the leases share; the last of them frees it.
    struct tagShared
    {
        std::vector<tagSlot> Slots;
        std::mutex Lock;
        std::condition_variable Changed;
        bool bStop = false;
    };

    void ReadLoop();
    void Fill(tagBlock& block, uint64_t index);
    tagSlot& Slot(uint64_t index) const { return m_pShared->Slots[index % m_pShared->Slots.size()]; }

    IVolumeIO& m_Volume;
    int64_t m_s64Total;
    uint32_t m_dwBytesPerSector;
    uint32_t m_dwChunk;
    uint32_t m_dwBlockSectors;
    uint64_t m_u64Blocks; // blocks in the whole volume
    std::shared_ptr<tagShared> m_pShared;
    uint64_t m_u64Next = 0; // the block Next hands out
    std::thread m_Thread;
};
