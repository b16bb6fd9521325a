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

QStringList thumbnailArguments(const QStringList &inputs, int seekSeconds, int decoderThreads,
                               const QStringList &outputs)
{
    QStringList arguments;
    for (const QString &input : inputs) {
        arguments << QStringLiteral("-threads") << QString::number(decoderThreads)
                  << QStringLiteral("-ss") << QString::number(seekSeconds) << QStringLiteral("-i")
                  << input;
    }
    arguments << QStringLiteral("-y");
    for (int i = 0; i < outputs.size(); ++i) {
        // Alone, an input gives the stream that ffmpeg finds best; together, every output
        // could take that of another input, so each names the first of its own.
        if (inputs.size() > 1)
            arguments << QStringLiteral("-map") << QStringLiteral("%1:V:0").arg(i);
        arguments << QStringLiteral("-vf") << QStringLiteral("scale=%1:-1").arg(kThumbnailWidth)
                  << QStringLiteral("-vframes") << QStringLiteral("1") << outputs.at(i);
    }
    return arguments;
}
