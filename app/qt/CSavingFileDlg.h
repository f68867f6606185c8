#pragma once
// "Saving Files...": writes the ticked part of the file tree into the target folder while
// showing the counts, the current file and two bars. Runs on the user-interface thread and
// handles pending events at most every 300 ms; Cancel asks first, then stops the copy at its
// next check (the files written so far stay).
#include <cstdint>

#include <QDialog>
#include <QElapsedTimer>

#include "core/SaveWalker.h"

class CGlobalParamTable;
class QLabel;
class QProgressBar;
class QPushButton;

class CSavingFileDlg final : public QDialog, public ISaveObserver
{
    Q_OBJECT
public:
    static constexpr qint64 kPumpIntervalMs = 300;

    explicit CSavingFileDlg(QWidget* parent);

    /// Saves the session's selection into `target`; the outcome of the walk.
    tagSaveOutcome Run(CGlobalParamTable& session, const QString& target);
    QPushButton* CancelButton() const { return m_pCancel; }
    QString CurrentFileText() const;

    void OnCurrentFile(const std::string& path) override;
    void OnCounts(uint32_t saved, uint32_t selected) override;
    void OnFileProgress(int64_t position, int64_t maximum) override;
    bool IsCanceled() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void AskCancel();
    void Pump(bool force);

    QLabel* m_pSelected = nullptr;
    QLabel* m_pSaved = nullptr;
    QLabel* m_pCurrent = nullptr;
    QProgressBar* m_pTotal = nullptr;
    QProgressBar* m_pFile = nullptr;
    QPushButton* m_pCancel = nullptr;
    bool m_bCanceled = false;
    bool m_bRunning = false;
    QElapsedTimer m_LastPump;
};
