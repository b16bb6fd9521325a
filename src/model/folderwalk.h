#pragma once

#include "model/directorylisting.h"
#include "model/itemtree.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <deque>

class BuildQueue;
class DiskFollower;
class ModelSteps;
class QElapsedTimer;
class QThreadPool;
class TreeEdits;

// A path waiting to be walked, and what its directory's listing said of it.
struct WalkEntry
{
    QString path;
    int id;
    int parentId; // 0 for the root
    bool isDir;
    QString canonicalPath; // of a directory, links resolved
};

// Walks one added folder at a time into the tree, a few milliseconds a step, and keeps the
// folders offered meanwhile until their turn. Directories are listed on a worker thread ahead
// of the walk; every item found is queued for its build.
class FolderWalk : public QObject
{
    Q_OBJECT
public:
    FolderWalk(ItemTree &tree, TreeEdits &edits, ModelSteps &steps, BuildQueue *build,
               DiskFollower *follower, QThreadPool *listingPool, QObject *parent);

    // From the add until the walk has ended or stopped: a step may end with the stack empty
    // but a folder's listing still to push, or with everything done but the end not yet
    // announced.
    bool isWalking() const { return walking; }
    bool isWalkingRoot(int rootId) const { return walking && rootId == walkRootId; }
    bool hasFoldersWaiting() const { return !pendingFolders.empty() || !pendingReAdd.isEmpty(); }
    // Those waiting to come back from a refresh first.
    QStringList foldersWaiting() const;

    // Adds the first folder at once; the others follow one by one as each walk ends.
    void addFolders(const QStringList &paths);
    void addFolder(const QString &path);
    void addOrWait(const QString &path);
    void addNextPendingFolder();
    // The roots of a refresh come back from disk once their removals are done, ahead of the
    // folders waiting now.
    void addAgainLater(const QStringList &rootPaths);
    void addAgainNow();
    void forgetWaitingFolders();

    void walkStep();
    // The items listed but not reached yet.
    QVector<int> idsAhead() const;
    // The walk's root went away: its load ends with what was built, and the folders waiting
    // for it go on.
    void stop();
    void clearForTeardown() { walkStack.clear(); }

signals:
    void walkBegan();
    // A folder was offered while another one is still being walked.
    void addRefused();
    void depthLimitMet();
    // Files of no media type that a listing passed over.
    void filesLeftOut(int count);

private:
    struct Listing
    {
        int dirId = 0;
        QVector<ListedEntry> entries;
        int next = 0; // the first entry not yet on walkStack
    };

    void startWalk(const QString &path);
    bool needsListing(const WalkEntry &entry) const;
    void walkEntry(const WalkEntry &entry, ChildLists &childLists);
    void pushListedEntries(const QElapsedTimer &clock);
    QFuture<DirectoryListing> listingOf(const WalkEntry &entry, int stackIndex);
    void listAhead();
    void reportIfUnreadable(const QString &directory, bool listedNothing);
    void finishWalk();

    ItemTree &tree;
    TreeEdits &edits;
    ModelSteps &steps;
    BuildQueue *build;
    DiskFollower *follower;
    QThreadPool *listingPool; // one thread: the disk serves one listing at a time best
    QFutureWatcher<DirectoryListing> *listingWatcher; // the listing the walk waits for
    QString currentRootPath;
    int walkRootId = 0; // the root the walk fills
    int walkOrdinal = 0; // of that root
    bool depthExceeded = false;
    QStringList pendingReAdd; // roots to add again once a refresh's removals are done
    std::deque<QString> pendingFolders; // wait for the running walk to end
    bool walking = false;
    std::deque<WalkEntry> walkStack;
    Listing listing; // of the directory whose entries go onto walkStack
    QSet<QString> walkedDirectories; // of the walk's root, links resolved: each is listed once
    QHash<QString, QFuture<DirectoryListing>> listings; // asked for ahead of the walk
    bool awaitingListing = false; // the walk goes on when that listing comes
};
