#include "model/filestamp.h"

#include <QDateTime>
#include <QFileInfo>

FileStamp fileStampOf(const QString &path)
{
    const QFileInfo file(path);
    const QDateTime modified = file.lastModified();
    if (!file.exists() || !modified.isValid())
        return {-1, -1};
    return {file.size(), modified.toMSecsSinceEpoch()};
}

qint64 fileModifiedMs(const QString &path)
{
    return fileStampOf(path).second;
}
