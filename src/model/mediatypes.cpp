#include "model/mediatypes.h"

#include <QFileInfo>
#include <QStringList>

namespace {

const QStringList &videoSuffixes()
{
    static const QStringList suffixes{
            QStringLiteral("avi"),  QStringLiteral("wmv"),  QStringLiteral("mpg"),
            QStringLiteral("mpeg"), QStringLiteral("mp4"),  QStringLiteral("mov"),
            QStringLiteral("mkv"),  QStringLiteral("flv"),  QStringLiteral("4v"),
            QStringLiteral("m4v"),  QStringLiteral("rmvb"), QStringLiteral("rm"),
            QStringLiteral("3gp"),  QStringLiteral("ts"),   QStringLiteral("mts"),
            QStringLiteral("vob")};
    return suffixes;
}

const QStringList &pictureSuffixes()
{
    static const QStringList suffixes{QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                      QStringLiteral("png"), QStringLiteral("bmp"),
                                      QStringLiteral("ico")};
    return suffixes;
}

const QStringList &audioSuffixes()
{
    static const QStringList suffixes{QStringLiteral("mp3"), QStringLiteral("ogg"),
                                      QStringLiteral("wav"), QStringLiteral("wma"),
                                      QStringLiteral("ape"), QStringLiteral("flac"),
                                      QStringLiteral("ra")};
    return suffixes;
}

const QStringList &officeSuffixes()
{
    static const QStringList suffixes{QStringLiteral("ppt"), QStringLiteral("pptx")};
    return suffixes;
}

bool hasSuffixIn(const QString &path, const QStringList &suffixes)
{
    return suffixes.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive);
}

} // namespace

bool isVideo(const QString &path)
{
    return hasSuffixIn(path, videoSuffixes());
}

bool isPicture(const QString &path)
{
    return hasSuffixIn(path, pictureSuffixes());
}

bool isAudio(const QString &path)
{
    return hasSuffixIn(path, audioSuffixes());
}

bool isOffice(const QString &path)
{
    return hasSuffixIn(path, officeSuffixes());
}

bool isAcceptedEntry(const QFileInfo &entry)
{
    if (entry.isDir())
        return true;
    if (!entry.isFile())
        return false;
    const QString path = entry.filePath();
    return isPicture(path) || isVideo(path) || isAudio(path) || isOffice(path);
}
