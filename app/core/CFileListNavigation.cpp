#include "core/CFileListNavigation.h"

#include "core/CGlobalParamTable.h"
#include "core/CRecoveryLauncher.h"
#include "core/CScanResultStore.h"
#include "fs/IFileSystem.h"
#include "core/VlmStrings.h"

int CFileListNavigation::CandidateCount(CGlobalParamTable& session)
{
    KFileSystemMgr& manager = session.FileSystemMgr();
    int total = 0;
    for (int i = 0; i < manager.GetCount(); ++i)
    {
        IFileSystem* fs = manager.GetAt(i);
        uint32_t count = 0;
        if (fs && fs->GetCandidateCount(&count)) total += static_cast<int>(count);
    }
    return total;
}

bool CFileListNavigation::Back(CGlobalParamTable& session, CRecoveryLauncher& launcher)
{
    if (!session.Port().AskYesNo(VlmString(IDS_BACK_TO_DEVICES))) return false;
    if (session.GetModule() != EModule::Undelete && CandidateCount(session) > 0)
    {
        session.SetView(EView::Partitions);
        CScanResultStore(session).AutoSave();
        return true;
    }
    launcher.RefreshDevices();
    session.SetView(EView::Devices);
    return true;
}
