#include "probe/picturedirectory.h"

#include "store/utility_commparam.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
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
    return pictureDirectory() + freshPictureName() + QStringLiteral(".jpg");
}

QString savePictureThumbnail(const QImage &thumbnail)
{
    const QString out = newThumbnailPath();
    thumbnail.save(out);
    return out;
}

bool isMadeThumbnail(const QString &path)
{
    const QFileInfo file(path);
    const QString directory = QDir::cleanPath(QFileInfo(pictureDirectory()).absoluteFilePath());
    return file.isFile() && QDir::cleanPath(file.absolutePath()) == directory;
}
