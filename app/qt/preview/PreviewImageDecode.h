#pragma once
// Decoding a recovered picture for display, always at a reduced size: the decoder is asked for
// a picture no larger than the bound, so a huge or hostile file cannot take the memory a full
// decode would.
#include <QImage>
#include <QSize>

class QIODevice;
class QString;

/// The largest picture any preview decodes.
inline constexpr int kPreviewImageMaxSide = 4096;

/// Decodes the picture from `device` scaled to fit `bound` (keeping its proportions, never
/// enlarged). A null image when the data do not decode or the picture has no area.
QImage DecodePreviewImage(QIODevice* device, QSize bound);
QImage DecodePreviewImage(const QString& path, QSize bound);
