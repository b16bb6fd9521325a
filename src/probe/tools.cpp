#include "probe/tools.h"

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
