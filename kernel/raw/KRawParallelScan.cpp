#include "raw/KRawParallelScan.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

#include "base/VlmTrace.h"
#include "raw/KRawFileArray.h"
#include "raw/KRawNames.h"

namespace {

bool SameOwner(const std::shared_ptr<const void>& a, const std::shared_ptr<const void>& b)
{
    return !a.owner_before(b) && !b.owner_before(a);
}

} // namespace

KRawParallelScan::~KRawParallelScan() { StopWorkers(); }

uint32_t KRawParallelScan::DefaultThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp<uint32_t>(cores, 1, kMaxThreads);
}

void KRawParallelScan::StopWorkers()
{
    {
        const std::lock_guard<std::mutex> lock(m_Lock);
        m_bQuit = true;
    }
    m_WorkReady.notify_all();
    for (std::thread& t : m_Threads) t.join();
    m_Threads.clear();
    m_bQuit = false;
}

bool KRawParallelScan::Start(const std::vector<IRawFileType*>& types, std::vector<std::vector<int>> groups,
                             uint32_t threads, uint32_t bytesPerSector, IVolumeIO* volume, size_t batchBytes)
{
    StopWorkers();
    m_Groups.clear();
    m_Batches.clear();
    m_Oldest = m_Filling = 0;
    m_bAbort = false;
    if (groups.empty() || bytesPerSector == 0 || batchBytes == 0) return false;
    m_BatchBytes = batchBytes;
    try
    {
        m_Types = types;
        m_Batches.resize(kBatches);
        for (tagBatch& b : m_Batches)
        {
            // The bytes are allocated when a chunk must be copied (never when the caller's buffers
            // are kept for the scan). A chunk is at least a sector: the list never grows while the batch fills.
            b.chunks.reserve(m_BatchBytes / bytesPerSector);
            b.found.resize(groups.size());
        }
        for (std::vector<int>& g : groups)
        {
            tagGroup group;
            group.types = std::move(g);
            m_Groups.push_back(std::move(group));
        }
    }
    catch (const std::bad_alloc&)
    {
        m_Groups.clear();
        m_Batches.clear();
        return false;
    }
    m_dwBytesPerSector = bytesPerSector;
    m_pVolume = volume;
    const uint32_t workers = std::clamp<uint32_t>(threads, 1, static_cast<uint32_t>(m_Groups.size()));
    for (uint32_t i = 0; i < workers; ++i)
    {
        try
        {
            m_Threads.emplace_back([this] { Worker(); });
        }
        catch (const std::system_error&)
        {
            break;
        }
    }
    if (m_Threads.empty())
    {
        VlmTrace("Deep scan: no worker thread could be started; the types run on the scan's thread\n");
        m_Groups.clear();
        m_Batches.clear();
        return false;
    }
    return true;
}

void KRawParallelScan::PickBundle(std::vector<size_t>& bundle) const
{
    // The batch furthest behind first, so that batches complete in order and are merged early.
    bundle.clear();
    uint64_t sequence = UINT64_MAX;
    for (const tagGroup& group : m_Groups)
        if (!group.running && group.next < m_Filling) sequence = std::min(sequence, group.next);
    if (sequence == UINT64_MAX) return;
    // Of the groups waiting for it, about one worker's share of their cost (as measured on their
    // last batch), the costliest first: the workers split a batch's types between them and
    // each walks the batch chunk by chunk with all of its types, while the chunk is in its cache.
    uint64_t total = 0;
    for (size_t g = 0; g < m_Groups.size(); ++g)
        if (!m_Groups[g].running && m_Groups[g].next == sequence)
        {
            bundle.push_back(g);
            total += m_Groups[g].lastCostNs + 1;
        }
    std::sort(bundle.begin(), bundle.end(),
              [&](size_t x, size_t y) { return m_Groups[x].lastCostNs > m_Groups[y].lastCostNs; });
    const uint64_t share = total / m_Threads.size();
    uint64_t taken = 0;
    size_t n = 0;
    while (n < bundle.size() && (n == 0 || taken < share)) taken += m_Groups[bundle[n++]].lastCostNs + 1;
    bundle.resize(n);
    // Within a chunk the types run in list order.
    std::sort(bundle.begin(), bundle.end());
}

void KRawParallelScan::Worker()
{
    std::vector<size_t> bundle, spare;
    std::vector<uint64_t> costs;
    std::vector<std::shared_ptr<const void>> kept;
    std::unique_lock<std::mutex> lock(m_Lock);
    for (;;)
    {
        ++m_Idle;
        m_WorkReady.wait(lock, [&] {
            if (m_bQuit) return true;
            if (m_bAbort) return false;
            PickBundle(bundle);
            return !bundle.empty();
        });
        --m_Idle;
        if (m_bQuit) return;
        tagBatch& batch = Batch(m_Groups[bundle.front()].next);
        for (size_t g : bundle) m_Groups[g].running = true;
        // What this bundle leaves over is for an idle worker.
        if (m_Idle > 0)
        {
            PickBundle(spare);
            if (!spare.empty()) m_WorkReady.notify_one();
        }
        lock.unlock();
        costs.assign(bundle.size(), 0);
        ScanBatch(bundle, batch, costs);
        lock.lock();
        if (batch.submitted && batch.groupsDone + bundle.size() == m_Groups.size())
        {
            // The caller's buffers go back as soon as no group needs them any more (the
            // read-ahead reuses them), before the batch counts as done: once its hits are
            // handed on, nothing of it is held. The bundle still counts as running, so an
            // Abort waits for this.
            for (tagChunk& chunk : batch.chunks) kept.push_back(std::move(chunk.keep));
            lock.unlock();
            kept.clear();
            lock.lock();
        }
        for (size_t i = 0; i < bundle.size(); ++i)
        {
            tagGroup& group = m_Groups[bundle[i]];
            group.running = false;
            group.lastCostNs = costs[i];
            ++group.next;
        }
        batch.groupsDone += bundle.size();
        // Wake-ups only where they can change something: every wake-up is a context switch.
        if (m_bAbort || (BatchDone(batch) && m_WaitFor != kNotWaiting && DoneThrough(m_WaitFor)))
            m_BatchDone.notify_all();
    }
}

void KRawParallelScan::ScanBatch(const std::vector<size_t>& bundle, tagBatch& batch, std::vector<uint64_t>& costs)
{
    // Only this worker touches the bundle's hit lists; the batch's bytes and chunks stay as
    // they are until every group is done with it.
    KRawFileArray hits;
    for (uint32_t c = 0; c < batch.chunks.size(); ++c)
    {
        if (m_bAbort) return;
        const tagChunk& chunk = batch.chunks[c];
        const RawScanArgs args{chunk.first, chunk.data, chunk.sectors, m_dwBytesPerSector, m_pVolume};
        for (size_t i = 0; i < bundle.size(); ++i)
        {
            std::vector<tagFound>& out = batch.found[bundle[i]];
            // The cost is sampled on every fourth chunk: reading the clock is not free either.
            const bool timed = c % 4 == 0;
            const auto start = timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
            for (int t : m_Groups[bundle[i]].types)
            {
                hits.Clear();
                m_Types[static_cast<size_t>(t)]->Scan(&args, &hits);
                for (int h = 0; h < hits.GetCount(); ++h)
                {
                    tagFound f{c, t, {}, {}};
                    if (!hits.GetAt(h, &f.hit)) continue;
                    try
                    {
                        f.text = HitMetadataText(m_Types[static_cast<size_t>(t)], f.hit.firstSector);
                        out.push_back(std::move(f));
                    }
                    catch (const std::bad_alloc&)
                    {
                        // Lost like a hit the type's own list could not hold.
                    }
                }
            }
            if (timed)
                costs[i] += static_cast<uint64_t>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                        .count());
        }
    }
}

void KRawParallelScan::Submit()
{
    Batch(m_Filling).submitted = true;
    ++m_Filling;
    m_WorkReady.notify_all();
}

void KRawParallelScan::ResetBatch(tagBatch& b)
{
    for (std::vector<tagFound>& f : b.found) f.clear();
    b.chunks.clear();
    b.copied = 0;
    b.used = 0;
    b.keptBuffers = 0;
    b.submitted = false;
    b.groupsDone = 0;
    b.inUse = false;
}

void KRawParallelScan::MergeOldest(std::unique_lock<std::mutex>& lock, const Sink& sink)
{
    tagBatch& b = Batch(m_Oldest);
    lock.unlock();
    // Every (chunk, type) pair's hits come from one group, in the order the type reported them;
    // a stable sort by chunk and type gives the order of one thread.
    std::vector<tagFound> all;
    size_t count = 0;
    for (const std::vector<tagFound>& f : b.found) count += f.size();
    try
    {
        all.reserve(count);
        for (const std::vector<tagFound>& f : b.found) all.insert(all.end(), f.begin(), f.end());
        std::stable_sort(all.begin(), all.end(), [](const tagFound& x, const tagFound& y) {
            return x.chunk != y.chunk ? x.chunk < y.chunk : x.typeIndex < y.typeIndex;
        });
    }
    catch (const std::bad_alloc&)
    {
        VlmTrace("Deep scan: no memory to merge %zu hits; they are lost\n", count);
        all.clear();
    }
    if (sink)
        for (const tagFound& f : all) sink(f.typeIndex, f.hit, f.text);
    lock.lock();
    ResetBatch(b);
    ++m_Oldest;
}

bool KRawParallelScan::Add(int64_t first, const uint8_t* buffer, uint32_t sectors,
                           const std::shared_ptr<const void>& keep, const Sink& sink)
{
    const size_t bytes = size_t{sectors} * m_dwBytesPerSector;
    if (m_Groups.empty() || bytes > m_BatchBytes) return false;
    std::unique_lock<std::mutex> lock(m_Lock);
    // Hand on what is finished, then make room for the batch being filled.
    while (m_Oldest < m_Filling && BatchDone(Batch(m_Oldest))) MergeOldest(lock, sink);
    tagBatch* b = nullptr;
    for (;;)
    {
        if (m_Filling - m_Oldest >= m_Batches.size())
        {
            // Every batch is in use: sleep until the older half is done and hand it on at once,
            // rather than waking for each batch.
            WaitDoneThrough(lock, m_Oldest + std::max<size_t>(m_Batches.size() / 2, 1) - 1);
            while (m_Oldest < m_Filling && BatchDone(Batch(m_Oldest))) MergeOldest(lock, sink);
        }
        b = &Batch(m_Filling);
        if (!b->inUse)
        {
            b->inUse = true;
            b->sequence = m_Filling;
        }
        // A batch being filled holds at most two kept buffers, the ones just handed over: the
        // caller may be waiting for the one before them to come back.
        const bool another = keep && !b->chunks.empty() && !SameOwner(b->chunks.back().keep, keep);
        if (b->used + bytes <= m_BatchBytes && !(another && b->keptBuffers >= 2)) break;
        Submit();
    }
    lock.unlock();
    // Only this thread touches the batch being filled. The copies fit: copied <= used.
    const uint8_t* data = buffer;
    if (!keep)
    {
        if (b->bytes.size() < m_BatchBytes)
        {
            try
            {
                b->bytes.resize(m_BatchBytes);
            }
            catch (const std::bad_alloc&)
            {
                // Nothing taken: the caller flushes and scans the chunk itself.
                return false;
            }
        }
        std::memcpy(b->bytes.data() + b->copied, buffer, bytes);
        data = b->bytes.data() + b->copied;
        b->copied += bytes;
    }
    if (keep && (b->chunks.empty() || !SameOwner(b->chunks.back().keep, keep))) ++b->keptBuffers;
    b->chunks.push_back({first, sectors, data, keep}); // within the room reserved by Start
    b->used += bytes;
    if (m_BatchBytes - b->used < bytes)
    {
        lock.lock();
        Submit();
    }
    return true;
}

void KRawParallelScan::Flush(const Sink& sink)
{
    if (m_Groups.empty()) return;
    std::unique_lock<std::mutex> lock(m_Lock);
    // The batch being filled, unless every batch is already submitted (then the slot after the
    // last one is the oldest, still in use).
    if (tagBatch& b = Batch(m_Filling); b.inUse && !b.submitted && !b.chunks.empty()) Submit();
    if (m_Oldest == m_Filling) return;
    WaitDoneThrough(lock, m_Filling - 1);
    while (m_Oldest < m_Filling) MergeOldest(lock, sink);
}

bool KRawParallelScan::DoneThrough(uint64_t sequence) const
{
    for (uint64_t s = m_Oldest; s <= sequence; ++s)
        if (!BatchDone(m_Batches[s % m_Batches.size()])) return false;
    return true;
}

void KRawParallelScan::WaitDoneThrough(std::unique_lock<std::mutex>& lock, uint64_t sequence)
{
    m_WaitFor = sequence;
    m_BatchDone.wait(lock, [&] { return DoneThrough(sequence); });
    m_WaitFor = kNotWaiting;
}

void KRawParallelScan::Abort()
{
    if (m_Groups.empty()) return;
    std::unique_lock<std::mutex> lock(m_Lock);
    m_bAbort = true;
    m_BatchDone.wait(lock, [&] {
        return std::none_of(m_Groups.begin(), m_Groups.end(), [](const tagGroup& g) { return g.running; });
    });
    for (tagBatch& b : m_Batches) ResetBatch(b);
    for (tagGroup& g : m_Groups) g.next = 0;
    m_Oldest = m_Filling = 0;
    m_bAbort = false;
}
