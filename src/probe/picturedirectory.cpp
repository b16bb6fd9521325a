#include "probe/picturedirectory.h"

#include "store/utility_commparam.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringBuilder>
#include <QUuid>

QString pictureDirectory()
{
    return Utility_CommParam::getInstance()->getProjectPath() + QStringLiteral("/picture/");
}

QString freshPictureName()
{
    return QUuid::createUuid().toString();
}

QString newThumbnailPath()
{
    QDir().mkpath(pictureDirectory());
    // Built to its exact size: the item's record keeps it for as long as the item lives.
    return pictureDirectory() % freshPictureName() % QStringLiteral(".jpg");
}

QString savePictureThumbnail(const QImage &thumbnail)
{
    const QString out = newThumbnailPath();
    thumbnail.save(out);
    return out;
}

// Only what lies directly in the picture directory was made here; a path that climbs out of
// it ("..") is cleaned first, so it cannot pass for one.
void removeMadePicture(const QString &path)
{
    if (path.isEmpty())
        return;
    const QFileInfo made(QDir::cleanPath(path));
    const QString directory = QDir::cleanPath(QFileInfo(pictureDirectory()).absoluteFilePath());
    if (made.absolutePath() != directory)
        return;
    if (made.isDir() && !made.isSymLink()) // a link is removed, never what it leads to
        QDir(made.absoluteFilePath()).removeRecursively();
    else
        QFile::remove(made.absoluteFilePath());
}
