#include "CQtUserPort.h"

#include <QCoreApplication>

#include "CDeepScanSettingDlg.h"
#include "CProgressDlg.h"
#include "CScanningDeviceDlg.h"
#include "GuiDialogs.h"

using GuiDialogs::EBox;

CQtUserPort::CQtUserPort(QWidget* window) : m_pWindow(window) {}

CQtUserPort::~CQtUserPort() = default;

void CQtUserPort::ShowInformation(const std::string& text)
{
    GuiDialogs::Box(m_pWindow, EBox::Information, QString::fromStdString(text));
}

void CQtUserPort::ShowWarning(const std::string& text)
{
    GuiDialogs::Box(m_pWindow, EBox::Warning, QString::fromStdString(text));
}

void CQtUserPort::ShowError(const std::string& text)
{
    GuiDialogs::Box(m_pWindow, EBox::Error, QString::fromStdString(text));
}

bool CQtUserPort::AskYesNo(const std::string& text)
{
    return GuiDialogs::Box(m_pWindow, EBox::YesNo, QString::fromStdString(text)) == QMessageBox::Yes;
}

EAnswer CQtUserPort::AskYesNoCancel(const std::string& text)
{
    // The question comes while the scanning window is up: it belongs to that window.
    QWidget* parent = m_pScan ? static_cast<QWidget*>(m_pScan.get()) : m_pWindow;
    switch (GuiDialogs::Box(parent, EBox::YesNoCancel, QString::fromStdString(text)))
    {
    case QMessageBox::Yes: return EAnswer::Yes;
    case QMessageBox::No: return EAnswer::No;
    default: return EAnswer::Cancel;
    }
}

void CQtUserPort::RunProgress(const std::string& title, bool movingBlock,
                              const std::function<void(IProgress_Client*)>& work)
{
    CProgressDlg dialog(m_pWindow);
    dialog.Run(QString::fromStdString(title), movingBlock, work);
}

void CQtUserPort::OpenScanWindow(EScanWindow kind)
{
    m_pScan = std::make_unique<CScanningDeviceDlg>(kind, m_pWindow);
    m_pScan->show();
    // On screen before the scan loop takes the thread.
    QCoreApplication::processEvents();
}

void CQtUserPort::UpdateScanWindow(EScanWindow, const tagScanDisplay& display)
{
    if (m_pScan) m_pScan->Display(display);
}

void CQtUserPort::CloseScanWindow(EScanWindow)
{
    if (m_pScan) m_pScan->hide();
    m_pScan.reset();
}

bool CQtUserPort::TakeScanCancelRequest() { return m_pScan && m_pScan->TakeCancelRequest(); }

void CQtUserPort::PumpEvents() { QCoreApplication::processEvents(); }

void CQtUserPort::ShowView(EView view)
{
    if (m_ViewHandler) m_ViewHandler(view);
}

bool CQtUserPort::ChooseDeepScanTypes(CFileTypeTree& tree)
{
    CDeepScanSettingDlg dialog(tree, *this, m_pWindow);
    return GuiDialogs::Exec(dialog) == QDialog::Accepted;
}
