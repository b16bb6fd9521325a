#include "probe/tools.h"

#include "probe/picturedecoder.h"

namespace {

#ifdef Q_OS_WIN
const QString kRuntime = QStringLiteral("/CaptureImages/jre/bin/java.exe");
#else
const QString kRuntime = QStringLiteral("/CaptureImages/jre/bin/java");
#endif

} // namespace

QString captureRuntimePath(const QString &installDir)
{
    return installDir + kRuntime;
}

QString captureArchivePath(const QString &installDir)
{
    return installDir + QStringLiteral("/CaptureImages/CaptureImages.jar");
}

QStringList probeArguments(const QString &input)
{
    return {QStringLiteral("-i"), input};
}

QStringList thumbnailArguments(const QString &input, int seekSeconds, int decoderThreads,
                               const QString &output)
{
    return {QStringLiteral("-threads"),
            QString::number(decoderThreads),
            QStringLiteral("-ss"),
            QString::number(seekSeconds),
            QStringLiteral("-i"),
            input,
            QStringLiteral("-y"),
            QStringLiteral("-vf"),
            QStringLiteral("scale=%1:-1").arg(kThumbnailWidth),
            QStringLiteral("-vframes"),
            QStringLiteral("1"),
            output};
}
