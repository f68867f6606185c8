#pragma once
// The resume page: the scan results saved earlier, oldest first; one of them (or any result
// file) is loaded back instead of scanning the device again.
#include <memory>

#include <QWidget>

class CGlobalParamTable;
class CResumeList;
class QPushButton;
class QTreeWidget;

class CResumeRecoveryDlg final : public QWidget
{
    Q_OBJECT
public:
    CResumeRecoveryDlg(CGlobalParamTable& session, QWidget* parent);
    ~CResumeRecoveryDlg() override;

    /// Lists the resume folder again.
    void Activate();
    QTreeWidget* List() const { return m_pList; }
    QPushButton* ContinueButton() const { return m_pContinue; }
    QPushButton* LoadButton() const { return m_pLoad; }
    void Continue();
    void LoadFromFile();

signals:
    void BackToStart();

private:
    CGlobalParamTable& m_Session;
    std::unique_ptr<CResumeList> m_pHistory;
    QTreeWidget* m_pList = nullptr;
    QPushButton* m_pContinue = nullptr;
    QPushButton* m_pLoad = nullptr;
};
