#pragma once
// The partition list after a full or deep scan: every file system found, ranked, with its
// relative score; the deep scan's row in blue. Shows the files of the chosen one or saves the
// scan result by hand.
#include <memory>

#include <QWidget>

class CGlobalParamTable;
class CPartitionList;
class CRecoveryLauncher;
class QPushButton;
class QTreeWidget;

class CFileSystemScoreDlg final : public QWidget
{
    Q_OBJECT
public:
    CFileSystemScoreDlg(CGlobalParamTable& session, CRecoveryLauncher& launcher, QWidget* parent);
    ~CFileSystemScoreDlg() override;

    /// Ranks the candidates of the session's file systems again and lists them.
    void Activate();
    QTreeWidget* List() const { return m_pList; }
    QPushButton* ShowFilesButton() const { return m_pShowFiles; }
    QPushButton* SaveResultButton() const { return m_pSave; }
    QPushButton* BackButton() const { return m_pBack; }
    void ShowFiles();
    void SaveResult();

private:
    CGlobalParamTable& m_Session;
    CRecoveryLauncher& m_Launcher;
    std::unique_ptr<CPartitionList> m_pPartitions;
    QTreeWidget* m_pList = nullptr;
    QPushButton* m_pShowFiles = nullptr;
    QPushButton* m_pSave = nullptr;
    QPushButton* m_pBack = nullptr;
};
