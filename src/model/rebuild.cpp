#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "model/mediatypes.h"
#include "probe/stillinfo.h"

#include <QElapsedTimer>

namespace {

constexpr int kRowsPerInsert = 256; // rows announced together; a few per step

} // namespace

// Stored roots come back one after another, each folder's rows in blocks, so that the
// first rows show at once and no step holds the GUI thread for long.
void FolderModel::rebuildStep()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < kStepBudgetNs) {
        if (!storedRoot && !startNextStoredRoot())
            return;
        restoreRows();
    }
    post(RebuildFromStore);
}

bool FolderModel::startNextStoredRoot()
{
    if (restoreGroups.isEmpty())
        return false;
    storedRoot = std::make_unique<StoredRoot>();
    StoredRoot &root = *storedRoot;
    root.group = restoreGroups.takeFirst();
    root.ordinal = ++rootOrdinal;
    const RestoreEntry &entry = root.group.entries.at(root.group.root);
    root.rootId = newId();
    registerItem(root.rootId, itemKey(entry.path, root.ordinal), entry.uuid);

    RootEntry restored{root.rootId, {}};
    if (root.group.isFolder.at(root.group.root))
        restored.childLists.insert(root.rootId, ChildListPtr::create());
    const int row = qMin(storedRootsShown++, roots.size()); // before folders added meanwhile
    beginInsertRows({}, row, row);
    roots.insert(row, restored);
    attach(root.rootId, 0, row);
    renumberRoots(row);
    endInsertRows();
    root.folders.push_back({root.group.root, root.rootId});
    return true;
}

// The next block of rows of the folder at the front. A root or folder that was removed
// meanwhile gets nothing more.
void FolderModel::restoreRows()
{
    StoredRoot &root = *storedRoot;
    RootEntry *entry = rootEntry(root.rootId);
    if (!entry || root.folders.empty()) {
        storedRoot.reset();
        return;
    }
    const auto [folder, folderId] = root.folders.front();
    const QVector<int> &children = root.group.children.at(folder);
    const ChildListPtr list = entry->childLists.value(folderId);
    const bool isShown = list && isInTree(folderId);
    const int count = qMin(kRowsPerInsert, children.size() - root.nextChild);
    if (isShown && count > 0) {
        beginInsertRows(indexOfId(folderId), list->size(), list->size() + count - 1);
        for (int i = root.nextChild; i < root.nextChild + count; ++i) {
            const int id = restoreItem(children.at(i), entry->childLists);
            attach(id, folderId, list->size());
            list->append(id);
        }
        endInsertRows();
        root.nextChild += count;
    }
    if (!isShown || root.nextChild >= children.size()) {
        root.folders.pop_front();
        root.nextChild = 0;
    }
}

// Besides its path and uuid an item takes from its record only what its type needs. Videos
// keep their thumbnails and are probed again, pictures read again, presentations come back
// complete.
int FolderModel::restoreItem(int position, ChildLists &childLists)
{
    StoredRoot &root = *storedRoot;
    const RestoreEntry &entry = root.group.entries.at(position);
    const int id = newId();
    registerItem(id, itemKey(entry.path, root.ordinal), entry.uuid);
    if (root.group.isFolder.at(position)) {
        childLists.insert(id, ChildListPtr::create());
        root.folders.push_back({position, id});
        return id;
    }
    const QString img = withoutFileUrlPrefix(entry.img);
    QVariantMap &record = records[id];
    if (isVideo(entry.path)) {
        record.insert(ItemField::type, ItemType::video);
        record.insert(ItemField::isTranscoded, entry.isTranscoded);
        record.insert(ItemField::img, img);
        requestJobs(id, {}, {VideoProbe});
    } else if (isOffice(entry.path)) {
        record.insert(ItemField::type, ItemType::office);
        record.insert(ItemField::info, presentationInfo(img));
        record.insert(ItemField::asyncCompleted, true);
        requestJobs(id, {}, {});
    } else if (isAudio(entry.path)) {
        record.insert(ItemField::type, ItemType::audio);
        requestJobs(id, {}, {AudioProbe});
    } else {
        record.insert(ItemField::type, ItemType::picture);
        record.insert(ItemField::img, img);
        requestJobs(id, {}, {PictureLoad});
    }
    return id;
}
