#include "model/directorylisting.h"

#include "model/mediatypes.h"

#include <QDir>

QVector<ListedEntry> listAcceptedEntries(const QString &path)
{
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                           QDir::Name | QDir::IgnoreCase);
    QVector<ListedEntry> accepted;
    accepted.reserve(entries.size());
    for (const QFileInfo &entry : entries) {
        if (isAcceptedEntry(entry))
            accepted.append({entry.absoluteFilePath(), entry.isDir()});
    }
    return accepted;
}
