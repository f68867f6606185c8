#pragma once
// "Create disk image": copies a device or volume of the device list into a raw image file with
// its rescue map. The copy runs on a worker thread; the dialog shows what was rescued, the bad
// areas, the rate and the time left, and Stop (or closing the dialog) ends the copy at the next
// read with the image and the map written, so that starting again with the same map goes on.
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include <QDialog>
#include <QString>

#include "core/DiskImaging.h"

class CGlobalParamTable;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

class CDiskImageDlg final : public QDialog
{
    Q_OBJECT
public:
    /// Lists the devices and volumes the session's volume manager holds now.
    explicit CDiskImageDlg(CGlobalParamTable& session, QWidget* parent = nullptr);
    ~CDiskImageDlg() override;

    QComboBox* SourceBox() const { return m_pSource; }
    QLineEdit* TargetEdit() const { return m_pTarget; }
    QLineEdit* MapEdit() const { return m_pMap; }
    QSpinBox* RetryBox() const { return m_pRetries; }
    QPushButton* StartButton() const { return m_pStart; }
    QPushButton* StopButton() const { return m_pStop; }
    /// Selects the row of volume `volume` (an index of the volume manager); false when unlisted.
    bool SelectVolume(int volume);
    bool Running() const { return m_Worker.joinable(); }
    /// The outcome of the last run, and the words shown for it.
    EImagingResult Result() const { return m_Result; }
    QString ResultText() const;

    /// Checks the request and starts the copy; false (after telling) when it cannot start.
    bool Start();
    /// Asks the copy to stop at its next read.
    void Stop();

    void reject() override;

signals:
    /// The copy ended (finished, stopped or failed); Result() tells which.
    void Finished();

private:
    void OnFinished();
    void ShowStatus();
    void SetRunning(bool running);

    CGlobalParamTable& m_Session;
    QComboBox* m_pSource = nullptr;
    QLineEdit* m_pTarget = nullptr;
    QLineEdit* m_pMap = nullptr;
    QSpinBox* m_pRetries = nullptr;
    QProgressBar* m_pBar = nullptr;
    QLabel* m_pRescued = nullptr;
    QLabel* m_pBad = nullptr;
    QLabel* m_pRate = nullptr;
    QLabel* m_pRemaining = nullptr;
    QLabel* m_pResult = nullptr;
    QPushButton* m_pStart = nullptr;
    QPushButton* m_pStop = nullptr;
    QPushButton* m_pClose = nullptr;
    QTimer* m_pTimer = nullptr;

    std::unique_ptr<IDeviceIO> m_pDevice;
    std::unique_ptr<CDiskImaging> m_pImaging;
    std::thread m_Worker;
    std::atomic<bool> m_bStop{false};
    mutable std::mutex m_Lock; // guards m_Status
    tagImagerStatus m_Status;  // the last one the worker reported
    int64_t m_nStartMs = 0;
    EImagingResult m_Result = EImagingResult::Failed;
    QString m_strError;
    bool m_bRan = false;
};
