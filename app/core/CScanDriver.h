#pragma once
// The loop behind both scanning windows: reads the whole volume (in large blocks, read ahead on
// a thread of their own) and hands it in chunks to every file system of the pass, keeps the
// counters, the position, the remaining time and the read-error count for the window, pumps
// the front end's events and asks what to do when the user cancels. Then it finishes the file systems (or empties them, when the user threw the
// scan away) inside a progress window.
#include <cstdint>
#include <string>
#include <vector>

#include "core/IMonotonicClock.h"
#include "core/IUserPort.h"
#include "fs/KSectorRanges.h"

class IFileSystem;
class IVolumeIO;

/// How a scan ended: its results kept and finished, or thrown away (by the user, or because the
/// volume could not be read at all).
enum class EScanResult
{
    Ok = 1,
    Abandoned = 2,
};

class CScanDriver
{
public:
    static constexpr uint32_t kChunkSectors = 512;
    static constexpr uint64_t kPumpIntervalMs = 400;
    static constexpr uint64_t kDisplayIntervalMs = 1000;

    CScanDriver(EScanWindow kind, IUserPort* port, IMonotonicClock* clock);

    /// Scans `volume` into every file system of `fileSystems` (in list order) and finishes
    /// them. Ok, or Abandoned when the user chose to throw the results away or the volume
    /// cannot be read at all. Without file systems or volume: Ok.
    [[nodiscard]] EScanResult Run(IVolumeIO* volume, const std::vector<IFileSystem*>& fileSystems);

    /// The texts and counters as last computed (shown at most once a second).
    const tagScanDisplay& Display() const { return m_Display; }
    /// Sectors read per step.
    uint32_t ChunkSectors() const { return m_dwChunk; }
    /// Sectors that could not be read (each counted once in ReadErrors).
    uint64_t ReadErrors() const { return m_Display.u64ReadErrors; }
    /// Whether the user stopped the scan before the end of the volume and kept what it found.
    bool CutShort() const { return m_bCutShort; }
    /// Where they lie, volume-relative.
    const KSectorRanges& Unreadable() const { return m_Unreadable; }

    /// The remaining-time text after `elapsedSeconds` at sector `position` of `total`:
    /// "%d hours %d minutes", "about %d minutes", "less than 1 minute." or empty.
    static std::string RemainingTimeText(int64_t elapsedSeconds, int64_t position, int64_t total);
    /// The rows of a scanning window: label and value, in display order.
    static std::vector<std::pair<std::string, std::string>> CounterRows(EScanWindow kind,
                                                                        const tagScanDisplay& display);

private:
    void ScanLoop(IVolumeIO* volume, const std::vector<IFileSystem*>& fileSystems, int64_t total,
                  uint32_t bytesPerSector);
    void NoteUnreadable(const KSectorRanges& found, uint64_t first, uint32_t count);
    void HandleCancelRequest();
    void UpdateTexts(int64_t position, int64_t total, uint64_t startMs);
    void FinishFileSystems(const std::vector<IFileSystem*>& fileSystems);
    const char* TracePrefix() const;

    EScanWindow m_Kind;
    IUserPort* m_pPort;
    IMonotonicClock* m_pClock;
    tagScanDisplay m_Display;
    KSectorRanges m_Unreadable;
    uint32_t m_dwChunk = kChunkSectors;
    bool m_bHidden = false;   // the window ended (user answered Yes or No)
    bool m_bAbandon = false;  // the user answered No: throw the results away
    bool m_bCutShort = false; // the loop ended before the end of the volume
    EScanResult m_Result = EScanResult::Ok;
};
