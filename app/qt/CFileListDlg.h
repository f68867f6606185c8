#pragma once
// The file list: the folder tree on the left, the entries of the chosen folder in the middle,
// the quick previewer on the right; tri-state check boxes on both lists, the legend and the
// selection totals. Above them the quick narrowing: deleted files only, one kind of file, and
// a search box that filters as the user types. Saves the ticked files, filters, finds, exports
// a listing, and offers the preview dialogs on a right click; a double click previews a file.
#include <memory>

#include <QString>
#include <QWidget>

#include "core/FileFilter.h"
#include "core/QuickFilter.h"

class CFileListModel;
class CFolderTreeModel;
class CQuickPreviewLink;
class CQuickPreviewPane;
class CThumbnailModel;
class QListView;
class QStackedWidget;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QSplitter;
class QTimer;
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
    QCheckBox* DeletedOnlyBox() const { return m_pDeletedOnly; }
    QComboBox* KindBox() const { return m_pKind; }
    QLineEdit* SearchEdit() const { return m_pSearch; }
    /// "All files": every file of the tree in one list, with the folder of each.
    QCheckBox* AllFilesBox() const { return m_pAllFiles; }
    /// "Thumbnails": the folder as pictures instead of the list.
    QCheckBox* ThumbnailBox() const { return m_pThumbBox; }
    QListView* ThumbnailView() const { return m_pThumbs; }
    CThumbnailModel* ThumbnailModel() const { return m_pThumbModel; }
    QSplitter* Splitter() const { return m_pSplitter; }
    CQuickPreviewPane* PreviewPane() const { return m_pPreview; }
    CQuickPreviewLink* PreviewLink() const { return m_pPreviewLink; }

    /// Narrows the tree by the quick filters as they are set now (the search box waits for a
    /// pause in typing before it calls this).
    void ApplyQuickFilter();
    /// Opens or closes the quick previewer.
    void SetPreviewOpen(bool open);
    /// Shows the file selected in the list in the quick previewer, now.
    void PreviewCurrent();

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
    /// Lists every file of the current tree (on) or the folder chosen in the tree (off).
    void SetAllFiles(bool on);
    /// Unticks "All files" without listing anything (a folder is about to be shown).
    void EndAllFiles();
    /// Lets go of every node of the session's trees (they are about to change).
    void ReleaseTree();
    void FitColumns();
    QWidget* MakeThumbnails(QWidget* parent);
    /// A double click on a row of the list or the thumbnails: opens a folder, previews a file.
    void OnDoubleClick(int row);
    QWidget* MakeQuickBar();
    void ResetQuickFilter();
    /// The first folder (depth first from the root) that directly holds a file.
    tagTreeNode* FirstFolderWithFiles() const;
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
    QCheckBox* m_pDeletedOnly = nullptr;
    QComboBox* m_pKind = nullptr;
    QLineEdit* m_pSearch = nullptr;
    QCheckBox* m_pThumbBox = nullptr;
    QCheckBox* m_pAllFiles = nullptr;
    QStackedWidget* m_pListStack = nullptr;
    QListView* m_pThumbs = nullptr;
    CThumbnailModel* m_pThumbModel = nullptr;
    QTimer* m_pSearchTimer = nullptr;
    QSplitter* m_pSplitter = nullptr;
    CQuickPreviewPane* m_pPreview = nullptr;
    CQuickPreviewLink* m_pPreviewLink = nullptr;
    QTimer* m_pPreviewTimer = nullptr;
    tagFilterSettings m_Filter;
    tagQuickFilter m_Quick;
    QString m_strLastTarget;
};
