#include "CMainFrame.h"

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

#include "CBothViewAndManager.h"
#include "CAboutDlg.h"
#include "CAddImageDlg.h"
#include "CDiskImageDlg.h"
#include "CDeviceSelectDlg.h"
#include "CHelpViewPage.h"
#include "CQtUserPort.h"
#include "CRecoveryWizardDlg.h"
#include "CStartPageDlg.h"
#include "GuiDialogs.h"
#include "GuiResources.h"
#include "GuiTexts.h"
#include "base/VlmTrace.h"
#include "core/CGlobalParamTable.h"
#include "core/CRecoveryLauncher.h"
#include "core/DeviceAccess.h"
#include "core/TextFormat.h"
#include "core/VlmStrings.h"
#include "volume/KVolumeManager.h"

CMainFrame::CMainFrame(IMonotonicClock* clock, QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QString::fromUtf8(GuiText::kAppTitle));
    setWindowIcon(GuiResources::AppIcon());
    resize(InitialSize());
    m_pPort = std::make_unique<CQtUserPort>(this);
    m_pSession = std::make_unique<CGlobalParamTable>(m_pPort.get(), clock);
    m_pLauncher = std::make_unique<CRecoveryLauncher>(*m_pSession);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pMenuBar = new QMenuBar(this);
    layout->setMenuBar(m_pMenuBar);
    VlmTrace("Creating topbar...\n");
    m_pTopBar = new QTabBar(this);
    m_pTopBar->setObjectName(QStringLiteral("TopBar"));
    m_pTopBar->setExpanding(false);
    m_pTopBar->setDrawBase(false);
    // White text on the selected tab, black on the others.
    m_pTopBar->setStyleSheet(QStringLiteral(
        "QTabBar#TopBar { background: #dde6f0; }"
        "QTabBar#TopBar::tab { padding: 8px 22px; color: black; background: #dde6f0; border: none; font-weight: bold; }"
        "QTabBar#TopBar::tab:selected { color: white; background: #2f5d8a; }"));
    m_pTopBar->addTab(QString::fromUtf8(GuiText::kTabHome));
    m_pTopBar->addTab(QString::fromUtf8(GuiText::kTabRecover));
    m_pTopBar->addTab(QString::fromUtf8(GuiText::kTabCaseStudy));
    layout->addWidget(m_pTopBar);

    VlmTrace("Creating main page manager...\n");
    m_pPages = new QStackedWidget(this);
    VlmTrace("Creating start page...\n");
    m_pStart = new CStartPageDlg(*m_pSession, this);
    VlmTrace("Creating recovery page...\n");
    m_pRecovery = new CBothViewAndManager(*m_pSession, *m_pLauncher, this);
    m_pHelp = new CHelpViewPage(this);
    VlmTrace("Appending the start page...\n");
    m_pPages->addWidget(m_pStart);
    VlmTrace("Appending the recovery page...\n");
    m_pPages->addWidget(m_pRecovery);
    VlmTrace("Appending the case study page...\n");
    m_pPages->addWidget(m_pHelp);
    layout->addWidget(m_pPages, 1);

    m_pPort->SetViewHandler([this](EView view) { m_pRecovery->SwitchView(view); });
    connect(m_pTopBar, &QTabBar::tabBarClicked, this, [this](int tab) {
        if (tab >= 0) SelectTab(tab);
    });
    connect(m_pStart, &CStartPageDlg::Command, this, &CMainFrame::OnStartCommand);
    connect(m_pRecovery, &CBothViewAndManager::BackToStart, this, [this] { ShowPage(kPageStart); });
    MakeMenus();
    VlmTrace("Activing the start page...\n");
    ShowPage(kPageStart);
}

namespace {

QSettings Settings() { return QSettings(QStringLiteral("Vellumar"), QStringLiteral("vellumar")); }

} // namespace

QSize CMainFrame::InitialSize()
{
    QSize size = Settings().value(QStringLiteral("window/size")).toSize();
    if (!size.isValid() || size.width() < 400 || size.height() < 300) size = QSize(kDefaultWidth, kDefaultHeight);
    // Never larger than the screen it opens on.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) size = size.boundedTo(screen->availableSize());
    return size;
}

void CMainFrame::MakeMenus()
{
    QMenu* file = m_pMenuBar->addMenu(QString::fromUtf8(GuiText::kMenuFile));
    connect(file->addAction(QString::fromUtf8(GuiText::kMenuAddImage)), &QAction::triggered, this,
            &CMainFrame::AddDiskImage);
    connect(file->addAction(QString::fromUtf8(GuiText::kMenuCreateImage)), &QAction::triggered, this,
            &CMainFrame::CreateDiskImage);
    connect(file->addAction(QString::fromUtf8(GuiText::kMenuResume)), &QAction::triggered, this,
            [this] { OnStartCommand(kCmdResume); });
    file->addSeparator();
    QAction* quit = file->addAction(QString::fromUtf8(GuiText::kMenuQuit));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    QMenu* help = m_pMenuBar->addMenu(QString::fromUtf8(GuiText::kMenuHelp));
    QAction* caseStudy = help->addAction(QString::fromUtf8(GuiText::kMenuCaseStudy));
    caseStudy->setShortcut(QKeySequence::HelpContents);
    connect(caseStudy, &QAction::triggered, this, [this] { SelectTab(kPageCaseStudy); });
    connect(help->addAction(QString::fromUtf8(GuiText::kMenuAbout)), &QAction::triggered, this, &CMainFrame::ShowAbout);
}

QAction* CMainFrame::MenuAction(const QString& text) const
{
    for (QAction* menu : m_pMenuBar->actions())
    {
        if (!menu->menu()) continue;
        for (QAction* action : menu->menu()->actions())
        {
            if (QString(action->text()).remove('&') == text) return action;
        }
    }
    return nullptr;
}

void CMainFrame::AddDiskImage()
{
    QString path, map;
    if (!CAddImageDlg::Ask(this, &path, &map)) return;
    const EView view = m_pSession->GetView();
    if (view == EView::Partitions || view == EView::Files)
    {
        DeviceAccess::AddImage(path.toStdString(), map.toStdString());
        return;
    }
    ShowPage(kPageRecover);
    m_bDevicesListed = true;
    m_pSession->SetView(EView::Devices);
    m_pRecovery->DevicePage()->AddImage(path, map);
}

void CMainFrame::CreateDiskImage()
{
    // The source is chosen from the device list: list the devices if that has not happened yet.
    if (!m_bDevicesListed || m_pSession->VolumeManager().GetVolumeCount() == 0)
    {
        m_bDevicesListed = true;
        m_pLauncher->RefreshDevices();
    }
    CDiskImageDlg dialog(*m_pSession, this);
    GuiDialogs::Exec(dialog);
}

void CMainFrame::ShowAbout()
{
    CAboutDlg about(this);
    GuiDialogs::Exec(about);
}

CMainFrame::~CMainFrame()
{
    if (!isMaximized() && !isFullScreen()) Settings().setValue(QStringLiteral("window/size"), size());
    // The pages and their models point into the session: they go first.
    delete m_pPages;
    m_pPages = nullptr;
    m_pLauncher.reset();
    m_pSession.reset();
    // The volume objects hold devices: release them before the device list goes at exit.
    KVolumeManager().ClearVolumes();
}

int CMainFrame::CurrentPage() const { return m_pPages->currentIndex(); }

void CMainFrame::ShowPage(int page)
{
    const QSignalBlocker block(m_pTopBar);
    m_pTopBar->setCurrentIndex(page);
    m_pPages->setCurrentIndex(page);
}

void CMainFrame::SelectTab(int page)
{
    ShowPage(page);
    if (page == kPageRecover && m_pRecovery->CurrentView() == EView::Devices && !m_bDevicesListed)
    {
        m_bDevicesListed = true;
        m_pLauncher->RefreshDevices();
        m_pSession->SetView(EView::Devices);
    }
}

void CMainFrame::OnStartCommand(int command)
{
    m_bDevicesListed = true;
    if (command >= kCmdUndelete && command <= kCmdResume)
    {
        if (m_pLauncher->ChooseModule(static_cast<EModule>(command - kCmdUndelete))) ShowPage(kPageRecover);
        return;
    }
    RunWizard();
}

void CMainFrame::RunWizard()
{
    const EView view = m_pSession->GetView();
    if ((view == EView::Partitions || view == EView::Files) &&
        !m_pPort->AskYesNo(
            FormatText(VlmString(IDS_CLOSE_MODULE), CGlobalParamTable::ModuleName(m_pSession->GetModule()))))
        return;
    m_pLauncher->RefreshDevices();
    CRecoveryWizardDlg wizard(*m_pSession, this);
    if (GuiDialogs::Exec(wizard) != QDialog::Accepted || wizard.SelectedVolume() < 0)
    {
        m_pSession->SetView(EView::Devices);
        return;
    }
    if (m_pLauncher->StartFromWizard(wizard.SelectedVolume(), wizard.OnlyDeletion(), wizard.DeepScanChoice()))
        ShowPage(kPageRecover);
}
