#pragma once

#include <QString>
#include <QtGlobal>

// One record of the host's media-info store: what the folder page keeps about an item
// between runs. Copied by value; nobody holds a pointer into a record that the store owns.
class Module_Mediainfo
{
public:
    QString uuid; // the item's uuid; empty in a look-up result means "nothing stored"
    QString path; // absolute, forward slashes
    QString category; // "folder" for every record of the folder page
    QString img; // "file:///" URL of the thumbnail, or of a presentation's slide directory
    qint32 frameHeight = 0;
    qint32 frameWidth = 0;
    double fps = 0.0;
    QString resolution; // "<width> X <height>"
    QString duration;
    qint32 timeLenMsec = 0;
    qint64 fileSize = 0;
    QString detailInfo; // compact JSON text
    QString filePath; // same as path
    QString rootIndex; // ordinal of the root the item was found under, as decimal text
    bool isTranscoded = false;
    qint64 fileModified = 0; // of the file when its media was stored, ms since the epoch
};
