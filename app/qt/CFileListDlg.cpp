#include "CFileListDlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMetaMethod>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include "CAdvancedFilterDlg.h"
#include "CFileListModel.h"
#include "CFindFileDlg.h"
#include "CFolderTreeModel.h"
#include "CSaveSettingDlg.h"
#include "CSavingFileDlg.h"
#include "GuiDialogs.h"
#include "GuiIcons.h"
#include "GuiTexts.h"
#include "base/VlmErrors.h"
#include "core/CFileListNavigation.h"
#include "core/CGlobalParamTable.h"
#include "core/ExportListing.h"
#include "core/SourceGuard.h"
#include "core/FileFind.h"
#include "core/FileListText.h"
#include "core/TextFormat.h"
#include "fs/KNodeTree.h"
#include "core/VlmStrings.h"

using GuiDialogs::EBox;

CFileListDlg::CFileListDlg(CGlobalParamTable& session, CRecoveryLauncher& launcher, QWidget* parent)
    : QWidget(parent), m_Session(session), m_Launcher(launcher)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8(GuiText::kSelectHint), this));
    auto* splitter = new QSplitter(this);
    m_pFolderModel = new CFolderTreeModel(this);
    m_pFileModel = new CFileListModel(this);
    m_pFolders = new QTreeView(splitter);
    m_pFolders->setModel(m_pFolderModel);
    m_pFolders->setHeaderHidden(true);
    m_pFolders->setUniformRowHeights(true);
    m_pFiles = new QTreeView(splitter);
    m_pFiles->setModel(m_pFileModel);
    m_pFiles->setRootIsDecorated(false);
    m_pFiles->setUniformRowHeights(true);
    m_pFiles->setAllColumnsShowFocus(true);
    m_pFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pFiles->setSortingEnabled(true);
    m_pFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
    for (int c = 0; c < CFileListModel::kColumns; ++c)
        m_pFiles->setColumnWidth(c, CFileListModel::kWidths[c]);
    splitter->addWidget(m_pFolders);
    splitter->addWidget(m_pFiles);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({200, 560});
    layout->addWidget(splitter, 1);
    layout->addWidget(MakeLegend());

    auto* status = new QHBoxLayout;
    m_pTotal = new QLabel(this);
    m_pSelected = new QLabel(this);
    status->addWidget(new QLabel(QStringLiteral("<b>%1:</b>").arg(GuiText::kTotalFiles), this));
    status->addWidget(m_pTotal);
    status->addSpacing(24);
    status->addWidget(new QLabel(QStringLiteral("<b>%1:</b>").arg(GuiText::kSelectFiles), this));
    status->addWidget(m_pSelected);
    status->addStretch();
    layout->addLayout(status);

    auto* buttons = new QHBoxLayout;
    auto* back = new QPushButton(QString::fromUtf8(GuiText::kBackButton), this);
    auto* exportList = new QPushButton(QString::fromUtf8(GuiText::kExportList), this);
    auto* filter = new QPushButton(QString::fromUtf8(GuiText::kFilter), this);
    auto* find = new QPushButton(QString::fromUtf8(GuiText::kFindFile), this);
    m_pSave = new QPushButton(QString::fromUtf8(GuiText::kSaveFiles), this);
    m_pSave->setDefault(true);
    buttons->addWidget(back);
    buttons->addWidget(exportList);
    buttons->addStretch();
    buttons->addWidget(filter);
    buttons->addWidget(find);
    buttons->addWidget(m_pSave);
    layout->addLayout(buttons);

    m_pMenu = new QMenu(QString::fromUtf8(GuiText::kPreviewMenu), this);
    const std::pair<const char*, EPreview> previews[] = {
        {GuiText::kViewText, EPreview::Text}, {GuiText::kViewImage, EPreview::Image}, {GuiText::kViewMedia, EPreview::Media}};
    for (const auto& [text, kind] : previews)
    {
        QAction* action = m_pMenu->addAction(QString::fromUtf8(text));
        const EPreview k = kind;
        connect(action, &QAction::triggered, this, [this, k] { emit PreviewRequested(k, CurrentFile()); });
    }

    connect(back, &QPushButton::clicked, this, &CFileListDlg::Back);
    connect(exportList, &QPushButton::clicked, this, &CFileListDlg::ExportList);
    connect(filter, &QPushButton::clicked, this, &CFileListDlg::Filter);
    connect(find, &QPushButton::clicked, this, &CFileListDlg::FindFile);
    connect(m_pSave, &QPushButton::clicked, this, &CFileListDlg::SaveFiles);
    connect(m_pFolders->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && m_pFolderModel->NodeOf(current) != m_pFileModel->Folder())
                    m_pFileModel->SetFolder(m_pFolderModel->Tree(), m_pFolderModel->NodeOf(current));
            });
    connect(m_pFiles, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        tagTreeNode* node = m_pFileModel->NodeAt(index.row());
        if (GuiIcons::IsFolderNode(node))
            ShowFolder(node);
    });
    connect(m_pFiles, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        // The previews are offered once a viewer is attached to the page.
        const bool viewer = isSignalConnected(QMetaMethod::fromSignal(&CFileListDlg::PreviewRequested));
        for (QAction* action : m_pMenu->actions())
            action->setEnabled(viewer && CurrentFile() && !GuiIcons::IsFolderNode(CurrentFile()));
        m_pMenu->popup(m_pFiles->viewport()->mapToGlobal(at));
    });
    connect(m_pFileModel, &CFileListModel::CheckChanged, this, [this](tagTreeNode* node) {
        m_pFolderModel->NodeChecked(node);
        OnCheckChanged();
    });
    connect(m_pFolderModel, &CFolderTreeModel::CheckChanged, this, [this] {
        m_pFileModel->RefreshChecks();
        OnCheckChanged();
    });
}

CFileListDlg::~CFileListDlg() = default;

QWidget* CFileListDlg::MakeLegend()
{
    auto* legend = new QWidget(this);
    auto* row = new QHBoxLayout(legend);
    row->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char*, GuiIcons::EIcon> icons[] = {{GuiText::kLegendDeletedFile, GuiIcons::EIcon::DeletedFile},
                                                             {GuiText::kLegendDeletedFolder, GuiIcons::EIcon::DeletedFolder},
                                                             {GuiText::kLegendLostFolder, GuiIcons::EIcon::LostFolder}};
    for (const auto& [text, icon] : icons)
    {
        row->addWidget(new QLabel(QString::fromUtf8(text), legend));
        auto* image = new QLabel(legend);
        image->setPixmap(GuiIcons::Icon(icon).pixmap(16, 16));
        row->addWidget(image);
        row->addSpacing(10);
    }
    auto* blue = new QLabel(QString::fromUtf8(GuiText::kLegendCompressed), legend);
    blue->setStyleSheet(QStringLiteral("color: rgb(0,0,255);"));
    auto* green = new QLabel(QString::fromUtf8(GuiText::kLegendEncrypted), legend);
    green->setStyleSheet(QStringLiteral("color: rgb(0,128,0);"));
    row->addWidget(blue);
    row->addWidget(green);
    row->addStretch();
    return legend;
}

void CFileListDlg::Activate()
{
    m_Filter = CFileFilter::ActivationSettings(m_Session.GetModule());
    CFileFilter::ApplyRestriction(m_Session, m_Filter);
    ShowTree();
}

void CFileListDlg::ShowTree()
{
    KNodeTree& tree = m_Session.GetCurrentTree();
    m_pFileModel->SetFolder(nullptr, nullptr);
    m_pFolderModel->SetTree(&tree);
    m_pFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
    ShowFolder(tree.GetRoot());
    uint64_t bytes = 0;
    uint32_t count = 0;
    tree.CountFiles(&bytes, &count);
    m_pTotal->setText(QString::fromStdString(TotalStatusText(bytes, count)));
    UpdateStatus();
}

void CFileListDlg::ShowFolder(tagTreeNode* folder)
{
    const QModelIndex index = m_pFolderModel->IndexOf(folder);
    if (!index.isValid())
    {
        m_pFileModel->SetFolder(m_pFolderModel->Tree(), folder);
        return;
    }
    m_pFolders->setCurrentIndex(index);
    m_pFolders->scrollTo(index);
    if (m_pFileModel->Folder() != folder)
        m_pFileModel->SetFolder(m_pFolderModel->Tree(), folder);
}

void CFileListDlg::UpdateStatus()
{
    uint64_t bytes = 0;
    uint32_t count = 0;
    m_Session.GetCurrentTree().GetSelection(&bytes, &count);
    m_pSelected->setText(QString::fromStdString(SelectedStatusText(bytes, count)));
}

void CFileListDlg::OnCheckChanged()
{
    UpdateStatus();
}

QString CFileListDlg::SelectedStatus() const
{
    return m_pSelected->text();
}

QString CFileListDlg::TotalStatus() const
{
    return m_pTotal->text();
}

tagTreeNode* CFileListDlg::CurrentFolder() const
{
    return m_pFileModel->Folder();
}

tagTreeNode* CFileListDlg::CurrentFile() const
{
    const QModelIndex current = m_pFiles->currentIndex();
    return current.isValid() ? m_pFileModel->NodeAt(current.row()) : nullptr;
}

void CFileListDlg::SaveFiles()
{
    uint64_t bytes = 0;
    uint32_t count = 0;
    m_Session.GetCurrentTree().GetSelection(&bytes, &count);
    if (count == 0)
    {
        GuiDialogs::Box(this, EBox::Information, QString::fromUtf8(VlmString(IDS_SELECT_FILES)));
        return;
    }
    CSaveSettingDlg setting(bytes, count, m_strLastTarget, this);
    if (GuiDialogs::Exec(setting) != QDialog::Accepted)
        return;
    m_strLastTarget = setting.Path();
    CSavingFileDlg saving(this);
    saving.Run(m_Session, m_strLastTarget);
}

void CFileListDlg::Filter()
{
    CAdvancedFilterDlg dialog(m_Filter, m_Session.GetModule(), this);
    if (GuiDialogs::Exec(dialog) != QDialog::Accepted)
        return;
    m_Filter = dialog.Settings();
    CFileFilter::Apply(m_Session, m_Filter);
    ShowTree();
}

void CFileListDlg::FindFile()
{
    CFindFileDlg dialog([this](const QString& text, bool matchCase, bool matchWord) {
        return FindNext(text, matchCase, matchWord);
    }, this);
    GuiDialogs::Exec(dialog);
}

bool CFileListDlg::FindNext(const QString& text, bool matchCase, bool matchWord)
{
    const KNodeTree& tree = m_Session.GetCurrentTree();
    const CFileFind find(tree);
    const auto& folders = find.Folders();
    tagFindPosition from;
    const auto folderIt = std::find(folders.begin(), folders.end(), CurrentFolder());
    from.nFolder = folderIt == folders.end() ? 0 : static_cast<int>(folderIt - folders.begin());
    const auto files = find.FilesOf(from.nFolder);
    const auto fileIt = std::find(files.begin(), files.end(), CurrentFile());
    from.nFile = fileIt == files.end() ? -1 : static_cast<int>(fileIt - files.begin());
    tagFindPosition found;
    if (!find.FindNext(text.toStdString(), matchCase, matchWord, from, &found))
    {
        GuiDialogs::Box(this, EBox::Information, QString::fromUtf8(VlmString(IDS_NO_FILES_FOUND)));
        return false;
    }
    tagTreeNode* folder = const_cast<tagTreeNode*>(folders[size_t(found.nFolder)]);
    const tagTreeNode* file = find.FilesOf(found.nFolder)[size_t(found.nFile)];
    ShowFolder(folder);
    const int row = m_pFileModel->RowOf(file);
    if (row >= 0)
    {
        const QModelIndex index = m_pFileModel->index(row, 0);
        m_pFiles->setCurrentIndex(index);
        m_pFiles->scrollTo(index);
    }
    return true;
}

void CFileListDlg::ExportList()
{
    const QString path = GuiDialogs::ChooseSaveFile(
        this, QString::fromUtf8(GuiText::kExportList).remove('&'), QString::fromUtf8(GuiText::kExportFilter),
        QString::fromUtf8(VlmString(IDS_EXPORT_DEFAULT_NAME)), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    const std::string file = path.toStdString();
    if (const std::string source = CSourceGuard::SourceUnder(m_Session, file); !source.empty())
    {
        GuiDialogs::Box(this, EBox::Error, QString::fromStdString(CSourceGuard::RefusalText(file, source)));
        return;
    }
    const QString question = QString::fromStdString(FormatText(VlmString(IDS_EXPORT_DRIVE_WARNING), file[0]));
    if (GuiDialogs::Box(this, EBox::YesNo, question) != QMessageBox::Yes)
        return;
    if (CExportListing::ExportToFile(m_Session.GetCurrentTree(), file) != ERROR_SUCCESS)
    {
        GuiDialogs::Box(this, EBox::Error, QString::fromUtf8(VlmString(IDS_EXPORT_FAILED)));
        return;
    }
    GuiDialogs::Box(this, EBox::Information, QString::fromUtf8(VlmString(IDS_MISSION_COMPLETE)));
}

void CFileListDlg::Back()
{
    CFileListNavigation::Back(m_Session, m_Launcher);
}
