#pragma once

#include "store/module_mediainfo.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QStringView>
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

// Groups the records of the folder page, the only ones it is given, by the root they were
// found under, in the order in which each root first appears, as they are read in store
// order: each record is placed under its folder when it comes, so that grouping keeps pace
// with reading, and what only the whole store tells (the root, a folder's row order) is
// settled when all have come. Reads nothing but the records, so it may run on any thread.
class RestoreGrouping
{
public:
    void add(const Module_Mediainfo &record);
    QVector<RestoreGroup> takeGroups();

private:
    // Each group's folders by path, a path's first folder record, the keys viewing the paths
    // of the entries, which are never changed once added; and the entries whose folder had not
    // come when they came.
    struct Linking
    {
        QHash<QStringView, int> folderAt;
        QVector<int> unlinked;
    };

    void link(RestoreGroup &group, Linking &linking, int entry);
    void settle(RestoreGroup &group, Linking &linking);

    QVector<RestoreGroup> groups;
    QVector<Linking> linkings; // beside the groups
    QHash<int, int> groupOfOrdinal;
};
