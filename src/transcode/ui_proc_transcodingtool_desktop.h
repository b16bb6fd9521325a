#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QVector>

class QTimer;

// The host's transcoding component: converts one video at a time with ffmpeg into a
// Matroska file, reports its progress as a fraction and 1.0 once when the output is
// complete, and reports a failure with a reason a user can act on. After a stop, or after
// 1.0 or a failure, nothing more is reported for that job. HAP Alpha is refused for a source
// without an alpha channel, as soon as the tool has described the source.
class UI_Proc_TranscodingTool_Desktop : public QObject
{
    Q_OBJECT
public:
    enum Codec { Hap = 11100, H264 = 11102, HapQ = 11110, HapAlpha = 11111 };

    UI_Proc_TranscodingTool_Desktop(QObject *parent, int instance);
    ~UI_Proc_TranscodingTool_Desktop() override;

    // Width and height above 0 scale the picture, rounded up to what the codec takes; 0 or
    // less keeps the source size. The three trailing arguments are not used.
    QString transcodeOne(const QString &jobId, const QString &source, const QString &output,
                         int codec, int width, int height, int, int, int);
    // Ends the running job if it has this id and removes its partial output.
    void stopOne(const QString &jobId);

signals:
    void updateProgress(QString jobId, float progress);
    void transcodeFailed(QString jobId, QString reason);

private:
    struct Job
    {
        QString id;
        QString source;
        QString output;
        int codec;
        int width;
        int height;
    };

    void start(const Job &job);
    void readProgress();
    void readReport();
    void refuseAlphaWithoutAlpha();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onErrorOccurred(QProcess::ProcessError error);
    void fail(const QString &jobId, const QString &reason);
    void endJob();

    QProcess *process;
    QTimer *killTimer; // a stopped tool that ignores the request to end is killed
    QString runningJobId; // empty while idle
    int runningCodec = 0;
    bool sourceChecked = false; // its report was looked at for what the codec needs
    QVector<Job> waiting; // asked for while a stopped job was still ending
    QString outputPath;
    bool stopping = false;
    QString refusal; // why the running job was stopped, told once the tool has ended
    qint64 durationUs = 0; // of the source, from the tool's report; 0 until known
    QElapsedTimer sinceReport;
    QByteArray progressLines;
    QByteArray reportText;
};
