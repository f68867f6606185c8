#include "core/CRecoveryLauncher.h"

#include <cstdio>
#include <vector>

#include "base/VlmErrors.h"
#include "core/CFileTypeTree.h"
#include "core/CGlobalParamTable.h"
#include "core/CScanDriver.h"
#include "core/CScanResultStore.h"
#include "core/TextFormat.h"
#include "fs/IFileSystem.h"
#include "fs/UnreadableFiles.h"
#include "raw/KRawFileSystem.h"
#include "core/VlmStrings.h"
#include "volume/IVolumeIO.h"
#include "volume/VolumeTypes.h"

void CRecoveryLauncher::RefreshDevices()
{
    m_Session.DropFileSystems();
    m_Session.SetSelectedVolumeIndex(-1);
    KVolumeManager& volumes = m_Session.VolumeManager();
    m_Session.Port().RunProgress(VlmString(IDS_SCANNING_DEVICES), false, [&](IProgress_Client* client) {
        volumes.SetClient(client);
        volumes.ScanVolumes();
        volumes.SetClient(nullptr);
    });
    if (volumes.GetVolumeCount() == 0) m_Session.Port().ShowError(VlmString(IDS_NO_DEVICE));
}

bool CRecoveryLauncher::ChooseModule(EModule module)
{
    const EView view = m_Session.GetView();
    if (view == EView::Partitions || view == EView::Files)
    {
        if (module == m_Session.GetModule()) return true;
        if (!m_Session.Port().AskYesNo(
                FormatText(VlmString(IDS_CLOSE_MODULE), CGlobalParamTable::ModuleName(m_Session.GetModule()))))
            return false;
    }
    RefreshDevices();
    m_Session.SetModule(module);
    m_Session.SetView(module == EModule::Resume ? EView::Resume : EView::Devices);
    return true;
}

bool CRecoveryLauncher::BackToDevices()
{
    if (!m_Session.Port().AskYesNo(VlmString(IDS_BACK_TO_DEVICES))) return false;
    RefreshDevices();
    m_Session.SetView(EView::Devices);
    return true;
}

bool CRecoveryLauncher::CheckDevice(int volumeIndex)
{
    KVolumeManager& volumes = m_Session.VolumeManager();
    IVolumeIO* volume = volumeIndex >= 0 ? volumes.GetVolumeIO(static_cast<size_t>(volumeIndex)) : nullptr;
    if (!volume)
    {
        m_Session.Port().ShowInformation(VlmString(IDS_SELECT_DEVICE));
        return false;
    }
    if (m_Session.GetModule() != EModule::DeepScan)
    {
        // The FAT and NTFS readers work in the sectors disks have (512 bytes, 4096 on "4Kn"
        // drives and many USB enclosures); optical discs carry neither file system.
        tagDiskGeometry geometry{};
        uint32_t kind = DEVICE_HARDDISK;
        const uint32_t bps = volume->GetGeometry(&geometry) == ERROR_SUCCESS ? geometry.BytesPerSector : 0;
        if (volume->GetDeviceKind(&kind) != ERROR_SUCCESS || kind == DEVICE_CDROM ||
            (bps != 512 && bps != 1024 && bps != 2048 && bps != 4096))
        {
            m_Session.Port().ShowInformation(VlmString(IDS_DEVICE_NOT_SUPPORTED));
            return false;
        }
    }
    m_Session.SetSelectedVolumeIndex(volumeIndex);
    return true;
}

int CRecoveryLauncher::RecoverButton(int volumeIndex)
{
    if (!CheckDevice(volumeIndex)) return 0;
    switch (m_Session.GetModule())
    {
    case EModule::Undelete: return StartRecovery(true, false, false, false);
    case EModule::Advanced: return StartRecovery(false, false, false, false);
    case EModule::DeepScan:
    {
        CFileTypeTree types(m_Session.RawTypes());
        if (!m_Session.Port().ChooseDeepScanTypes(types)) return 0;
        return StartRecovery(false, true, true, false);
    }
    default: return 0;
    }
}

int CRecoveryLauncher::OpenButton(int volumeIndex)
{
    if (m_Session.GetModule() != EModule::Advanced || !CheckDevice(volumeIndex)) return 0;
    return StartRecovery(false, false, false, true);
}

EModule CRecoveryLauncher::WizardModule(int volumeIndex, bool onlyDeletion)
{
    IVolumeIO* volume =
        volumeIndex >= 0 ? m_Session.VolumeManager().GetVolumeIO(static_cast<size_t>(volumeIndex)) : nullptr;
    uint32_t type = 0;
    if (volume && volume->GetVolumeType(&type) == ERROR_SUCCESS && type == static_cast<uint32_t>(VOLUME_PHYSICAL))
        return EModule::DeepScan;
    return onlyDeletion ? EModule::Undelete : EModule::Advanced;
}

int CRecoveryLauncher::StartFromWizard(int volumeIndex, bool onlyDeletion, EDeepScanChoice deepScan)
{
    m_Session.SetSelectedVolumeIndex(volumeIndex);
    if (!m_Session.GetSelectedVolume())
    {
        m_Session.SetView(EView::Devices);
        return 0;
    }
    m_Session.SetModule(WizardModule(volumeIndex, onlyDeletion));
    const int result =
        StartRecovery(onlyDeletion, deepScan != EDeepScanChoice::DoNotUse, deepScan == EDeepScanChoice::Only, false);
    if (!result) m_Session.SetView(EView::Devices);
    return result;
}

int CRecoveryLauncher::StartRecovery(bool undeleteOnly, bool deepScan, bool deepScanOnly, bool openOnly)
{
    m_Session.DropFileSystems();
    if (!m_Session.GetSelectedVolume())
    {
        m_Session.Port().ShowWarning(VlmString(IDS_INTERNAL_ERROR));
        return 0;
    }
    if (undeleteOnly || openOnly) return StartSingle(openOnly);
    return StartScan(deepScan, deepScanOnly);
}

int CRecoveryLauncher::StartSingle(bool openOnly)
{
    KFileSystemMgr& manager = m_Session.FileSystemMgr();
    IVolumeIO* volume = m_Session.GetSelectedVolume();
    IFileSystem* fs = manager.CreateForVolume(volume);
    const tagVolumeInfo& record =
        m_Session.VolumeManager().GetVolumeInfo(static_cast<size_t>(m_Session.GetSelectedVolumeIndex()));
    if (record.PartitionType == FS_TYPE_NONE)
    {
        // Nothing on this volume can be opened directly; leave nothing behind for a save.
        manager.DeleteAll();
        fs = nullptr;
        if (openOnly)
        {
            m_Session.Port().ShowInformation(VlmString(IDS_OPEN_FAILED_FULL_SCAN));
            return 0;
        }
    }
    if (!fs)
    {
        m_Session.Port().ShowInformation(VlmString(IDS_OPEN_FAILED_USE_ADVANCED));
        return 0;
    }
    fs->SetVolume(volume);
    const uint32_t code = RunSelectPhase(m_Session, fs, FS_CANDIDATE_VOLUME);
    if (code != ERROR_SUCCESS && code != ERROR_CANCELLED)
        m_Session.Port().ShowInformation(VlmString(IDS_OPEN_FAILED_RUN_ADVANCED));
    m_Session.ClearTrees();
    RunBuildPhase(m_Session, fs, &m_Session.GetFileTree());
    m_Session.SetCurrentFileSystem(fs);
    // A volume read directly is only shown: its tree is saved when asked, not by the views.
    m_Session.SetResultName("");
    m_Session.SetView(EView::Files);
    return 1;
}

int CRecoveryLauncher::StartScan(bool deepScan, bool deepScanOnly)
{
    std::vector<uint32_t> kinds;
    if (deepScanOnly)
        kinds = {KFileSystemMgr::kKindRaw};
    else if (deepScan)
        kinds = {KFileSystemMgr::kKindFat32, KFileSystemMgr::kKindNtfs, KFileSystemMgr::kKindExFat,
                 KFileSystemMgr::kKindRaw};
    else
        kinds = {KFileSystemMgr::kKindFat32, KFileSystemMgr::kKindNtfs, KFileSystemMgr::kKindExFat};
    IVolumeIO* volume = m_Session.GetSelectedVolume();
    std::vector<IFileSystem*> list;
    for (uint32_t kind : kinds)
    {
        IFileSystem* fs = m_Session.FileSystemMgr().Create(kind);
        if (!fs) return 0;
        fs->SetVolume(volume);
        list.push_back(fs);
    }
    CScanDriver driver(deepScanOnly ? EScanWindow::Deep : EScanWindow::Device, &m_Session.Port(), &m_Session.Clock());
    const EScanResult result = driver.Run(volume, list);
    m_Session.UnreadableSectors() = driver.Unreadable();
    if (result != EScanResult::Ok) return 0;
    for (IFileSystem* fs : list)
        if (const auto* raw = dynamic_cast<const KRawFileSystem*>(fs); raw && raw->DroppedHits() > 0)
            m_Session.Port().ShowWarning(FormatText(VlmString(IDS_DEEP_SCAN_HIT_LIMIT), raw->HitLimit(),
                                                    static_cast<unsigned long long>(raw->DroppedHits())));
    // Every scan is a result of its own, never written over another one.
    CScanResultStore results(m_Session);
    results.BeginNewResult(driver.CutShort());
    if (!deepScanOnly)
    {
        m_Session.SetView(EView::Partitions);
        results.AutoSave();
        return 1;
    }
    IFileSystem* raw = list.front();
    uint32_t found = 0;
    if (!raw->GetCandidateCount(&found) || found == 0)
    {
        m_Session.Port().ShowInformation(VlmString(IDS_DEEP_SCAN_NOTHING));
        return 0;
    }
    RunLoadPhases(m_Session, raw, 0);
    m_Session.SetCurrentFileSystem(raw);
    m_Session.SetView(EView::Partitions);
    results.AutoSave();
    return 1;
}

uint32_t CRecoveryLauncher::RunSelectPhase(CGlobalParamTable& session, IFileSystem* fs, uint32_t candidate)
{
    uint32_t code = ERROR_SUCCESS;
    session.Port().RunProgress(VlmString(IDS_READING_FILES), false, [&](IProgress_Client* client) {
        fs->SetClient(client);
        code = fs->SelectCandidate(candidate);
        fs->SetClient(nullptr);
    });
    return code;
}

uint32_t CRecoveryLauncher::RunBuildPhase(CGlobalParamTable& session, IFileSystem* fs, KNodeTree* tree)
{
    uint32_t code = ERROR_SUCCESS;
    session.Port().RunProgress(VlmString(IDS_BUILDING_TREE), false, [&](IProgress_Client* client) {
        fs->SetClient(client);
        code = fs->BuildTree(tree);
        // Sectors the scan could not read mark the files whose data lies on them.
        if (code == ERROR_SUCCESS) MarkUnreadableFiles(*fs, *tree, session.UnreadableSectors());
        fs->SetClient(nullptr);
    });
    tree->PruneEmptyFolders();
    return code;
}

uint32_t CRecoveryLauncher::RunLoadPhases(CGlobalParamTable& session, IFileSystem* fs, uint32_t candidate)
{
    RunSelectPhase(session, fs, candidate);
    session.ClearTrees();
    return RunBuildPhase(session, session.JoinDeepScan(fs), &session.GetFileTree());
}
