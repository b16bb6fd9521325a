#pragma once

#include <QString>

// When a file was last modified, in milliseconds since the epoch; -1 when it cannot be read.
// Read straight from the file system: a QDateTime in local time costs tens of microseconds a
// file to make, too much for listings of many thousand files.
qint64 fileModifiedMs(const QString &path);
