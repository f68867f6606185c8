#pragma once
// The message boxes of the previews, with the texts of the string table.
#include <QString>
#include <cstdint>

class QWidget;

namespace PreviewMessages {

void Information(QWidget* parent, uint32_t stringId);
void Error(QWidget* parent, uint32_t stringId);
void Error(QWidget* parent, const QString& text);
/// A text of the string table as a QString (the table is UTF-8).
QString Text(uint32_t stringId);

} // namespace PreviewMessages
