#include "model/filestamp.h"

#include <QDateTime>
#include <QFileInfo>

qint64 fileModifiedMs(const QString &path)
{
    const QDateTime modified = QFileInfo(path).lastModified();
    return modified.isValid() ? modified.toMSecsSinceEpoch() : -1;
}
