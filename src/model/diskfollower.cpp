// How the tree follows the disk: new entries become rows where a walk would have put them,
// vanished ones are removed like a deleted row, and files whose size or time changed are
// probed again; everything else keeps its id, uuid and record.

#include "model/diskfollower.h"

#include "model/buildqueue.h"
#include "model/filestamp.h"
#include "model/folderwatch.h"
#include "model/modelhooks.h"
#include "probe/itemprobes.h"
#include "probe/picturedirectory.h"
#include "transcode/transcoderequests.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QtConcurrent>

namespace {

std::pair<qint64, qint64> stampOf(const ListedEntry &entry)
{
    return {entry.size, entry.modified};
}

} // namespace

DiskFollower::DiskFollower(ItemTree &tree, TreeEdits &edits, ModelSteps &steps, ItemProbes *probes,
                           BuildQueue *build, const TranscodeRequests *transcodes,
                           QThreadPool *listingPool, QObject *parent)
    : QObject(parent)
    , tree(tree)
    , edits(edits)
    , steps(steps)
    , probes(probes)
    , build(build)
    , transcodes(transcodes)
    , listingPool(listingPool)
    , folderWatch(new FolderWatch(this))
    , folderListingWatcher(new QFutureWatcher<DirectoryListing>(this))
{
    connect(folderWatch, &FolderWatch::foldersChanged, this, &DiskFollower::onFoldersChanged);
    connect(folderWatch, &FolderWatch::rootVanished, this, &DiskFollower::notifyTreeOf);
    connect(folderWatch, &FolderWatch::rootReturned, this, &DiskFollower::onRootReturned);
    connect(folderListingWatcher, &QFutureWatcher<DirectoryListing>::finished, this,
            &DiskFollower::onFolderListed);
}

// As the walk would list it: not too deep, and not through a link, which may lead back up.
// The picture directory is never followed: its thumbnails would be probed for thumbnails.
bool DiskFollower::isFollowable(int folderId, const QString &path) const
{
    const int rootId = tree.rootOf(folderId);
    return depthBelow(tree.pathOf(rootId), path) < kMaxWalkDepth
           && (folderId == rootId || !QFileInfo(path).isSymLink())
           && path != QDir::cleanPath(pictureDirectory());
}

void DiskFollower::followFolder(int folderId, const QString &path)
{
    if (path == QDir::cleanPath(pictureDirectory()))
        return;
    if (tree.rootEntry(folderId))
        folderWatch->lookAfterRoot(folderId, path);
    switch (folderWatch->watch(folderId, path)) {
    case FolderWatch::Watched:
    case FolderWatch::Missing:
        break;
    case FolderWatch::Refused:
        if (!std::exchange(watchLimitReported, true))
            emit problemReported(tr("The system allows no more folders to be watched, so some "
                                    "changes on disk show only after Refresh."));
        break;
    }
}

// A restore shows what the store holds before the folders are watched: one whose directory
// changed after the restore began is looked at again. One changed before is not, though its
// rows may be out of date: a compared folder loses the rows of files gone before, which the
// restore shows as missing.
void DiskFollower::followRestoredFolder(int folderId, const QString &path)
{
    followFolder(folderId, path);
    if (fileModifiedMs(path) > restoredSinceMs)
        folderWatch->lookAgain(folderId);
}

void DiskFollower::onFoldersChanged(const QVector<int> &folderIds)
{
    for (int folderId : folderIds)
        queueFolderCheck(folderId);
    startNextFolderCheck();
}

void DiskFollower::queueFolderCheck(int folderId)
{
    if (folderChecksQueued.contains(folderId))
        return;
    folderChecksQueued.insert(folderId);
    folderChecksDue.push_back(folderId);
}

// One folder at a time; a folder that a walk or restore is still filling waits for it.
void DiskFollower::startNextFolderCheck()
{
    while (!folderCheck && folderListedId == 0 && !folderChecksDue.empty()) {
        const int folderId = folderChecksDue.front();
        folderChecksDue.pop_front();
        folderChecksQueued.remove(folderId);
        if (!tree.isInTree(folderId) || !tree.childListOf(folderId)
            || !isFollowable(folderId, tree.pathOf(folderId)))
            continue;
        if (steps.isFilling(tree.rootOf(folderId))) {
            folderWatch->lookAgain(folderId);
            continue;
        }
        folderListedId = folderId;
        folderListedPath = tree.pathOf(folderId);
        folderListingWatcher->setFuture(
                QtConcurrent::run(listingPool, listAcceptedEntries, folderListedPath));
    }
}

// A root that is gone keeps its rows; a folder below it that is gone is removed by the
// comparison of its parent, which changed too. A folder that moved while it was listed is
// listed again where it is now.
void DiskFollower::onFolderListed()
{
    const int folderId = std::exchange(folderListedId, 0);
    const QString path = tree.pathOf(folderId);
    const int rootId = tree.rootOf(folderId);
    const bool isMoved = path != std::exchange(folderListedPath, {});
    if (!tree.isInTree(folderId) || !tree.childListOf(folderId)) {
        startNextFolderCheck();
    } else if (!QFileInfo(path).isDir() || !QFileInfo(tree.pathOf(rootId)).isDir()) {
        movedFolders.remove(folderId);
        startNextFolderCheck();
    } else if (isMoved || steps.isFilling(rootId)) {
        folderWatch->lookAgain(folderId);
        startNextFolderCheck();
    } else {
        folderCheck = std::make_unique<FolderCheck>();
        FolderCheck &check = *folderCheck;
        check.folderId = folderId;
        ItemTree::splitItemKey(tree.keyOf(folderId), &check.ordinal);
        check.listed = folderListingWatcher->result().entries;
        check.next = check.listed.size() - 1;
        check.settling = settlingFiles.take(folderId);
        check.dismissed = dismissedRows.take(folderId);
        check.isFirstAfterMove = movedFolders.remove(folderId);
        followFolder(folderId, path); // watched anew should its directory have been replaced
        folderCheckStep();
    }
    steps.whenIdle();
}

// The listing's entries for a few milliseconds a step, then the rows that were not listed.
void DiskFollower::folderCheckStep()
{
    if (!folderCheck)
        return;
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < kStepBudgetNs) {
        if (!tree.isInTree(folderCheck->folderId)) {
            folderCheck.reset(); // removed meanwhile, with its rows
            startNextFolderCheck();
            return;
        }
        if (!compareListedEntry() && !removeVanishedRow()) {
            finishFolderCheck();
            steps.whenIdle();
            return;
        }
    }
    QMetaObject::invokeMethod(this, &DiskFollower::folderCheckStep, Qt::QueuedConnection);
    steps.whenIdle();
}

// False once every listed entry was compared.
bool DiskFollower::compareListedEntry()
{
    FolderCheck &check = *folderCheck;
    if (check.next < 0)
        return false;
    const int listedAt = check.next--;
    const ListedEntry &entry = check.listed.at(listedAt);
    const QString key = ItemTree::itemKey(entry.path, check.ordinal);
    if (check.dismissed.contains(key)) {
        check.dismissedSeen.insert(key);
        return true;
    }
    const int id = tree.idOfKey(key);
    if (id == -1) {
        if (!transcodes->isOutputUnderWay(entry.path)
            && (entry.isDir || check.isFirstAfterMove || isSettled(entry, key)))
            insertFound(entry, listedAt, key);
        return true;
    }
    // Its item is still being removed, or a file took the place of a folder or the other
    // way round: the new one comes once the old one is gone.
    const bool isFolder = tree.childListOf(id) != nullptr;
    if (!tree.isInTree(id) || isFolder != entry.isDir) {
        check.lookAgain = true;
        return true;
    }
    check.listedAt.insert(id, listedAt);
    ItemNode &node = tree.nodeOf(id);
    if (isFolder || stampOf(entry) == FileStamp(node.size, node.modified))
        return true;
    if (check.isFirstAfterMove) { // a copy has new times, yet holds what was probed
        std::tie(node.size, node.modified) = stampOf(entry);
        probes->probeIfMissed(id);
        return true;
    }
    if (node.size < 0 && node.modified < 0) { // restored: its probe ran at the start
        std::tie(node.size, node.modified) = stampOf(entry);
        probes->probeIfMissed(id); // ran while its root was away, which has come back
        return true;
    }
    if (!isSettled(entry, key))
        return true;
    if (probes->runner()->hasJobsFor(id)) { // its jobs would write over what the new probe learns
        check.settlingNow.insert(key, stampOf(entry));
        check.lookAgain = true;
        return true;
    }
    std::tie(node.size, node.modified) = stampOf(entry);
    probes->probeAgain(id);
    return true;
}

// A file that is still being written is taken once it has kept its size and time between
// two looks, so that a copy under way is probed once, when it is complete.
bool DiskFollower::isSettled(const ListedEntry &entry, const QString &key)
{
    FolderCheck &check = *folderCheck;
    if (check.settling.value(key, {-1, -1}) == stampOf(entry))
        return true;
    check.settlingNow.insert(key, stampOf(entry));
    check.lookAgain = true;
    return false;
}

// False once every row was looked at. A row whose file is there after all was made after the
// listing, as the output of a transcode is.
bool DiskFollower::removeVanishedRow()
{
    FolderCheck &check = *folderCheck;
    if (check.nextRow < 0) {
        check.rows = *tree.childListOf(check.folderId);
        check.nextRow = 0;
    }
    if (check.nextRow >= check.rows.size())
        return false;
    const int id = check.rows.at(check.nextRow++);
    const ItemNode node = tree.node(id);
    if (check.listedAt.contains(id) || node.parentId != check.folderId || !tree.isInTree(id)
        || check.isFirstAfterMove)
        return true;
    if (QFileInfo::exists(tree.pathOf(id)))
        check.lookAgain = true;
    else
        edits.removeRow(id);
    return true;
}

void DiskFollower::finishFolderCheck()
{
    FolderCheck &check = *folderCheck;
    if (!check.settlingNow.isEmpty())
        settlingFiles.insert(check.folderId, check.settlingNow);
    if (!check.dismissedSeen.isEmpty())
        dismissedRows.insert(check.folderId, check.dismissedSeen);
    if (check.lookAgain)
        folderWatch->lookAgain(check.folderId);
    folderCheck.reset();
    startNextFolderCheck();
}

// A new folder is built and compared in turn, which lists it; a new file is built and probed.
void DiskFollower::insertFound(const ListedEntry &entry, int listedAt, const QString &key)
{
    FolderCheck &check = *folderCheck;
    const ChildListPtr siblings = tree.childListOf(check.folderId);
    RootEntry *root = tree.rootEntry(tree.rootOf(check.folderId));
    if (!siblings || !root)
        return;
    const int id = tree.fileIndex(key);
    if (entry.isDir)
        root->childLists.insert(id, ChildListPtr::create());
    edits.insertRow(check.folderId, rowFor(*siblings, listedAt), id);
    std::tie(tree.nodeOf(id).size, tree.nodeOf(id).modified) = stampOf(entry);
    check.listedAt.insert(id, listedAt);
    build->queueAdd(id);
    build->scheduleBuild();
    if (entry.isDir && isFollowable(id, entry.path)) {
        followFolder(id, entry.path);
        queueFolderCheck(id);
    }
}

// Rows go in descending name order, as the walk leaves them: a new entry goes above the
// first row that comes before it in the listing. Entries are compared from the last, so the
// rows that come after it are known by then.
int DiskFollower::rowFor(const ChildList &siblings, int listedAt) const
{
    int row = 0;
    for (; row < siblings.size(); ++row) {
        const auto known = folderCheck->listedAt.constFind(siblings.at(row));
        if (known == folderCheck->listedAt.constEnd() || *known < listedAt)
            break;
    }
    return row;
}

// Every folder of the root may have changed while it was away, and is compared anew, and
// watched again as it is; parents first, since they came first.
void DiskFollower::onRootReturned(int rootId)
{
    const RootEntry *root = tree.rootEntry(rootId);
    if (!root)
        return;
    QList<int> folders = root->childLists.keys();
    std::sort(folders.begin(), folders.end());
    for (int folderId : qAsConst(folders))
        queueFolderCheck(folderId);
    notifyTreeOf(rootId);
    startNextFolderCheck();
}

// A root that went away keeps its rows, which show as missing, until it comes back.
// Whether items exist is read from disk when they are shown; the view reads them again.
void DiskFollower::notifyTreeOf(int rootId)
{
    edits.notify(edits.indexOfId(rootId));
    const RootEntry *root = tree.rootEntry(rootId);
    if (!root)
        return;
    for (auto list = root->childLists.cbegin(); list != root->childLists.cend(); ++list) {
        if (!(*list)->isEmpty() && tree.isInTree(list.key()))
            edits.notify(edits.indexOfId((*list)->first()));
    }
}

void DiskFollower::forgetFoldersOf(int rootId)
{
    const RootEntry *root = tree.rootEntry(rootId);
    if (!root)
        return;
    for (auto list = root->childLists.cbegin(); list != root->childLists.cend(); ++list) {
        forget(list.key());
        movedFolders.remove(list.key());
    }
    if (folderCheck && root->childLists.contains(folderCheck->folderId)) {
        folderCheck.reset();
        startNextFolderCheck();
    }
}

// Parents first, since they came first.
void DiskFollower::followMovedRoot(int rootId, const QString &path)
{
    const RootEntry *root = tree.rootEntry(rootId);
    if (!root)
        return;
    followFolder(rootId, path);
    QList<int> folders = root->childLists.keys();
    std::sort(folders.begin(), folders.end());
    for (int folderId : qAsConst(folders)) {
        movedFolders.insert(folderId);
        queueFolderCheck(folderId);
    }
    startNextFolderCheck();
}

bool DiskFollower::isFollowingDisk() const
{
    return folderWatch->hasChangesWaiting() || !folderChecksDue.empty() || folderListedId != 0
           || folderCheck;
}

void DiskFollower::restartAt(qint64 sinceMs)
{
    folderWatch->unwatchAll();
    folderChecksDue.clear();
    folderChecksQueued.clear();
    folderCheck.reset();
    settlingFiles.clear();
    dismissedRows.clear();
    restoredSinceMs = sinceMs;
}

void DiskFollower::unwatch(int folderId)
{
    folderWatch->unwatch(folderId);
}

void DiskFollower::dismissRow(int parentId, const QString &key)
{
    dismissedRows[parentId].insert(key);
}

void DiskFollower::forget(int id)
{
    folderWatch->unwatch(id);
    settlingFiles.remove(id);
    dismissedRows.remove(id);
}
