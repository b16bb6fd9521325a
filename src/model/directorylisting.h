#pragma once

#include <QFileInfo>
#include <QString>
#include <QVector>

// An entry of a directory that the walk takes into the tree.
struct ListedEntry
{
    QString path; // absolute
    bool isDir = false;
    QString canonicalPath; // of a directory: where its links lead; empty for a file
    qint64 size = -1; // of a file
    qint64 modified = -1; // of a file, in milliseconds since the epoch
};

// A directory's entries that the walk takes, and how many of its files it leaves out for
// being of no media type.
struct DirectoryListing
{
    QVector<ListedEntry> entries;
    int unknownFiles = 0;
};

// The accepted entries of a directory in name order, letter case ignored; hidden and system
// entries left out. An unreadable directory lists as empty. Touches nothing but the file
// system, so it may run on any thread: a large directory takes longer to list than a frame.
DirectoryListing listAcceptedEntries(const QString &path);

// Where a directory's links lead; the directory's own path when they cannot be resolved.
QString canonicalDirectory(const QFileInfo &directory);

constexpr int kMaxWalkDepth = 10; // deeper folders show as empty

// How many levels path lies below root.
int depthBelow(const QString &root, const QString &path);
