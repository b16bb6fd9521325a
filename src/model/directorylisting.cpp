#include "model/directorylisting.h"

#include "model/filestamp.h"
#include "model/mediatypes.h"

#include <QDir>

// A directory whose links cannot be resolved stands for itself.
QString canonicalDirectory(const QFileInfo &directory)
{
    const QString canonical = directory.canonicalFilePath();
    return canonical.isEmpty() ? directory.absoluteFilePath() : canonical;
}

DirectoryListing listAcceptedEntries(const QString &path)
{
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                           QDir::Name | QDir::IgnoreCase);
    DirectoryListing listing;
    QVector<ListedEntry> &accepted = listing.entries;
    accepted.reserve(entries.size());
    for (const QFileInfo &entry : entries) {
        if (!isAcceptedEntry(entry))
            listing.unknownFiles += int(entry.isFile());
        else if (entry.isDir())
            accepted.append({entry.absoluteFilePath(), true, canonicalDirectory(entry)});
        else
            accepted.append({entry.absoluteFilePath(), false, QString(), entry.size(),
                             fileModifiedMs(entry.absoluteFilePath())});
    }
    return listing;
}

// A file-system root ("/", "C:/") keeps its separator: its entries are one level down.
int depthBelow(const QString &root, const QString &path)
{
    const QStringRef below = path.midRef(root.size());
    const bool rootKeepsSeparator = root.endsWith(QLatin1Char('/')) && !below.isEmpty();
    return int(rootKeepsSeparator) + below.count(QLatin1Char('/')) + below.count(QLatin1Char('\\'));
}
