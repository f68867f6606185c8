#include "CRecoveryWizardDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "CDeviceListCtrl.h"
#include "CFileTypeTreeWidget.h"
#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/CFileTypeTree.h"
#include "core/CGlobalParamTable.h"
#include "core/VlmStrings.h"

using EChoice = CRecoveryLauncher::EDeepScanChoice;

namespace {

QLabel* Title(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont bold = label->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    label->setFont(bold);
    return label;
}

} // namespace

CRecoveryWizardDlg::CRecoveryWizardDlg(CGlobalParamTable& session, QWidget* parent)
    : QDialog(parent), m_Session(session), m_pTypes(std::make_unique<CFileTypeTree>(session.RawTypes()))
{
    setWindowTitle(QString::fromUtf8(GuiText::kWizardTitle));
    resize(720, 480);
    auto* layout = new QVBoxLayout(this);
    m_pPages = new QStackedWidget(this);
    m_pPages->addWidget(MakeWelcome());
    m_pPages->addWidget(MakeSelectDevice());
    m_pPages->addWidget(MakeDeepScanSetting());
    m_pPages->addWidget(MakeSummary());
    layout->addWidget(m_pPages, 1);
    auto* buttons = new QHBoxLayout;
    m_pBack = new QPushButton(QString::fromUtf8(GuiText::kWizardBack), this);
    m_pNext = new QPushButton(QString::fromUtf8(GuiText::kWizardNext), this);
    auto* cancel = new QPushButton(QString::fromUtf8(GuiText::kCancel), this);
    m_pNext->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(m_pBack);
    buttons->addWidget(m_pNext);
    buttons->addSpacing(12);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(m_pBack, &QPushButton::clicked, this, &CRecoveryWizardDlg::Back);
    connect(m_pNext, &QPushButton::clicked, this, &CRecoveryWizardDlg::Next);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    ShowPage(kWelcome);
}

CRecoveryWizardDlg::~CRecoveryWizardDlg() = default;

QWidget* CRecoveryWizardDlg::MakeWelcome()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Title(QString::fromUtf8(GuiText::kWizardTitle), page));
    auto* text = new QLabel(QString::fromUtf8(GuiText::kWizardWelcome), page);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addStretch();
    return page;
}

QWidget* CRecoveryWizardDlg::MakeSelectDevice()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Title(QString::fromUtf8(GuiText::kWizardSelectDevice), page));
    m_pDevices = new CDeviceListCtrl(page);
    m_pDevices->Fill(m_Session.VolumeManager(), EModule::Advanced);
    layout->addWidget(m_pDevices, 1);
    auto* note = new QLabel(QString::fromUtf8(GuiText::kWizardDeviceNote), page);
    note->setWordWrap(true);
    layout->addWidget(note);
    m_pOnlyDeletion = new QCheckBox(QString::fromUtf8(GuiText::kWizardOnlyDeletion), page);
    layout->addWidget(m_pOnlyDeletion);
    return page;
}

QWidget* CRecoveryWizardDlg::MakeDeepScanSetting()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Title(QString::fromUtf8(GuiText::kDeepScanSetting), page));
    m_pUse = new QRadioButton(QString::fromUtf8(GuiText::kUseDeepScan), page);
    m_pDoNotUse = new QRadioButton(QString::fromUtf8(GuiText::kNoDeepScan), page);
    m_pOnly = new QRadioButton(QString::fromUtf8(GuiText::kDeepScanOnly), page);
    auto* group = new QButtonGroup(page);
    for (QRadioButton* b : {m_pUse, m_pDoNotUse, m_pOnly})
    {
        group->addButton(b);
        layout->addWidget(b);
    }
    m_pDoNotUse->setChecked(true);
    m_pTypeTree = new CFileTypeTreeWidget(*m_pTypes, page);
    layout->addWidget(m_pTypeTree, 1);
    auto enableTypes = [this] { m_pTypeTree->setEnabled(!m_pDoNotUse->isChecked()); };
    connect(group, &QButtonGroup::buttonToggled, this, enableTypes);
    enableTypes();
    return page;
}

QWidget* CRecoveryWizardDlg::MakeSummary()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Title(QString::fromUtf8(GuiText::kWizardTitle), page));
    m_pSummary = new QLabel(page);
    m_pSummary->setTextFormat(Qt::PlainText);
    m_pSummary->setWordWrap(true);
    layout->addWidget(m_pSummary);
    layout->addStretch();
    return page;
}

int CRecoveryWizardDlg::CurrentPage() const { return m_pPages->currentIndex(); }

QRadioButton* CRecoveryWizardDlg::ChoiceButton(EChoice choice) const
{
    switch (choice)
    {
    case EChoice::Use: return m_pUse;
    case EChoice::DoNotUse: return m_pDoNotUse;
    case EChoice::Only: return m_pOnly;
    }
    return nullptr;
}

bool CRecoveryWizardDlg::OnlyDeletion() const { return m_pOnlyDeletion->isChecked(); }

EChoice CRecoveryWizardDlg::DeepScanChoice() const
{
    if (m_pUse->isChecked()) return EChoice::Use;
    return m_pOnly->isChecked() ? EChoice::Only : EChoice::DoNotUse;
}

bool CRecoveryWizardDlg::CheckPage(int page)
{
    if (page == kSelectDevice)
    {
        const int volume = m_pDevices->SelectedVolume();
        if (volume < 0)
        {
            GuiDialogs::Box(this, GuiDialogs::EBox::Information, QString::fromUtf8(VlmString(IDS_SELECT_DEVICE)));
            return false;
        }
        m_nVolume = volume;
        m_Session.SetSelectedVolumeIndex(volume);
    }
    if (page == kDeepScanSetting && DeepScanChoice() != EChoice::DoNotUse)
        return m_pTypes->AcceptChoice(m_Session.Port());
    return true;
}

void CRecoveryWizardDlg::Next()
{
    const int page = CurrentPage();
    if (!CheckPage(page)) return;
    if (page == kSummary)
    {
        accept();
        return;
    }
    ShowPage(page + 1);
}

void CRecoveryWizardDlg::Back()
{
    if (CurrentPage() > kWelcome) ShowPage(CurrentPage() - 1);
}

void CRecoveryWizardDlg::ShowPage(int page)
{
    if (page == kSummary) FillSummary();
    m_pPages->setCurrentIndex(page);
    m_pBack->setEnabled(page > kWelcome);
}

void CRecoveryWizardDlg::FillSummary()
{
    CRecoveryLauncher launcher(m_Session);
    const EModule module = launcher.WizardModule(m_nVolume, OnlyDeletion());
    m_pSummary->setText(QStringLiteral("%1 %2\n\n%3 %4\n\n%5 %6\n\n\n%7")
                            .arg(GuiText::kSummarySelected, m_pDevices->DeviceText(m_nVolume), GuiText::kSummaryType,
                                 m_pDevices->TypeText(m_nVolume), GuiText::kSummaryModule,
                                 CGlobalParamTable::ModuleName(module), GuiText::kSummaryReady));
}

QString CRecoveryWizardDlg::SummaryText() const { return m_pSummary->text(); }
