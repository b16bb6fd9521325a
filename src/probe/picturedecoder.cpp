#include "probe/picturedecoder.h"

#include <QBuffer>
#include <QImageReader>

namespace {

bool isTooLarge(const QSize &size)
{
    return size.width() > kMaxPictureSide && size.height() > kMaxPictureSide;
}

} // namespace

QSize thumbnailSize(const QSize &pictureSize)
{
    return {kThumbnailWidth, qMax(1, pictureSize.height() * kThumbnailWidth / pictureSize.width())};
}

DecodedPicture decodePicture(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {}; // nothing for the format readers to look at
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);

    DecodedPicture picture;
    picture.size = reader.size();
    if (isTooLarge(picture.size))
        return picture;
    if (picture.size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(thumbnailSize(picture.size));
    const QImage image = reader.read();
    if (image.isNull() || image.width() == 0)
        return picture;
    if (!picture.size.isValid())
        picture.size = image.size(); // the format keeps its size out of the header
    if (isTooLarge(picture.size))
        return picture;

    const QSize target = thumbnailSize(picture.size);
    picture.thumbnail = image.size() == target ? image
                                               : image.scaled(target, Qt::IgnoreAspectRatio,
                                                              Qt::FastTransformation);
    picture.isValid = true;
    return picture;
}
