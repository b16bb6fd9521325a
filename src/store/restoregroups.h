#pragma once

#include "store/module_mediainfo.h"

#include <QList>
#include <QVector>

// A stored record of an earlier run and the path it is matched by.
struct RestoreEntry
{
    QString path;
    Module_Mediainfo record;
};

// The stored records of one root, ready to be put back as a tree: one entry per path in
// ascending path order, so that the root folder comes first, and beside each folder the
// positions of its children in row order. Entries that no folder of the group holds are in
// no list.
struct RestoreGroup
{
    int rootOrdinal = 0;
    QVector<RestoreEntry> entries;
    QVector<bool> isFolder;
    QVector<QVector<int>> children;
};

// Groups the records of the folder page by the root they were found under, in the order in
// which each root first appears. Reads nothing but the records, so it may run on any thread.
QVector<RestoreGroup> groupStoredRecords(const QList<Module_Mediainfo> &records);
