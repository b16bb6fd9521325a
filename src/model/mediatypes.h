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

// As the view shows a file: the types tested in this order, the first that matches.
enum class MediaClass { None, Audio, Picture, Video, Office };
MediaClass mediaClassOf(const QString &path);

// What the folder walk takes into the tree: directories, and regular files of a known
// type. Pipes, sockets and devices are left out whatever their names, since reading one
// would block.
bool isAcceptedEntry(const QFileInfo &entry);
