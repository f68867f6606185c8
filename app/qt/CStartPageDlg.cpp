#include "CStartPageDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "CSettingDlg.h"
#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/CGlobalParamTable.h"

namespace {

constexpr int kFirstCommand = 1003;

} // namespace

CStartPageDlg::CStartPageDlg(CGlobalParamTable& session, QWidget* parent) : QWidget(parent), m_Session(session)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 18, 28, 18);
    auto* heading = new QLabel(QString::fromUtf8(GuiText::kStartHeading), this);
    QFont big = heading->font();
    big.setPointSize(big.pointSize() + 5);
    big.setBold(true);
    heading->setFont(big);
    layout->addWidget(heading);
    layout->addSpacing(8);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(12);
    const QStyle::StandardPixmap icons[] = {QStyle::SP_TrashIcon, QStyle::SP_DriveHDIcon,
                                            QStyle::SP_FileDialogContentsView, QStyle::SP_BrowserReload,
                                            QStyle::SP_ArrowForward};
    for (int m = 0; m < 5; ++m)
    {
        const bool wizard = m == 4;
        auto* button =
            new QPushButton(style()->standardIcon(icons[m]),
                            wizard ? QString::fromUtf8(GuiText::kWizardButton)
                                   : QString::fromUtf8(CGlobalParamTable::ModuleName(static_cast<EModule>(m))),
                            this);
        button->setMinimumSize(210, 44);
        button->setIconSize(QSize(24, 24));
        button->setStyleSheet(QStringLiteral("text-align: left; padding-left: 10px; font-weight: bold;"));
        auto* description =
            new QLabel(wizard ? QString::fromUtf8(GuiText::kWizardDescription)
                              : QString::fromUtf8(CGlobalParamTable::ModuleDescription(static_cast<EModule>(m))),
                       this);
        description->setWordWrap(true);
        grid->addWidget(button, m, 0);
        grid->addWidget(description, m, 1);
        m_Buttons[m] = button;
        const int command = kFirstCommand + m;
        connect(button, &QPushButton::clicked, this, [this, command] { emit Command(command); });
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addStretch();

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    auto* panelLayout = new QHBoxLayout(panel);
    auto* info = new QLabel(QString::fromUtf8(GuiText::kInfoPanel), panel);
    info->setWordWrap(true);
    m_pSetting = new QPushButton(QString::fromUtf8(GuiText::kSettingButton), panel);
    panelLayout->addWidget(info, 1);
    panelLayout->addWidget(m_pSetting);
    layout->addWidget(panel);
    connect(m_pSetting, &QPushButton::clicked, this, &CStartPageDlg::OpenSetting);
}

QPushButton* CStartPageDlg::ModuleButton(int row) const { return row >= 0 && row < 5 ? m_Buttons[row] : nullptr; }

void CStartPageDlg::OpenSetting()
{
    CSettingDlg dialog(this);
    GuiDialogs::Exec(dialog);
}
