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
// Removes a thumbnail file or slide directory that the system made, with the item it
// belonged to. Anything outside the picture directory, such as a user's own picture that an
// item shows as itself, is left alone.
void removeMadePicture(const QString &path);
