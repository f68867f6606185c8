#pragma once
// The progress window of one piece of long work (listing the devices, reading a file system
// into memory, building the file tree, finishing a scan, loading a scan result). The work runs
// on the user-interface thread inside Run; this window is its progress client and keeps the
// program responsive by handling pending events whenever the shown percentage changes. When
// the length of the work is unknown a green block moves along a strip instead of a bar.
//
/// Cancel: the Cancel button (or closing the window) hides it; IsCanceled then answers 1 and
/// the work stops at its next poll.
#include <cstdint>
#include <functional>

#include <QDialog>
#include <QElapsedTimer>

#include "base/IProgress.h"

class QLabel;
class QProgressBar;
class QPushButton;
class CMovingBlock;

class CProgressDlg final : public QDialog, public IProgress_Client
{
    Q_OBJECT
public:
    explicit CProgressDlg(QWidget* parent);
    ~CProgressDlg() override;

    /// Shows the window titled `title` (application-modal), runs `work` with this client and
    /// closes the window.
    void Run(const QString& title, bool movingBlock, const std::function<void(IProgress_Client*)>& work);
    bool WasCanceled() const { return m_bCanceled; }
    int BarValue() const;

    int SetMaxValue(int64_t max) override;
    int SetValue(int64_t value) override;
    int BeginProgress() override;
    int EndProgress() override;
    int IsCanceled() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Cancel();
    void Pump();

    QLabel* m_pText = nullptr;
    QProgressBar* m_pBar = nullptr;
    CMovingBlock* m_pBlock = nullptr;
    QPushButton* m_pCancel = nullptr;
    int64_t m_s64Max = 0;
    int m_nLastPercent = 0;
    bool m_bCanceled = false;
    bool m_bRunning = false;
    QElapsedTimer m_LastPump;
};

// The moving block: a strip of 25-pixel cells with one green cell that advances every 100 ms.
class CMovingBlock final : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kCell = 25;
    static constexpr int kStripHeight = 40;
    static constexpr int kMargin = 20;

    explicit CMovingBlock(QWidget* parent);
    void Start();
    void Stop();
    int Position() const { return m_nPosition; }
    /// Cells of a strip `width` pixels wide.
    static int CellCount(int width) { return width / kCell; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int m_nTimer = 0;
    int m_nPosition = 0;
};
