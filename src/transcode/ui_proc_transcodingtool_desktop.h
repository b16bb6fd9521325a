#pragma once

#include <QObject>

// The host's transcoding component. This stand-in accepts jobs and does not run them yet:
// it reports no progress, so a started job stays unfinished until it is stopped.
class UI_Proc_TranscodingTool_Desktop : public QObject
{
    Q_OBJECT
public:
    UI_Proc_TranscodingTool_Desktop(QObject *parent, int instance);

    QString transcodeOne(const QString &jobId, const QString &source, const QString &output,
                         int codec, int width, int height, int, int, int);
    void stopOne(const QString &jobId);

signals:
    // progress is a fraction; 1.0 is reported once, when the job is done
    void updateProgress(QString jobId, float progress);
};
