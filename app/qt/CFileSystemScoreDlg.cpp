#include "CFileSystemScoreDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "CSaveResultDlg.h"
#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/CGlobalParamTable.h"
#include "core/CPartitionList.h"
#include "core/CRecoveryLauncher.h"
#include "core/VlmStrings.h"

namespace {

constexpr int kWidths[tagPartitionRow::kColumns] = {90, 80, 130, 90, 70, 80, 90, 90};
constexpr Qt::Alignment kAlign[tagPartitionRow::kColumns] = {Qt::AlignLeft,    Qt::AlignLeft,   Qt::AlignLeft,
                                                             Qt::AlignHCenter, Qt::AlignRight,  Qt::AlignHCenter,
                                                             Qt::AlignHCenter, Qt::AlignHCenter};

} // namespace

CFileSystemScoreDlg::CFileSystemScoreDlg(CGlobalParamTable& session, CRecoveryLauncher& launcher, QWidget* parent)
    : QWidget(parent), m_Session(session), m_Launcher(launcher),
      m_pPartitions(std::make_unique<CPartitionList>(session))
{
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QString::fromUtf8(VlmString(IDS_PARTITION_HEADING)), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    m_pList = new QTreeWidget(this);
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setAllColumnsShowFocus(true);
    QStringList headers;
    for (const std::string& h : CPartitionList::Headers()) headers << QString::fromStdString(h);
    m_pList->setHeaderLabels(headers);
    for (int c = 0; c < tagPartitionRow::kColumns; ++c) m_pList->setColumnWidth(c, kWidths[c]);
    layout->addWidget(m_pList, 1);
    layout->addWidget(new QLabel(QString::fromUtf8(VlmString(IDS_PARTITION_HINT)), this));
    auto* saveHint = new QLabel(QString::fromUtf8(VlmString(IDS_PARTITION_SAVE_HINT)), this);
    saveHint->setWordWrap(true);
    layout->addWidget(saveHint);
    auto* buttons = new QHBoxLayout;
    m_pBack = new QPushButton(QString::fromUtf8(GuiText::kBackToDevices), this);
    m_pSave = new QPushButton(QString::fromUtf8(GuiText::kSaveScanResult), this);
    m_pShowFiles = new QPushButton(QString::fromUtf8(GuiText::kShowFiles), this);
    m_pShowFiles->setDefault(true);
    buttons->addWidget(m_pBack);
    buttons->addStretch();
    buttons->addWidget(m_pSave);
    buttons->addWidget(m_pShowFiles);
    layout->addLayout(buttons);
    connect(m_pShowFiles, &QPushButton::clicked, this, &CFileSystemScoreDlg::ShowFiles);
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, &CFileSystemScoreDlg::ShowFiles);
    connect(m_pSave, &QPushButton::clicked, this, &CFileSystemScoreDlg::SaveResult);
    connect(m_pBack, &QPushButton::clicked, this, [this] { m_Launcher.BackToDevices(); });
}

CFileSystemScoreDlg::~CFileSystemScoreDlg() = default;

void CFileSystemScoreDlg::Activate()
{
    m_pList->clear();
    m_pPartitions->Fill();
    for (const tagPartitionRow& row : m_pPartitions->Rows())
    {
        auto* item = new QTreeWidgetItem(m_pList);
        for (int c = 0; c < tagPartitionRow::kColumns; ++c)
        {
            item->setText(c, QString::fromStdString(row.Columns[c]));
            item->setTextAlignment(c, kAlign[c] | Qt::AlignVCenter);
            if (row.bRaw) item->setForeground(c, QColor(0, 0, 255));
        }
    }
    if (m_pList->topLevelItemCount() > 0) m_pList->setCurrentItem(m_pList->topLevelItem(0));
}

void CFileSystemScoreDlg::ShowFiles()
{
    QTreeWidgetItem* item = m_pList->currentItem();
    const int row = item && item->isSelected() ? m_pList->indexOfTopLevelItem(item) : -1;
    m_pPartitions->ShowFiles(row);
}

void CFileSystemScoreDlg::SaveResult()
{
    CSaveResultDlg dialog(this);
    if (GuiDialogs::Exec(dialog) == QDialog::Accepted) m_pPartitions->SaveAs(dialog.Path().toStdString());
}
