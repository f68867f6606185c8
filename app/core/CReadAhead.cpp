#include "core/CReadAhead.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <system_error>

#include "base/VlmTrace.h"
#include "fs/SalvageRead.h"
#include "volume/IVolumeIO.h"

namespace {
// Page-aligned buffers: the fastest copies out of the page cache, and what a device opened
// for direct reads would need.
constexpr size_t kAlignment = 4096;
} // namespace

void CReadAhead::FreeMemory::operator()(uint8_t* p) const { std::free(p); }

CReadAhead::CReadAhead(IVolumeIO& volume, int64_t totalSectors, uint32_t bytesPerSector, uint32_t chunkSectors)
    : m_Volume(volume), m_s64Total(std::max<int64_t>(totalSectors, 0)), m_dwBytesPerSector(bytesPerSector),
      m_dwChunk(std::max<uint32_t>(chunkSectors, 1))
{
    // Whole chunks per block, so that a chunk never spans two blocks.
    const uint64_t chunkBytes = uint64_t{m_dwChunk} * m_dwBytesPerSector;
    const uint64_t chunks = std::max<uint64_t>(1, kBlockBytes / std::max<uint64_t>(chunkBytes, 1));
    m_dwBlockSectors = static_cast<uint32_t>(chunks * m_dwChunk);
    m_u64Blocks = (static_cast<uint64_t>(m_s64Total) + m_dwBlockSectors - 1) / m_dwBlockSectors;
}

CReadAhead::~CReadAhead() { Stop(); }

bool CReadAhead::Start()
{
    const size_t bytes = static_cast<size_t>(m_dwBlockSectors) * m_dwBytesPerSector;
    const size_t rounded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
    const int slots = static_cast<int>(std::min<uint64_t>(kBlocks, std::max<uint64_t>(m_u64Blocks, 1)));
    try
    {
        m_pShared = std::make_shared<tagShared>();
        m_pShared->Slots.resize(static_cast<size_t>(slots));
        for (tagSlot& slot : m_pShared->Slots)
        {
            slot.Memory.reset(static_cast<uint8_t*>(std::aligned_alloc(kAlignment, rounded)));
            if (!slot.Memory) throw std::bad_alloc();
            slot.Block.pData = slot.Memory.get();
            slot.Block.Bad.reserve(m_dwBlockSectors / m_dwChunk);
        }
    }
    catch (const std::bad_alloc&)
    {
        m_pShared.reset();
        return false;
    }
    m_Volume.AdviseSequential();
    if (m_u64Blocks == 0) return true;
    try
    {
        m_Thread = std::thread([this] { ReadLoop(); });
    }
    catch (const std::system_error&)
    {
        VlmTrace("Read-ahead: no thread; every block is read when it is needed\n");
    }
    return true;
}

void CReadAhead::Fill(tagBlock& block, uint64_t index)
{
    block.s64First = static_cast<int64_t>(index * m_dwBlockSectors);
    block.dwSectors = static_cast<uint32_t>(std::min<int64_t>(m_dwBlockSectors, m_s64Total - block.s64First));
    block.Bad.clear();
    block.Unreadable.Clear();
    const auto first = static_cast<uint64_t>(block.s64First);
    const bool whole = m_Volume.ReadSectors(first, block.pData, block.dwSectors) == 0;
    for (uint32_t at = 0; at < block.dwSectors; at += m_dwChunk)
    {
        const uint32_t n = std::min(m_dwChunk, block.dwSectors - at);
        uint32_t bad = 0;
        if (!whole)
        {
            try
            {
                bad = ReadSectorsSalvaging(m_Volume, first + at, block.pData + size_t{at} * m_dwBytesPerSector, n,
                                           m_dwBytesPerSector, &block.Unreadable);
            }
            catch (const std::bad_alloc&)
            {
                // No memory to note where the sectors lie; the chunk is given up as unreadable.
                std::fill_n(block.pData + size_t{at} * m_dwBytesPerSector, size_t{n} * m_dwBytesPerSector, 0);
                bad = n;
            }
        }
        block.Bad.push_back(bad);
    }
}

void CReadAhead::ReadLoop()
{
    tagShared& shared = *m_pShared;
    for (uint64_t index = 0; index < m_u64Blocks; ++index)
    {
        tagSlot& slot = Slot(index);
        {
            std::unique_lock<std::mutex> lock(shared.Lock);
            shared.Changed.wait(lock, [&] { return shared.bStop || (!slot.bFull && slot.dwLeases == 0); });
            if (shared.bStop) return;
        }
        Fill(slot.Block, index);
        {
            const std::lock_guard<std::mutex> lock(shared.Lock);
            slot.bFull = true;
        }
        shared.Changed.notify_all();
    }
}

const CReadAhead::tagBlock* CReadAhead::Next()
{
    if (!m_pShared || m_u64Next >= m_u64Blocks) return nullptr;
    tagShared& shared = *m_pShared;
    tagSlot& slot = Slot(m_u64Next);
    std::unique_lock<std::mutex> lock(shared.Lock);
    if (!m_Thread.joinable())
    {
        // Read here, once the scanners have let go of the slot's earlier block.
        shared.Changed.wait(lock, [&] { return shared.bStop || slot.dwLeases == 0; });
        if (shared.bStop) return nullptr;
        lock.unlock();
        Fill(slot.Block, m_u64Next);
        return &slot.Block;
    }
    shared.Changed.wait(lock, [&] { return shared.bStop || slot.bFull; });
    return shared.bStop ? nullptr : &slot.Block;
}

std::shared_ptr<const void> CReadAhead::Lease()
{
    if (!m_pShared || m_u64Next >= m_u64Blocks) return nullptr;
    tagSlot& slot = Slot(m_u64Next);
    {
        const std::lock_guard<std::mutex> lock(m_pShared->Lock);
        ++slot.dwLeases;
    }
    // The lease holds the shared state, so the memory outlives the read-ahead if need be. When
    // the lease cannot be made, its release runs at once.
    auto release = [shared = m_pShared, &slot](const void*) {
        {
            const std::lock_guard<std::mutex> lock(shared->Lock);
            --slot.dwLeases;
        }
        shared->Changed.notify_all();
    };
    try
    {
        return std::shared_ptr<const void>(slot.Block.pData, std::move(release));
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
}

void CReadAhead::Release()
{
    if (!m_pShared || m_u64Next >= m_u64Blocks) return;
    {
        const std::lock_guard<std::mutex> lock(m_pShared->Lock);
        Slot(m_u64Next).bFull = false;
        ++m_u64Next;
    }
    m_pShared->Changed.notify_all();
}

void CReadAhead::Stop()
{
    if (m_pShared)
    {
        {
            const std::lock_guard<std::mutex> lock(m_pShared->Lock);
            m_pShared->bStop = true;
        }
        m_pShared->Changed.notify_all();
    }
    if (m_Thread.joinable()) m_Thread.join();
}
