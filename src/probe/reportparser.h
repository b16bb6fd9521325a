#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// Reading the report that "ffmpeg -i FILE" writes to standard error.

// The item's media information: "duration", "fps", "timeLenMsec", "frameWidth",
// "frameHeight" and "detailInfo". Nothing when the report does not describe usable media
// (invalid data, or no known duration).
std::optional<QVariantMap> parseProbeReport(const QString &report);

// The report's metadata, duration, bit rate and first video and audio stream lines as a
// compact JSON object text.
QString buildDetailInfo(const QString &report);

// "HH:MM:SS.fff" in milliseconds; the digits after the point are a decimal fraction.
int durationMilliseconds(const QString &duration);
