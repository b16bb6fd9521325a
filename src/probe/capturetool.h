#pragma once

#include <QString>

// The slide-capture tool below the installation directory: a private Java runtime running
// the capture archive.
QString captureRuntimePath(const QString &installDir);
QString captureArchivePath(const QString &installDir);
