#pragma once

#include "model/itemtree.h"
#include "model/loadprogress.h"
#include "model/modelhooks.h"

#include <QAbstractItemModel>
#include <QSet>
#include <QStringList>

class BuildQueue;
class DiskFollower;
class FolderWalk;
class ItemProbes;
class QThreadPool;
class RootRelink;
class StoreRestore;
class TranscodeRequests;
class Ui_Proc_MediaInfo_Desktop;
class UI_Proc_Config_Desktop;

// Error codes of errorOccured(int).
enum FolderError {
    AddWhileWalking = 0, // a folder was offered while another one is still being walked
    DepthLimitMet = 1, // the walk met folders nested deeper than kMaxWalkDepth
};

// The tree of added folders and their media files as an item model, one property map
// (record) per item. The model announces rows and runs the posted steps; the parts that it
// owns fill the tree: the walk, the build queue, the probes, the restore, the disk follower
// and the transcode requests. All work runs on the GUI thread in short steps that the model
// posts to itself.
class FolderModel : public QAbstractItemModel, private TreeEdits, private ModelSteps
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
    // The index of an item found by its id alone; invalid for an item that is not in the tree.
    QModelIndex indexOfId(int id) const override;
    // A walk, a build entry or a job is still waiting: the tree is not complete yet.
    Q_INVOKABLE bool isBusy() const;
    Q_INVOKABLE bool checkExternalTranscoding(const QString &path) const;
    // Whether the item, or for a folder one of its direct children, has a transcode
    // requested or running; for -1, whether any item has.
    Q_INVOKABLE bool isTranscodingVideoInFolder(int parent = -1);
    bool isTranscoding() const;
    // The transcodes running and waiting, running first: "fileIdx" (-1 for a file outside the
    // tree), "path", "type", "running", "progress", "secondsLeft" (-1 while not known).
    QVariantList transcodeQueue() const;
    void stopAllTranscodes();
    LoadProgress *loadProgress() const { return progress; }

    // Adds the first folder at once; the others follow one by one as each walk ends.
    void addFolders(const QStringList &paths);
    // The row or root leaves the view at once; its records, stored information, thumbnails
    // and index entries go one build step at a time.
    void removeItem(int id);
    // Removes every root and adds their folders, and those still waiting, again from disk
    // once the removals are done.
    void refreshTree();
    // The root and its items are found at newPath from now on, as when the folder moved;
    // each keeps its id, uuid, record and pictures. False, with the reason reported, when
    // the root cannot move there.
    bool relinkFolder(int rootId, const QString &newPath);

    // Look-ups. None fails: unknown ids give -1, empty texts or no list.
    static QString itemKey(const QString &path, int rootOrdinal);
    static QString splitItemKey(const QString &key, int *rootOrdinal = nullptr);
    int fileIndex(const QString &key); // issues an id, a key and a uuid when the key is new
    int idOfKey(const QString &key) const;
    QString keyOf(int id) const;
    QString pathOf(int id) const;
    QString uuidOf(int id) const;
    QVariantMap recordOf(int id); // leaves an empty record behind when there was none
    qint64 fileSizeOf(int id) const; // in bytes, as last probed or else as on disk now
    int rootOf(int id) const; // the root the item is under; the item itself for a root
    const QMap<int, ItemRecord> &itemRecords() const { return tree.itemRecords(); }
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
    // A problem the page should show, said once a load rather than for every item.
    void problemReported(QString text);
    void transcodeQueueChanged();
    void filesIndexCleared();
    void fileIndexCleared(int idx);

public slots:
    void addFolder(const QString &path);
    void prepareAddingFolders();
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
    void connectParts();
    void connectLoadProgress();
    void finishForTeardown();
    void storeUnsavedPictures();
    bool isInsideARoot(const QString &path);

    // TreeEdits
    void insertRow(int parentId, int row, int id) override;
    void takeRow(int parentId, int row) override;
    void removeRow(int id) override;
    void beginAppendRows(int parentId, int count) override;
    void endAppendRows() override;
    void beginResetTree() override;
    void endResetTree() override;
    void notify(const QModelIndex &index) override;
    void refreshRowsBeside(const QModelIndex &index) override;

    // ModelSteps
    void post(FileTaskType step) override;
    void whenIdle() override;
    void reportOnce(const QString &problem, const QString &text) override;
    bool isRestoring() const override;
    bool isFilling(int rootId) const override;

    ItemRecord showItem(const QModelIndex &index);
    void announceRowsBeside(const QModelIndex &index, const QVector<int> &roles);
    void runControlStep(FileTaskType type);
    void afterJob();
    void checkLoadEnd();
    void removeFromTree(int id);
    void removeRoot(int id, int position);
    void forgetIndexOf(int id);

    ItemTree tree;
    Ui_Proc_MediaInfo_Desktop *store;
    UI_Proc_Config_Desktop *config; // the host's; not owned
    LoadProgress *progress;
    QThreadPool *listingPool; // one thread, shared by the walk and the disk follower
    ItemProbes *probes;
    BuildQueue *build;
    TranscodeRequests *transcodes;
    DiskFollower *follower;
    FolderWalk *walk;
    StoreRestore *restore;
    RootRelink *relink;
    int waitingLoadEndChecks = 0; // checks that found work and wait for both queues to drain
    int loadsUnderway = 0; // begun and not yet announced as ended
    QSet<QString> problemsReported; // since the last load began
};
