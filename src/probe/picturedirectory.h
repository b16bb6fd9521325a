#pragma once

#include <QString>

class QImage;

// Thumbnails and slide directories that the system makes live in the project directory's
// "picture/" folder, each under a name of its own.
QString pictureDirectory(); // ends with "/"
QString freshPictureName(); // a new braced uuid
// A new thumbnail file name in the picture directory, which is made when missing.
QString newThumbnailPath();
// Saves a picture's thumbnail under a new name there; returns its path.
QString savePictureThumbnail(const QImage &thumbnail);
// Whether path names a thumbnail that the system made: only those may be deleted with
// their item, never a user's own picture.
bool isMadeThumbnail(const QString &path);
