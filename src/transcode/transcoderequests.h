#pragma once

#include "probe/proberunner.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>

class BuildQueue;
class ItemProbes;
class ItemTree;
class ModelSteps;
class TreeEdits;
class UI_Proc_TranscodingTool_Desktop;
class Ui_Proc_MediaInfo_Desktop;

// The transcoding component's codes by the type names that requests give, upper case.
const QHash<QString, int> &codecOfType();

// A file outside the tree registered for transcoding by path.
struct ExternalTranscode
{
    QString uuid; // the job id its transcoding signals carry
    bool active = false; // a request for it is queued or running
};

// Transcodes of tree items and of registered files outside the tree: they wait in the one job
// queue like any probe, run one at a time through the transcoding component, show their
// progress in the item's record or by signals, and add a completed output of an item to the
// tree above its source. An output replaces a file of its name only where that file is an
// earlier output of the library's own, and only once it is complete. The signal list of the
// host marks what a path job made.
class TranscodeRequests : public QObject
{
    Q_OBJECT
public:
    TranscodeRequests(ItemTree &tree, TreeEdits &edits, ModelSteps &steps, ItemProbes *probes,
                      BuildQueue *build, Ui_Proc_MediaInfo_Desktop *store, QObject *parent);

    UI_Proc_TranscodingTool_Desktop *transcoder() const { return tool; }
    bool isTranscoding() const { return transcoding; }
    bool checkExternalTranscoding(const QString &path) const;
    bool isTranscodingVideoInFolder(int parent);
    // The output that the running transcode writes: it adds it to the tree itself.
    bool isOutputUnderWay(const QString &path) const;

    void onTranscode(int idx, const QString &type, int w, int h);
    void onTranscode(const QString &path, const QString &type, int w, int h);
    void onTranscodeRunning(float progress);
    void onTranscodeFailed(const QString &jobId, const QString &reason);
    void onStopTranscode(int idx);
    void onStopTranscode(const QString &path);
    void onRegisterExternalTranscodeFile(const QString &file, const QString &uuid);
    void onMonitoringSignalList(const QString &json);
    void onCheckTranscodeMark(const QString &uuid);
    void stopAll();

    // The transcodes running and waiting, as the page lists them: "fileIdx" (-1 for a file
    // outside the tree), "path", "type", "running", "progress" and "secondsLeft" (-1 while
    // not known).
    QVariantList queueEntries() const;
    // Queues again what was waiting or running when the application last ran.
    void resumeStoredQueue();

signals:
    void transcodeQueueChanged();
    void beginVideoFileTranscoding(QString uuid);
    void transcodingProgressChanged(QString uuid, int progress);
    void videoFileTranscodingStopped(QString uuid);
    void videoFileTranscoded(QString uuid, QString file);
    void transcodeMarkFound(QString uuid, bool found);
    void transcodeFailed(QString uuid, QString reason);

private:
    void queueTranscode(int idx, const QModelIndex &index, const QVariantMap &params);
    void requestItemTranscode(int id, const QVariantMap &params);
    void notifyRowsOf(const QVector<int> &ids);
    QVector<Job> queuedJobs() const; // the running one first
    // Tells the page, and keeps the queue for the next start.
    void queueChanged();
    QVector<int> videosBelow(int folderId) const;
    void startTranscodeJob(const Job &job);
    void endRunningTranscode();
    bool isOwnOutput(const QString &path) const;
    QString placeOutput(const FileTask &task);
    void completeItemTranscode(const Job &task);
    int insertTranscodedItem(int sourceId, const QString &outputPath);

    ItemTree &tree;
    TreeEdits &edits;
    ModelSteps &steps;
    ItemProbes *probes;
    ProbeRunner *runner;
    BuildQueue *build;
    Ui_Proc_MediaInfo_Desktop *store;
    UI_Proc_TranscodingTool_Desktop *tool;
    QMap<QString, ExternalTranscode> externalTranscodes; // by the path as the page gives it
    QString watchedOutputPath; // output of the last completed path job, awaited in the signal list
    QString runningTranscodeUuid; // job id of the job started last; kept after it ends
    bool transcoding = false; // a transcode has started and neither completed nor stopped
    int runningPercent = 0; // of the running transcode, as last reported
    QElapsedTimer runningClock; // since it started
};
