#pragma once

#include "store/module_mediainfo.h"

#include <QList>
#include <QStringList>
#include <QVector>

// What an item takes back from its stored record: its path, by which it is matched, its
// uuid, and what its type needs: of a file that has not changed since, what was learnt of it.
struct RestoreEntry
{
    QString path;
    QString uuid;
    QString img;
    bool isTranscoded = false;
    bool isFolder = false; // stored with a trailing "/", or named like no media file
    qint64 fileSize = 0;
    qint64 fileModified = 0; // 0: not known, as in records of earlier versions
    int frameWidth = 0;
    int frameHeight = 0;
    int timeLenMsec = 0;
    double fps = 0.0;
    QString duration;
    QString detailInfo;
};
Q_DECLARE_TYPEINFO(RestoreEntry, Q_MOVABLE_TYPE);

// The stored records of one root, ready to be put back as a tree: an entry per record, the
// root folder being the first one with the smallest path, and beside each folder the
// positions of its children in row order (ascending path order), a path's first record only.
// Records that cannot be put back, a later one of a path or one that no folder below the
// root holds, are set apart as well.
struct RestoreGroup
{
    int rootOrdinal = 0;
    QVector<RestoreEntry> entries;
    int root = 0;
    QVector<QVector<int>> children;
    QVector<RestoreEntry> unplaced;
};

// What the restore reads of a stored record; the rest of it is left alone.
QStringList restoredFields();

// Groups the records of the folder page by the root they were found under, in the order in
// which each root first appears. Reads nothing but the records, so it may run on any thread.
QVector<RestoreGroup> groupStoredRecords(const QList<Module_Mediainfo> &records);
