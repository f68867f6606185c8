#include "CSettingDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "GuiTexts.h"
#include "volume/KVolumeManager.h"

CSettingDlg::CSettingDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromUtf8(GuiText::kSettingTitle));
    auto* layout = new QVBoxLayout(this);
    m_pDynamic = new QCheckBox(QString::fromUtf8(GuiText::kInitDynamic), this);
    m_pBasic = new QCheckBox(QString::fromUtf8(GuiText::kInitBasic), this);
    m_pDynamic->setChecked(g_bScanDynamic);
    m_pBasic->setChecked(g_bScanBasic);
    layout->addWidget(m_pDynamic);
    layout->addWidget(m_pBasic);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSettingDlg::reject);
    layout->addWidget(buttons);
}

void CSettingDlg::accept()
{
    g_bScanDynamic = m_pDynamic->isChecked();
    g_bScanBasic = m_pBasic->isChecked();
    QDialog::accept();
}
