#pragma once

#include <QImage>
#include <QSize>

class QByteArray;

constexpr int kThumbnailWidth = 320;
constexpr int kMaxPictureSide = 10000; // larger in both directions: not shown

struct DecodedPicture
{
    QSize size; // the picture's own size, as far as it could be read
    QImage thumbnail; // kThumbnailWidth wide; null for a picture that is not valid
    bool isValid = false;
};

// Reads a picture from its bytes straight at thumbnail size where the format allows, so a
// large photo never costs a full-size image in memory. A picture too large in both
// directions is measured from its header and not decoded at all.
DecodedPicture decodePicture(const QByteArray &bytes);

// kThumbnailWidth wide, the height in proportion (rounded down, at least 1).
QSize thumbnailSize(const QSize &pictureSize);
