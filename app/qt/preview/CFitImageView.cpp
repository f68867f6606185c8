#include "CFitImageView.h"

#include <QPainter>

CFitImageView::CFitImageView(QWidget* parent) : QWidget(parent) { setMinimumSize(120, 90); }

void CFitImageView::SetImage(const QImage& image)
{
    m_Image = image;
    m_strText.clear();
    update();
}

void CFitImageView::SetText(const QString& text)
{
    m_Image = QImage();
    m_strText = text;
    update();
}

void CFitImageView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (m_Image.isNull())
    {
        painter.setPen(Qt::black);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, m_strText);
        return;
    }
    QSize target = m_Image.size();
    if (target.width() > width() || target.height() > height()) target = target.scaled(size(), Qt::KeepAspectRatio);
    const QRect area(QPoint((width() - target.width()) / 2, (height() - target.height()) / 2), target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(area, m_Image);
}

void CFitImageView::mouseDoubleClickEvent(QMouseEvent*) { emit DoubleClicked(); }
