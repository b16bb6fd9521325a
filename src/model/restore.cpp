#include "model/foldermodel.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QtConcurrent>

namespace {

// Runs on a worker thread, with a store connection of its own.
QVector<RestoreGroup> readStoredGroups()
{
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    return groupStoredRecords(store.loadMediaObjlist(restoredFields()));
}

} // namespace

// The host's store is ready: the folders of the earlier run come back from their records,
// grouped by the root they were found under. The store is read and the groups are sorted
// off the GUI thread.
void FolderModel::restoreFromStore()
{
    // The view must not hold indexes into roots that are gone while the rebuild waits, and a
    // walk under way has no root left to fill.
    beginResetModel();
    roots.clear();
    nodes.clear();
    stopWalk();
    endResetModel();

    store->commit(); // the reader's connection sees what this one wrote
    storedGroupsReader->waitForFinished(); // an earlier announcement's reading is superseded
    storedGroupsReader->setFuture(QtConcurrent::run(readStoredGroups));
}

// Replaces the tree by the stored roots: what was added meanwhile goes, and the stored roots
// come back row by row in later steps.
void FolderModel::onStoredGroupsRead()
{
    restoreGroups = storedGroupsReader->result();
    if (restoreGroups.isEmpty())
        emit folderTabNeedClose();
    for (int id : rootIds())
        removeItem(id);
    beginResetModel();
    idToKey.clear();
    keyToId.clear();
    idToUuid.clear();
    storedRoot.reset();
    rootOrdinal = -1;
    endResetModel();
    post(RebuildFromStore);
}
