#pragma once
// The recovery page: one view at a time (device list, partition list, file list, resume list).
// The core decides which view is shown; switching to a view activates it (fills its list from
// the session).
#include <QWidget>

#include "core/RecoveryModule.h"

class CDeviceSelectDlg;
class CFileListDlg;
class CFileSystemScoreDlg;
class CGlobalParamTable;
class CRecoveryLauncher;
class CResumeRecoveryDlg;
class QStackedWidget;

class CBothViewAndManager final : public QWidget
{
    Q_OBJECT
public:
    CBothViewAndManager(CGlobalParamTable& session, CRecoveryLauncher& launcher, QWidget* parent);

    /// Shows view `view` (0 devices, 2 partitions, 3 files, 4 resume) and activates it.
    void SwitchView(EView view);
    EView CurrentView() const;

    CDeviceSelectDlg* DevicePage() const { return m_pDevices; }
    CFileSystemScoreDlg* PartitionPage() const { return m_pPartitions; }
    CFileListDlg* FilePage() const { return m_pFiles; }
    CResumeRecoveryDlg* ResumePage() const { return m_pResume; }

signals:
    /// A "Back" button asks for the start page.
    void BackToStart();

private:
    QStackedWidget* m_pViews = nullptr;
    CDeviceSelectDlg* m_pDevices = nullptr;
    CFileSystemScoreDlg* m_pPartitions = nullptr;
    CFileListDlg* m_pFiles = nullptr;
    CResumeRecoveryDlg* m_pResume = nullptr;
};
