#pragma once

#include <QString>
#include <QStringList>

// The external tools that jobs run. ffmpeg is found on the program search path.
inline const QString kFfmpeg = QStringLiteral("ffmpeg");

constexpr int kThumbnailSeekSeconds = 1; // past the black that many videos start with

// ffmpeg describing a file: it writes its report and stops, for want of an output.
QStringList probeArguments(const QString &input);
// ffmpeg writing the frame at seekSeconds of each input, kThumbnailWidth pixels wide, as a
// JPEG to the output of the same index, decoding on as many threads as given: the picture is
// the same on any number. It describes its inputs first, each as a probe of it would.
QStringList thumbnailArguments(const QStringList &inputs, int seekSeconds, int decoderThreads,
                               const QStringList &outputs);

// The slide-capture tool below the installation directory: a private Java runtime running
// the capture archive.
QString captureRuntimePath(const QString &installDir);
QString captureArchivePath(const QString &installDir);
