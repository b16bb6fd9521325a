#pragma once

#include <QString>

class QFileInfo;

// A file's media type comes from its suffix alone, compared without regard to letter case
// (cameras and Windows machines write MOVIE.MP4 and Photo.JPG).
bool isVideo(const QString &path);
bool isPicture(const QString &path);
bool isAudio(const QString &path);
bool isOffice(const QString &path);
bool isMediaFile(const QString &path); // of any of the four types

// What the folder walk takes into the tree: directories, and regular files of a known
// type. Pipes, sockets and devices are left out whatever their names, since reading one
// would block.
bool isAcceptedEntry(const QFileInfo &entry);
