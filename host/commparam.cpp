#include "store/utility_commparam.h"

#include <QStandardPaths>

Utility_CommParam::Utility_CommParam()
    : projectPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
{ }

Utility_CommParam *Utility_CommParam::getInstance()
{
    static Utility_CommParam instance;
    return &instance;
}

QString Utility_CommParam::getProjectPath() const
{
    return projectPath;
}

void Utility_CommParam::setProjectPath(const QString &path)
{
    projectPath = path;
}
