#include "model/fileurl.h"

#include <QDir>

namespace {

const QString kPrefix = QStringLiteral("file:///");

#ifdef Q_OS_WIN
constexpr int kPathSlashInPrefix = 0;
#else
constexpr int kPathSlashInPrefix = 1; // the prefix's last "/" is the path's first
#endif

} // namespace

bool hasFileUrlPrefix(const QString &text)
{
    return text.startsWith(kPrefix);
}

QString withFileUrlPrefix(const QString &path)
{
    if (hasFileUrlPrefix(path))
        return path;
    if (kPathSlashInPrefix && path.startsWith(QLatin1Char('/')))
        return kPrefix.left(kPrefix.size() - kPathSlashInPrefix) + path;
    return kPrefix + path;
}

QString withoutFileUrlPrefix(const QString &text)
{
    return hasFileUrlPrefix(text) ? text.mid(kPrefix.size() - kPathSlashInPrefix) : text;
}

QString cleanFolderPath(const QString &pathOrUrl)
{
    const QString local = QDir::fromNativeSeparators(withoutFileUrlPrefix(pathOrUrl));
    return QDir::cleanPath(QDir(local).absolutePath());
}
