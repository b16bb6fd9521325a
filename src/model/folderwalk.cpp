#include "model/folderwalk.h"

#include "model/buildqueue.h"
#include "model/diskfollower.h"
#include "model/fileurl.h"
#include "model/modelhooks.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFutureInterface>
#include <QThreadPool>
#include <QTimer>

namespace {

constexpr int kListingsAhead = 16; // directories listed before the walk reaches them

} // namespace

FolderWalk::FolderWalk(ItemTree &tree, TreeEdits &edits, ModelSteps &steps, BuildQueue *build,
                       DiskFollower *follower, QThreadPool *listingPool, QObject *parent)
    : QObject(parent)
    , tree(tree)
    , edits(edits)
    , steps(steps)
    , build(build)
    , follower(follower)
    , listingPool(listingPool)
    , listingWatcher(new QFutureWatcher<DirectoryListing>(this))
{
    connect(listingWatcher, &QFutureWatcher<DirectoryListing>::finished, this, [this] {
        if (std::exchange(awaitingListing, false))
            this->steps.post(WalkStep);
    });
}

QStringList FolderWalk::foldersWaiting() const
{
    return pendingReAdd + QStringList(pendingFolders.cbegin(), pendingFolders.cend());
}

void FolderWalk::addFolders(const QStringList &paths)
{
    addFolder(paths.first());
    pendingFolders.insert(pendingFolders.end(), paths.begin() + 1, paths.end());
}

void FolderWalk::addAgainLater(const QStringList &rootPaths)
{
    pendingReAdd << rootPaths;
    pendingReAdd.append(QStringList(pendingFolders.cbegin(), pendingFolders.cend()));
    pendingFolders.clear();
}

// Runs when a refresh's removals are done, or the index has become empty: the folders of a
// refresh come back from disk, in their order and ahead of those offered since.
void FolderWalk::addAgainNow()
{
    const QStringList folders = std::exchange(pendingReAdd, {});
    pendingFolders.insert(pendingFolders.begin(), folders.cbegin(), folders.cend());
    if (!isWalking())
        addNextPendingFolder();
}

void FolderWalk::forgetWaitingFolders()
{
    pendingFolders.clear();
    pendingReAdd.clear();
}

QVector<int> FolderWalk::idsAhead() const
{
    QVector<int> ids;
    for (const WalkEntry &entry : walkStack)
        ids << entry.id;
    return ids;
}

// A walk or restore under way, or a refresh whose folders come back first, arms this again
// when it ends.
void FolderWalk::addNextPendingFolder()
{
    if (pendingFolders.empty() || isWalking() || steps.isRestoring() || !pendingReAdd.isEmpty())
        return;
    const QString path = pendingFolders.front();
    pendingFolders.pop_front();
    startWalk(path);
}

// A folder offered while others wait for their turn waits behind them.
void FolderWalk::addFolder(const QString &path)
{
    if (isWalking()) {
        emit addRefused();
        return;
    }
    if (!pendingReAdd.isEmpty() || !pendingFolders.empty()) {
        pendingFolders.push_back(path);
        QTimer::singleShot(0, this, &FolderWalk::addNextPendingFolder);
        return;
    }
    startWalk(path);
}

void FolderWalk::startWalk(const QString &path)
{
    const QString root = cleanFolderPath(path);
    walkOrdinal = tree.nextRootOrdinal();
    edits.beginResetTree();
    const int rootId = tree.fileIndex(ItemTree::itemKey(root, walkOrdinal));
    tree.appendRoot({rootId, {{rootId, ChildListPtr::create()}}});
    walkRootId = rootId;
    walking = true;
    const QFileInfo rootInfo(root);
    walkStack.push_back({root, rootId, 0, rootInfo.isDir(), canonicalDirectory(rootInfo)});
    currentRootPath = root;
    steps.post(WalkStep);
    edits.endResetTree();
    emit walkBegan();
}

// A folder that was not refused when it was offered, since no walk ran then, waits for the
// walk under way now rather than being refused.
void FolderWalk::addOrWait(const QString &path)
{
    if (!isWalking())
        addFolder(path);
    else
        pendingFolders.push_back(path);
}

// Paths one after another for a few milliseconds a step. Directories are listed on a worker
// thread ahead of the walk, since a large one takes longer to list than a frame lasts; the
// walk waits when it reaches one whose listing has not come yet. The tree fills without row
// notifications; the view learns of it from the reset when the walk ends.
void FolderWalk::walkStep()
{
    RootEntry *root = tree.rootEntry(walkRootId);
    if (!isWalking() || !root)
        return;
    if (tree.growIdTablesAhead()) {
        steps.post(WalkStep);
        return;
    }
    build->scheduleBuild(); // what the walk found is built and probed while it waits for listings
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < kStepBudgetNs) {
        if (listing.next < listing.entries.size()) {
            pushListedEntries(clock);
            continue;
        }
        if (walkStack.empty()) {
            finishWalk();
            return;
        }
        if (needsListing(walkStack.back())) {
            const QFuture<DirectoryListing> next
                    = listingOf(walkStack.back(), int(walkStack.size()) - 1);
            listAhead();
            if (!next.isFinished()) {
                awaitingListing = true;
                listingWatcher->setFuture(next);
                return;
            }
        }
        const WalkEntry entry = walkStack.back();
        walkStack.pop_back();
        walkEntry(entry, root->childLists);
    }
    steps.post(WalkStep);
}

// Only an empty listing is looked at twice: a folder that cannot be read lists as empty.
void FolderWalk::reportIfUnreadable(const QString &directory, bool listedNothing)
{
    if (listedNothing && QFileInfo::exists(directory) && !QDir(directory).isReadable())
        steps.reportOnce(QStringLiteral("unreadable"),
                         tr("Some folders cannot be read and show without their contents, such as "
                            "%1.")
                                 .arg(QDir::toNativeSeparators(directory)));
}

// A directory met again through a link, such as one that leads back up the tree, shows as a
// folder without rows: following it would walk the same files again, or forever.
bool FolderWalk::needsListing(const WalkEntry &entry) const
{
    return entry.isDir && depthBelow(currentRootPath, entry.path) < kMaxWalkDepth
           && !walkedDirectories.contains(entry.canonicalPath);
}

// A folder is built and its listing goes onto the stack; every path joins its parent's rows.
// A path whose folder was removed meanwhile is forgotten instead, and not listed.
void FolderWalk::walkEntry(const WalkEntry &entry, ChildLists &childLists)
{
    if (entry.parentId != 0 && !tree.isInTree(entry.parentId)) {
        build->queue(entry.id, Remove);
        return;
    }
    if (entry.isDir) {
        childLists.insert(entry.id, ChildListPtr::create());
        build->queueAdd(entry.id);
        if (needsListing(entry)) {
            walkedDirectories.insert(entry.canonicalPath);
            const DirectoryListing listed = listings.take(entry.path).result();
            listing = {entry.id, listed.entries, 0};
            reportIfUnreadable(entry.path, listing.entries.isEmpty() && listed.unknownFiles == 0);
            if (listed.unknownFiles > 0)
                emit filesLeftOut(listed.unknownFiles);
        } else if (walkedDirectories.contains(entry.canonicalPath)) {
            listings.remove(entry.path); // asked for ahead before the first visit was known
            follower->unwatch(entry.id);
        } else {
            depthExceeded = true;
        }
    } else if (entry.parentId == 0) {
        follower->followFolder(entry.id, entry.path); // picked up once it is there
    }
    const ChildListPtr siblings = childLists.value(entry.parentId);
    if (siblings) {
        tree.attach(entry.id, entry.parentId, siblings->size());
        siblings->append(entry.id);
    }
}

// Entries are pushed in name order and taken from the back, so a folder's rows end up in
// descending name order. A folder is built when the walk reaches it, a file at once.
void FolderWalk::pushListedEntries(const QElapsedTimer &clock)
{
    while (listing.next < listing.entries.size() && clock.nsecsElapsed() < kStepBudgetNs) {
        const ListedEntry &entry = listing.entries.at(listing.next++);
        const int id = tree.fileIndex(ItemTree::itemKey(entry.path, walkOrdinal));
        walkStack.push_back({entry.path, id, listing.dirId, entry.isDir, entry.canonicalPath});
        if (!entry.isDir)
            build->queueAdd(id);
        ItemNode &node = tree.nodeOf(id); // its changes on disk are told by these
        node.size = entry.size;
        node.modified = entry.modified;
    }
    if (listing.next == listing.entries.size())
        listing = {};
}

// The directory is watched before it is listed, so that no change falls between the two.
// An entry higher on the stack is walked sooner, so its listing goes ahead of those asked for
// earlier lower down: the pool takes the highest priority first.
QFuture<DirectoryListing> FolderWalk::listingOf(const WalkEntry &entry, int stackIndex)
{
    auto known = listings.constFind(entry.path);
    if (known == listings.constEnd()) {
        follower->followFolder(entry.id, entry.path);
        QFutureInterface<DirectoryListing> promise;
        promise.reportStarted();
        listingPool->start(
                [promise, path = entry.path]() mutable {
                    promise.reportResult(listAcceptedEntries(path));
                    promise.reportFinished();
                },
                stackIndex);
        known = listings.insert(entry.path, promise.future());
    }
    return *known;
}

// The directories that the walk takes next are listed while it handles what comes before.
void FolderWalk::listAhead()
{
    if (listings.size() >= kListingsAhead)
        return; // the listings asked for are still to be taken
    int asked = 0;
    const int top = int(walkStack.size()) - 1;
    const int lowest = qMax(0, top - kListingsAhead * 8 + 1);
    for (int index = top; index >= lowest && asked < kListingsAhead; --index) {
        const WalkEntry &next = walkStack.at(std::size_t(index));
        if (needsListing(next)) {
            listingOf(next, index);
            ++asked;
        }
    }
}

void FolderWalk::stop()
{
    walking = false;
    walkStack.clear();
    walkedDirectories.clear();
    listing = {};
    listings.clear();
    awaitingListing = false;
    depthExceeded = false;
    steps.post(LoadEndCheck);
    if (!pendingFolders.empty())
        QTimer::singleShot(0, this, &FolderWalk::addNextPendingFolder);
}

// The load ends once everything found is built and probed; the check waits for that.
void FolderWalk::finishWalk()
{
    walking = false;
    walkedDirectories.clear(); // a large tree's would stay for as long as its rows
    if (!QFileInfo::exists(currentRootPath))
        steps.reportOnce(QStringLiteral("root gone"),
                         tr("The folder %1 was removed from the disk while it was being scanned.")
                                 .arg(QDir::toNativeSeparators(currentRootPath)));
    edits.beginResetTree();
    edits.endResetTree();
    if (depthExceeded) {
        depthExceeded = false;
        emit depthLimitMet();
    }
    if (!pendingFolders.empty())
        QTimer::singleShot(0, this, &FolderWalk::addNextPendingFolder);
    steps.post(LoadEndCheck);
    build->scheduleBuild();
}
