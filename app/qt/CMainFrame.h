#pragma once
// The main window: the top bar with its three tabs and the three main pages (start page,
// recovery page, case study). It owns the recovery session and answers the start page's
// module buttons and the tab clicks.
#include <memory>

#include <QWidget>

class CBothViewAndManager;
class CGlobalParamTable;
class CHelpViewPage;
class CQtUserPort;
class CRecoveryLauncher;
class CStartPageDlg;
class IMonotonicClock;
class QAction;
class QMenuBar;
class QStackedWidget;
class QTabBar;

class CMainFrame final : public QWidget
{
    Q_OBJECT
public:
    enum Page
    {
        kPageStart = 0,
        kPageRecover = 1,
        kPageCaseStudy = 2,
    };
    /// Start-page commands.
    enum Command
    {
        kCmdUndelete = 1003,
        kCmdAdvanced = 1004,
        kCmdDeepScan = 1005,
        kCmdResume = 1006,
        kCmdWizard = 1007,
    };

    /// `clock` (tests) replaces the steady clock of the scan loop.
    explicit CMainFrame(IMonotonicClock* clock = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CGlobalParamTable& Session() { return *m_pSession; }
    CRecoveryLauncher& Launcher() { return *m_pLauncher; }
    CQtUserPort& Port() { return *m_pPort; }
    CStartPageDlg* StartPage() const { return m_pStart; }
    CBothViewAndManager* RecoveryPage() const { return m_pRecovery; }
    CHelpViewPage* HelpPage() const { return m_pHelp; }
    QTabBar* TopBar() const { return m_pTopBar; }
    QMenuBar* MenuBar() const { return m_pMenuBar; }
    /// The menu entry whose text (without "&") is `text`; null when there is none.
    QAction* MenuAction(const QString& text) const;
    int CurrentPage() const;

    /// A tab click: shows page `page`; the first visit of the recovery page lists the devices.
    void SelectTab(int page);
    /// A start-page button: a module (1003..1006) or the wizard (1007).
    void OnStartCommand(int command);
    /// File > Add disk image: adds the chosen image (with its rescue map, when one is given) and lists the devices again, unless results
    /// are shown (they are kept; the image is listed at the next refresh).
    void AddDiskImage();
    /// File > Create disk image: copies a listed device or volume into an image file.
    void CreateDiskImage();
    /// Help > About.
    void ShowAbout();

    /// The size the window opens with: the last one the user left, else one that shows every
    /// column of the file list.
    static QSize InitialSize();
    static constexpr int kDefaultWidth = 1100;
    static constexpr int kDefaultHeight = 700;

private:
    void MakeMenus();
    void ShowPage(int page);
    void RunWizard();

    std::unique_ptr<CQtUserPort> m_pPort;
    std::unique_ptr<CGlobalParamTable> m_pSession;
    std::unique_ptr<CRecoveryLauncher> m_pLauncher;
    QMenuBar* m_pMenuBar = nullptr;
    QTabBar* m_pTopBar = nullptr;
    QStackedWidget* m_pPages = nullptr;
    CStartPageDlg* m_pStart = nullptr;
    CBothViewAndManager* m_pRecovery = nullptr;
    CHelpViewPage* m_pHelp = nullptr;
    bool m_bDevicesListed = false;
};
