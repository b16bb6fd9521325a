#pragma once

#include <QString>
#include <QVariantMap>

#include <limits>
#include <optional>

// Reading the report that "ffmpeg -i FILE" writes to standard error.

// The largest values a report may give and still describe usable media.
namespace ReportLimit {
// The record keeps the length as an int of milliseconds.
constexpr qint64 longestDurationMsec = std::numeric_limits<int>::max();
// Far beyond any real frame: a larger side comes from a broken or forged file, and a
// thumbnail of it would not fit in memory.
constexpr int largestFrameSide = 65535;
} // namespace ReportLimit

// The item's media information: "duration", "fps", "timeLenMsec", "frameWidth",
// "frameHeight" and "detailInfo". Nothing when the report does not describe usable media:
// ffmpeg closed on invalid data, or the input has no duration, or its duration, frame size or
// frame rate is out of range. Media without a moving picture has a frame size of 0 by 0.
std::optional<QVariantMap> parseProbeReport(const QString &report);

// The report's metadata, duration, bit rate and first video and audio stream lines as a
// compact JSON object text.
QString buildDetailInfo(const QString &report);

// The start of a report up to the end of ffmpeg's description of its input, which every run
// that reads the same input writes alike: a probe's report, or the part of a thumbnail run's
// report before the lines about its output. Empty when the report holds no such description,
// as when ffmpeg could not read the file.
QString inputDescription(const QString &report);

// The description of the input at index in the report of a run that read several inputs, as
// inputDescription() gives it for a run of that input alone. Only where every input's name is
// of one line: a header within a name would pass for ffmpeg's own.
QString inputDescriptionAt(const QString &report, int index);

// What in the input that the report describes a layer can show: a moving picture (a song's
// cover is none) and sound.
struct MediaStreams
{
    bool picture = false;
    bool sound = false;
};
MediaStreams mediaStreams(const QString &report);

// The video streams, covers included, of the input that the report describes: the streams
// that a picture may be taken from.
int videoStreamCount(const QString &report);

// "HH:MM:SS.ff" in milliseconds; the hours may take more than two digits, the digits after
// the point are a decimal fraction. Nothing when malformed or longer than the record holds.
std::optional<int> durationMilliseconds(const QString &duration);

// The frames per second that "25 fps", "29.97 fps" or "1k fps" stands for. Nothing when
// malformed, not finite or negative.
std::optional<double> framesPerSecond(const QString &fps);
