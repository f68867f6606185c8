#include "PreviewImageDecode.h"

#include <QImageReader>

namespace {

QImage Decode(QImageReader& reader, QSize bound)
{
    bound = bound.boundedTo(QSize(kPreviewImageMaxSide, kPreviewImageMaxSide)).expandedTo(QSize(1, 1));
    // Recovered files often carry the wrong name (or a made-up one): the content decides.
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid())
    {
        if (full.width() <= 0 || full.height() <= 0) return {};
        if (full.width() > bound.width() || full.height() > bound.height())
            reader.setScaledSize(full.scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    else
        // The size is not known before decoding: keep the decoder's own memory limit.
        reader.setScaledSize(QSize());
    QImage image = reader.read();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return {};
    if (image.width() > bound.width() || image.height() > bound.height())
        image = image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

QImage DecodePreviewImage(QIODevice* device, QSize bound)
{
    QImageReader reader(device);
    return Decode(reader, bound);
}

QImage DecodePreviewImage(const QString& path, QSize bound)
{
    QImageReader reader(path);
    return Decode(reader, bound);
}
