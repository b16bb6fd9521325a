#include "probe/reportparser.h"

#include "model/itemfields.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSize>
#include <QStringList>

#include <algorithm>
#include <cmath>

// ffmpeg describes its input as a header, "Input #0, FORMAT, from 'NAME':", and a block of
// indented lines under it. It writes the file's name and tags into that text as they are, so
// they can hold anything that ffmpeg's own lines hold: only the lines that ffmpeg lays out
// itself are read, each at the indentation it gives them.
namespace {

const QString kInputHeader = QStringLiteral("Input #0, ");
const QString kDurationLine = QStringLiteral("  Duration: ");
const QString kInputMetadataLine = QStringLiteral("  Metadata:");
const QString kStreamLine = QStringLiteral("Stream #");
const QString kInvalidDataEnd = QStringLiteral(": Invalid data found when processing input");
const QString kAttachedPicture = QStringLiteral("(attached pic)");
const QString kDefaultMark = QStringLiteral("(default)");
const QString kDurationField = QStringLiteral("Duration");
const QString kBitrateField = QStringLiteral("bitrate");
const QString kVideo = QStringLiteral("Video");
const QString kAudio = QStringLiteral("Audio");
const QString kFpsUnit = QStringLiteral("fps");
const QString kBitrateUnit = QStringLiteral("kb/s");
const QLatin1Char kThousands('k');
const QStringList kDetailMetadataKeys = {
        QStringLiteral("encoder"), QStringLiteral("creation_time"), QStringLiteral("major_brand"),
        QStringLiteral("minor_version"), QStringLiteral("compatible_brands")};

// The input's own lines sit two spaces deep. ffmpeg 5 and later indents a stream line by two
// spaces too, earlier versions by four; tags and side data lie deeper.
constexpr int kInputIndent = 2;
constexpr int kOldStreamIndent = 4;

constexpr qint64 kMsecPerSecond = 1000;
constexpr qint64 kMsecPerMinute = 60 * kMsecPerSecond;
constexpr qint64 kMsecPerHour = 60 * kMsecPerMinute;
constexpr int kMsecDigits = 3;
constexpr double kFramesPerThousand = 1000;

struct InputBlock
{
    QString duration; // the "Duration:" line; empty without an input block
    QStringList metadata; // the lines under the input's own "Metadata:"
    QStringList streams; // the stream lines, without their indentation
};

struct VideoFormat
{
    QSize frameSize{0, 0};
    QString fps;
};

// The lines that ffmpeg has ended: a report cut short when the tool was stopped can end in
// part of a line, whose numbers would be cut too. On Windows the lines end in CR LF.
QStringList completeLines(const QString &report)
{
    QStringList lines = report.split(QLatin1Char('\n'));
    lines.removeLast();
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

int indentation(const QString &line)
{
    int spaces = 0;
    while (spaces < line.size() && line.at(spaces) == QLatin1Char(' '))
        ++spaces;
    return spaces;
}

bool isStreamLine(const QString &line)
{
    const int indent = indentation(line);
    return (indent == kInputIndent || indent == kOldStreamIndent)
           && line.midRef(indent).startsWith(kStreamLine);
}

// When ffmpeg cannot read a file it ends with a line of its own, "PATH: Invalid data found
// when processing input". A tag with the same words is written indented, inside the block.
bool closesOnInvalidData(const QStringList &lines)
{
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (!line->trimmed().isEmpty())
            return indentation(*line) == 0 && line->endsWith(kInvalidDataEnd);
    }
    return false;
}

int headerIndex(const QStringList &lines)
{
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).startsWith(kInputHeader))
            return i;
    }
    return -1;
}

// A name with line breaks spreads over the lines after the header, where it can pose as any
// of the block's lines; ffmpeg writes its own "Duration:" line after the name, so the last
// one is the input's.
int durationLineIndex(const QStringList &lines)
{
    const int header = headerIndex(lines);
    for (int i = lines.size() - 1; header >= 0 && i > header; --i) {
        if (lines.at(i).startsWith(kDurationLine))
            return i;
    }
    return -1;
}

// The lines under the input's "Metadata:" when it ends right before the line at end.
QStringList metadataBefore(const QStringList &lines, int end)
{
    int start = end;
    while (start > 0 && indentation(lines.at(start - 1)) > kInputIndent)
        --start;
    if (start == 0 || lines.at(start - 1) != kInputMetadataLine)
        return {};
    return lines.mid(start, end - start);
}

// The line after the input's block: the block holds the indented lines under its Duration line.
int inputBlockEnd(const QStringList &lines, int durationAt)
{
    int end = durationAt + 1;
    while (end < lines.size() && indentation(lines.at(end)) > 0)
        ++end;
    return end;
}

InputBlock readInputBlock(const QStringList &lines)
{
    InputBlock block;
    const int durationAt = durationLineIndex(lines);
    if (durationAt < 0)
        return block;
    block.duration = lines.at(durationAt);
    block.metadata = metadataBefore(lines, durationAt);
    const int end = inputBlockEnd(lines, durationAt);
    for (int i = durationAt + 1; i < end; ++i) {
        if (isStreamLine(lines.at(i)))
            block.streams << lines.at(i).trimmed();
    }
    return block;
}

// The value of "name: value" in a line of comma-separated fields, such as the Duration line.
std::optional<QString> fieldValue(const QString &line, const QString &name)
{
    const QString label = name + QStringLiteral(": ");
    const int at = line.indexOf(label);
    if (at < 0)
        return std::nullopt;
    const int start = at + label.size();
    const int end = line.indexOf(QLatin1Char(','), start);
    return (end < 0 ? line.mid(start) : line.mid(start, end - start)).trimmed();
}

// What follows "Kind:" in a stream line, "Stream #0:1[0x2](und): Audio: aac (LC), ...",
// without the "(default)" mark and what comes after it.
std::optional<QString> streamDescription(const QString &stream, const QString &kind)
{
    const QString label = kind + QLatin1Char(':');
    const int kindAt = stream.indexOf(QStringLiteral(": ")) + 2;
    if (kindAt < 2 || !stream.midRef(kindAt).startsWith(label))
        return std::nullopt;
    const QString description = stream.mid(kindAt + label.size());
    const int defaultMark = description.indexOf(kDefaultMark);
    return defaultMark < 0 ? description : description.left(defaultMark);
}

std::optional<QString> firstDescription(const QStringList &streams, const QString &kind)
{
    for (const QString &stream : streams) {
        if (const auto description = streamDescription(stream, kind))
            return description;
    }
    return std::nullopt;
}

// A song's cover is a video stream too, yet no moving picture: a cover that ffmpeg cannot
// read leaves the song usable.
QStringList withoutAttachedPictures(const QStringList &streams)
{
    QStringList kept;
    for (const QString &stream : streams) {
        if (!stream.contains(kAttachedPicture))
            kept << stream;
    }
    return kept;
}

// ffmpeg leaves the frame size out while it does not know the width.
QSize frameSizeOf(const QStringList &parts)
{
    static const QRegularExpression size(QStringLiteral("^([0-9]+)x([0-9]+)( |$)"));
    for (const QString &part : parts) {
        const QRegularExpressionMatch match = size.match(part.trimmed());
        if (match.hasMatch())
            return {match.captured(1).toInt(), match.captured(2).toInt()};
    }
    return {0, 0};
}

QString fpsOf(const QStringList &parts)
{
    for (const QString &part : parts) {
        if (part.trimmed().endsWith(kFpsUnit))
            return part.trimmed();
    }
    return {};
}

bool isSaneSide(int side)
{
    return side > 0 && side <= ReportLimit::largestFrameSide;
}

std::optional<VideoFormat> readVideoFormat(const QString &description)
{
    // The codec comes first; its tag can hold digits around an "x", as in "avc1 / 0x31637661".
    const QStringList parts = description.split(QLatin1Char(',')).mid(1);
    const VideoFormat format{frameSizeOf(parts), fpsOf(parts)};
    if (!isSaneSide(format.frameSize.width()) || !isSaneSide(format.frameSize.height()))
        return std::nullopt;
    if (!format.fps.isEmpty() && !framesPerSecond(format.fps))
        return std::nullopt;
    return format;
}

QJsonObject metadataObject(const QStringList &metadata)
{
    QJsonObject values;
    for (const QString &line : metadata) {
        const int colon = line.indexOf(QLatin1Char(':'));
        const QString key = line.left(colon).trimmed();
        if (colon > 0 && kDetailMetadataKeys.contains(key))
            values.insert(key, line.mid(colon + 1).trimmed());
    }
    return values;
}

QJsonObject streamObject(const QStringList &parts, const QStringList &names, bool withFps)
{
    QJsonObject stream;
    for (int i = 0; i < parts.size(); ++i) {
        const QString part = parts.at(i).trimmed();
        if (i < names.size())
            stream.insert(names.at(i), part);
        if (part.indexOf(kBitrateUnit) > 0)
            stream.insert(kBitrateField, part);
        else if (withFps && part.indexOf(kFpsUnit) > 0)
            stream.insert(QStringLiteral("fps"), part);
    }
    return stream;
}

QString detailInfo(const InputBlock &block)
{
    QJsonObject root;
    if (!block.metadata.isEmpty())
        root.insert(QStringLiteral("Metadata"), metadataObject(block.metadata));
    for (const QString &name : {kDurationField, kBitrateField}) {
        if (const auto value = fieldValue(block.duration, name))
            root.insert(name.toLower(), *value);
    }
    if (const auto video = firstDescription(block.streams, kVideo))
        root.insert(kVideo,
                    streamObject(video->split(QLatin1Char(',')),
                                 {QStringLiteral("encoding"), QStringLiteral("pixelFormats"),
                                  QStringLiteral("resolution")},
                                 true));
    if (const auto audio = firstDescription(block.streams, kAudio))
        root.insert(kAudio,
                    streamObject(audio->split(QLatin1Char(',')),
                                 {QStringLiteral("encoding"), QStringLiteral("sampleRate"),
                                  QStringLiteral("soundTrack"), QStringLiteral("sampleFormat")},
                                 false));
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Compact));
}

} // namespace

std::optional<int> durationMilliseconds(const QString &duration)
{
    // Minutes and seconds stay below 60.
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
            QStringLiteral("([0-9]+):([0-5][0-9]):([0-5][0-9])(\\.([0-9]+))?")));
    const QRegularExpressionMatch match = pattern.match(duration);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 hours = match.captured(1).toLongLong(&ok);
    if (!ok || hours > ReportLimit::longestDurationMsec / kMsecPerHour)
        return std::nullopt;
    const QString fraction
            = match.captured(5).left(kMsecDigits).leftJustified(kMsecDigits, QLatin1Char('0'));
    const qint64 msec = hours * kMsecPerHour + match.captured(2).toInt() * kMsecPerMinute
                        + match.captured(3).toInt() * kMsecPerSecond + fraction.toInt();
    if (msec > ReportLimit::longestDurationMsec)
        return std::nullopt;
    return int(msec);
}

std::optional<double> framesPerSecond(const QString &fps)
{
    if (!fps.endsWith(kFpsUnit))
        return std::nullopt;
    QString number = fps.chopped(kFpsUnit.size()).trimmed();
    const bool inThousands = number.endsWith(kThousands);
    if (inThousands)
        number.chop(1);
    bool ok = false;
    const double value = number.toDouble(&ok) * (inThousands ? kFramesPerThousand : 1);
    if (!ok || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

std::optional<QVariantMap> parseProbeReport(const QString &report)
{
    const QStringList lines = completeLines(report);
    if (closesOnInvalidData(lines))
        return std::nullopt;
    const InputBlock block = readInputBlock(lines);
    const QString duration = fieldValue(block.duration, kDurationField).value_or(QString());
    const std::optional<int> msec = durationMilliseconds(duration);
    if (!msec)
        return std::nullopt;

    VideoFormat video;
    if (const auto description = firstDescription(withoutAttachedPictures(block.streams), kVideo)) {
        const std::optional<VideoFormat> format = readVideoFormat(*description);
        if (!format)
            return std::nullopt;
        video = *format;
    }

    return QVariantMap{{InfoField::duration, duration},
                       {InfoField::fps, video.fps},
                       {InfoField::timeLenMsec, *msec},
                       {InfoField::frameWidth, video.frameSize.width()},
                       {InfoField::frameHeight, video.frameSize.height()},
                       {InfoField::detailInfo, detailInfo(block)}};
}

QString inputDescription(const QString &report)
{
    const QStringList lines = completeLines(report);
    const int durationAt = durationLineIndex(lines);
    if (durationAt < 0)
        return {};
    return lines.mid(0, inputBlockEnd(lines, durationAt)).join(QLatin1Char('\n'))
           + QLatin1Char('\n');
}

// A run that read several inputs describes each under a header of its own, "Input #N, ", and
// numbers its streams "Stream #N:K". Renumbered, the block reads as a run of that input alone
// would have written it.
QString inputDescriptionAt(const QString &report, int index)
{
    const QStringList lines = completeLines(report);
    const QString header = QStringLiteral("Input #%1, ").arg(index);
    const QString stream = kStreamLine + QString::number(index) + QLatin1Char(':');
    int at = 0;
    while (at < lines.size() && !lines.at(at).startsWith(header))
        ++at;
    if (at == lines.size())
        return {};
    QStringList block{kInputHeader + lines.at(at).mid(header.size())};
    for (int i = at + 1; i < lines.size() && indentation(lines.at(i)) > 0; ++i) {
        QString line = lines.at(i);
        const int indent = indentation(line);
        if (isStreamLine(line) && line.midRef(indent).startsWith(stream))
            line.replace(indent, stream.size(), kStreamLine + QStringLiteral("0:"));
        block << line;
    }
    return inputDescription(block.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

int videoStreamCount(const QString &report)
{
    const QStringList streams = readInputBlock(completeLines(report)).streams;
    return int(std::count_if(streams.cbegin(), streams.cend(), [](const QString &stream) {
        return streamDescription(stream, kVideo).has_value();
    }));
}

MediaStreams mediaStreams(const QString &report)
{
    const QStringList streams = readInputBlock(completeLines(report)).streams;
    return {firstDescription(withoutAttachedPictures(streams), kVideo).has_value(),
            firstDescription(streams, kAudio).has_value()};
}

QString buildDetailInfo(const QString &report)
{
    return detailInfo(readInputBlock(completeLines(report)));
}
