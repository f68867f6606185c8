#include "CAddImageDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/DeviceAccess.h"

using GuiDialogs::EBox;

CAddImageDlg::CAddImageDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromUtf8(GuiText::kAddImageTitle));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    m_pImage = new QLineEdit(this);
    m_pMap = new QLineEdit(this);
    m_pImage->setMinimumWidth(360);
    auto* browseImage = new QPushButton(QString::fromUtf8(GuiText::kBrowse), this);
    auto* browseMap = new QPushButton(QString::fromUtf8(GuiText::kBrowse), this);
    grid->addWidget(new QLabel(QString::fromUtf8(GuiText::kImageFile), this), 0, 0);
    grid->addWidget(m_pImage, 0, 1);
    grid->addWidget(browseImage, 0, 2);
    grid->addWidget(new QLabel(QString::fromUtf8(GuiText::kMapFile), this), 1, 0);
    grid->addWidget(m_pMap, 1, 1);
    grid->addWidget(browseMap, 1, 2);
    layout->addLayout(grid);
    auto* hint = new QLabel(QString::fromUtf8(GuiText::kMapHint), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAddImageDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browseImage, &QPushButton::clicked, this, [this] {
        const QString path = GuiDialogs::ChooseOpenFile(this, QString::fromUtf8(GuiText::kAddImageTitle),
                                                        QString::fromUtf8(GuiText::kImageFilter));
        if (!path.isEmpty()) m_pImage->setText(path);
    });
    connect(browseMap, &QPushButton::clicked, this, [this] {
        const QString path = GuiDialogs::ChooseOpenFile(this, QString::fromUtf8(GuiText::kMapFile).remove(':'),
                                                        QString::fromUtf8(GuiText::kMapFilter));
        if (!path.isEmpty()) m_pMap->setText(path);
    });
}

QString CAddImageDlg::ImagePath() const { return m_pImage->text().trimmed(); }

QString CAddImageDlg::MapPath() const { return m_pMap->text().trimmed(); }

void CAddImageDlg::accept()
{
    if (ImagePath().isEmpty()) return;
    std::string error;
    const std::string image = ImagePath().toStdString();
    if (!DeviceAccess::CheckImage(image, &error))
    {
        GuiDialogs::Box(this, EBox::Error, QString::fromStdString(error));
        return;
    }
    if (!MapPath().isEmpty())
    {
        std::string warning;
        if (!DeviceAccess::CheckMap(MapPath().toStdString(), image, &error, &warning))
        {
            GuiDialogs::Box(this, EBox::Error, QString::fromStdString(error));
            return;
        }
        if (!warning.empty()) GuiDialogs::Box(this, EBox::Warning, QString::fromStdString(warning));
    }
    QDialog::accept();
}

bool CAddImageDlg::Ask(QWidget* parent, QString* image, QString* map)
{
    CAddImageDlg dialog(parent);
    if (GuiDialogs::Exec(dialog) != QDialog::Accepted) return false;
    *image = dialog.ImagePath();
    *map = dialog.MapPath();
    return true;
}
