#pragma once

#include "model/filetask.h"
#include "store/module_mediainfo.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QMap>
#include <QSharedPointer>
#include <QStringList>
#include <QVector>

#include <deque>
#include <functional>

class QFile;
class QProcess;
class QTimer;
class DBWorker;
class Ui_Proc_MediaInfo_Desktop;
class UI_Proc_Config_Desktop;
class UI_Proc_TranscodingTool_Desktop;

// A folder's children, in row order. Shared so that look-ups hand it out without copying.
using ChildList = QVector<int>;
using ChildListPtr = QSharedPointer<ChildList>;
using ChildLists = QMap<int, ChildListPtr>; // folder id -> its children

struct RootEntry
{
    int rootId = 0;
    ChildLists childLists; // every folder below the root, the root itself included
};

enum BuildFlag { Add = 0, Remove = 1, Save = 2 };

struct BuildEntry
{
    int id;
    BuildFlag flag;
};

// A stored record of an earlier run, and the group of one stored root.
struct RestoreEntry
{
    QString path;
    Module_Mediainfo record;
};

struct RestoreGroup
{
    int rootOrdinal;
    QVector<RestoreEntry> entries;
};

// A file outside the tree registered for transcoding by path.
struct ExternalTranscode
{
    QString uuid; // the job id its transcoding signals carry
    bool active = false; // a request for it is queued or running
};

// Error codes of errorOccured(int).
enum FolderError {
    AddWhileWalking = 0, // a folder was offered while another one is still being walked
    DepthLimitMet = 1, // the walk met folders nested deeper than kMaxWalkDepth
};

constexpr int kMaxWalkDepth = 10; // deeper folders show as empty
constexpr int kPictureChunkBytes = 1024; // one slice per step keeps the GUI responsive
constexpr int kToolTimeLimitMs = 60 * 1000; // a probe or thumbnail run that takes longer hangs
constexpr int kCaptureTimeLimitMs = 300 * 1000; // slide capture converts whole presentations

// The tree of added folders and their media files, one property map (record) per item.
// Items are known by ids that are never reused; the tree itself is only lists of ids.
// All work runs on the GUI thread in short steps that the model posts to itself.
class FolderModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    static constexpr int FileInfoRole = Qt::UserRole + 1;

    explicit FolderModel(QObject *parent);
    ~FolderModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = FileInfoRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = FileInfoRole) override;
    QHash<int, QByteArray> roleNames() const override;

    Q_INVOKABLE int rootCount() const;
    // A walk, a build entry or a job is still waiting: the tree is not complete yet.
    Q_INVOKABLE bool isBusy() const;
    Q_INVOKABLE bool checkExternalTranscoding(const QString &path) const;
    // Whether the item, or for a folder one of its direct children, has a transcode
    // requested or running; for -1, whether any item has.
    Q_INVOKABLE bool isTranscodingVideoInFolder(int parent = -1);
    bool isTranscoding() const { return transcoding; }

    // Adds the first folder at once; the others follow one by one as each walk ends.
    void addFolders(const QStringList &paths);
    // The row or root leaves the view at once; its records, stored information, thumbnails
    // and index entries go one build step at a time.
    void removeItem(int id);
    // Removes every root and adds their folders again from disk once the index is empty.
    void refreshTree();

    // Look-ups. None fails: unknown ids give -1, empty texts or no list.
    static QString itemKey(const QString &path, int rootOrdinal);
    static QString splitItemKey(const QString &key, int *rootOrdinal = nullptr);
    int fileIndex(const QString &key); // issues an id, a key and a uuid when the key is new
    int idOfKey(const QString &key) const;
    QString keyOf(int id) const;
    QString pathOf(int id) const;
    QString uuidOf(int id) const;
    QVariantMap recordOf(int id); // leaves an empty record behind when there was none
    const QMap<int, QVariantMap> &itemRecords() const { return records; }
    ChildListPtr childListOf(int id) const;
    void clearIndexOfKey(const QString &key);
    void clearIndexOfId(int id);

signals:
    void loadFolderBegan();
    void loadFolderEnded();
    void folderTabNeedClose();
    void errorOccured(int ec);
    void processingVideoChanged();
    void beginVideoFileTranscoding(QString uuid);
    void transcodingProgressChanged(QString uuid, int progress);
    void videoFileTranscodingStopped(QString uuid);
    void videoFileTranscoded(QString uuid, QString file);
    void transcodeMarkFound(QString uuid, bool found);
    void transcodeFailed(QString uuid, QString reason);
    void filesIndexCleared();
    void fileIndexCleared(int idx);

public slots:
    void addFolder(const QString &path);
    void prepareAddingFolders();
    void onProcessFinished(int exitCode);
    void onLoadFolder(const QVariantMap &folder);
    void onClearAll();
    void onTranscodeRunning(const QString &guid, float progress);
    void onTranscodeFailed(const QString &jobId, const QString &reason);
    void onTranscode(int idx, const QString &type, int w, int h);
    void onTranscode(const QString &path, const QString &type, int w, int h);
    void onStopTranscode(int idx);
    void onStopTranscode(const QString &path);
    void onRegisterExternalTranscodeFile(const QString &file, const QString &uuid);
    void onMonitoringSignalList(const QString &json);
    void onCheckTranscodeMark(const QString &uuid);

protected:
    bool event(QEvent *e) override;

private:
    // item model
    QVariantMap showItem(const QModelIndex &index);
    int rootRow(int id) const;
    QVector<int> rootIds() const;
    int parentIdOf(int id) const;
    QModelIndex indexOfId(int id) const;
    void notify(const QModelIndex &index);

    // steps and queues
    static bool isJobRequest(FileTaskType type);
    void runControlStep(FileTaskType type);
    void post(FileTaskType type, int id = 0, const QModelIndex &index = {});
    void enqueue(const FileTask &request);
    QSharedPointer<FileTask> takeHeadTask();
    void advanceAfterJob();
    void checkLoadEnd();
    void repeatWaitingLoadEndChecks();

    // walking and building
    void addNextPendingFolder();
    void walkStep(int maxDepth);
    void listDirectory(const QString &path);
    void attachToParent(const QString &path, ChildLists &childLists);
    void finishWalk(const QString &lastPath);
    void buildStep();
    void buildItem(int id);
    void storeFirstRecord(int id);
    void saveItem(int id);

    // removing and rebuilding
    void forgetItem(int id);
    void removeFolderContents(int id);
    void restoreFromStore();
    void rebuildFromStore();
    void rebuildRoot(QVector<RestoreEntry> entries);

    // jobs
    void runNextTask();
    void runTool(const QString &program, const QStringList &arguments, int timeLimitMs);
    void startProbe(const FileTask &task);
    void completeToolJob(const FileTask &task, const QString &report);
    bool parseProbeReport(int id, const QString &report);
    void startThumbnail(const FileTask &task, int seekSeconds);
    bool retryThumbnailAtFirstFrame(const FileTask &task);
    void startPictureLoad(const FileTask &task);
    void readPictureChunk();
    void finishPictureLoad(const FileTask &task);
    void startSlideCapture(const FileTask &task);

    // transcoding
    void postTranscodeRequest(int idx, const QModelIndex &index, const QVariantMap &params);
    void startTranscodeJob(FileTask &task);
    bool headIsRunningTranscode() const;
    void endRunningTranscode();
    int insertTranscodedItem(int sourceId, const QString &outputPath);
    QVector<QSharedPointer<FileTask>> removeTasks(
            const std::function<bool(const FileTask &)> &matches);

    QMap<QString, int> keyToId;
    QMap<int, QString> idToKey;
    QMap<int, QString> idToUuid; // made when the id is issued; names the stored record
    int rootOrdinal = -1; // ordinal of the root being added; part of every item key
    std::deque<BuildEntry> buildQueue;
    int lastFileId = -1; // its build entry starts the end-of-load check
    QString currentRootPath;
    bool depthExceeded = false;
    QStringList pendingReAdd; // roots to add again once the index is empty
    std::deque<QString> pendingFolders; // wait for the running walk to end
    std::deque<QString> walkStack; // not empty: a walk is under way
    QMap<int, QVariantMap> records;
    QVector<RootEntry> roots; // top-level rows, in the order added
    Ui_Proc_MediaInfo_Desktop *store;
    DBWorker *dbWorker;
    UI_Proc_Config_Desktop *config; // the host's; not owned
    QVector<RestoreGroup> restoreGroups; // stored roots waiting for the rebuild
    QProcess *process; // the one tool that runs at a time
    QTimer *toolTimer; // ends a tool run that takes too long
    QFile *pictureFile;
    QByteArray pictureBytes; // read so far by the running picture job
    std::deque<QSharedPointer<FileTask>> taskQueue; // the head is the running job
    QSharedPointer<FileTask> runningTask; // the head, once started: a second start is a no-op
    bool thumbnailRetried = false; // the running thumbnail job is on its first-frame run
    int toolTimeLimitMs = kToolTimeLimitMs;
    int captureTimeLimitMs = kCaptureTimeLimitMs;
    UI_Proc_TranscodingTool_Desktop *transcoder;
    QMap<QString, ExternalTranscode> externalTranscodes; // by the path as the page gives it
    QString watchedOutputPath; // output of the last completed path job, awaited in the signal list
    QString runningTranscodeUuid; // job id of the job started last; kept after it ends
    bool transcoding = false; // a transcode has started and neither completed nor stopped
    int postedJobRequests = 0; // posted, not yet in taskQueue
    int waitingLoadEndChecks = 0; // checks that found work and wait for both queues to drain

    friend class TestProbeRunner;
};
