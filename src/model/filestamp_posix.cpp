#include "model/filestamp.h"

#include <QFile>

#include <sys/stat.h>

FileStamp fileStampOf(const QString &path)
{
    struct stat status;
    if (stat(QFile::encodeName(path).constData(), &status) != 0)
        return {-1, -1};
    return {qint64(status.st_size),
            qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000};
}

qint64 fileModifiedMs(const QString &path)
{
    return fileStampOf(path).second;
}
