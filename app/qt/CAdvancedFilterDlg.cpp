#include "CAdvancedFilterDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/CGlobalParamTable.h"
#include "core/FileListText.h"
#include "core/VlmStrings.h"

namespace {

QDate DateOf(uint64_t fileTime)
{
    if (fileTime == 0) return QDate::currentDate();
    const tagCalendarTime t = FileTimeToCalendar(fileTime);
    return QDate(t.nYear, t.nMonth, t.nDay);
}

bool FileTimeOf(const QDate& date, uint64_t* fileTime)
{
    tagCalendarTime t;
    t.nYear = date.year();
    t.nMonth = date.month();
    t.nDay = date.day();
    return date.isValid() && CalendarToFileTime(t, fileTime);
}

} // namespace

CAdvancedFilterDlg::CAdvancedFilterDlg(const tagFilterSettings& settings, EModule module, QWidget* parent)
    : QDialog(parent), m_Settings(settings), m_Module(module)
{
    setWindowTitle(QString::fromUtf8(GuiText::kFilterTitle));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    m_pByName = new QCheckBox(QString::fromUtf8(GuiText::kByName), this);
    m_pNames = new QComboBox(this);
    m_pNames->setEditable(true);
    for (const std::string& choice : CFileFilter::NameChoices()) m_pNames->addItem(QString::fromStdString(choice));
    m_pNames->setEditText(QString::fromStdString(settings.strNames));
    m_pNames->setMinimumWidth(260);
    grid->addWidget(m_pByName, 0, 0);
    grid->addWidget(m_pNames, 0, 1, 1, 4);

    m_pBySize = new QCheckBox(QString::fromUtf8(GuiText::kBySize), this);
    m_pFrom = new QSpinBox(this);
    m_pTo = new QSpinBox(this);
    for (QSpinBox* box : {m_pFrom, m_pTo})
    {
        box->setRange(0, INT32_MAX);
        box->setSuffix(QStringLiteral(" ") + GuiText::kKB);
    }
    m_pFrom->setValue(static_cast<int>(std::min<uint64_t>(settings.u64FromKB, INT32_MAX)));
    m_pTo->setValue(static_cast<int>(std::min<uint64_t>(settings.u64ToKB, INT32_MAX)));
    grid->addWidget(m_pBySize, 1, 0);
    grid->addWidget(new QLabel(QString::fromUtf8(GuiText::kSizeFrom), this), 1, 1);
    grid->addWidget(m_pFrom, 1, 2);
    grid->addWidget(new QLabel(QString::fromUtf8(GuiText::kSizeTo), this), 1, 3);
    grid->addWidget(m_pTo, 1, 4);

    m_pByDate = new QCheckBox(QString::fromUtf8(GuiText::kByDate), this);
    m_pDateKind = new QComboBox(this);
    m_pDateKind->addItems({QString::fromUtf8(GuiText::kCreated), QString::fromUtf8(GuiText::kModified)});
    m_pDateKind->setCurrentIndex(settings.bModified ? 1 : 0);
    m_pDateFrom = new QDateEdit(DateOf(settings.ftFrom), this);
    m_pDateTo = new QDateEdit(DateOf(settings.ftTo), this);
    for (QDateEdit* edit : {m_pDateFrom, m_pDateTo})
    {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    grid->addWidget(m_pByDate, 2, 0);
    grid->addWidget(m_pDateKind, 2, 1);
    grid->addWidget(m_pDateFrom, 2, 2);
    grid->addWidget(new QLabel(QString::fromUtf8(GuiText::kSizeTo), this), 2, 3);
    grid->addWidget(m_pDateTo, 2, 4);
    layout->addLayout(grid);

    m_pShowDeleted = new QCheckBox(QString::fromUtf8(GuiText::kShowDeleted), this);
    m_pShowNormal = new QCheckBox(QString::fromUtf8(GuiText::kShowNormal), this);
    m_pShowDeleted->setChecked(settings.bShowDeleted);
    m_pShowNormal->setChecked(settings.bShowNormal);
    // Undelete Recovery lists deleted and lost files only.
    const bool undelete = module == EModule::Undelete;
    m_pShowDeleted->setVisible(!undelete);
    m_pShowNormal->setVisible(!undelete);
    layout->addWidget(m_pShowDeleted);
    layout->addWidget(m_pShowNormal);

    m_pUse = new QRadioButton(QString::fromUtf8(GuiText::kUseFilter), this);
    m_pNoFilter = new QRadioButton(QString::fromUtf8(GuiText::kNoFilter), this);
    (settings.bUseFilter ? m_pUse : m_pNoFilter)->setChecked(true);
    layout->addWidget(m_pUse);
    layout->addWidget(m_pNoFilter);
    m_pByName->setChecked(settings.bByName);
    m_pBySize->setChecked(settings.bBySize);
    m_pByDate->setChecked(settings.bByDate);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAdvancedFilterDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CAdvancedFilterDlg::accept()
{
    tagFilterSettings s = m_Settings;
    s.bByName = m_pByName->isChecked();
    s.strNames = m_pNames->currentText().toStdString();
    s.bBySize = m_pBySize->isChecked();
    s.u64FromKB = static_cast<uint64_t>(m_pFrom->value());
    s.u64ToKB = static_cast<uint64_t>(m_pTo->value());
    s.bByDate = m_pByDate->isChecked();
    s.bModified = m_pDateKind->currentIndex() == 1;
    if (!FileTimeOf(m_pDateFrom->date(), &s.ftFrom) || !FileTimeOf(m_pDateTo->date(), &s.ftTo))
    {
        GuiDialogs::Box(this, GuiDialogs::EBox::Error, QString::fromUtf8(VlmString(IDS_FILTER_BAD_PARAMETER)));
        return;
    }
    s.bShowDeleted = m_pShowDeleted->isChecked();
    s.bShowNormal = m_pShowNormal->isChecked();
    s.bUseFilter = m_pUse->isChecked();
    CFileFilter::Normalize(&s, m_Module);
    m_Settings = s;
    QDialog::accept();
}
