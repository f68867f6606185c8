#include "CDeviceSelectDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "CAddImageDlg.h"
#include "CDeviceListCtrl.h"
#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/CGlobalParamTable.h"
#include "core/CRecoveryLauncher.h"
#include "core/DeviceList.h"
#include "core/DeviceAccess.h"
#include "core/VlmStrings.h"

CDeviceSelectDlg::CDeviceSelectDlg(CGlobalParamTable& session, CRecoveryLauncher& launcher, QWidget* parent)
    : QWidget(parent), m_Session(session), m_Launcher(launcher)
{
    auto* layout = new QVBoxLayout(this);
    m_pHeading = new QLabel(this);
    QFont bold = m_pHeading->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    m_pHeading->setFont(bold);
    layout->addWidget(m_pHeading);
    layout->addWidget(new QLabel(QString::fromUtf8(VlmString(IDS_DEVICE_SELECT)), this));
    auto* note = new QLabel(QString::fromUtf8(VlmString(IDS_DEVICE_SELECT_NOTE)), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    m_pList = new CDeviceListCtrl(this);
    layout->addWidget(m_pList, 1);
    auto* admin = new QHBoxLayout;
    m_pRootNote = new QLabel(QString::fromUtf8(GuiText::kNeedAdmin), this);
    m_pRootNote->setWordWrap(true);
    m_pRootNote->setStyleSheet(QStringLiteral("color: #8a4b00;"));
    m_pAdmin = new QPushButton(QString::fromUtf8(GuiText::kAdminButton), this);
    admin->addWidget(m_pRootNote, 1);
    admin->addWidget(m_pAdmin, 0, Qt::AlignVCenter);
    layout->addLayout(admin);
    m_pHint = new QLabel(this);
    layout->addWidget(m_pHint);

    auto* buttons = new QHBoxLayout;
    m_pAddImage = new QPushButton(QString::fromUtf8(GuiText::kAddImageButton), this);
    m_pRefresh = new QPushButton(QString::fromUtf8(GuiText::kRefreshButton), this);
    m_pBack = new QPushButton(QString::fromUtf8(GuiText::kBackButton), this);
    m_pOpen = new QPushButton(QString::fromUtf8(GuiText::kOpenButton), this);
    m_pMain = new QPushButton(QString::fromUtf8(GuiText::kRecoverButton), this);
    m_pMain->setDefault(true);
    buttons->addWidget(m_pAddImage);
    buttons->addWidget(m_pRefresh);
    buttons->addStretch();
    buttons->addWidget(m_pBack);
    buttons->addWidget(m_pOpen);
    buttons->addWidget(m_pMain);
    layout->addLayout(buttons);

    connect(m_pMain, &QPushButton::clicked, this, &CDeviceSelectDlg::OnMain);
    connect(m_pOpen, &QPushButton::clicked, this, &CDeviceSelectDlg::OnOpen);
    connect(m_pRefresh, &QPushButton::clicked, this, &CDeviceSelectDlg::OnRefresh);
    connect(m_pAddImage, &QPushButton::clicked, this, &CDeviceSelectDlg::OnAddImage);
    connect(m_pBack, &QPushButton::clicked, this, &CDeviceSelectDlg::BackToStart);
    connect(m_pAdmin, &QPushButton::clicked, this, &CDeviceSelectDlg::OnAdmin);
    connect(m_pList, &QTreeWidget::itemSelectionChanged, this, &CDeviceSelectDlg::UpdateButtons);
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, &CDeviceSelectDlg::OnMain);
}

void CDeviceSelectDlg::Activate()
{
    const EModule module = m_Session.GetModule();
    m_pHeading->setText(QString::fromStdString(CDeviceList::Heading(module)));
    const std::string hint = CDeviceList::Hint(module);
    m_pHint->setText(QString::fromStdString(hint));
    m_pHint->setVisible(!hint.empty());
    m_pMain->setText(
        QString::fromUtf8(module == EModule::Advanced ? GuiText::kFullScanButton : GuiText::kRecoverButton));
    m_pOpen->setVisible(module == EModule::Advanced);
    UpdateAdminNote();
    m_Session.DropFileSystems();
    m_pList->Fill(m_Session.VolumeManager(), module);
    UpdateButtons();
}

void CDeviceSelectDlg::UpdateAdminNote()
{
    // Without root the machine's disks cannot be opened: say why the list holds none of them
    // and offer to ask for the rights, instead of showing an empty list.
    const EDiskRights rights = DeviceAccess::DiskRights();
    const char* text = rights == EDiskRights::Unavailable ? GuiText::kAdminUnavailable
        : rights == EDiskRights::Refused                  ? GuiText::kAdminRefused
                                                          : GuiText::kNeedAdmin;
    m_pRootNote->setText(QString::fromUtf8(text));
    m_pRootNote->setVisible(rights == EDiskRights::NotAsked || rights == EDiskRights::Unavailable ||
                            rights == EDiskRights::Refused);
    m_pAdmin->setText(
        QString::fromUtf8(rights == EDiskRights::Refused ? GuiText::kAdminRetryButton : GuiText::kAdminButton));
    m_pAdmin->setVisible(rights == EDiskRights::NotAsked || rights == EDiskRights::Refused);
}

void CDeviceSelectDlg::OnAdmin()
{
    // The password dialog appears when the first disk is opened during the refresh.
    DeviceAccess::AskForDiskRights();
    OnRefresh();
}

void CDeviceSelectDlg::UpdateButtons()
{
    m_pOpen->setEnabled(m_pList->SelectedVolume() >= 0 && !m_pList->SelectedIsPhysical());
}

void CDeviceSelectDlg::OnMain() { m_Launcher.RecoverButton(m_pList->SelectedVolume()); }

void CDeviceSelectDlg::OnOpen() { m_Launcher.OpenButton(m_pList->SelectedVolume()); }

void CDeviceSelectDlg::OnRefresh()
{
    m_Launcher.RefreshDevices();
    Activate();
}

void CDeviceSelectDlg::OnAddImage()
{
    QString path, map;
    if (CAddImageDlg::Ask(this, &path, &map)) AddImage(path, map);
}

void CDeviceSelectDlg::AddImage(const QString& path, const QString& map)
{
    DeviceAccess::AddImage(path.toStdString(), map.toStdString());
    OnRefresh();
}
