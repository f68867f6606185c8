#pragma once
// "Scanning device...": the window of a full scan (FAT and NTFS counters) or a deep scan
// (files found). The core's scan loop fills it at most once a second; the Cancel button only
// records the request, and the core then asks whether to keep what was collected.
#include <vector>

#include <QDialog>

#include "core/IUserPort.h"

class QLabel;
class QProgressBar;
class QPushButton;

class CScanningDeviceDlg final : public QDialog
{
    Q_OBJECT
public:
    CScanningDeviceDlg(EScanWindow kind, QWidget* parent);

    void Display(const tagScanDisplay& display);
    /// True once after Cancel was pressed (or the window was closed).
    bool TakeCancelRequest();
    EScanWindow Kind() const { return m_Kind; }
    /// The value shown for the counter labelled `label` ("" when there is none).
    QString CounterText(const QString& label) const;
    QPushButton* CancelButton() const { return m_pCancel; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    EScanWindow m_Kind;
    QProgressBar* m_pBar = nullptr;
    QLabel* m_pProgress = nullptr;
    QLabel* m_pPosition = nullptr;
    std::vector<std::pair<QLabel*, QLabel*>> m_Counters;
    QPushButton* m_pCancel = nullptr;
    bool m_bCancelRequest = false;
};
