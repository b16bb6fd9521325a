#include "model/foldermodel.h"
#include "model/folderwatch.h"
#include "model/itemfields.h"
#include "probe/picturedirectory.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QFileInfo>

// Whether the item is shown: it and every folder above it up to a root still have rows.
bool FolderModel::isInTree(int id) const
{
    for (ItemNode node = nodes.value(id); node.row >= 0; node = nodes.value(node.parentId)) {
        if (node.parentId == 0)
            return true;
    }
    return false;
}

// A row deleted on the page stays away while its file is there, whatever changes beside it.
void FolderModel::removeItem(int id)
{
    if (deferUntilRestored([this, id] { removeItem(id); }))
        return;
    const int parentId = nodes.value(id).parentId;
    if (parentId != 0 && isInTree(id) && QFileInfo::exists(pathOf(id)))
        dismissedRows[parentId].insert(keyOf(id));
    removeFromTree(id);
}

void FolderModel::removeFromTree(int id)
{
    if (!isInTree(id))
        return;
    const ItemNode node = nodes.value(id);
    if (node.parentId != 0)
        removeRow(id, node);
    else
        removeRoot(id, node.row);
}

void FolderModel::removeRow(int id, const ItemNode &node)
{
    const ChildListPtr siblings = childListOf(node.parentId);
    beginRemoveRows(indexOfId(node.parentId), node.row, node.row);
    siblings->remove(node.row);
    nodes[id].row = -1;
    renumberRows(*siblings, node.row);
    endRemoveRows();
    buildQueue.push_back({id, Remove});
    scheduleBuild();
}

// Every id of the root, folders and files alike, is forgotten like a file: its child lists
// leave with the root entry. Its items are out of the tree with the root's own row. A walk
// under way in it stops, and what it listed but had not reached yet goes too.
void FolderModel::removeRoot(int id, int position)
{
    QVector<int> ids;
    const ChildLists &childLists = roots.at(position).childLists;
    for (auto list = childLists.cbegin(); list != childLists.cend(); ++list)
        ids << list.key() << **list;
    const bool isWalked = id == walkRootId && isWalking();
    if (isWalked) {
        for (const WalkEntry &entry : walkStack)
            ids << entry.id;
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());

    beginResetModel();
    roots.remove(position);
    nodes[id].row = -1;
    renumberRoots(position);
    for (int each : qAsConst(ids))
        buildQueue.push_back({each, Remove});
    if (isWalked)
        stopWalk();
    endResetModel();
    scheduleBuild();
}

// The second phase of a removal, one item per build entry.
void FolderModel::forgetItem(int id)
{
    const auto record = records.find(id);
    if (record != records.end()) {
        removeMadePicture(record->value(ItemField::img).toString());
        removeMadePicture(
                record->value(ItemField::info).toMap().value(InfoField::pptPath).toString());
        records.erase(record);
    }
    unsavedPictures.remove(id);
    store->delMediaInfo(uuidOf(id));
    if (childListOf(id))
        removeFolderContents(id);
    else
        forgetIndexOf(id);
}

void FolderModel::forgetIndexOf(int id)
{
    folderWatch->unwatch(id);
    settlingFiles.remove(id);
    dismissedRows.remove(id);
    nodes.remove(id);
    clearIndexOfId(id);
}

// A folder is taken apart level by level: its files first, then its sub-folders the same
// way, and last the folder itself, whose list is empty by then.
void FolderModel::removeFolderContents(int id)
{
    const ChildListPtr list = childListOf(id);
    if (list->isEmpty()) {
        forgetIndexOf(id);
        for (RootEntry &root : roots)
            root.childLists.remove(id);
        return;
    }
    QVector<int> subFolders;
    for (int child : qAsConst(*list)) {
        if (childListOf(child))
            subFolders << child;
        else
            buildQueue.push_back({child, Remove});
    }
    list->clear();
    for (auto folder = subFolders.crbegin(); folder != subFolders.crend(); ++folder)
        buildQueue.push_back({*folder, Remove});
    buildQueue.push_back({id, Remove});
    scheduleBuild();
}

QVector<int> FolderModel::rootIds() const
{
    QVector<int> ids;
    for (const RootEntry &root : roots)
        ids << root.rootId;
    return ids;
}

// Folders still waiting to be added, or to come back from a refresh, go as well.
void FolderModel::onClearAll()
{
    if (deferUntilRestored([this] { onClearAll(); }))
        return;
    pendingFolders.clear();
    pendingReAdd.clear();
    for (int id : rootIds())
        removeFromTree(id);
    emit folderTabNeedClose();
}

// The new roots take new ordinals, so their keys never meet those of the items still being
// removed, and their records never join the old ones.
void FolderModel::refreshTree()
{
    if (deferUntilRestored([this] { refreshTree(); }))
        return;
    const QVector<int> ids = rootIds();
    for (int id : ids)
        pendingReAdd << pathOf(id);
    pendingReAdd.append(QStringList(pendingFolders.cbegin(), pendingFolders.cend()));
    pendingFolders.clear();
    for (int id : ids)
        removeFromTree(id);
    buildQueue.push_back({0, ReAdd});
    scheduleBuild();
}

// Runs when a refresh's removals are done, or the index has become empty: the folders of a
// refresh come back from disk, in their order and ahead of those offered since.
void FolderModel::prepareAddingFolders()
{
    const QStringList folders = std::exchange(pendingReAdd, {});
    pendingFolders.insert(pendingFolders.begin(), folders.cbegin(), folders.cend());
    if (!isWalking())
        addNextPendingFolder();
}

void FolderModel::onLoadFolder(const QVariantMap &) { }
