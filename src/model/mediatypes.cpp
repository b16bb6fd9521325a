#include "model/mediatypes.h"

#include <QFileInfo>
#include <QHash>
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
            QStringLiteral("vob"),  QStringLiteral("webm"), QStringLiteral("mxf"),
            QStringLiteral("m2ts"), QStringLiteral("ogv"),  QStringLiteral("mpe")};
    return suffixes;
}

const QStringList &pictureSuffixes()
{
    static const QStringList suffixes{
            QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"),
            QStringLiteral("bmp"), QStringLiteral("ico"),  QStringLiteral("gif"),
            QStringLiteral("tif"), QStringLiteral("tiff"), QStringLiteral("webp")};
    return suffixes;
}

const QStringList &audioSuffixes()
{
    static const QStringList suffixes{
            QStringLiteral("mp3"),  QStringLiteral("ogg"), QStringLiteral("wav"),
            QStringLiteral("wma"),  QStringLiteral("ape"), QStringLiteral("flac"),
            QStringLiteral("ra"),   QStringLiteral("m4a"), QStringLiteral("aac"),
            QStringLiteral("opus"), QStringLiteral("aif"), QStringLiteral("aiff")};
    return suffixes;
}

const QStringList &officeSuffixes()
{
    static const QStringList suffixes{QStringLiteral("ppt"), QStringLiteral("pptx"),
                                      QStringLiteral("odp")};
    return suffixes;
}

enum class Kind { None, Video, Picture, Audio, Office };

// Every known suffix, lower case, with its kind: one look-up instead of four list scans.
const QHash<QString, Kind> &kindOfSuffix()
{
    static const QHash<QString, Kind> kinds = [] {
        QHash<QString, Kind> all;
        for (const auto &[suffixes, kind] : {std::pair{&videoSuffixes(), Kind::Video},
                                             std::pair{&pictureSuffixes(), Kind::Picture},
                                             std::pair{&audioSuffixes(), Kind::Audio},
                                             std::pair{&officeSuffixes(), Kind::Office}}) {
            for (const QString &suffix : *suffixes)
                all.insert(suffix, kind);
        }
        return all;
    }();
    return kinds;
}

constexpr int kLongestSuffix = 4; // "mpeg", "webm", "tiff", "aiff", "pptx" and more

// The suffix as QFileInfo::suffix() gives it, without its cost: the walk, the build and the
// restore test every path.
Kind kindOf(const QString &path)
{
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    const int length = path.size() - dot - 1;
    if (dot < 0 || dot < path.lastIndexOf(QLatin1Char('/')) || length <= 0
        || length > kLongestSuffix)
        return Kind::None;
    return kindOfSuffix().value(path.right(length).toLower(), Kind::None);
}

} // namespace

bool isVideo(const QString &path)
{
    return kindOf(path) == Kind::Video;
}

bool isPicture(const QString &path)
{
    return kindOf(path) == Kind::Picture;
}

bool isAudio(const QString &path)
{
    return kindOf(path) == Kind::Audio;
}

bool isOffice(const QString &path)
{
    return kindOf(path) == Kind::Office;
}

bool isMediaFile(const QString &path)
{
    return kindOf(path) != Kind::None;
}

MediaClass mediaClassOf(const QString &path)
{
    if (isAudio(path))
        return MediaClass::Audio;
    if (isPicture(path))
        return MediaClass::Picture;
    if (isVideo(path))
        return MediaClass::Video;
    if (isOffice(path))
        return MediaClass::Office;
    return MediaClass::None;
}

bool isAcceptedEntry(const QFileInfo &entry)
{
    if (entry.isDir())
        return true;
    if (!entry.isFile())
        return false;
    return isMediaFile(entry.fileName());
}
