#pragma once
// The recovery session as plain state: the volumes found, the chosen module and volume, the file
// systems of the current recovery with their trees, the recovery page's view, and where this
// session's scan result is saved automatically. One instance lives as long as the program.
// Saving, loading and naming scan results is CScanResultStore's.
//
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/IMonotonicClock.h"
#include "core/IUserPort.h"
#include "core/RecoveryModule.h"
#include "engine/KFileSystemMgr.h"
#include "fs/KNodeTree.h"
#include "fs/KSectorRanges.h"
#include "volume/KVolumeManager.h"

class IFileSystem;
class IVolumeIO;
class KJoinedFileSystem;
class KRawScanMgr;

class CGlobalParamTable
{
public:
    /// `port` answers the dialogs (not owned, must outlive the session); `clock` defaults to
    /// the steady clock.
    explicit CGlobalParamTable(IUserPort* port, IMonotonicClock* clock = nullptr);
    ~CGlobalParamTable();
    CGlobalParamTable(const CGlobalParamTable&) = delete;
    CGlobalParamTable& operator=(const CGlobalParamTable&) = delete;

    /// "Undelete Recovery", ... ; "" for a value that is no module.
    static const char* ModuleName(EModule module);
    static const char* ModuleDescription(EModule module);

    IUserPort& Port() { return *m_pPort; }
    IMonotonicClock& Clock() { return *m_pClock; }

    KVolumeManager& VolumeManager() { return m_VolumeManager; }
    KFileSystemMgr& FileSystemMgr() { return *m_pFileSystems; }
    /// The deep scan's file types; the list (with the user's choices) lives while the session does.
    KRawScanMgr& RawTypes();

    EModule GetModule() const { return m_Module; }
    void SetModule(EModule module) { m_Module = module; }
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
    /// The file system whose tree is shown as SetCurrentFileSystem set it (never the view).
    IFileSystem* GetCurrentBaseFileSystem() const { return m_pCurrentFs; }
    /// Replaces the file systems, the trees, the selected volume and the module at once by
    /// those of a loaded scan result; `joined` is the view JoinDeepScan made over `current`.
    /// The old trees go before the file systems whose records they point at.
    void AdoptResult(std::unique_ptr<KFileSystemMgr> fileSystems, IFileSystem* current,
                     std::unique_ptr<KJoinedFileSystem> joined, std::unique_ptr<KNodeTree> tree, int volume,
                     EModule module);

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

    /// Where automatic saves of this session's scan go; empty when nothing is to be saved
    /// unless asked (a result that was loaded, or a volume only read directly).
    const std::string& GetResultName() const { return m_strResultName; }
    void SetResultName(const std::string& name) { m_strResultName = name; }
    /// Whether the session's scan was cut short before the end of the volume.
    bool IsPartialResult() const { return m_bPartialResult; }
    void SetPartialResult(bool partial) { m_bPartialResult = partial; }
    /// The automatic result whose refusal or failed save the user was last told of (told once).
    const std::string& GetRefusedResultName() const { return m_strRefusedResultName; }
    void SetRefusedResultName(const std::string& name) { m_strRefusedResultName = name; }

    EView GetView() const { return m_View; }
    /// Switches the recovery page (the port shows it). Saves nothing: the callers that enter a
    /// result view with a scan of their own save it through CScanResultStore::AutoSave.
    void SetView(EView view);

    /// The physical device the selected volume lies on (its first extent's), as described by it.
    std::string SelectedDeviceName();

private:
    IUserPort* m_pPort;
    IMonotonicClock* m_pClock;
    KVolumeManager m_VolumeManager;
    EModule m_Module = EModule::Undelete;
    int32_t m_nSelectedVolume = -1;
    std::unique_ptr<KFileSystemMgr> m_pFileSystems;
    IFileSystem* m_pCurrentFs = nullptr;
    std::unique_ptr<KJoinedFileSystem> m_pJoined; // the view of JoinDeepScan, over m_pCurrentFs
    std::unique_ptr<KNodeTree> m_pFileTree;
    std::unique_ptr<KNodeTree> m_pFilteredTree;
    std::function<void()> m_TreesChanging;
    KNodeTree* m_pCurrentTree = nullptr;
    std::string m_strResultName;
    bool m_bPartialResult = false;
    std::string m_strRefusedResultName;
    EView m_View = EView::Devices;
    std::unique_ptr<KRawScanMgr> m_pRawTypes;
    KSectorRanges m_UnreadableSectors;
};
