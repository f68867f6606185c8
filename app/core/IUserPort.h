#pragma once
// What the application core asks of a front end. Every dialog, message box and progress window
// of the recovery sequences goes through this one interface: the command line answers it on the
// terminal, the desktop front end with windows, tests with a scripted fake that records every
// message. The core decides and words everything; a port only shows and asks.
//
/// Threading: called on the one thread that runs the core. Nothing is thrown across it.
#include <cstdint>
#include <functional>
#include <string>

#include "core/RecoveryModule.h"
#include "fs/IFileSystem.h"
#include "base/IProgress.h"

class CFileTypeTree;

enum class EAnswer
{
    Yes,
    No,
    Cancel,
};

enum class EScanWindow
{
    Device, // "Scanning device...": FAT and NTFS counters
    Deep,   // the deep scan: files found
};

// Everything a scanning window shows, recomputed after every chunk.
struct tagScanDisplay
{
    int64_t s64Position = 0;    // sectors read so far (the bar)
    int64_t s64Total = 0;       // sectors of the volume (the bar's end)
    std::string strProgress;    // "12.34%"
    std::string strPosition;    // "512/1000"
    std::string strRemaining;   // "about 9 minutes", empty when unknown
    ScanStats Stats{};          // counters of the file systems
    uint64_t u64ReadErrors = 0; // sectors that could not be read
};

class IUserPort
{
public:
    virtual ~IUserPort() = default;

    // Message boxes with the exact texts of the core.
    virtual void ShowInformation(const std::string& text) = 0;
    virtual void ShowWarning(const std::string& text) = 0;
    virtual void ShowError(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual EAnswer AskYesNoCancel(const std::string& text) = 0;

    /// Shows a progress window titled `title` (a bar, or a moving block when the length of the
    /// work is unknown), runs `work` with the window's progress client, closes the window.
    /// The client lives only during the call; its IsCanceled reports the user's cancel.
    virtual void RunProgress(const std::string& title, bool movingBlock,
                             const std::function<void(IProgress_Client*)>& work) = 0;

    // The scanning windows. Open/Close bracket one scan; Update is called at most once a second.
    virtual void OpenScanWindow(EScanWindow kind) = 0;
    virtual void UpdateScanWindow(EScanWindow kind, const tagScanDisplay& display) = 0;
    virtual void CloseScanWindow(EScanWindow kind) = 0;
    /// True once after the user pressed the scanning window's Cancel button; the core then asks
    /// whether to keep what was collected.
    virtual bool TakeScanCancelRequest() = 0;
    /// Handles pending user events (window messages, terminal input).
    virtual void PumpEvents() = 0;

    /// The recovery page switched to `view` (0 device list, 2 partition list, 3 file list,
    /// 4 resume list).
    virtual void ShowView(EView view) = 0;
    /// The deep-scan file-type choice; true on OK. A front end accepts OK only when
    /// CFileTypeTree::AcceptChoice agrees.
    virtual bool ChooseDeepScanTypes(CFileTypeTree& tree) = 0;
};
