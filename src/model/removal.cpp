#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "probe/picturedirectory.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QFile>
#include <QSet>

void FolderModel::removeItem(int id)
{
    // Only rows the view has shown carry an index; no empty record is left for others.
    const QModelIndex index = records.value(id).value(ItemField::modelIdx).toModelIndex();
    const QModelIndex parentIndex = parent(index);
    const int parentId = int(parentIndex.internalId());

    if (parentId != 0) {
        const ChildListPtr siblings = childListOf(parentId);
        const int row = siblings ? siblings->indexOf(id) : -1;
        if (row < 0)
            return;
        beginRemoveRows(parentIndex, row, row);
        siblings->remove(row);
        endRemoveRows();
        buildQueue.push_back({id, Remove});
        post(BuildStep);
        return;
    }

    const int rootPosition = rootRow(id);
    if (rootPosition < 0)
        return;
    // Every id of the root, folders and files alike, is forgotten like a file: its child
    // lists leave with the root entry.
    QSet<int> ids;
    for (auto list = roots.at(rootPosition).childLists.cbegin();
         list != roots.at(rootPosition).childLists.cend(); ++list) {
        ids.insert(list.key());
        for (int child : qAsConst(**list))
            ids.insert(child);
    }
    QList<int> ordered = ids.values();
    std::sort(ordered.begin(), ordered.end());
    roots.remove(rootPosition);
    for (int each : qAsConst(ordered))
        buildQueue.push_back({each, Remove});
    post(BuildStep);
    walkStack.clear(); // a walk under way stops at its next step
    beginResetModel();
    endResetModel();
}

// The second phase of a removal, one item per build step.
void FolderModel::forgetItem(int id)
{
    const auto record = records.find(id);
    if (record != records.end()) {
        const QString img = record->value(ItemField::img).toString();
        if (isMadeThumbnail(img))
            QFile::remove(img);
        records.erase(record);
    }
    store->delMediaInfo(uuidOf(id));
    if (childListOf(id))
        removeFolderContents(id);
    else
        clearIndexOfId(id);
    if (id == lastFileId)
        post(LoadEndCheck);
}

// A folder is taken apart level by level: its files first, then its sub-folders the same
// way, and last the folder itself, whose list is empty by then.
void FolderModel::removeFolderContents(int id)
{
    const ChildListPtr list = childListOf(id);
    if (list->isEmpty()) {
        clearIndexOfId(id);
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
    post(BuildStep);
}

QVector<int> FolderModel::rootIds() const
{
    QVector<int> ids;
    for (const RootEntry &root : roots)
        ids << root.rootId;
    return ids;
}

void FolderModel::onClearAll()
{
    for (int id : rootIds())
        removeItem(id);
    emit folderTabNeedClose();
}

void FolderModel::refreshTree()
{
    const QVector<int> ids = rootIds();
    for (int id : ids)
        pendingReAdd << pathOf(id);
    for (int id : ids)
        removeItem(id);
    rootOrdinal = -1;
    beginResetModel();
    endResetModel();
}

// Runs when the index has become empty: the folders of a refresh come back from disk.
void FolderModel::prepareAddingFolders()
{
    if (pendingReAdd.isEmpty())
        return;
    const QStringList folders = std::exchange(pendingReAdd, {});
    addFolders(folders);
}

void FolderModel::onLoadFolder(const QVariantMap &) { }
