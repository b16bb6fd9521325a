// How the tree follows the disk: the directories of shown folders are watched, and a folder
// whose directory changed is listed again once it has been quiet and compared with its rows.
// New entries become rows where a walk would have put them, vanished ones are removed like a
// deleted row, and files whose size or time changed are probed again; everything else keeps
// its id, uuid and record.

#include "model/filestamp.h"
#include "model/foldermodel.h"
#include "model/folderwatch.h"
#include "model/itemfields.h"
#include "probe/picturedirectory.h"
#include "store/ui_proc_mediainfo_desktop.h"
#include "transcode/transcodeparams.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QtConcurrent>

namespace {

using FileStamp = std::pair<qint64, qint64>; // size and modification time

FileStamp stampOf(const ListedEntry &entry)
{
    return {entry.size, entry.modified};
}

} // namespace

int FolderModel::rootOf(int id) const
{
    int rootId = id;
    for (ItemNode node = nodes.value(id); node.parentId != 0; node = nodes.value(node.parentId))
        rootId = node.parentId;
    return rootId;
}

// As the walk would list it: not too deep, and not through a link, which may lead back up.
// The picture directory is never followed: its thumbnails would be probed for thumbnails.
bool FolderModel::isFollowable(int folderId, const QString &path) const
{
    const int rootId = rootOf(folderId);
    return depthBelow(pathOf(rootId), path) < kMaxWalkDepth
           && (folderId == rootId || !QFileInfo(path).isSymLink())
           && path != QDir::cleanPath(pictureDirectory());
}

void FolderModel::followFolder(int folderId, const QString &path)
{
    if (path == QDir::cleanPath(pictureDirectory()))
        return;
    if (rootEntry(folderId))
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
void FolderModel::followRestoredFolder(int folderId, const QString &path)
{
    followFolder(folderId, path);
    if (fileModifiedMs(path) > restoredSinceMs)
        folderWatch->lookAgain(folderId);
}

void FolderModel::onFoldersChanged(const QVector<int> &folderIds)
{
    for (int folderId : folderIds)
        queueFolderCheck(folderId);
    startNextFolderCheck();
}

void FolderModel::queueFolderCheck(int folderId)
{
    if (folderChecksQueued.contains(folderId))
        return;
    folderChecksQueued.insert(folderId);
    folderChecksDue.push_back(folderId);
}

// One folder at a time; a folder that a walk or restore is still filling waits for it.
void FolderModel::startNextFolderCheck()
{
    while (!folderCheck && folderListedId == 0 && !folderChecksDue.empty()) {
        const int folderId = folderChecksDue.front();
        folderChecksDue.pop_front();
        folderChecksQueued.remove(folderId);
        if (!isInTree(folderId) || !childListOf(folderId)
            || !isFollowable(folderId, pathOf(folderId)))
            continue;
        if (isRestoring() || (isWalking() && rootOf(folderId) == walkRootId)) {
            folderWatch->lookAgain(folderId);
            continue;
        }
        folderListedId = folderId;
        folderListingWatcher->setFuture(
                QtConcurrent::run(listingPool, listAcceptedEntries, pathOf(folderId)));
    }
}

// A root that is gone keeps its rows; a folder below it that is gone is removed by the
// comparison of its parent, which changed too.
void FolderModel::onFolderListed()
{
    const int folderId = std::exchange(folderListedId, 0);
    const QString path = pathOf(folderId);
    const int rootId = rootOf(folderId);
    if (!isInTree(folderId) || !childListOf(folderId)) {
        startNextFolderCheck();
    } else if (!QFileInfo(path).isDir() || !QFileInfo(pathOf(rootId)).isDir()) {
        startNextFolderCheck();
    } else if (isRestoring() || (isWalking() && rootId == walkRootId)) {
        folderWatch->lookAgain(folderId);
        startNextFolderCheck();
    } else {
        folderCheck = std::make_unique<FolderCheck>();
        FolderCheck &check = *folderCheck;
        check.folderId = folderId;
        splitItemKey(keyOf(folderId), &check.ordinal);
        check.listed = folderListingWatcher->result();
        check.next = check.listed.size() - 1;
        check.settling = settlingFiles.take(folderId);
        check.dismissed = dismissedRows.take(folderId);
        followFolder(folderId, path); // watched anew should its directory have been replaced
        folderCheckStep();
    }
    whenIdle();
}

// The listing's entries for a few milliseconds a step, then the rows that were not listed.
void FolderModel::folderCheckStep()
{
    if (!folderCheck)
        return;
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < kStepBudgetNs) {
        if (!isInTree(folderCheck->folderId)) {
            folderCheck.reset(); // removed meanwhile, with its rows
            startNextFolderCheck();
            return;
        }
        if (!compareListedEntry() && !removeVanishedRow()) {
            finishFolderCheck();
            whenIdle();
            return;
        }
    }
    QMetaObject::invokeMethod(this, &FolderModel::folderCheckStep, Qt::QueuedConnection);
    whenIdle();
}

// False once every listed entry was compared.
bool FolderModel::compareListedEntry()
{
    FolderCheck &check = *folderCheck;
    if (check.next < 0)
        return false;
    const int listedAt = check.next--;
    const ListedEntry &entry = check.listed.at(listedAt);
    const QString key = itemKey(entry.path, check.ordinal);
    if (check.dismissed.contains(key)) {
        check.dismissedSeen.insert(key);
        return true;
    }
    const int id = idOfKey(key);
    if (id == -1) {
        if (!isTranscodeOutputUnderWay(entry.path) && (entry.isDir || isSettled(entry, key)))
            insertFound(entry, listedAt, key);
        return true;
    }
    // Its item is still being removed, or a file took the place of a folder or the other
    // way round: the new one comes once the old one is gone.
    const bool isFolder = childListOf(id) != nullptr;
    if (!isInTree(id) || isFolder != entry.isDir) {
        check.lookAgain = true;
        return true;
    }
    check.listedAt.insert(id, listedAt);
    ItemNode &node = nodes[id];
    if (isFolder || stampOf(entry) == FileStamp(node.size, node.modified))
        return true;
    if (node.size < 0 && node.modified < 0) { // restored: its probe ran at the start
        std::tie(node.size, node.modified) = stampOf(entry);
        return true;
    }
    if (!isSettled(entry, key))
        return true;
    if (runner->hasJobsFor(id)) { // its jobs would write over what the new probe learns
        check.settlingNow.insert(key, stampOf(entry));
        check.lookAgain = true;
        return true;
    }
    std::tie(node.size, node.modified) = stampOf(entry);
    probeAgain(id);
    return true;
}

// A file that is still being written is taken once it has kept its size and time between
// two looks, so that a copy under way is probed once, when it is complete.
bool FolderModel::isSettled(const ListedEntry &entry, const QString &key)
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
bool FolderModel::removeVanishedRow()
{
    FolderCheck &check = *folderCheck;
    if (check.nextRow < 0) {
        check.rows = *childListOf(check.folderId);
        check.nextRow = 0;
    }
    if (check.nextRow >= check.rows.size())
        return false;
    const int id = check.rows.at(check.nextRow++);
    const ItemNode node = nodes.value(id);
    if (check.listedAt.contains(id) || node.parentId != check.folderId || !isInTree(id))
        return true;
    if (QFileInfo::exists(pathOf(id)))
        check.lookAgain = true;
    else
        removeRow(id, node);
    return true;
}

void FolderModel::finishFolderCheck()
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
void FolderModel::insertFound(const ListedEntry &entry, int listedAt, const QString &key)
{
    FolderCheck &check = *folderCheck;
    const ChildListPtr siblings = childListOf(check.folderId);
    RootEntry *root = rootEntry(rootOf(check.folderId));
    if (!siblings || !root)
        return;
    const int id = fileIndex(key);
    if (entry.isDir)
        root->childLists.insert(id, ChildListPtr::create());
    insertChild(check.folderId, rowFor(*siblings, listedAt), id);
    std::tie(nodes[id].size, nodes[id].modified) = stampOf(entry);
    check.listedAt.insert(id, listedAt);
    queueAdd(id);
    scheduleBuild();
    if (entry.isDir && isFollowable(id, entry.path)) {
        followFolder(id, entry.path);
        queueFolderCheck(id);
    }
}

// Rows go in descending name order, as the walk leaves them: a new entry goes above the
// first row that comes before it in the listing. Entries are compared from the last, so the
// rows that come after it are known by then.
int FolderModel::rowFor(const ChildList &siblings, int listedAt) const
{
    int row = 0;
    for (; row < siblings.size(); ++row) {
        const auto known = folderCheck->listedAt.constFind(siblings.at(row));
        if (known == folderCheck->listedAt.constEnd() || *known < listedAt)
            break;
    }
    return row;
}

// What was learnt of the file goes, with the pictures made from it; the store forgets the
// picture at once, so that a start before the new one is made makes it again.
void FolderModel::probeAgain(int id)
{
    QVariantMap &record = records[id];
    removeMadePicture(record.value(ItemField::img).toString());
    removeMadePicture(record.value(ItemField::info).toMap().value(InfoField::pptPath).toString());
    record.remove(ItemField::img);
    record.remove(ItemField::info);
    record.insert(ItemField::asyncCompleted, false);
    record.insert(ItemField::isValid, true);
    const QModelIndex shown = record.value(ItemField::modelIdx).toModelIndex();
    unsavedPictures.remove(id);
    Module_Mediainfo forgotten;
    forgotten.uuid = uuidOf(id);
    store->updateMediaInfoFields(forgotten, {QStringLiteral("img")});
    nodes[id].jobsAsked = false;
    typeAndProbe(id);
    notify(shown);
}

// The transcode adds its output to the tree itself when it completes.
bool FolderModel::isTranscodeOutputUnderWay(const QString &path) const
{
    const Job running = runner->runningTranscode();
    return running && running->params.value(TranscodeParam::outputPath).toString() == path;
}

// Every folder of the root may have changed while it was away, and is compared anew, and
// watched again as it is; parents first, since they came first.
void FolderModel::onRootReturned(int rootId)
{
    const RootEntry *root = rootEntry(rootId);
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
void FolderModel::notifyTreeOf(int rootId)
{
    notify(indexOfId(rootId));
    const RootEntry *root = rootEntry(rootId);
    if (!root)
        return;
    for (auto list = root->childLists.cbegin(); list != root->childLists.cend(); ++list) {
        if (!(*list)->isEmpty() && isInTree(list.key()))
            notify(index(0, 0, indexOfId(list.key())));
    }
}

bool FolderModel::isFollowingDisk() const
{
    return folderWatch->hasChangesWaiting() || !folderChecksDue.empty() || folderListedId != 0
           || folderCheck;
}

void FolderModel::forgetFollowedFolders()
{
    folderWatch->unwatchAll();
    folderChecksDue.clear();
    folderChecksQueued.clear();
    folderCheck.reset();
    settlingFiles.clear();
    dismissedRows.clear();
}
