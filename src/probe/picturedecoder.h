#pragma once

#include <QImage>
#include <QSize>

#include <optional>

class QByteArray;

constexpr int kThumbnailWidth = 320;
// A strip taller than this is squeezed: the GUI thread saves the thumbnail, and a taller one
// would take it longer than a frame.
constexpr int kMaxThumbnailHeight = 4 * kThumbnailWidth;
constexpr int kMaxPictureSide = 10000; // larger in both directions: not shown
// What one decode may allocate unless the host says otherwise; video walls show pictures of
// 16000 x 4000 and more, which take 256 MB decoded.
constexpr int kDefaultPictureMemoryLimitMB = 512;
constexpr qint64 kBytesPerMB = 1024 * 1024;

struct DecodedPicture
{
    QSize size; // the picture's own size, as far as it could be read
    QImage thumbnail; // kThumbnailWidth wide; null for a picture that is not valid
    bool isValid = false;
};

// Reads a picture from its bytes straight at thumbnail size where the format does so cheaply,
// so a large photo never costs a full-size image in memory. The size comes from the header
// first: a picture whose decode would take more than memoryLimit bytes, one too large in both
// directions and one whose data falls short of what its header promises are not decoded.
// Safe to call on any thread.
DecodedPicture decodePicture(const QByteArray &bytes,
                             qint64 memoryLimit = kDefaultPictureMemoryLimitMB * kBytesPerMB);

// The same where decoding costs less than handing the bytes to another thread: they hold
// nothing a reader knows, or a header that promises a picture of at most kSmallPictureArea
// pixels, which decodes in well under a millisecond. Nothing for a larger picture, whose
// header is then read once more where it is decoded.
constexpr qint64 kSmallPictureArea = 256 * 256;
std::optional<DecodedPicture> decodeSmallPicture(const QByteArray &bytes,
                                                 qint64 memoryLimit
                                                 = kDefaultPictureMemoryLimitMB * kBytesPerMB);

// kThumbnailWidth wide, the height in proportion (rounded down, at least 1, at most
// kMaxThumbnailHeight).
QSize thumbnailSize(const QSize &pictureSize);
