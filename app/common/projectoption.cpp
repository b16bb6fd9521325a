#include "projectoption.h"

#include "store/ui_proc_config_desktop.h"
#include "store/utility_commparam.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
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

QCommandLineOption storeOption()
{
    return {QStringLiteral("store"),
            QStringLiteral("Media-info store shared with other consoles: a PostgreSQL URL "
                           "(postgresql://USER@HOST:PORT/DATABASE, or "
                           "postgresql://USER@/DATABASE?host=SOCKET-DIR) or a SQLite file. "
                           "Consoles whose project directories have the same name share a "
                           "project. By default the project directory keeps its own store."),
            QStringLiteral("URL")};
}

void useStore(const QCommandLineParser &parser, const QCommandLineOption &store)
{
    if (!parser.isSet(store))
        return;
    QString value = parser.value(store);
    if (!value.contains(QStringLiteral("://")))
        value = QFileInfo(value).absoluteFilePath();
    UI_Proc_Config_Desktop::getInstance().setValue(kMediaInfoStoreKey, value);
}
