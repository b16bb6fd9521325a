#pragma once

#include "model/directorylisting.h"
#include "model/filestamp.h"
#include "model/itemtree.h"

#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QSet>

#include <deque>
#include <memory>

class BuildQueue;
class FolderWatch;
class ItemProbes;
class ModelSteps;
class QThreadPool;
class TranscodeRequests;
class TreeEdits;

// Keeps the shown folders in step with the disk: the directories of shown folders are
// watched, and a folder whose directory changed is listed again once it has been quiet and
// compared with its rows, one folder at a time and a few milliseconds a step.
class DiskFollower : public QObject
{
    Q_OBJECT
public:
    DiskFollower(ItemTree &tree, TreeEdits &edits, ModelSteps &steps, ItemProbes *probes,
                 BuildQueue *build, const TranscodeRequests *transcodes, QThreadPool *listingPool,
                 QObject *parent);

    // As the walk would list it: not too deep, and not through a link, which may lead back up.
    bool isFollowable(int folderId, const QString &path) const;
    void followFolder(int folderId, const QString &path);
    void followRestoredFolder(int folderId, const QString &path);
    void unwatch(int folderId);
    // A row deleted on the page stays away while its file is there.
    void dismissRow(int parentId, const QString &key);
    // The item is gone: nothing of it is followed any longer.
    void forget(int id);
    // Nothing of the root's folders is followed while they move to another place.
    void forgetFoldersOf(int rootId);
    // The root's folders are followed at their new place, and compared with it once: a file
    // found there keeps its item as it is, one not found shows as missing, a new one is added.
    void followMovedRoot(int rootId, const QString &path);
    // Everything followed goes; folders whose directories change from now on are looked at.
    void restartAt(qint64 sinceMs);
    bool isFollowingDisk() const;

signals:
    void problemReported(QString text);

private:
    // A folder whose listing is compared with its rows.
    struct FolderCheck
    {
        int folderId = 0;
        int ordinal = 0; // of its root
        QVector<ListedEntry> listed; // name order
        int next = 0; // entries are compared from the last: rows go in descending name order
        QHash<int, int> listedAt; // items found on disk, with their place in the listing
        ChildList rows; // the folder's rows once the listing was compared
        int nextRow = -1;
        QHash<QString, FileStamp> settling; // files changing at the last look
        QHash<QString, FileStamp> settlingNow; // and at this one
        QSet<QString> dismissed; // rows deleted on the page whose files were there
        QSet<QString> dismissedSeen; // of those, the ones still there
        bool lookAgain = false; // the folder is looked at again after the quiet time
        bool isFirstAfterMove = false; // its root moved to where it was listed
    };

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
    void onRootReturned(int rootId);
    void notifyTreeOf(int rootId);

    ItemTree &tree;
    TreeEdits &edits;
    ModelSteps &steps;
    ItemProbes *probes;
    BuildQueue *build;
    const TranscodeRequests *transcodes;
    QThreadPool *listingPool; // the walk's: the disk serves one listing at a time best
    FolderWatch *folderWatch;
    QFutureWatcher<DirectoryListing> *folderListingWatcher;
    bool watchLimitReported = false; // said once for the model's life
    qint64 restoredSinceMs = 0; // when the restore began: later changes are looked at
    std::deque<int> folderChecksDue; // folders whose directories are to be compared
    QSet<int> folderChecksQueued; // the same, to queue each once
    int folderListedId = 0; // the folder whose listing is awaited
    QString folderListedPath; // and where it was listed
    QSet<int> movedFolders; // folders of a moved root, not compared with their new place yet
    std::unique_ptr<FolderCheck> folderCheck;
    // Per folder: files that were still changing when last seen, and rows deleted on the
    // page, which a change beside them must not bring back.
    QHash<int, QHash<QString, FileStamp>> settlingFiles;
    QHash<int, QSet<QString>> dismissedRows;
};
