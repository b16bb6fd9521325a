#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/folderwatch.h"
#include "model/mediatypes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent>

namespace {

constexpr int kListingsAhead = 16; // directories listed before the walk reaches them

} // namespace

void FolderModel::addFolders(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    if (deferUntilRestored([this, paths] {
            for (const QString &path : paths)
                addOrWait(path);
        }))
        return;
    addFolder(paths.first());
    pendingFolders.insert(pendingFolders.end(), paths.begin() + 1, paths.end());
}

// A walk or restore under way, or a refresh whose folders come back first, arms this again
// when it ends.
void FolderModel::addNextPendingFolder()
{
    if (pendingFolders.empty() || isWalking() || isRestoring() || !pendingReAdd.isEmpty())
        return;
    const QString path = pendingFolders.front();
    pendingFolders.pop_front();
    startWalk(path);
}

// A folder offered while others wait for their turn waits behind them.
void FolderModel::addFolder(const QString &path)
{
    if (deferUntilRestored([this, path] { addOrWait(path); }))
        return;
    if (isWalking()) {
        emit errorOccured(AddWhileWalking);
        return;
    }
    if (!pendingReAdd.isEmpty() || !pendingFolders.empty()) {
        pendingFolders.push_back(path);
        QTimer::singleShot(0, this, &FolderModel::addNextPendingFolder);
        return;
    }
    startWalk(path);
}

void FolderModel::startWalk(const QString &path)
{
    const QString root = cleanFolderPath(path);
    walkOrdinal = nextRootOrdinal();
    beginResetModel();
    const int rootId = fileIndex(itemKey(root, walkOrdinal));
    roots.append({rootId, {{rootId, ChildListPtr::create()}}});
    attach(rootId, 0, roots.size() - 1);
    walkRootId = rootId;
    walking = true;
    walkedDirectories.clear();
    problemsReported.clear();
    const QFileInfo rootInfo(root);
    walkStack.push_back({root, rootId, 0, rootInfo.isDir(), canonicalDirectory(rootInfo)});
    currentRootPath = root;
    post(WalkStep);
    endResetModel();
    ++loadsUnderway;
    emit loadFolderBegan();
}

// A folder that was not refused when it was offered, since no walk ran then, waits for the
// walk under way now rather than being refused.
void FolderModel::addOrWait(const QString &path)
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
void FolderModel::walkStep()
{
    RootEntry *root = rootEntry(walkRootId);
    if (!isWalking() || !root)
        return;
    if (growIdTablesAhead()) {
        post(WalkStep);
        return;
    }
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
            const QFuture<QVector<ListedEntry>> next = listingOf(walkStack.back());
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
    post(WalkStep);
}

// From the add until the walk has ended or stopped: a step may end with the stack empty but
// a folder's listing still to push, or with everything done but the end not yet announced.
bool FolderModel::isWalking() const
{
    return walking;
}

// Only an empty listing is looked at twice: a folder that cannot be read lists as empty.
void FolderModel::reportIfUnreadable(const QString &directory, bool listedNothing)
{
    if (listedNothing && QFileInfo::exists(directory) && !QDir(directory).isReadable())
        reportOnce(QStringLiteral("unreadable"),
                   tr("Some folders cannot be read and show without their contents, such as "
                      "%1.")
                           .arg(QDir::toNativeSeparators(directory)));
}

// A directory met again through a link, such as one that leads back up the tree, shows as a
// folder without rows: following it would walk the same files again, or forever.
bool FolderModel::needsListing(const WalkEntry &entry) const
{
    return entry.isDir && depthBelow(currentRootPath, entry.path) < kMaxWalkDepth
           && !walkedDirectories.contains(entry.canonicalPath);
}

// A folder is built and its listing goes onto the stack; every path joins its parent's rows.
// A path whose folder was removed meanwhile is forgotten instead, and not listed.
void FolderModel::walkEntry(const WalkEntry &entry, ChildLists &childLists)
{
    if (entry.parentId != 0 && !isInTree(entry.parentId)) {
        buildQueue.push_back({entry.id, Remove});
        return;
    }
    if (entry.isDir) {
        childLists.insert(entry.id, ChildListPtr::create());
        queueAdd(entry.id);
        if (needsListing(entry)) {
            walkedDirectories.insert(entry.canonicalPath);
            listing = {entry.id, listings.take(entry.path).result(), 0};
            reportIfUnreadable(entry.path, listing.entries.isEmpty());
        } else if (walkedDirectories.contains(entry.canonicalPath)) {
            listings.remove(entry.path); // asked for ahead before the first visit was known
            folderWatch->unwatch(entry.id);
        } else {
            depthExceeded = true;
        }
    } else if (entry.parentId == 0) {
        followFolder(entry.id, entry.path); // picked up once it is there
    }
    const ChildListPtr siblings = childLists.value(entry.parentId);
    if (siblings) {
        attach(entry.id, entry.parentId, siblings->size());
        siblings->append(entry.id);
    }
}

// Entries are pushed in name order and taken from the back, so a folder's rows end up in
// descending name order. A folder is built when the walk reaches it, a file at once.
void FolderModel::pushListedEntries(const QElapsedTimer &clock)
{
    while (listing.next < listing.entries.size() && clock.nsecsElapsed() < kStepBudgetNs) {
        const ListedEntry &entry = listing.entries.at(listing.next++);
        const int id = fileIndex(itemKey(entry.path, walkOrdinal));
        walkStack.push_back({entry.path, id, listing.dirId, entry.isDir, entry.canonicalPath});
        if (!entry.isDir)
            queueAdd(id);
        ItemNode &node = nodes[id]; // its changes on disk are told by these
        node.size = entry.size;
        node.modified = entry.modified;
    }
    if (listing.next == listing.entries.size())
        listing = {};
}

// The directory is watched before it is listed, so that no change falls between the two.
QFuture<QVector<ListedEntry>> FolderModel::listingOf(const WalkEntry &entry)
{
    auto known = listings.constFind(entry.path);
    if (known == listings.constEnd()) {
        followFolder(entry.id, entry.path);
        known = listings.insert(entry.path,
                                QtConcurrent::run(listingPool, listAcceptedEntries, entry.path));
    }
    return *known;
}

// The directories that the walk takes next are listed while it handles what comes before.
void FolderModel::listAhead()
{
    if (listings.size() >= kListingsAhead)
        return; // the listings asked for are still to be taken
    int asked = 0;
    int looked = 0;
    for (auto next = walkStack.crbegin();
         next != walkStack.crend() && asked < kListingsAhead && looked < kListingsAhead * 8;
         ++next, ++looked) {
        if (needsListing(*next)) {
            listingOf(*next);
            ++asked;
        }
    }
}

// The walk's root went away: its load ends with what was built, and the folders waiting
// for it go on.
void FolderModel::stopWalk()
{
    walking = false;
    walkStack.clear();
    listing = {};
    listings.clear();
    awaitingListing = false;
    depthExceeded = false;
    post(LoadEndCheck);
    if (!pendingFolders.empty())
        QTimer::singleShot(0, this, &FolderModel::addNextPendingFolder);
}

// The load ends once everything found is built and probed; the check waits for that.
void FolderModel::finishWalk()
{
    walking = false;
    if (!QFileInfo::exists(currentRootPath))
        reportOnce(QStringLiteral("root gone"),
                   tr("The folder %1 was removed from the disk while it was being scanned.")
                           .arg(QDir::toNativeSeparators(currentRootPath)));
    beginResetModel();
    endResetModel();
    if (depthExceeded) {
        depthExceeded = false;
        emit errorOccured(DepthLimitMet);
    }
    if (!pendingFolders.empty())
        QTimer::singleShot(0, this, &FolderModel::addNextPendingFolder);
    post(LoadEndCheck);
    scheduleBuild();
}
