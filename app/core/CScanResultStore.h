#pragma once
// Scan results on disk for one session: saving the session to a result file, loading one back
// into it, the automatic save of a scan the user waited for, and the resume folder where those
// automatic results live.
//
// Every scan is saved under a name of its own in the resume folder (module, device, volume, date
// and time), so that no scan replaces another; the newest kKeptAutomaticResults automatically
// named results are kept, and results named by their user are never deleted. A result that was
// loaded, or a volume only read directly, is not saved unless asked.
//
// The store keeps no state of its own: what it needs between calls (the automatic name, the
// partial flag, the refusal already told) is the session's.
#include <cstdint>
#include <string>

class CGlobalParamTable;
struct tagSaveTime;

class CScanResultStore
{
public:
    explicit CScanResultStore(CGlobalParamTable& session) : m_Session(session) {}

    /// The folder of the program, where plug-ins are found (no trailing '/').
    static std::string ProgramFolder();
    /// Where scan results are saved: $VLM_RESUME_DIR when set, else
    /// $XDG_DATA_HOME/vellumar/ResumeRecovery, else ~/.local/share/vellumar/ResumeRecovery.
    static std::string ResumeFolder();
    /// Automatically named results kept in the resume folder; older ones are deleted.
    static constexpr size_t kKeptAutomaticResults = 20;
    /// "<resume folder>/<module> - <device> - <volume> - <date> <time>[ (partial)].rrs" for the
    /// selected volume now, numbered when taken.
    std::string NewResultPath(bool partial);
    /// Names a new automatic result for the scan just made on the selected volume (a new
    /// file in the resume folder, marked partial when the scan was cut short).
    void BeginNewResult(bool partial);
    /// Whether a file or folder is at `path` (a result name is taken).
    static bool Exists(const std::string& path);
    /// "name (partial).rrs" beside "name.rrs", numbered when that is taken too; "" when all are.
    static std::string PartialResultPath(const std::string& path);

    /// Writes the whole session to `path`. 1, or 0 when there is nothing to save or any write
    /// failed; the file at `path` is replaced only by a complete result (a failed save leaves
    /// the previous file as it was).
    /// `automatic` marks the file as one of the automatically kept results.
    [[nodiscard]] int Save(const std::string& path, bool automatic = false);
    /// Replaces volume, module, file systems and trees by the stored ones and switches to the
    /// stored view. 1, or 0 when the file cannot be read, is damaged, or its volume is not
    /// attached exactly once; the session is then left exactly as it was.
    [[nodiscard]] int Load(const std::string& path);
    /// 1 when `path` is a readable scan result; fills whichever outputs are given.
    static int ReadHeader(const std::string& path, std::string* description, tagSaveTime* time, uint32_t* module,
                          uint32_t* volumeType);
    /// Saves to the session's result name, when there is one and a result view is shown, then
    /// deletes the automatically named results beyond the newest kKeptAutomaticResults. Called
    /// whenever a result view of a scan is entered. 1 when saved, 0 when there was nothing to
    /// save or the save failed (the user is told once per result).
    int AutoSave();

private:
    int LoadInto(const std::string& path);
    void PruneAutomaticResults(const std::string& folder);

    CGlobalParamTable& m_Session;
};
