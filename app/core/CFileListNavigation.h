#pragma once
// Leaving the file list with "Back": after a full or deep scan the partition list is shown
// again (its candidates are still in memory); after opening a volume directly there is nothing
// to go back to but the device list, which is listed afresh.
class CGlobalParamTable;
class CRecoveryLauncher;

class CFileListNavigation
{
public:
    /// Asks "Return back to devices list?"; on Yes switches the recovery page. False on No.
    static bool Back(CGlobalParamTable& session, CRecoveryLauncher& launcher);
    /// The candidates that all file systems of the session report together.
    static int CandidateCount(CGlobalParamTable& session);
};
