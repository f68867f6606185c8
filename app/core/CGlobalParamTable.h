#pragma once
// The recovery session: the volumes found, the chosen module and volume, the file systems of the
// current recovery with their trees, the recovery page's view, and the scan-result files that
// save and restore all of it. One instance lives as long as the program.
//
// Views of the recovery page: 0 device list, 1 (unused), 2 partition list, 3 file list,
// 4 resume list. Entering view 2 or 3 saves the scan result automatically when the session holds
// a scan of its own (see BeginNewResult); a result that was loaded, or a volume only read
// directly, is not saved unless asked.
//
// Every scan is saved under a name of its own in the resume folder (module, device, volume, date
// and time), so that no scan replaces another; the newest kKeptAutomaticResults automatically
// named results are kept, and results named by their user are never deleted.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/IMonotonicClock.h"
#include "core/IUserPort.h"
#include "engine/KFileSystemMgr.h"
#include "fs/KNodeTree.h"
#include "fs/KSectorRanges.h"
#include "volume/KVolumeManager.h"

class IFileSystem;
class IVolumeIO;
class KJoinedFileSystem;
class KRawScanMgr;
struct tagSaveTime;

class CGlobalParamTable
{
public:
    enum Module : int32_t
    {
        kModuleUndelete = 0,
        kModuleAdvanced = 1,
        kModuleDeepScan = 2,
        kModuleResume = 3,
    };
    enum View : int32_t
    {
        kViewDevices = 0,
        kViewUnused = 1,
        kViewPartitions = 2,
        kViewFiles = 3,
        kViewResume = 4,
    };

    /// `port` answers the dialogs (not owned, must outlive the session); `clock` defaults to
    /// the steady clock.
    explicit CGlobalParamTable(IUserPort* port, IMonotonicClock* clock = nullptr);
    ~CGlobalParamTable();
    CGlobalParamTable(const CGlobalParamTable&) = delete;
    CGlobalParamTable& operator=(const CGlobalParamTable&) = delete;

    /// "Undelete Recovery", ... ; "" for a number that is no module.
    static const char* ModuleName(int module);
    static const char* ModuleDescription(int module);

    IUserPort& Port() { return *m_pPort; }
    IMonotonicClock& Clock() { return *m_pClock; }

    KVolumeManager& VolumeManager() { return m_VolumeManager; }
    KFileSystemMgr& FileSystemMgr() { return *m_pFileSystems; }
    /// The deep scan's file types; the list (with the user's choices) lives while the session does.
    KRawScanMgr& RawTypes();

    int GetModule() const { return m_nModule; }
    void SetModule(int module) { m_nModule = module; }
    void SetSelectedVolumeIndex(int index) { m_nSelectedVolume = index; }
    int GetSelectedVolumeIndex() const { return m_nSelectedVolume; }
    /// The volume object of the selected index; null when the index is negative or not below
    /// the number of volumes.
    IVolumeIO* GetSelectedVolume();

    /// The file system whose files are listed: the joined view over the current one and the
    /// deep scan when the tree shows both (see JoinDeepScan), else the current one.
    IFileSystem* GetCurrentFileSystem() const;
    /// The file system whose tree is shown, as a scan result stores it (never the view).
    void SetCurrentFileSystem(IFileSystem* fs) { m_pCurrentFs = fs; }
    /// The file system a tree of `fs` is built from: after a full scan that ran with a deep
    /// scan, a view that adds the deep scan's finds no file of `fs` holds (kept by the session
    /// until the next call or until the file systems go); else `fs` itself. Call with the
    /// trees cleared, since they may point at the previous view's folders.
    IFileSystem* JoinDeepScan(IFileSystem* fs);
    IProgress_Client* GetProgressObserver() const { return m_pProgressObserver; }
    void SetProgressObserver(IProgress_Client* observer) { m_pProgressObserver = observer; }

    KNodeTree& GetCurrentTree() { return *m_pCurrentTree; }
    KNodeTree& GetFileTree() { return *m_pFileTree; }
    KNodeTree& GetFilteredTree() { return *m_pFilteredTree; }
    /// Makes the filtered copy (true) or the full tree (false) the one the file list shows.
    void UseFilteredTree(bool filtered) { m_pCurrentTree = filtered ? m_pFilteredTree.get() : m_pFileTree.get(); }
    /// Empties both trees and makes the first current.
    void ClearTrees();
    /// Called before the trees are emptied or a filtered copy is made again: a view that
    /// shows their nodes lets go of them (a window may repaint while the next tree is built).
    void SetTreesChangingHandler(std::function<void()> handler) { m_TreesChanging = std::move(handler); }
    void TreesChanging()
    {
        if (m_TreesChanging) m_TreesChanging();
    }
    /// Drops the file systems of the previous recovery together with the trees into them.
    void DropFileSystems();

    /// Sectors of the selected volume (volume-relative) that the last scan could not read;
    /// emptied with the file systems.
    KSectorRanges& UnreadableSectors() { return m_UnreadableSectors; }

    /// Where automatic saves of this session's scan go; empty when nothing is to be saved.
    const std::string& GetResultName() const { return m_strResultName; }
    void SetResultName(const std::string& name) { m_strResultName = name; }
    /// Names a new automatic result for the scan just made on the selected volume (a new
    /// file in the resume folder, marked partial when the scan was cut short).
    void BeginNewResult(bool partial);
    /// Whether the session's scan was cut short before the end of the volume.
    bool IsPartialResult() const { return m_bPartialResult; }
    bool IsLoading() const { return m_nLoading != 0; }

    int GetView() const { return m_nView; }
    /// Switches the recovery page; entering view 2 or 3 saves the scan result automatically.
    void SetView(int view);

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
    /// The physical device the selected volume lies on (its first extent's), as described by it.
    std::string SelectedDeviceName();

    /// Writes the whole session to `path`. 1, or 0 when there is nothing to save or any write
    /// failed; the file at `path` is replaced only by a complete result (a failed save leaves
    /// the previous file as it was).
    /// `automatic` marks the file as one of the automatically kept results.
    int SaveScanResult(const std::string& path, bool automatic = false);
    /// Replaces volume, module, file systems and trees by the stored ones and switches to the
    /// stored view. 1, or 0 when the file cannot be read, is damaged, or its volume is not
    /// attached exactly once; the session is then left exactly as it was.
    int LoadScanResult(const std::string& path);
    /// 1 when `path` is a readable scan result; fills whichever outputs are given.
    static int ReadScanResultHeader(const std::string& path, std::string* description, tagSaveTime* time,
                                    uint32_t* module, uint32_t* volumeType);
    /// Saves to the result name, when there is one and a result view is shown, then deletes
    /// the automatically named results beyond the newest kKeptAutomaticResults.
    /// 1 when saved, 0 when there was nothing to save or the save failed.
    int AutoSaveScanResult();

private:
    int LoadInto(const std::string& path);
    void PruneAutomaticResults(const std::string& folder);

    IUserPort* m_pPort;
    IMonotonicClock* m_pClock;
    KVolumeManager m_VolumeManager;
    int32_t m_nModule = kModuleUndelete;
    int32_t m_nSelectedVolume = -1;
    std::unique_ptr<KFileSystemMgr> m_pFileSystems;
    IFileSystem* m_pCurrentFs = nullptr;
    std::unique_ptr<KJoinedFileSystem> m_pJoined; // the view of JoinDeepScan, over m_pCurrentFs
    IProgress_Client* m_pProgressObserver = nullptr;
    std::unique_ptr<KNodeTree> m_pFileTree;
    std::unique_ptr<KNodeTree> m_pFilteredTree;
    std::function<void()> m_TreesChanging;
    KNodeTree* m_pCurrentTree = nullptr;
    int32_t m_nLoading = 0;
    std::string m_strResultName;
    bool m_bPartialResult = false;
    int32_t m_nView = kViewDevices;
    std::unique_ptr<KRawScanMgr> m_pRawTypes;
    KSectorRanges m_UnreadableSectors;
    std::string m_strRefusedAutoSave; // the automatic result last refused or failed (said once)
};
