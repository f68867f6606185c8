#include "PreviewMessages.h"

#include <QApplication>
#include <QMessageBox>

#include "core/VlmStrings.h"

namespace PreviewMessages {

QString Text(uint32_t stringId) { return QString::fromUtf8(VlmString(stringId)); }

void Information(QWidget* parent, uint32_t stringId)
{
    QMessageBox::information(parent, QApplication::applicationDisplayName(), Text(stringId));
}

void Error(QWidget* parent, uint32_t stringId) { Error(parent, Text(stringId)); }

void Error(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), text);
}

} // namespace PreviewMessages
