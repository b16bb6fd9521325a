#pragma once

#include "store/ui_proc_mediainfo_desktop.h"

#include <QString>
#include <QVector>

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

// Pictures travel between consoles by their names in a picture directory.
// The name of a picture that the system made, in this project or in another one that shares
// its store; empty for a path that does not lie directly in a picture directory.
QString madePictureName(const QString &path);
// The files of a picture made in this project, named as in its picture directory; empty for
// any other path, or when a file cannot be read.
QVector<StoredPictureFile> readMadePicture(const QString &path);
// Writes a picture's files into this project's picture directory; returns the picture's path
// there, or empty when a name would lead elsewhere or a file cannot be written.
QString writeMadePicture(const QVector<StoredPictureFile> &files);
