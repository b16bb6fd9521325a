#include "transcode/outputname.h"

#include <QFileInfo>

QString transcodeOutputPath(const QString &source)
{
    const QFileInfo file(source);
    return file.absolutePath() + QStringLiteral("/VEK_") + file.baseName() + QStringLiteral(".mkv");
}

QString partialOutputPath(const QString &output)
{
    return output + QStringLiteral(".part");
}
