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

// What QFileInfo::suffix() gives, without its cost: the walk and the build test every path.
QStringRef suffixOf(const QString &path)
{
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > path.lastIndexOf(QLatin1Char('/')) ? path.midRef(dot + 1) : QStringRef();
}

bool hasSuffixIn(const QString &path, const QStringList &suffixes)
{
    const QStringRef suffix = suffixOf(path);
    return !suffix.isEmpty()
           && std::any_of(suffixes.cbegin(), suffixes.cend(), [&suffix](const QString &known) {
                  return suffix.compare(known, Qt::CaseInsensitive) == 0;
              });
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

bool isMediaFile(const QString &path)
{
    return isPicture(path) || isVideo(path) || isAudio(path) || isOffice(path);
}

bool isAcceptedEntry(const QFileInfo &entry)
{
    if (entry.isDir())
        return true;
    if (!entry.isFile())
        return false;
    return isMediaFile(entry.fileName());
}
