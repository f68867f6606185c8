#pragma once
// The recovery wizard: welcome, the device to recover, the deep-scan choice with its file
// types, and a summary. Each page checks its input before "Next >" moves on; the last "Next >"
// closes the wizard with OK and the caller starts the scan.
#include <memory>

#include <QDialog>

#include "core/CRecoveryLauncher.h"

class CDeviceListCtrl;
class CFileTypeTree;
class CFileTypeTreeWidget;
class CGlobalParamTable;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QStackedWidget;

class CRecoveryWizardDlg final : public QDialog
{
    Q_OBJECT
public:
    enum Page
    {
        kWelcome = 0,
        kSelectDevice = 1,
        kDeepScanSetting = 2,
        kSummary = 3,
    };

    CRecoveryWizardDlg(CGlobalParamTable& session, QWidget* parent);
    ~CRecoveryWizardDlg() override;

    int CurrentPage() const;
    /// "Next >": runs the page's check, then shows the next page or closes with OK.
    void Next();
    /// "< Back".
    void Back();

    int SelectedVolume() const { return m_nVolume; }
    bool OnlyDeletion() const;
    CRecoveryLauncher::EDeepScanChoice DeepScanChoice() const;

    CDeviceListCtrl* DeviceList() const { return m_pDevices; }
    QCheckBox* OnlyDeletionBox() const { return m_pOnlyDeletion; }
    QRadioButton* ChoiceButton(CRecoveryLauncher::EDeepScanChoice choice) const;
    CFileTypeTreeWidget* TypeTree() const { return m_pTypeTree; }
    QPushButton* BackButton() const { return m_pBack; }
    QPushButton* NextButton() const { return m_pNext; }
    /// The summary's texts: device, type and module.
    QString SummaryText() const;

private:
    QWidget* MakeWelcome();
    QWidget* MakeSelectDevice();
    QWidget* MakeDeepScanSetting();
    QWidget* MakeSummary();
    bool CheckPage(int page);
    void ShowPage(int page);
    void FillSummary();

    CGlobalParamTable& m_Session;
    std::unique_ptr<CFileTypeTree> m_pTypes;
    QStackedWidget* m_pPages = nullptr;
    CDeviceListCtrl* m_pDevices = nullptr;
    QCheckBox* m_pOnlyDeletion = nullptr;
    QRadioButton* m_pUse = nullptr;
    QRadioButton* m_pDoNotUse = nullptr;
    QRadioButton* m_pOnly = nullptr;
    CFileTypeTreeWidget* m_pTypeTree = nullptr;
    QLabel* m_pSummary = nullptr;
    QPushButton* m_pBack = nullptr;
    QPushButton* m_pNext = nullptr;
    int m_nVolume = -1;
};
