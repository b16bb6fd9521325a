#include "probe/picturedirectory.h"

#include "store/utility_commparam.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringBuilder>
#include <QUuid>

namespace {

const QString kPictureFolder = QStringLiteral("picture");

bool isInPictureDirectory(const QFileInfo &made)
{
    return made.absolutePath() == QDir::cleanPath(QFileInfo(pictureDirectory()).absoluteFilePath());
}

bool appendFile(QVector<StoredPictureFile> &files, const QString &name, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    files.append({name, file.readAll()});
    return true;
}

// A thumbnail's own name, or a slide directory's name and a slide's: nothing that climbs out
// or names a drive, as names come from a store that other consoles write.
bool isSafeName(const QStringList &parts)
{
    if (parts.isEmpty() || parts.size() > 2)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")
            || part.contains(QLatin1Char('\\')) || part.contains(QLatin1Char(':')))
            return false;
    }
    return true;
}

} // namespace

QString pictureDirectory()
{
    return Utility_CommParam::getInstance()->getProjectPath() % QLatin1Char('/') % kPictureFolder
           % QLatin1Char('/');
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
    if (!isInPictureDirectory(made))
        return;
    if (made.isDir() && !made.isSymLink()) // a link is removed, never what it leads to
        QDir(made.absoluteFilePath()).removeRecursively();
    else
        QFile::remove(made.absoluteFilePath());
}

QString madePictureName(const QString &path)
{
    const QFileInfo made(QDir::cleanPath(path));
    return !path.isEmpty() && made.dir().dirName() == kPictureFolder ? made.fileName() : QString();
}

QVector<StoredPictureFile> readMadePicture(const QString &path)
{
    const QFileInfo made(QDir::cleanPath(path));
    if (path.isEmpty() || !isInPictureDirectory(made) || made.isSymLink())
        return {};
    QVector<StoredPictureFile> files;
    if (!made.isDir())
        return appendFile(files, made.fileName(), made.absoluteFilePath())
                       ? files
                       : QVector<StoredPictureFile>();
    const QFileInfoList slides
            = QDir(made.absoluteFilePath()).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &slide : slides) {
        if (!appendFile(files, made.fileName() % QLatin1Char('/') % slide.fileName(),
                        slide.absoluteFilePath()))
            return {};
    }
    return files;
}

QString writeMadePicture(const QVector<StoredPictureFile> &files)
{
    if (files.isEmpty())
        return {};
    const QString picture = files.constFirst().name.section(QLatin1Char('/'), 0, 0);
    for (const StoredPictureFile &file : files) {
        const QStringList parts = file.name.split(QLatin1Char('/'));
        if (!isSafeName(parts) || parts.constFirst() != picture
            || (parts.size() == 1 && files.size() > 1))
            return {};
    }
    const QString path = pictureDirectory() + picture;
    if (!QDir().mkpath(files.constFirst().name.contains(QLatin1Char('/')) ? path
                                                                          : pictureDirectory()))
        return {};
    for (const StoredPictureFile &file : files) {
        QFile out(pictureDirectory() + file.name);
        if (!out.open(QIODevice::WriteOnly) || out.write(file.bytes) != file.bytes.size()) {
            removeMadePicture(path); // a part of it would pass for the whole
            return {};
        }
    }
    return path;
}
