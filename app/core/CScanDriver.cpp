#include "core/CScanDriver.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "base/VlmErrors.h"
#include "core/CReadAhead.h"
#include "base/VlmTrace.h"
#include "device/IDeviceIO.h"
#include "fs/IFileSystem.h"
#include "core/VlmStrings.h"
#include "volume/IVolumeIO.h"

namespace {

std::string Format(const char* format, auto... args)
{
    char text[128];
    std::snprintf(text, sizeof(text), format, args...);
    return text;
}

} // namespace

CScanDriver::CScanDriver(EScanWindow kind, IUserPort* port, IMonotonicClock* clock)
    : m_Kind(kind), m_pPort(port), m_pClock(clock ? clock : KSteadyClock::Instance())
{}

const char* CScanDriver::TracePrefix() const
{
    return m_Kind == EScanWindow::Device ? "CScanningDevice" : "CDeepScanningDlg";
}

std::string CScanDriver::RemainingTimeText(int64_t elapsedSeconds, int64_t position, int64_t total)
{
    const double estimate = static_cast<double>(total - position + 1) * static_cast<double>(elapsedSeconds) /
        static_cast<double>(position + 1);
    if (!(estimate >= 0.5) || estimate > 2147483647.0) return {};
    const auto r = static_cast<int64_t>(std::llround(estimate));
    const int hours = static_cast<int>(r / 3600);
    const int minutes = static_cast<int>((r % 3600) / 60);
    if (hours > 0) return Format(VlmString(IDS_HOURS_MINUTES), hours, minutes);
    if (minutes > 0) return Format(VlmString(IDS_ABOUT_MINUTES), minutes);
    return VlmString(IDS_LESS_THAN_MINUTE);
}

std::vector<std::pair<std::string, std::string>> CScanDriver::CounterRows(EScanWindow kind, const tagScanDisplay& d)
{
    auto n = [](uint64_t v) { return std::to_string(v); };
    std::vector<std::pair<std::string, std::string>> rows;
    if (kind == EScanWindow::Device)
    {
        rows = {{VlmString(IDS_FAT_FILES), n(d.Stats.dwFatFiles)},
                {VlmString(IDS_FAT_FOLDERS), n(d.Stats.dwFatFolders)},
                {VlmString(IDS_FAT_PART_FOLDERS), n(d.Stats.dwFatPartFolders)},
                {VlmString(IDS_FAT_DBR), n(d.Stats.dwFatBootRecords)},
                {VlmString(IDS_NTFS_FILES), n(d.Stats.dwNtfsFiles)},
                {VlmString(IDS_NTFS_BOOT), n(d.Stats.dwNtfsBootRecords)},
                {VlmString(IDS_TOTAL_FILES), n(uint64_t(d.Stats.dwFatFiles) + d.Stats.dwNtfsFiles)}};
    }
    else
    {
        rows = {{VlmString(IDS_FILES_FOUND), n(d.Stats.dwRawFiles)}};
    }
    rows.emplace_back(VlmString(IDS_READING_ERROR), n(d.u64ReadErrors));
    rows.emplace_back(VlmString(IDS_REMAINING_TIME), d.strRemaining);
    return rows;
}

EScanResult CScanDriver::Run(IVolumeIO* volume, const std::vector<IFileSystem*>& fileSystems)
{
    m_Display = tagScanDisplay{};
    m_Unreadable.Clear();
    m_bHidden = false;
    m_bAbandon = false;
    m_bCutShort = false;
    m_Result = EScanResult::Ok;
    if (fileSystems.empty() || !volume) return EScanResult::Ok;

    tagDiskGeometry geometry{};
    if (volume->GetGeometry(&geometry) != ERROR_SUCCESS || geometry.BytesPerSector == 0)
    {
        VlmTrace("%s: the volume's geometry cannot be read\n", TracePrefix());
        return EScanResult::Abandoned;
    }
    const auto total = static_cast<int64_t>(geometry.TotalSectors);
    m_dwChunk = kChunkSectors;
    uint32_t deviceKind = DEVICE_HARDDISK;
    if (volume->GetDeviceKind(&deviceKind) == ERROR_SUCCESS && deviceKind == DEVICE_FLOPPY &&
        geometry.SectorsPerTrack > 0)
        m_dwChunk = geometry.SectorsPerTrack;

    m_pPort->OpenScanWindow(m_Kind);
    m_Display.s64Total = total;
    ScanLoop(volume, fileSystems, total, geometry.BytesPerSector);

    if (!m_bHidden || !m_bAbandon)
    {
        VlmTrace("%s::IsCanceled()==FALSE\n", TracePrefix());
        m_Result = EScanResult::Ok;
    }
    else
    {
        VlmTrace("%s::IsCanceled()==TRUE\n", TracePrefix());
        m_Result = EScanResult::Abandoned;
    }
    VlmTrace("%s::progressDlg.CreatedDialog\n", TracePrefix());
    FinishFileSystems(fileSystems);
    m_Display.s64Position = total;
    m_pPort->CloseScanWindow(m_Kind);
    return m_Result;
}

void CScanDriver::ScanLoop(IVolumeIO* volume, const std::vector<IFileSystem*>& fileSystems, int64_t total,
                           uint32_t bytesPerSector)
{
    // The next blocks are read on a thread of their own while the scanners work on this one.
    CReadAhead reader(*volume, total, bytesPerSector, m_dwChunk);
    if (!reader.Start())
    {
        // Nothing can be scanned; the user can only throw the scan away.
        VlmTrace("%s: no memory for the read buffer\n", TracePrefix());
        m_bHidden = true;
        m_bAbandon = true;
        return;
    }
    for (IFileSystem* fs : fileSystems) fs->SetVolume(volume);
    for (IFileSystem* fs : fileSystems) fs->Begin_ScanFS();
    ScanStats stats{};

    const uint64_t start = m_pClock->NowMs();
    uint64_t lastPump = start;
    uint64_t lastDisplay = start;
    int64_t s = 0;
    while (s < total && !m_bCutShort)
    {
        const CReadAhead::tagBlock* block = reader.Next();
        if (!block) break;
        // Scanners that go on working on the sectors after ScanFS returns hold this lease
        // instead of copying them.
        std::shared_ptr<const void> lease = reader.Lease();
        for (size_t c = 0; c < block->Bad.size() && s < total; ++c, s += m_dwChunk)
        {
            if (m_bHidden)
            {
                VlmTrace("IsWindowVisible==%d,IsWindow=%d", 0, 1);
                m_bCutShort = true;
                break;
            }
            if (m_pClock->NowMs() - lastPump > kPumpIntervalMs)
            {
                m_pPort->PumpEvents();
                lastPump = m_pClock->NowMs();
                HandleCancelRequest();
            }
            const auto n = static_cast<uint32_t>(std::min<int64_t>(m_dwChunk, total - s));
            const uint8_t* data = block->pData + static_cast<size_t>(s - block->s64First) * bytesPerSector;
            // A failed chunk was read again sector by sector: the scanners get every sector that
            // can be read (the bad ones as zeros, which no structure matches), and only the
            // unreadable sectors are counted.
            const uint32_t bad = block->Bad[c];
            if (bad > 0)
            {
                VlmTrace("%s::pVolumeIO->ReadSectors failed!\n", TracePrefix());
                m_Display.u64ReadErrors += bad;
                NoteUnreadable(block->Unreadable, static_cast<uint64_t>(s), n);
            }
            if (bad < n)
            {
                for (IFileSystem* fs : fileSystems) fs->ScanSharedFS(&stats, s, data, static_cast<int>(n), lease);
                m_Display.Stats = stats;
            }
            UpdateTexts(s, total, start);
            const uint64_t now = m_pClock->NowMs();
            if (now - lastDisplay >= kDisplayIntervalMs)
            {
                lastDisplay = now;
                m_Display.s64Position = s;
                m_pPort->UpdateScanWindow(m_Kind, m_Display);
            }
        }
        lease.reset();
        reader.Release();
    }
    reader.Stop();
    // The window shows the counters of the whole scan before it closes, not those of the last
    // update interval.
    if (!m_bHidden)
    {
        UpdateTexts(total, total, start);
        m_Display.s64Position = total;
        m_pPort->UpdateScanWindow(m_Kind, m_Display);
    }
}

void CScanDriver::NoteUnreadable(const KSectorRanges& found, uint64_t first, uint32_t count)
{
    // Only the chunk's own share: a scan cut short keeps no ranges of blocks read ahead of it.
    try
    {
        for (const KSectorRanges::Range& r : found.Ranges())
        {
            const uint64_t from = std::max(r.first, first);
            const uint64_t to = std::min(r.first + r.count, first + count);
            if (from < to) m_Unreadable.Add(from, to - from);
        }
    }
    catch (const std::bad_alloc&)
    {
        VlmTrace("%s: no memory to note unreadable sectors\n", TracePrefix());
    }
}

void CScanDriver::HandleCancelRequest()
{
    if (m_bHidden || !m_pPort->TakeScanCancelRequest()) return;
    switch (m_pPort->AskYesNoCancel(VlmString(IDS_CONTINUE_WITH_COLLECTED)))
    {
    case EAnswer::Yes: m_bHidden = true; break;
    case EAnswer::No:
        m_bAbandon = true;
        m_bHidden = true;
        break;
    case EAnswer::Cancel: break;
    }
}

void CScanDriver::UpdateTexts(int64_t position, int64_t total, uint64_t startMs)
{
    // An empty volume is done as soon as it starts.
    const double percent = total > 0 ? static_cast<double>(position) / static_cast<double>(total) * 100.0 : 100.0;
    m_Display.strProgress = Format("%.2f%%", percent);
    m_Display.strPosition = Format("%" PRId64 "/%" PRId64, position, total);
    const auto elapsed = static_cast<int64_t>((m_pClock->NowMs() - startMs) / 1000);
    m_Display.strRemaining = RemainingTimeText(elapsed, position, total);
}

void CScanDriver::FinishFileSystems(const std::vector<IFileSystem*>& fileSystems)
{
    const bool device = m_Kind == EScanWindow::Device;
    m_pPort->RunProgress(VlmString(IDS_CALCULATING_LAYOUT), true, [&](IProgress_Client* client) {
        if (device) VlmTrace("CScanningDevice::Function_EndScan\n");
        for (IFileSystem* fs : fileSystems)
        {
            fs->SetClient(client);
            if (m_Result == EScanResult::Ok)
            {
                VlmTrace("%s::End_ScanFS\n", TracePrefix());
                fs->End_ScanFS();
            }
            else
            {
                VlmTrace("%s::Begin_ScanFS\n", TracePrefix());
                fs->Begin_ScanFS();
            }
            fs->SetClient(nullptr);
        }
        if (device) VlmTrace("exit CScanningDevice::Function_EndScan\n");
    });
}
