#pragma once

#include <QString>

// The host's common parameters. The project directory holds the media-info database and
// the "picture/" directory with thumbnails and slide images.
class Utility_CommParam
{
public:
    static Utility_CommParam *getInstance();

    // Defaults to the application's data location.
    QString getProjectPath() const;
    void setProjectPath(const QString &path);

private:
    Utility_CommParam();

    QString projectPath;
};
