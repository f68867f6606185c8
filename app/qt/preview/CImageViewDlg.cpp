#include "CImageViewDlg.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "CFitImageView.h"
#include "PreviewMessages.h"
#include "core/VlmStrings.h"

CImageViewDlg::CImageViewDlg(const QImage& image, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(PreviewMessages::Text(IDS_VIEW_IMAGE_TITLE));
    m_pView = new CFitImageView(this);
    m_pView->SetImage(image);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pView, 1);
    layout->addWidget(buttons);
    resize(image.size().boundedTo(QSize(1000, 720)).expandedTo(QSize(320, 240)) + QSize(24, 64));
}
