#pragma once
// The file list: the folder tree on the left, the entries of the chosen folder on the right,
// tri-state check boxes on both, the legend and the selection totals. Saves the ticked files,
// filters, finds, exports a listing, and offers the previews on a right click.
#include <memory>

#include <QString>
#include <QWidget>

#include "core/FileFilter.h"

class CFileListModel;
class CFolderTreeModel;
class CGlobalParamTable;
class CRecoveryLauncher;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;
struct tagTreeNode;

class CFileListDlg final : public QWidget
{
    Q_OBJECT
public:
    enum class EPreview
    {
        Text,
        Image,
        Media,
    };

    CFileListDlg(CGlobalParamTable& session, CRecoveryLauncher& launcher, QWidget* parent);
    ~CFileListDlg() override;

    /// Restricts the tree for the module (Undelete Recovery: deleted and lost files only) and
    /// shows it from its root.
    void Activate();

    QTreeView* FolderView() const { return m_pFolders; }
    QTreeView* FileView() const { return m_pFiles; }
    CFolderTreeModel* FolderModel() const { return m_pFolderModel; }
    CFileListModel* FileModel() const { return m_pFileModel; }
    QString SelectedStatus() const;
    QString TotalStatus() const;
    QPushButton* SaveButton() const { return m_pSave; }
    /// The right-click menu of the list.
    QMenu* PreviewMenu() const { return m_pMenu; }

    /// Shows the entries of `folder` in the list and selects it in the tree.
    void ShowFolder(tagTreeNode* folder);
    /// "&Save Files", "Fi&lter", "&Find file", "&Export files list...", "&Back".
    void SaveFiles();
    void Filter();
    void FindFile();
    void ExportList();
    void Back();
    /// One "Find Next" from the current position; false (after telling) when nothing matches.
    bool FindNext(const QString& text, bool matchCase, bool matchWord);
    /// The folder shown and the file selected in the list.
    tagTreeNode* CurrentFolder() const;
    tagTreeNode* CurrentFile() const;

signals:
    /// A preview was asked for `node` (from the right-click menu).
    void PreviewRequested(CFileListDlg::EPreview kind, tagTreeNode* node);

private:
    void ShowTree();
    void UpdateStatus();
    void OnCheckChanged();
    QWidget* MakeLegend();

    CGlobalParamTable& m_Session;
    CRecoveryLauncher& m_Launcher;
    CFolderTreeModel* m_pFolderModel = nullptr;
    CFileListModel* m_pFileModel = nullptr;
    QTreeView* m_pFolders = nullptr;
    QTreeView* m_pFiles = nullptr;
    QLabel* m_pSelected = nullptr;
    QLabel* m_pTotal = nullptr;
    QPushButton* m_pSave = nullptr;
    QMenu* m_pMenu = nullptr;
    tagFilterSettings m_Filter;
    QString m_strLastTarget;
};
