#pragma once
// The recovery page's sequences: refreshing the device list, choosing a module, the device
// page's buttons with their checks, the scan launch (single file system, full scan, deep scan)
// and the two load phases that turn a chosen file system into the file tree.
#include <cstdint>

#include "core/RecoveryModule.h"

class CGlobalParamTable;
class IFileSystem;
class KNodeTree;

class CRecoveryLauncher
{
public:
    explicit CRecoveryLauncher(CGlobalParamTable& session) : m_Session(session) {}

    /// Enumerates the devices again under a progress window; an error when none is found.
    /// The file systems of the previous recovery are dropped first (they read from the volumes
    /// that the enumeration replaces), and no volume stays selected.
    void RefreshDevices();
    /// The start page's module buttons. While results are shown, switching to another module
    /// asks "Close %s?" first. False when nothing changed.
    bool ChooseModule(EModule module);
    /// The partition list's "Back to Devices List": asks, then refreshes and shows view 0.
    bool BackToDevices();

    /// The checks before a device-page button acts: a volume must be chosen, and outside Deep
    /// Scan Recovery it must be a disk (not an optical disc) of 512- to 4096-byte sectors. On
    /// success it becomes the selected volume.
    bool CheckDevice(int volumeIndex);
    /// "&Recover" / "&Full Scan" for the row of `volumeIndex`, by module.
    int RecoverButton(int volumeIndex);
    /// "&Open" (Advanced Recovery).
    int OpenButton(int volumeIndex);

    /// The recovery wizard's choice of deep scan.
    enum class EDeepScanChoice
    {
        Use,      // "Use Deep Scan function"
        DoNotUse, // "Do not use Deep Scan function"
        Only,     // "Use Deep Scan only"
    };
    /// The module the wizard runs for a volume: Deep Scan Recovery for a physical device, else
    /// Undelete Recovery when only accidental deletions are to be recovered, else Advanced.
    EModule WizardModule(int volumeIndex, bool onlyDeletion);
    /// The wizard's end: sets the module and starts the recovery of `volumeIndex`. Non-zero when
    /// a result view was reached; otherwise the device list is shown.
    int StartFromWizard(int volumeIndex, bool onlyDeletion, EDeepScanChoice deepScan);

    /// Runs the chosen recovery on the selected volume; non-zero when a result view was reached.
    int StartRecovery(bool undeleteOnly, bool deepScan, bool deepScanOnly, bool openOnly);

    /// "Reading files into memory...": SelectCandidate under a progress window. Its result.
    static uint32_t RunSelectPhase(CGlobalParamTable& session, IFileSystem* fs, uint32_t candidate);
    /// "Building virtual file system in memory...": BuildTree into `tree` under a progress
    /// window, the files on sectors the session could not read marked, then the empty folders
    /// pruned. BuildTree's result.
    static uint32_t RunBuildPhase(CGlobalParamTable& session, IFileSystem* fs, KNodeTree* tree);
    /// Both phases into the session's first tree, which becomes current.
    static uint32_t RunLoadPhases(CGlobalParamTable& session, IFileSystem* fs, uint32_t candidate);

private:
    int StartSingle(bool openOnly);
    int StartScan(bool deepScan, bool deepScanOnly);

    CGlobalParamTable& m_Session;
};
