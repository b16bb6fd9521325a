#include "projectoption.h"

#include "store/utility_commparam.h"

#include <QCommandLineParser>
#include <QDir>
#include <QTextStream>

QCommandLineOption projectOption()
{
    return {QStringLiteral("project"),
            QStringLiteral("Project directory: keeps the media-info store and thumbnails."),
            QStringLiteral("DIR")};
}

void useProjectDirectory(const QCommandLineParser &parser, const QCommandLineOption &project)
{
    const QString dir
            = QDir(parser.isSet(project) ? parser.value(project)
                                         : Utility_CommParam::getInstance()->getProjectPath())
                      .absolutePath();
    if (!QDir().mkpath(dir))
        QTextStream(stderr) << "Cannot create the project directory " << dir << Qt::endl;
    Utility_CommParam::getInstance()->setProjectPath(dir);
}
