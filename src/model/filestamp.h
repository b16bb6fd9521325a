#pragma once

#include <QString>

#include <utility>

// When a file was last modified, in milliseconds since the epoch; -1 when it cannot be read.
// Read straight from the file system: a QDateTime in local time costs tens of microseconds a
// file to make, too much for listings of many thousand files.
qint64 fileModifiedMs(const QString &path);

// A file's size and modification time, as above, from one look at the file system; both -1
// when the file cannot be read. What tells a changed file from one left as it was.
using FileStamp = std::pair<qint64, qint64>;
FileStamp fileStampOf(const QString &path);
