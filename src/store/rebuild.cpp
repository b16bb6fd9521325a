#include "model/diskfollower.h"
#include "model/fileurl.h"
#include "model/itemfields.h"
#include "model/mediatypes.h"
#include "model/modelhooks.h"
#include "probe/itemprobes.h"
#include "probe/picturedirectory.h"
#include "probe/stillinfo.h"
#include "store/storerestore.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QElapsedTimer>

namespace {

constexpr int kRowsPerInsert = 256; // rows announced together; a few per step

} // namespace

// Stored roots come back one after another, each folder's rows in blocks, so that the
// first rows show at once and no step holds the GUI thread for long. A chain of a restore
// that was superseded ends.
void StoreRestore::rebuildStep()
{
    if (readingStore)
        return;
    if (restoreAsked) {
        startRestore();
        return;
    }
    if (tree.growIdTablesAhead()) {
        steps.post(RebuildFromStore);
        return;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < kStepBudgetNs) {
        if (!storedRoot && !startNextStoredRoot()) {
            runDeferredOperations();
            return;
        }
        restoreRows();
    }
    steps.post(RebuildFromStore);
}

bool StoreRestore::startNextStoredRoot()
{
    if (restoreGroups.isEmpty())
        return false;
    storedRoot = std::make_unique<StoredRoot>();
    StoredRoot &root = *storedRoot;
    root.group = restoreGroups.takeFirst();
    // A root keeps its stored ordinal, so that its records never join those of a root added
    // later; new roots take higher ones.
    root.ordinal = root.group.rootOrdinal;
    tree.keepRootOrdinal(root.ordinal);
    const RestoreEntry &entry = root.group.entries.at(root.group.root);
    root.rootId = ItemTree::newId();
    tree.registerItem(root.rootId, ItemTree::itemKey(entry.path, root.ordinal), entry.uuid);

    RootEntry restored{root.rootId, {}};
    if (entry.isFolder)
        restored.childLists.insert(root.rootId, ChildListPtr::create());
    edits.beginAppendRows(0, 1);
    tree.appendRoot(restored);
    edits.endAppendRows();
    if (entry.isFolder)
        follower->followRestoredFolder(root.rootId, entry.path);
    root.folders.push_back({root.group.root, root.rootId});
    return true;
}

// The next block of rows of the folder at the front; once all are back, the records that
// found no place go.
void StoreRestore::restoreRows()
{
    StoredRoot &root = *storedRoot;
    RootEntry *entry = tree.rootEntry(root.rootId);
    if (!entry || root.folders.empty()) {
        forgetUnplacedEntries();
        return;
    }
    const auto [folder, folderId] = root.folders.front();
    const QVector<int> &children = root.group.children.at(folder);
    const ChildListPtr list = entry->childLists.value(folderId);
    const int count = list ? qMin(kRowsPerInsert, children.size() - root.nextChild) : 0;
    if (count > 0) {
        edits.beginAppendRows(folderId, count);
        for (int i = root.nextChild; i < root.nextChild + count; ++i) {
            const int id = restoreItem(children.at(i), entry->childLists);
            tree.attach(id, folderId, list->size());
            list->append(id);
            const QString path = tree.pathOf(id);
            if (entry->childLists.contains(id) && follower->isFollowable(id, path))
                follower->followRestoredFolder(id, path);
        }
        edits.endAppendRows();
        root.nextChild += count;
    }
    if (!list || root.nextChild >= children.size()) {
        root.folders.pop_front();
        root.nextChild = 0;
    }
}

// Records that no folder of their group holds, such as those left by a removal that a
// crash cut short, can never be shown: they leave the store, with the pictures they name.
void StoreRestore::forgetUnplacedEntries()
{
    QVector<RestoreEntry> &unplaced = storedRoot->group.unplaced;
    const int count = qMin(kRowsPerInsert, unplaced.size());
    for (int i = 0; i < count; ++i) {
        store->delMediaInfo(unplaced.at(i).uuid);
        removeMadePicture(withoutFileUrlPrefix(unplaced.at(i).img));
    }
    unplaced.remove(0, count);
    if (unplaced.isEmpty())
        storedRoot.reset();
}

// Besides its path and uuid an item takes from its record only what its type needs. Videos
// keep their thumbnails and are probed again, pictures read again, presentations come back
// complete; a video or presentation whose picture was never stored has it made now.
int StoreRestore::restoreItem(int position, ChildLists &childLists)
{
    StoredRoot &root = *storedRoot;
    const RestoreEntry &entry = root.group.entries.at(position);
    const int id = ItemTree::newId();
    tree.registerItem(id, ItemTree::itemKey(entry.path, root.ordinal), entry.uuid);
    if (entry.isFolder) {
        childLists.insert(id, ChildListPtr::create());
        root.folders.push_back({position, id});
        return id;
    }
    const QString img = withoutFileUrlPrefix(entry.img);
    ItemRecord &record = tree.record(id);
    if (isVideo(entry.path)) {
        record.setType(ItemType::video);
        record.setIsTranscoded(entry.isTranscoded);
        record.setImg(img);
        if (img.isEmpty())
            probes->requestJobs(id, {}, {VideoThumbnail, VideoProbe});
        else
            probes->requestJobs(id, {}, {VideoProbe});
    } else if (isOffice(entry.path)) {
        record.setType(ItemType::office);
        if (img.isEmpty()) {
            probes->requestJobs(id, {}, {OfficeCapture});
            return id;
        }
        record.setInfo(ItemInfo::fromMap(presentationInfo(img)));
        record.setAsyncCompleted(true);
        probes->requestJobs(id, {}, {});
    } else if (isAudio(entry.path)) {
        record.setType(ItemType::audio);
        probes->requestJobs(id, {}, {AudioProbe});
    } else {
        record.setType(ItemType::picture);
        record.setImg(img);
        probes->requestJobs(id, {}, {PictureLoad});
    }
    return id;
}
