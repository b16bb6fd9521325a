#pragma once

#include "model/directorylisting.h"
#include "model/filetask.h"
#include "model/loadprogress.h"
#include "probe/proberunner.h"
#include "store/restoregroups.h"

#include <QAbstractItemModel>
#include <QFutureWatcher>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QSharedPointer>
#include <QStringList>
#include <QVector>

#include <deque>
#include <functional>
#include <memory>

class DBWorker;
class FolderWatch;
class QElapsedTimer;
class QThreadPool;
class Ui_Proc_MediaInfo_Desktop;
class UI_Proc_Config_Desktop;
class UI_Proc_TranscodingTool_Desktop;

// A folder's children, in row order. Shared so that look-ups hand it out without copying.
using ChildList = QVector<int>;
using ChildListPtr = QSharedPointer<ChildList>;
using ChildLists = QHash<int, ChildListPtr>; // folder id -> its children

struct RootEntry
{
    int rootId = 0;
    ChildLists childLists; // every folder below the root, the root itself included
};

// Where an item stands in the tree, kept beside its id so that rows and parents are found
// without searching.
struct ItemNode
{
    int parentId = 0; // 0 for a root
    int row = -1; // -1 while the item is not in the tree
    bool jobsAsked = false; // its probing was asked for, by the build or by a view
    qint64 size = -1; // of a file as last probed; -1 when not known, as after a restore
    qint64 modified = -1; // likewise, in milliseconds since the epoch
};

// ReAdd marks the end of a refresh's removals: its folders are added again from there.
enum BuildFlag { Add = 0, Remove = 1, Save = 2, ReAdd = 3 };

struct BuildEntry
{
    int id;
    BuildFlag flag;
};

// A path waiting to be walked, and what its directory's listing said of it.
struct WalkEntry
{
    QString path;
    int id;
    int parentId; // 0 for the root
    bool isDir;
    QString canonicalPath; // of a directory, links resolved
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
constexpr qint64 kStepBudgetNs = 4 * 1000 * 1000; // a step leaves most of a frame to the GUI
constexpr int kIdsPerStepAtMost = 16384; // far more than a step has the time to hand out

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
    // The index of an item found by its id alone; invalid for an item that is not in the tree.
    QModelIndex indexOfId(int id) const;
    // A walk, a build entry or a job is still waiting: the tree is not complete yet.
    Q_INVOKABLE bool isBusy() const;
    Q_INVOKABLE bool checkExternalTranscoding(const QString &path) const;
    // Whether the item, or for a folder one of its direct children, has a transcode
    // requested or running; for -1, whether any item has.
    Q_INVOKABLE bool isTranscodingVideoInFolder(int parent = -1);
    bool isTranscoding() const { return transcoding; }
    LoadProgress *loadProgress() const { return progress; }

    // Adds the first folder at once; the others follow one by one as each walk ends.
    void addFolders(const QStringList &paths);
    // The row or root leaves the view at once; its records, stored information, thumbnails
    // and index entries go one build step at a time.
    void removeItem(int id);
    // Removes every root and adds their folders, and those still waiting, again from disk
    // once the removals are done.
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
    // A problem the page should show, said once a load rather than for every item.
    void problemReported(QString text);
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
    static int newId();
    bool growIdTablesAhead();
    void registerItem(int id, const QString &key, const QString &uuid);
    int nextRootOrdinal();
    bool isRestoring() const;
    bool deferUntilRestored(std::function<void()> operation);
    void runDeferredOperations();
    void finishForTeardown();
    void connectLoadProgress();

    // item model
    QVariantMap showItem(const QModelIndex &index);
    int rootRow(int id) const;
    QVector<int> rootIds() const;
    RootEntry *rootEntry(int rootId);
    void notify(const QModelIndex &index);
    void attach(int id, int parentId, int row);
    void insertChild(int parentId, int row, int id);
    void renumberRows(const ChildList &siblings, int from);
    void renumberRoots(int from);

    // steps and queues
    void runControlStep(FileTaskType type);
    void post(FileTaskType type);
    void scheduleBuild();
    void queueAdd(int id);
    void requestJobs(int id, const QModelIndex &index, const QVector<FileTaskType> &types);
    void afterJob();
    void checkLoadEnd();
    void whenIdle();

    // walking and building
    void addNextPendingFolder();
    void addOrWait(const QString &path);
    void startWalk(const QString &path);
    void walkStep();
    bool isWalking() const;
    bool needsListing(const WalkEntry &entry) const;
    void walkEntry(const WalkEntry &entry, ChildLists &childLists);
    void pushListedEntries(const QElapsedTimer &clock);
    QFuture<QVector<ListedEntry>> listingOf(const WalkEntry &entry);
    void listAhead();
    void stopWalk();
    void finishWalk();
    void buildStep();
    void buildEntry(const BuildEntry &entry);
    void buildItem(int id);
    void typeAndProbe(int id);
    void storeFirstRecord(int id, bool isFolder);
    void saveItem(int id);

    // removing, restoring and rebuilding
    bool isInTree(int id) const;
    void removeFromTree(int id);
    void removeRow(int id, const ItemNode &node);
    void removeRoot(int id, int position);
    void forgetItem(int id);
    void forgetIndexOf(int id);
    void removeFolderContents(int id);
    void restoreFromStore();
    void startRestore();
    void forgetFollowedFolders();
    void onStoredGroupsRead();
    void rebuildStep();
    bool startNextStoredRoot();
    void restoreRows();
    int restoreItem(int position, ChildLists &childLists);
    void forgetUnplacedEntries();

    // job results
    void onThumbnailStarted(int id, const QString &thumbnail);
    void onSlideCaptureStarted(int id, const QString &slideDirectory);
    void onToolJobFinished(const FileTask &job, const QString &report, bool ranToEnd);
    void onPictureRead(const FileTask &job, const DecodedPicture &picture);
    void onToolNotStarted(const QString &program);
    void reportOnce(const QString &problem, const QString &text);
    void reportIfUnreadable(const QString &directory, bool listedNothing);
    bool parseProbeReport(int id, const QString &report);

    // following the disk
    int rootOf(int id) const;
    bool isFollowable(int folderId, const QString &path) const;
    void followFolder(int folderId, const QString &path);
    void followRestoredFolder(int folderId, const QString &path);
    void onFoldersChanged(const QVector<int> &folderIds);
    void queueFolderCheck(int folderId);
    void startNextFolderCheck();
    void onFolderListed();
    void folderCheckStep();
    bool compareListedEntry();
    bool removeVanishedRow();
    void finishFolderCheck();
    void insertFound(const ListedEntry &entry, int listed, const QString &key);
    int rowFor(const ChildList &siblings, int listed) const;
    bool isSettled(const ListedEntry &entry, const QString &key);
    void probeAgain(int id);
    bool isTranscodeOutputUnderWay(const QString &path) const;
    void onRootReturned(int rootId);
    void notifyTreeOf(int rootId);
    bool isFollowingDisk() const;

    // transcoding
    void queueTranscode(int idx, const QModelIndex &index, const QVariantMap &params);
    void startTranscodeJob(const Job &job);
    void endRunningTranscode();
    int insertTranscodedItem(int sourceId, const QString &outputPath);

    QHash<QString, int> keyToId;
    QHash<int, QString> idToKey;
    QHash<int, QString> idToUuid; // made when the id is issued; names the stored record
    QHash<int, ItemNode> nodes; // every item in the tree
    int rootOrdinal = -1; // the highest ordinal given to a root; part of every item key
    std::deque<BuildEntry> buildQueue;
    bool buildPosted = false; // one build chain at a time
    QString currentRootPath;
    int walkRootId = 0; // the root the walk fills
    int walkOrdinal = 0; // of that root
    bool depthExceeded = false;
    QStringList pendingReAdd; // roots to add again once a refresh's removals are done
    std::deque<QString> pendingFolders; // wait for the running walk to end
    bool walking = false; // a walk is under way
    std::deque<WalkEntry> walkStack;
    struct Listing
    {
        int dirId = 0;
        QVector<ListedEntry> entries;
        int next = 0; // the first entry not yet on walkStack
    };
    Listing listing; // of the directory whose entries go onto walkStack
    QSet<QString> walkedDirectories; // of the walk's root, links resolved: each is listed once
    QHash<QString, QFuture<QVector<ListedEntry>>> listings; // asked for ahead of the walk
    QThreadPool *listingPool; // one thread: the disk serves one listing at a time best
    QFutureWatcher<QVector<ListedEntry>> *listingWatcher; // the listing the walk waits for
    bool awaitingListing = false; // the walk goes on when that listing comes
    QMap<int, QVariantMap> records; // ordered: queries list items by id
    QVector<RootEntry> roots; // top-level rows, in the order added
    Ui_Proc_MediaInfo_Desktop *store;
    DBWorker *dbWorker;
    UI_Proc_Config_Desktop *config; // the host's; not owned
    QFutureWatcher<QVector<RestoreGroup>> *storedGroupsReader; // reads the store off the GUI thread
    bool readingStore = false; // until the groups it read are handed over
    bool restoreAsked = false; // the store was announced during a load, which it waits for
    QVector<RestoreGroup> restoreGroups; // stored roots waiting for the rebuild
    // Requests that came while the stored tree was put back: it is not theirs to change yet.
    std::deque<std::function<void()>> afterRestore;
    struct StoredRoot
    {
        RestoreGroup group;
        int ordinal = 0;
        int rootId = 0;
        // Position and id of each folder whose rows are still to come, in the order they come.
        std::deque<std::pair<int, int>> folders;
        int nextChild = 0; // of the front folder
    };
    std::unique_ptr<StoredRoot> storedRoot; // the stored root being put back
    QSet<int> unsavedPictures; // items whose made picture the store does not name yet
    ProbeRunner *runner;
    LoadProgress *progress;
    UI_Proc_TranscodingTool_Desktop *transcoder;
    QMap<QString, ExternalTranscode> externalTranscodes; // by the path as the page gives it
    QString watchedOutputPath; // output of the last completed path job, awaited in the signal list
    QString runningTranscodeUuid; // job id of the job started last; kept after it ends
    bool transcoding = false; // a transcode has started and neither completed nor stopped
    int waitingLoadEndChecks = 0; // checks that found work and wait for both queues to drain
    int loadsUnderway = 0; // begun and not yet announced as ended
    QSet<QString> problemsReported; // since the last load began

    FolderWatch *folderWatch;
    bool watchLimitReported = false; // said once for the model's life
    qint64 restoredSinceMs = 0; // when the restore began: later changes are looked at
    std::deque<int> folderChecksDue; // folders whose directories are to be compared
    QSet<int> folderChecksQueued; // the same, to queue each once
    QFutureWatcher<QVector<ListedEntry>> *folderListingWatcher;
    int folderListedId = 0; // the folder whose listing is awaited
    struct FolderCheck
    {
        int folderId = 0;
        int ordinal = 0; // of its root
        QVector<ListedEntry> listed; // name order
        int next = 0; // entries are compared from the last: rows go in descending name order
        QHash<int, int> listedAt; // items found on disk, with their place in the listing
        ChildList rows; // the folder's rows once the listing was compared
        int nextRow = -1;
        QHash<QString, std::pair<qint64, qint64>> settling; // files changing at the last look
        QHash<QString, std::pair<qint64, qint64>> settlingNow; // and at this one
        QSet<QString> dismissed; // rows deleted on the page whose files were there
        QSet<QString> dismissedSeen; // of those, the ones still there
        bool lookAgain = false; // the folder is looked at again after the quiet time
    };
    std::unique_ptr<FolderCheck> folderCheck;
    // Per folder: files that were still changing when last seen, and rows deleted on the
    // page, which a change beside them must not bring back.
    QHash<int, QHash<QString, std::pair<qint64, qint64>>> settlingFiles;
    QHash<int, QSet<QString>> dismissedRows;
};
