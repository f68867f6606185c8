#pragma once
// One run of the command line: the devices given on the command line, the recovery session,
// and the way from a SOURCE (a volume number of "vlm devices" or a saved scan result) to the
// file tree the subcommands work on.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CTerminalPort.h"
#include "core/CGlobalParamTable.h"
#include "core/CRecoveryLauncher.h"
#include "core/FileFilter.h"

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPartial = 3; // finished, but files not saved or sectors not read
inline constexpr int kExitInterrupted = 130;

struct tagCliOptions
{
    // Devices.
    std::vector<std::string> Images;
    std::vector<std::string> Maps; // --map: rescue map of the image given in the same place
    uint32_t nSectorSize = 0;      // --sector-size: the images' sector size; 0 finds it
    std::vector<std::string> Floppies;
    bool bNoMachineDevices = false;
    bool bAdmin = false; // ask for administrator rights (pkexec) to read the machine's disks
    // Answers and output.
    bool bYes = false;
    bool bNo = false;
    bool bVerbose = false;
    bool bJson = false;
    // Subcommand arguments.
    std::string strModule = "advanced";
    std::string strSource;
    std::string strTarget;
    std::string strFile;
    std::string strSaveResult;
    std::string strImageMap;   // vlm image --map
    uint32_t nRetryPasses = 1; // vlm image --retry-passes
    int nCandidate = 0;        // 1-based row of the partition list; 0: none
    bool bDeep = false;
    bool bDeepOnly = false;
    std::vector<std::string> Types;
    // Selection and filter.
    std::vector<std::string> Selection;
    bool bDeleted = false;
    bool bPresent = false;
    std::string strNames;
    std::string strSize;    // "FROM-TO" in KB
    std::string strCreated; // "FROM..TO" dates
    std::string strModified;
};

class CCliSession
{
public:
    explicit CCliSession(const tagCliOptions& options);
    ~CCliSession();

    CTerminalPort& Port() { return m_Port; }
    CGlobalParamTable& Session() { return *m_pSession; }
    CRecoveryLauncher& Launcher() { return *m_pLauncher; }
    const tagCliOptions& Options() const { return m_Options; }

    /// Registers the images and lists the devices and volumes.
    bool Discover();
    /// The volume index of a VOLUME argument; -1 (after telling why) when it names none.
    int ParseVolume(const std::string& text);
    /// Loads SOURCE into the session: a volume is opened directly in `module` (Undelete or
    /// Advanced), a scan result is loaded (and candidate N shown when asked). A result that
    /// stands at its partition list without --candidate stays there unless `requireTree`.
    /// An exit status.
    int LoadSource(EModule module, bool requireTree = true);
    /// True when SOURCE names a scan-result file rather than a volume.
    bool SourceIsResult() const;

    /// The file list's activation restriction and the filter options. False (after telling
    /// why) when an option cannot be read.
    bool ApplyFilter();
    /// Exit status for a run that succeeded, or was interrupted.
    static int Finish(int status);

    /// The path of the device or image behind the selected volume; "" when unknown.
    std::string SourceDevicePath();

private:
    bool CheckImage(const std::string& path);
    bool CheckMap(const std::string& mapPath, const std::string& imagePath);
    bool ParseFilter(tagFilterSettings* settings);

    tagCliOptions m_Options;
    CTerminalPort m_Port;
    std::unique_ptr<CGlobalParamTable> m_pSession;
    std::unique_ptr<CRecoveryLauncher> m_pLauncher;
};
