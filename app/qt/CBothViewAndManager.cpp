#include "CBothViewAndManager.h"

#include <QStackedWidget>
#include <QVBoxLayout>

#include "CDeviceSelectDlg.h"
#include "CFileListDlg.h"
#include "CFileSystemScoreDlg.h"
#include "CResumeRecoveryDlg.h"
#include "base/VlmTrace.h"
#include "core/CGlobalParamTable.h"

CBothViewAndManager::CBothViewAndManager(CGlobalParamTable& session, CRecoveryLauncher& launcher, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pViews = new QStackedWidget(this);
    VlmTrace("Creating child pages of recovery page...\n");
    m_pDevices = new CDeviceSelectDlg(session, launcher, this);
    m_pPartitions = new CFileSystemScoreDlg(session, launcher, this);
    m_pFiles = new CFileListDlg(session, launcher, this);
    m_pResume = new CResumeRecoveryDlg(session, this);
    m_pViews->addWidget(m_pDevices);
    m_pViews->addWidget(new QWidget(this)); // view 1: nothing switches to it
    m_pViews->addWidget(m_pPartitions);
    m_pViews->addWidget(m_pFiles);
    m_pViews->addWidget(m_pResume);
    layout->addWidget(m_pViews);
    connect(m_pDevices, &CDeviceSelectDlg::BackToStart, this, &CBothViewAndManager::BackToStart);
    connect(m_pResume, &CResumeRecoveryDlg::BackToStart, this, &CBothViewAndManager::BackToStart);
    VlmTrace("Activing the device page...\n");
    m_pViews->setCurrentIndex(static_cast<int>(EView::Devices));
}

EView CBothViewAndManager::CurrentView() const { return static_cast<EView>(m_pViews->currentIndex()); }

void CBothViewAndManager::SwitchView(EView view)
{
    switch (view)
    {
    case EView::Devices: m_pDevices->Activate(); break;
    case EView::Partitions: m_pPartitions->Activate(); break;
    case EView::Files: m_pFiles->Activate(); break;
    case EView::Resume: m_pResume->Activate(); break;
    default: return;
    }
    m_pViews->setCurrentIndex(static_cast<int>(view));
}
