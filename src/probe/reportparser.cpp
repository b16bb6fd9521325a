#include "probe/reportparser.h"

#include "model/itemfields.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

// The report is read with plain text searches, positions counted from 0 and -1 for "not
// found". A negative length or position keeps the whole text, so a missing marker degrades
// to an empty or zero value instead of an error.
namespace {

int find(const QString &text, const QString &what, int from = 0)
{
    return text.indexOf(what, from);
}

int findLast(const QString &text, const QString &what)
{
    return text.lastIndexOf(what);
}

QString tail(const QString &text, int position)
{
    return position < 0 ? text : text.mid(position);
}

QString head(const QString &text, int count)
{
    return count < 0 ? text : text.left(count);
}

QString slice(const QString &text, int position, int count)
{
    return text.mid(position, count);
}

QString cut(const QString &text, int count)
{
    return count < 0 ? QString() : text.left(count);
}

int number(const QString &text)
{
    return text.trimmed().toInt();
}

const QString kInvalidData = QStringLiteral("Invalid data found when processing input");
const QString kDurationMarker = QStringLiteral("Duration:");
const QString kNoDuration = QStringLiteral("Duration: N/A");

// The value after the first ":" behind key, up to the end of its line.
QString lineValue(const QString &text, const QString &key)
{
    QString value = tail(text, find(text, key));
    value = tail(value, find(value, QStringLiteral(":")) + 1);
    return cut(value, find(value, QStringLiteral("\n"))).trimmed();
}

// The line of a stream of the given kind, without its "(default)" mark and its prefix,
// split at every comma.
QStringList streamParts(const QString &report, const QString &marker)
{
    QString line = tail(report, find(report, marker));
    line = cut(line, find(line, QStringLiteral("\n")));
    const int defaultMark = find(line, QStringLiteral("(default)"));
    if (defaultMark > 0)
        line = head(line, defaultMark);
    line = tail(line, find(line, QStringLiteral(":")) + 1);
    return line.split(QLatin1Char(','));
}

QJsonObject streamObject(const QStringList &parts, const QStringList &names, bool withFps)
{
    QJsonObject stream;
    for (int i = 0; i < parts.size(); ++i) {
        const QString part = parts.at(i).trimmed();
        if (i < names.size())
            stream.insert(names.at(i), part);
        if (find(part, QStringLiteral("kb/s")) > 0)
            stream.insert(QStringLiteral("bitrate"), part);
        else if (withFps && find(part, QStringLiteral("fps")) > 0)
            stream.insert(QStringLiteral("fps"), part);
    }
    return stream;
}

} // namespace

int durationMilliseconds(const QString &duration)
{
    const int hours = number(slice(duration, 0, 2));
    const int minutes = number(slice(duration, 3, 2));
    const int seconds = number(slice(duration, 6, 2));
    const QString fraction = tail(duration, 9).trimmed().left(3).leftJustified(3, QLatin1Char('0'));
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + number(fraction);
}

std::optional<QVariantMap> parseProbeReport(const QString &report)
{
    if (report.contains(kInvalidData) || !report.contains(kDurationMarker)
        || report.contains(kNoDuration))
        return std::nullopt;

    QString duration = tail(report, find(report, kDurationMarker));
    duration = head(duration, find(duration, QStringLiteral(",")));
    duration.remove(QStringLiteral("Duration: "));
    duration = duration.trimmed();

    // From the first ", " after the video codec's name to the end of the report.
    QString video = tail(report, find(report, QStringLiteral("Video: ")));
    video = tail(video, find(video, QStringLiteral(", ")));

    // A report without a frame rate (audio) has none, rather than whatever text ends it.
    QString fps;
    const int fpsMark = find(video, QStringLiteral("fps"));
    if (fpsMark >= 0) {
        fps = head(video, fpsMark);
        fps = tail(fps, findLast(fps, QStringLiteral(",")) + 2) + QStringLiteral("fps");
    }

    QString resolution
            = head(video, find(video, QStringLiteral(","), find(video, QStringLiteral("x"))));
    resolution = tail(resolution, findLast(resolution, QStringLiteral(", ")) + 2);
    const int x = find(resolution, QStringLiteral("x"));
    const int width = number(head(resolution, x));
    const int height
            = number(slice(resolution, x + 1, find(resolution, QStringLiteral(" ")) - x - 1));

    return QVariantMap{{InfoField::duration, duration},
                       {InfoField::fps, fps},
                       {InfoField::timeLenMsec, durationMilliseconds(duration)},
                       {InfoField::frameWidth, width},
                       {InfoField::frameHeight, height},
                       {InfoField::detailInfo, buildDetailInfo(report)}};
}

QString buildDetailInfo(const QString &report)
{
    QJsonObject root;
    const int metadataAt = find(report, QStringLiteral("Metadata"));
    const int durationAt = find(report, QStringLiteral("Duration"));

    if (metadataAt >= 0 && metadataAt < durationAt) {
        const QString metadata = slice(report, metadataAt, durationAt - metadataAt);
        QJsonObject values;
        for (const char *key :
             {"encoder", "creation_time", "major_brand", "minor_version", "compatible_brands"}) {
            const QString name = QString::fromLatin1(key);
            if (metadata.contains(name))
                values.insert(name, lineValue(metadata, name));
        }
        root.insert(QStringLiteral("Metadata"), values);
    }

    if (durationAt >= 0) {
        QString line = tail(report, durationAt);
        line = cut(line, find(line, QStringLiteral("\n")));
        for (const char *key : {"Duration", "bitrate"}) {
            const QString name = QString::fromLatin1(key);
            if (!line.contains(name))
                continue;
            QString value = tail(line, find(line, name));
            value = tail(value, find(value, QStringLiteral(":")) + 1);
            root.insert(name.toLower(), head(value, find(value, QStringLiteral(","))).trimmed());
        }
    }

    if (find(report, QStringLiteral("Video")) > 0)
        root.insert(QStringLiteral("Video"),
                    streamObject(streamParts(report, QStringLiteral("Video")),
                                 {QStringLiteral("encoding"), QStringLiteral("pixelFormats"),
                                  QStringLiteral("resolution")},
                                 true));
    if (find(report, QStringLiteral("Audio")) > 0)
        root.insert(QStringLiteral("Audio"),
                    streamObject(streamParts(report, QStringLiteral("Audio")),
                                 {QStringLiteral("encoding"), QStringLiteral("sampleRate"),
                                  QStringLiteral("soundTrack"), QStringLiteral("sampleFormat")},
                                 false));

    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Compact));
}
