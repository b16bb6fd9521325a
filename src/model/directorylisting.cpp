#include "model/directorylisting.h"

#include "model/mediatypes.h"

#include <QDir>

// A directory whose links cannot be resolved stands for itself.
QString canonicalDirectory(const QFileInfo &directory)
{
    const QString canonical = directory.canonicalFilePath();
    return canonical.isEmpty() ? directory.absoluteFilePath() : canonical;
}

QVector<ListedEntry> listAcceptedEntries(const QString &path)
{
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                           QDir::Name | QDir::IgnoreCase);
    QVector<ListedEntry> accepted;
    accepted.reserve(entries.size());
    for (const QFileInfo &entry : entries) {
        if (isAcceptedEntry(entry))
            accepted.append({entry.absoluteFilePath(), entry.isDir(),
                             entry.isDir() ? canonicalDirectory(entry) : QString()});
    }
    return accepted;
}
