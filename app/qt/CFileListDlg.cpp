#include "CFileListDlg.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStackedWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "CAdvancedFilterDlg.h"
#include "CFileListModel.h"
#include "CFindFileDlg.h"
#include "CFolderTreeModel.h"
#include "CQuickPreviewPane.h"
#include "CSaveSettingDlg.h"
#include "CSavingFileDlg.h"
#include "CThumbnailModel.h"
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
#include "core/QuickFilter.h"
#include "core/TextFormat.h"
#include "fs/KNodeTree.h"
#include "core/VlmStrings.h"
#include "PreviewActions.h"

using GuiDialogs::EBox;

namespace {

QSettings Settings() { return QSettings(QStringLiteral("Vellumar"), QStringLiteral("vellumar")); }

// Typing pauses this long before the list is narrowed; the previewer waits as long for the
// selection to settle (arrow keys held down).
constexpr int kSearchPauseMs = 250;
constexpr int kPreviewPauseMs = 150;

} // namespace

CFileListDlg::CFileListDlg(CGlobalParamTable& session, CRecoveryLauncher& launcher, QWidget* parent)
    : QWidget(parent), m_Session(session), m_Launcher(launcher)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeQuickBar());
    auto* splitter = new QSplitter(this);
    m_pSplitter = splitter;
    m_pFolderModel = new CFolderTreeModel(this);
    m_pFileModel = new CFileListModel(this);
    m_pFolders = new QTreeView(splitter);
    m_pFolders->setModel(m_pFolderModel);
    m_pFolders->setHeaderHidden(true);
    m_pFolders->setUniformRowHeights(true);
    // Long names scroll sideways instead of being cut short.
    m_pFolders->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pFolders->header()->setStretchLastSection(false);
    m_pListStack = new QStackedWidget(splitter);
    m_pFiles = new QTreeView(m_pListStack);
    m_pFiles->setModel(m_pFileModel);
    m_pFiles->setRootIsDecorated(false);
    m_pFiles->setUniformRowHeights(true);
    m_pFiles->setAllColumnsShowFocus(true);
    m_pFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pFiles->setSortingEnabled(true);
    m_pFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
    for (int c = 0; c < CFileListModel::kColumns; ++c) m_pFiles->setColumnWidth(c, CFileListModel::kWidths[c]);
    // The folder of each file (in the list of all files only) beside its name.
    m_pFiles->header()->moveSection(m_pFiles->header()->visualIndex(CFileListModel::kPath), 1);
    m_pFiles->setColumnHidden(CFileListModel::kPath, true);
    m_pPreview = new CQuickPreviewPane(splitter);
    m_pPreview->SetPlayer([this] {
        if (tagTreeNode* node = CurrentFile())
            RunPreview(this, EPreviewAction::Media, m_Session.GetCurrentFileSystem(), node->pRecord,
                       m_Session.GetCurrentTree().GetName(node));
    });
    m_pListStack->addWidget(m_pFiles);
    m_pListStack->addWidget(MakeThumbnails(m_pListStack));
    splitter->addWidget(m_pFolders);
    splitter->addWidget(m_pListStack);
    splitter->addWidget(m_pPreview);
    splitter->setChildrenCollapsible(false);
    // The folder pane keeps its width when the window changes size; the list and the
    // previewer share the rest.
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 3);
    splitter->setStretchFactor(2, 2);
    // The folder pane as wide as the user left it.
    const int folderWidth = Settings().value(QStringLiteral("files/folderPane"), 260).toInt();
    splitter->setSizes({std::clamp(folderWidth, 80, 2000), 560, 300});
    connect(splitter, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = m_pSplitter->sizes();
        if (!sizes.isEmpty() && sizes[0] > 0) Settings().setValue(QStringLiteral("files/folderPane"), sizes[0]);
    });
    m_pPreviewTimer = new QTimer(this);
    m_pPreviewTimer->setSingleShot(true);
    m_pPreviewTimer->setInterval(kPreviewPauseMs);
    connect(m_pPreviewTimer, &QTimer::timeout, this, &CFileListDlg::PreviewCurrent);
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
    const std::pair<const char*, EPreview> previews[] = {{GuiText::kViewText, EPreview::Text},
                                                         {GuiText::kViewImage, EPreview::Image},
                                                         {GuiText::kViewMedia, EPreview::Media}};
    for (const auto& [text, kind] : previews)
    {
        QAction* action = m_pMenu->addAction(QString::fromUtf8(text));
        const EPreview k = kind;
        connect(action, &QAction::triggered, this, [this, k] { emit PreviewRequested(k, CurrentFile()); });
    }

    m_Session.SetTreesChangingHandler([this] { ReleaseTree(); });
    connect(back, &QPushButton::clicked, this, &CFileListDlg::Back);
    connect(exportList, &QPushButton::clicked, this, &CFileListDlg::ExportList);
    connect(filter, &QPushButton::clicked, this, &CFileListDlg::Filter);
    connect(find, &QPushButton::clicked, this, &CFileListDlg::FindFile);
    connect(m_pSave, &QPushButton::clicked, this, &CFileListDlg::SaveFiles);
    connect(m_pFolders->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() &&
                    (m_pFolderModel->NodeOf(current) != m_pFileModel->Folder() || m_pFileModel->IsFlat()))
                {
                    // A folder chosen in the tree ends the list of all files.
                    EndAllFiles();
                    m_pFileModel->SetFolder(m_pFolderModel->Tree(), m_pFolderModel->NodeOf(current));
                    FitColumns();
                }
            });
    connect(m_pFiles, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index) { OnDoubleClick(index.row()); });
    connect(m_pFiles->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (m_pPreview->isVisibleTo(this)) m_pPreviewTimer->start();
    });
    connect(m_pFileModel, &QAbstractItemModel::modelReset, this, [this] { m_pPreview->Clear(); });
    connect(m_pFileModel, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first) {
        if (first == 0) FitColumns();
    });
    connect(this, &CFileListDlg::PreviewRequested, this, [this](EPreview kind, tagTreeNode* node) {
        RunPreview(this, static_cast<EPreviewAction>(kind), m_Session.GetCurrentFileSystem(),
                   node ? node->pRecord : nullptr, node ? m_Session.GetCurrentTree().GetName(node) : std::string());
    });
    connect(m_pFiles, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        for (QAction* action : m_pMenu->actions())
            action->setEnabled(CurrentFile() && !GuiIcons::IsFolderNode(CurrentFile()));
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

CFileListDlg::~CFileListDlg()
{
    m_Session.SetTreesChangingHandler(nullptr);
    Settings().setValue(QStringLiteral("files/previewer"), m_pPreviewLink->IsOpen());
}

QWidget* CFileListDlg::MakeThumbnails(QWidget* parent)
{
    m_pThumbModel = new CThumbnailModel(
        m_pFileModel, [this] { return m_Session.GetCurrentFileSystem(); }, this);
    m_pThumbs = new QListView(parent);
    m_pThumbs->setViewMode(QListView::IconMode);
    m_pThumbs->setMovement(QListView::Static);
    m_pThumbs->setResizeMode(QListView::Adjust);
    m_pThumbs->setUniformItemSizes(true);
    // A million entries are laid out a batch at a time, between events.
    m_pThumbs->setLayoutMode(QListView::Batched);
    m_pThumbs->setBatchSize(2000);
    m_pThumbs->setWordWrap(true);
    m_pThumbs->setIconSize(QSize(CThumbnailModel::kSize, CThumbnailModel::kSize));
    m_pThumbs->setGridSize(QSize(CThumbnailModel::kSize + 28, CThumbnailModel::kSize + 40));
    m_pThumbs->setModel(m_pThumbModel);
    // The thumbnails and the list share one current file (previews, find, the status).
    connect(m_pThumbs->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    m_pFiles->setCurrentIndex(m_pFileModel->index(current.row(), CFileListModel::kName));
            });
    connect(m_pThumbs, &QListView::doubleClicked, this,
            [this](const QModelIndex& index) { OnDoubleClick(index.row()); });
    return m_pThumbs;
}

void CFileListDlg::OnDoubleClick(int row)
{
    tagTreeNode* node = m_pFileModel->NodeAt(row);
    if (!node) return;
    if (GuiIcons::IsFolderNode(node)) return ShowFolder(node);
    m_pFiles->setCurrentIndex(m_pFileModel->index(row, CFileListModel::kName));
    SetPreviewOpen(true);
    PreviewCurrent();
}

QWidget* CFileListDlg::MakeQuickBar()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QString::fromUtf8(GuiText::kSelectHint), bar));
    row->addSpacing(16);
    m_pDeletedOnly = new QCheckBox(QString::fromUtf8(GuiText::kDeletedOnly), bar);
    row->addWidget(m_pDeletedOnly);
    row->addSpacing(8);
    row->addWidget(new QLabel(QString::fromUtf8(GuiText::kShowKind), bar));
    m_pKind = new QComboBox(bar);
    const std::pair<const char*, EFileCategory> kinds[] = {{GuiText::kKindAll, EFileCategory::All},
                                                           {GuiText::kKindPictures, EFileCategory::Pictures},
                                                           {GuiText::kKindDocuments, EFileCategory::Documents},
                                                           {GuiText::kKindAudio, EFileCategory::Audio},
                                                           {GuiText::kKindVideo, EFileCategory::Video},
                                                           {GuiText::kKindArchives, EFileCategory::Archives},
                                                           {GuiText::kKindOther, EFileCategory::Other}};
    for (const auto& [text, kind] : kinds) m_pKind->addItem(QString::fromUtf8(text), static_cast<int>(kind));
    row->addWidget(m_pKind);
    m_pSearch = new QLineEdit(bar);
    m_pSearch->setPlaceholderText(QString::fromUtf8(GuiText::kSearchHint));
    m_pSearch->setClearButtonEnabled(true);
    m_pSearch->setMinimumWidth(180);
    row->addWidget(m_pSearch, 1);
    m_pAllFiles = new QCheckBox(QString::fromUtf8(GuiText::kAllFilesView), bar);
    row->addWidget(m_pAllFiles);
    m_pThumbBox = new QCheckBox(QString::fromUtf8(GuiText::kThumbnails), bar);
    row->addWidget(m_pThumbBox);
    row->addSpacing(16);
    m_pPreviewLink = new CQuickPreviewLink(bar);
    row->addWidget(m_pPreviewLink);
    m_pSearchTimer = new QTimer(this);
    m_pSearchTimer->setSingleShot(true);
    m_pSearchTimer->setInterval(kSearchPauseMs);
    connect(m_pSearchTimer, &QTimer::timeout, this, &CFileListDlg::ApplyQuickFilter);
    connect(m_pSearch, &QLineEdit::textChanged, m_pSearchTimer, qOverload<>(&QTimer::start));
    connect(m_pDeletedOnly, &QCheckBox::toggled, this, &CFileListDlg::ApplyQuickFilter);
    connect(m_pKind, &QComboBox::currentIndexChanged, this, &CFileListDlg::ApplyQuickFilter);
    connect(m_pPreviewLink, &CQuickPreviewLink::Toggled, this, &CFileListDlg::SetPreviewOpen);
    connect(m_pAllFiles, &QCheckBox::toggled, this, &CFileListDlg::SetAllFiles);
    connect(m_pThumbBox, &QCheckBox::toggled, this, [this](bool on) { m_pListStack->setCurrentIndex(on ? 1 : 0); });
    // The previewer opens as the user left it (open the first time).
    QTimer::singleShot(0, this,
                       [this] { SetPreviewOpen(Settings().value(QStringLiteral("files/previewer"), true).toBool()); });
    return bar;
}

void CFileListDlg::ReleaseTree()
{
    m_pPreviewTimer->stop();
    m_pPreview->Clear();
    m_pFileModel->SetFolder(nullptr, nullptr);
    m_pFolderModel->SetTree(nullptr);
}

void CFileListDlg::ResetQuickFilter()
{
    const QSignalBlocker a(m_pDeletedOnly), b(m_pKind), c(m_pSearch);
    m_pSearchTimer->stop();
    // Undelete Recovery lists deleted files only anyway.
    const bool undelete = m_Session.GetModule() == EModule::Undelete;
    m_pDeletedOnly->setChecked(undelete);
    m_pDeletedOnly->setEnabled(!undelete);
    m_pKind->setCurrentIndex(0);
    m_pSearch->clear();
    m_Quick = tagQuickFilter{};
}

void CFileListDlg::ApplyQuickFilter()
{
    m_pSearchTimer->stop();
    tagQuickFilter quick;
    quick.bDeletedOnly = m_pDeletedOnly->isChecked() && m_pDeletedOnly->isEnabled();
    quick.Category = static_cast<EFileCategory>(m_pKind->currentData().toInt());
    quick.strSearch = m_pSearch->text().trimmed().toStdString();
    if (quick.bDeletedOnly == m_Quick.bDeletedOnly && quick.Category == m_Quick.Category &&
        quick.strSearch == m_Quick.strSearch)
        return;
    m_Quick = quick;
    CQuickFilter::Apply(m_Session, m_Filter, m_Quick);
    ShowTree();
    // Narrowed: show the first folder that has something to show (the list of all files shows
    // them all anyway).
    if (m_Quick.Active() && !m_pAllFiles->isChecked())
    {
        if (tagTreeNode* folder = FirstFolderWithFiles()) ShowFolder(folder);
    }
}

tagTreeNode* CFileListDlg::FirstFolderWithFiles() const
{
    const CFileFind find(m_Session.GetCurrentTree());
    for (size_t f = 0; f < find.Folders().size(); ++f)
    {
        if (!find.FilesOf(static_cast<int>(f)).empty()) return const_cast<tagTreeNode*>(find.Folders()[f]);
    }
    return nullptr;
}

void CFileListDlg::SetPreviewOpen(bool open)
{
    m_pPreviewLink->SetOpen(open);
    m_pPreview->setVisible(open);
    if (open)
        PreviewCurrent();
    else
        m_pPreview->Clear();
}

void CFileListDlg::PreviewCurrent()
{
    m_pPreviewTimer->stop();
    tagTreeNode* node = CurrentFile();
    if (!m_pPreview->isVisibleTo(this) || !node || GuiIcons::IsFolderNode(node)) return m_pPreview->Clear();
    m_pPreview->ShowFile(m_Session.GetCurrentFileSystem(), node->pRecord, m_Session.GetCurrentTree().GetName(node));
}

QWidget* CFileListDlg::MakeLegend()
{
    auto* legend = new QWidget(this);
    auto* row = new QHBoxLayout(legend);
    row->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char*, GuiIcons::EIcon> icons[] = {
        {GuiText::kLegendDeletedFile, GuiIcons::EIcon::DeletedFile},
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
    ResetQuickFilter();
    CFileFilter::ApplyRestriction(m_Session, m_Filter);
    ShowTree();
}

void CFileListDlg::ShowTree()
{
    KNodeTree& tree = m_Session.GetCurrentTree();
    m_pFileModel->SetFolder(nullptr, nullptr);
    m_pFolderModel->SetTree(&tree);
    m_pFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
    if (m_pAllFiles->isChecked())
        m_pFileModel->SetFlat(&tree, tree.GetRoot());
    else
        ShowFolder(tree.GetRoot());
    uint64_t bytes = 0;
    uint32_t count = 0;
    tree.CountFiles(&bytes, &count);
    m_pTotal->setText(QString::fromStdString(TotalStatusText(bytes, count)));
    UpdateStatus();
}

void CFileListDlg::SetAllFiles(bool on)
{
    m_pFiles->setColumnHidden(CFileListModel::kPath, !on);
    KNodeTree& tree = m_Session.GetCurrentTree();
    if (on)
    {
        m_pFolders->selectionModel()->clear();
        m_pFileModel->SetFlat(&tree, tree.GetRoot());
    }
    else
        ShowFolder(tree.GetRoot());
}

void CFileListDlg::EndAllFiles()
{
    const QSignalBlocker block(m_pAllFiles);
    m_pAllFiles->setChecked(false);
    m_pFiles->setColumnHidden(CFileListModel::kPath, true);
}

void CFileListDlg::ShowFolder(tagTreeNode* folder)
{
    EndAllFiles();
    const QModelIndex index = m_pFolderModel->IndexOf(folder);
    if (!index.isValid())
    {
        m_pFileModel->SetFolder(m_pFolderModel->Tree(), folder);
        return;
    }
    m_pFolders->setCurrentIndex(index);
    m_pFolders->scrollTo(index);
    if (m_pFileModel->Folder() != folder || m_pFileModel->IsFlat())
        m_pFileModel->SetFolder(m_pFolderModel->Tree(), folder);
    FitColumns();
}

void CFileListDlg::FitColumns()
{
    // Every column readable at once: each as wide as the folder's texts (the view measures a
    // bounded number of rows, so a huge folder costs no more), names at least as wide as the
    // header's default.
    if (m_pFileModel->rowCount() == 0) return;
    for (int c = 0; c < CFileListModel::kColumns; ++c)
    {
        m_pFiles->resizeColumnToContents(c);
        if (c == CFileListModel::kName)
            m_pFiles->setColumnWidth(c, std::max(m_pFiles->columnWidth(c), CFileListModel::kWidths[c]));
    }
}

void CFileListDlg::UpdateStatus()
{
    uint64_t bytes = 0;
    uint32_t count = 0;
    m_Session.GetCurrentTree().GetSelection(&bytes, &count);
    m_pSelected->setText(QString::fromStdString(SelectedStatusText(bytes, count)));
}

void CFileListDlg::OnCheckChanged() { UpdateStatus(); }

QString CFileListDlg::SelectedStatus() const { return m_pSelected->text(); }

QString CFileListDlg::TotalStatus() const { return m_pTotal->text(); }

tagTreeNode* CFileListDlg::CurrentFolder() const { return m_pFileModel->Folder(); }

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
    if (m_strLastTarget.isEmpty()) m_strLastTarget = Settings().value(QStringLiteral("save/folder")).toString();
    CSaveSettingDlg setting(m_Session, bytes, count, m_strLastTarget, this);
    if (GuiDialogs::Exec(setting) != QDialog::Accepted) return;
    m_strLastTarget = setting.Path();
    Settings().setValue(QStringLiteral("save/folder"), m_strLastTarget);
    CSavingFileDlg saving(this);
    saving.Run(m_Session, m_strLastTarget);
}

void CFileListDlg::Filter()
{
    CAdvancedFilterDlg dialog(m_Filter, m_Session.GetModule(), this);
    if (GuiDialogs::Exec(dialog) != QDialog::Accepted) return;
    m_Filter = dialog.Settings();
    CQuickFilter::Apply(m_Session, m_Filter, m_Quick);
    ShowTree();
}

void CFileListDlg::FindFile()
{
    CFindFileDlg dialog(
        [this](const QString& text, bool matchCase, bool matchWord) { return FindNext(text, matchCase, matchWord); },
        this);
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
    if (path.isEmpty()) return;
    const std::string file = path.toStdString();
    if (const std::string source = CSourceGuard::SourceUnder(m_Session, file); !source.empty())
    {
        GuiDialogs::Box(this, EBox::Error, QString::fromStdString(CSourceGuard::RefusalText(file, source)));
        return;
    }
    const QString question = QString::fromStdString(FormatText(VlmString(IDS_EXPORT_DRIVE_WARNING), file.c_str()));
    if (GuiDialogs::Box(this, EBox::YesNo, question) != QMessageBox::Yes) return;
    if (CExportListing::ExportToFile(m_Session.GetCurrentTree(), file) != ERROR_SUCCESS)
    {
        GuiDialogs::Box(this, EBox::Error, QString::fromUtf8(VlmString(IDS_EXPORT_FAILED)));
        return;
    }
    GuiDialogs::Box(this, EBox::Information, QString::fromUtf8(VlmString(IDS_MISSION_COMPLETE)));
}

void CFileListDlg::Back() { CFileListNavigation::Back(m_Session, m_Launcher); }
