#pragma once
// The desktop program's answer to the core's user-interface port: message boxes, the progress
// window, the scanning windows, the event pump and the deep-scan type choice. This is the
// only place where the core's long work hands control back to the event loop.
#include <functional>
#include <memory>

#include "core/IUserPort.h"

class QWidget;
class CScanningDeviceDlg;

class CQtUserPort final : public IUserPort
{
public:
    explicit CQtUserPort(QWidget* window);
    ~CQtUserPort() override;

    /// Called when the core switches the recovery page's view.
    void SetViewHandler(std::function<void(EView view)> handler) { m_ViewHandler = std::move(handler); }
    /// The scanning window while a scan runs, else null.
    CScanningDeviceDlg* ScanWindow() const { return m_pScan.get(); }

    void ShowInformation(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    void ShowError(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    EAnswer AskYesNoCancel(const std::string& text) override;

    void RunProgress(const std::string& title, bool movingBlock,
                     const std::function<void(IProgress_Client*)>& work) override;

    void OpenScanWindow(EScanWindow kind) override;
    void UpdateScanWindow(EScanWindow kind, const tagScanDisplay& display) override;
    void CloseScanWindow(EScanWindow kind) override;
    bool TakeScanCancelRequest() override;
    void PumpEvents() override;

    void ShowView(EView view) override;
    bool ChooseDeepScanTypes(CFileTypeTree& tree) override;

private:
    QWidget* m_pWindow;
    std::unique_ptr<CScanningDeviceDlg> m_pScan;
    std::function<void(EView)> m_ViewHandler;
};
