#pragma once

#include <QString>

// Paths reach the page and the store as "file:///" texts. On Windows the prefix stands
// before a drive letter ("file:///C:/a.mp4"); elsewhere absolute paths begin with "/", so
// "file:///home/a.mp4" and "/home/a.mp4" name the same file.
bool hasFileUrlPrefix(const QString &text);
QString withFileUrlPrefix(const QString &path); // unchanged when it already has the prefix
QString withoutFileUrlPrefix(const QString &text); // unchanged when it has no prefix
// A folder given by the page as the walk keys its entries: local, absolute and clean, since
// a trailing separator or backslashes would leave its entries unattached.
QString cleanFolderPath(const QString &pathOrUrl);
