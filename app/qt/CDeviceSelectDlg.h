#pragma once
// The device page: the devices and volumes to recover from, in the layout of the current
// module, with its buttons. Disk images can be added here, so that an image is recovered
// without any rights on the machine's disks; the machine's disks are read with administrator
// rights asked for through the device helper when the program does not run as root.
#include <QWidget>

class CDeviceListCtrl;
class CGlobalParamTable;
class CRecoveryLauncher;
class QLabel;
class QPushButton;

class CDeviceSelectDlg final : public QWidget
{
    Q_OBJECT
public:
    CDeviceSelectDlg(CGlobalParamTable& session, CRecoveryLauncher& launcher, QWidget* parent);

    /// Sets texts and columns for the module, drops the previous scan's file systems and lists
    /// the volumes again (without enumerating the devices again).
    void Activate();
    CDeviceListCtrl* List() const { return m_pList; }
    QPushButton* MainButton() const { return m_pMain; }
    QPushButton* OpenButton() const { return m_pOpen; }
    QPushButton* RefreshButton() const { return m_pRefresh; }
    QPushButton* AddImageButton() const { return m_pAddImage; }
    QPushButton* BackButton() const { return m_pBack; }
    QPushButton* AdminButton() const { return m_pAdmin; }
    QLabel* AdminNote() const { return m_pRootNote; }
    /// Adds a disk image file to the devices and lists them again.
    void AddImage(const QString& path, const QString& map = QString());

signals:
    void BackToStart();

private:
    void OnMain();
    void OnOpen();
    void OnRefresh();
    void OnAddImage();
    void OnAdmin();
    void UpdateAdminNote();
    void UpdateButtons();

    CGlobalParamTable& m_Session;
    CRecoveryLauncher& m_Launcher;
    QLabel* m_pHeading = nullptr;
    QLabel* m_pHint = nullptr;
    QLabel* m_pRootNote = nullptr;
    CDeviceListCtrl* m_pList = nullptr;
    QPushButton* m_pMain = nullptr;
    QPushButton* m_pOpen = nullptr;
    QPushButton* m_pRefresh = nullptr;
    QPushButton* m_pAddImage = nullptr;
    QPushButton* m_pBack = nullptr;
    QPushButton* m_pAdmin = nullptr;
};
