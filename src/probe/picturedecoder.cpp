#include "probe/picturedecoder.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>
#include <QtMath>

namespace {

// What a decoded pixel takes in 32-bit colour, as most pictures decode; a 16-bit PNG takes
// twice as much, a grey one a quarter.
constexpr int kBytesPerPixel = 4;

// libjpeg decodes straight from the compressed data at 1 to 8 eighths of each side. The other
// formats' scaled reads decode the whole picture first (PNG's even at 4 bytes a pixel whatever
// its own depth), so they decode at full size and are scaled here.
constexpr char kJpegFormat[] = "jpeg";
constexpr int kJpegEighths = 8;
// The segments ahead of the first scan give their lengths; the scan runs to the end marker.
constexpr int kJpegSegmentsAt = 2; // past the start-of-image marker
constexpr uchar kJpegMarker = 0xFF;
constexpr uchar kJpegStartOfScan = 0xDA;
constexpr char kJpegEndOfImage[] = "\xFF\xD9";

// Where a bitmap file tells how much pixel data it holds.
constexpr char kBitmapFormat[] = "bmp";
constexpr int kBitmapDataOffsetAt = 10;
constexpr int kBitmapHeaderSizeAt = 14;
constexpr quint32 kBitmapCoreHeaderSize = 12; // the oldest header, which has no compression
constexpr int kBitmapCoreDepthAt = 24;
constexpr int kBitmapDepthAt = 28;
constexpr int kBitmapCompressionAt = 30;
constexpr quint32 kBitmapUncompressed = 0;
constexpr quint32 kBitmapBitFields = 3; // uncompressed too: masks name the channels

bool isTooLarge(const QSize &size)
{
    return size.width() > kMaxPictureSide && size.height() > kMaxPictureSide;
}

template<typename T>
T littleEndianAt(const QByteArray &bytes, int at)
{
    return at + int(sizeof(T)) <= bytes.size() ? qFromLittleEndian<T>(bytes.constData() + at) : T();
}

// An uncompressed bitmap's header fixes its pixel data: one row of whole 32-bit words per line
// (the last row may lack its padding). Qt's reader leaves the rows the file lacks uninitialised
// and calls the result valid. Run-length data may end early: what it skips is blank.
bool lacksBitmapData(const QByteArray &bmp, const QSize &size)
{
    const bool isCore = littleEndianAt<quint32>(bmp, kBitmapHeaderSizeAt) == kBitmapCoreHeaderSize;
    const quint32 compression
            = isCore ? kBitmapUncompressed : littleEndianAt<quint32>(bmp, kBitmapCompressionAt);
    if (compression != kBitmapUncompressed && compression != kBitmapBitFields)
        return false;
    const int depth = littleEndianAt<quint16>(bmp, isCore ? kBitmapCoreDepthAt : kBitmapDepthAt);
    const qint64 rowBits = qint64(size.width()) * depth;
    const qint64 needed = (rowBits + 31) / 32 * 4 * (size.height() - 1) + (rowBits + 7) / 8;
    return bmp.size() - qint64(littleEndianAt<quint32>(bmp, kBitmapDataOffsetAt)) < needed;
}

// libjpeg only warns about a file cut off in its scan and fills the rest with grey.
bool lacksJpegEnd(const QByteArray &jpeg)
{
    int at = kJpegSegmentsAt;
    while (at + 4 <= jpeg.size() && uchar(jpeg.at(at)) == kJpegMarker
           && uchar(jpeg.at(at + 1)) != kJpegStartOfScan) {
        const bool isFill = uchar(jpeg.at(at + 1)) == kJpegMarker;
        at += isFill ? 1 : 2 + qFromBigEndian<quint16>(jpeg.constData() + at + 2);
    }
    return jpeg.indexOf(kJpegEndOfImage, at) < 0;
}

// The PNG and portable-map readers fail by themselves on data that ends early.
bool lacksPromisedData(const QByteArray &bytes, const QByteArray &format, const QSize &size)
{
    if (format == kBitmapFormat)
        return lacksBitmapData(bytes, size);
    if (format == kJpegFormat)
        return lacksJpegEnd(bytes);
    return false;
}

// The largest image the decode makes: the whole picture, or for a JPEG the picture at the
// fewest eighths of each side that still cover the target, as libjpeg picks them.
qint64 decodeBytes(const QSize &size, const QSize &target, bool decodesScaled)
{
    const qreal shrink
            = qMin(qreal(size.width()) / target.width(), qreal(size.height()) / target.height());
    const int eighths
            = decodesScaled ? qBound(1, qCeil(kJpegEighths / shrink), kJpegEighths) : kJpegEighths;
    const auto side = [eighths](int full) {
        return qCeil(qreal(full) * eighths / kJpegEighths);
    };
    return qint64(side(size.width())) * side(size.height()) * kBytesPerPixel;
}

// The decode once the reader has read the header, which gave size.
DecodedPicture decodeRead(QImageReader &reader, const QByteArray &bytes, const QSize &size,
                          qint64 memoryLimit)
{
    DecodedPicture picture;
    picture.size = size;
    if (picture.size.isEmpty() || isTooLarge(picture.size))
        return picture; // without a size from the header the decode could take any memory
    const QByteArray format = reader.format();
    const bool decodesScaled = format == kJpegFormat;
    const QSize target = thumbnailSize(picture.size);
    if (lacksPromisedData(bytes, format, picture.size)
        || decodeBytes(picture.size, target, decodesScaled) > memoryLimit)
        return picture;
    if (decodesScaled)
        reader.setScaledSize(target);
    const QImage image = reader.read();
    if (image.isNull())
        return picture;

    picture.thumbnail = image.size() == target ? image
                                               : image.scaled(target, Qt::IgnoreAspectRatio,
                                                              Qt::FastTransformation);
    picture.isValid = true;
    return picture;
}

} // namespace

QSize thumbnailSize(const QSize &pictureSize)
{
    const qint64 height = qint64(pictureSize.height()) * kThumbnailWidth / pictureSize.width();
    return {kThumbnailWidth, int(qBound<qint64>(1, height, kMaxThumbnailHeight))};
}

DecodedPicture decodePicture(const QByteArray &bytes, qint64 memoryLimit)
{
    if (bytes.isEmpty())
        return {}; // nothing for the format readers to look at
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return decodeRead(reader, bytes, reader.size(), memoryLimit);
}

std::optional<DecodedPicture> decodeSmallPicture(const QByteArray &bytes, qint64 memoryLimit)
{
    if (bytes.isEmpty())
        return DecodedPicture();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isEmpty() && qint64(size.width()) * size.height() > kSmallPictureArea)
        return std::nullopt;
    return decodeRead(reader, bytes, size, memoryLimit);
}
