#include "CResumeRecoveryDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/CGlobalParamTable.h"
#include "core/CResumeList.h"
#include "core/VlmStrings.h"
#include "volume/VolumeTypes.h"

CResumeRecoveryDlg::CResumeRecoveryDlg(CGlobalParamTable& session, QWidget* parent)
    : QWidget(parent), m_Session(session), m_pHistory(std::make_unique<CResumeList>(session))
{
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QString::fromUtf8(VlmString(IDS_RESUME_HEADING)), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    m_pList = new QTreeWidget(this);
    m_pList->setRootIsDecorated(false);
    m_pList->setAllColumnsShowFocus(true);
    QStringList headers;
    for (const std::string& h : CResumeList::Headers()) headers << QString::fromStdString(h);
    m_pList->setHeaderLabels(headers);
    m_pList->setColumnWidth(0, 200);
    m_pList->setColumnWidth(1, 150);
    m_pList->setColumnWidth(2, 120);
    m_pList->setColumnWidth(3, 200);
    layout->addWidget(m_pList, 1);
    layout->addWidget(new QLabel(QString::fromUtf8(VlmString(IDS_RESUME_HINT_CONTINUE)), this));
    layout->addWidget(new QLabel(QString::fromUtf8(VlmString(IDS_RESUME_HINT_FILE)), this));
    auto* buttons = new QHBoxLayout;
    auto* back = new QPushButton(QString::fromUtf8(GuiText::kBackButton), this);
    m_pLoad = new QPushButton(QString::fromUtf8(GuiText::kLoadFromFile), this);
    m_pContinue = new QPushButton(QString::fromUtf8(GuiText::kContinue), this);
    m_pContinue->setDefault(true);
    buttons->addWidget(back);
    buttons->addStretch();
    buttons->addWidget(m_pLoad);
    buttons->addWidget(m_pContinue);
    layout->addLayout(buttons);
    connect(back, &QPushButton::clicked, this, &CResumeRecoveryDlg::BackToStart);
    connect(m_pContinue, &QPushButton::clicked, this, &CResumeRecoveryDlg::Continue);
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, &CResumeRecoveryDlg::Continue);
    connect(m_pLoad, &QPushButton::clicked, this, &CResumeRecoveryDlg::LoadFromFile);
}

CResumeRecoveryDlg::~CResumeRecoveryDlg() = default;

void CResumeRecoveryDlg::Activate()
{
    m_pList->clear();
    m_pHistory->Refresh();
    const auto& entries = m_pHistory->Entries();
    for (size_t i = 0; i < entries.size(); ++i)
    {
        QStringList texts;
        for (const std::string& text : m_pHistory->Row(i)) texts << QString::fromStdString(text);
        auto* item = new QTreeWidgetItem(m_pList, texts);
        const bool physical = entries[i].dwVolumeType == static_cast<uint32_t>(VOLUME_PHYSICAL);
        item->setIcon(0, style()->standardIcon(physical ? QStyle::SP_DriveHDIcon : QStyle::SP_DirIcon));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(0, QString::fromStdString(entries[i].strPath));
    }
}

void CResumeRecoveryDlg::Continue()
{
    QTreeWidgetItem* item = m_pList->currentItem();
    m_pHistory->Continue(item && item->isSelected() ? m_pList->indexOfTopLevelItem(item) : -1);
}

void CResumeRecoveryDlg::LoadFromFile()
{
    const QString path = GuiDialogs::ChooseOpenFile(this, QString::fromUtf8(GuiText::kLoadFromFile).remove('&'),
                                                    QString::fromUtf8(GuiText::kResultFilter));
    if (!path.isEmpty()) m_pHistory->LoadFile(path.toStdString());
}
