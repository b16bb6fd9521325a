#pragma once

#include <QString>

// The external tools that jobs run. ffmpeg is found on the program search path.
inline const QString kFfmpeg = QStringLiteral("ffmpeg");

// The slide-capture tool below the installation directory: a private Java runtime running
// the capture archive.
QString captureRuntimePath(const QString &installDir);
QString captureArchivePath(const QString &installDir);
