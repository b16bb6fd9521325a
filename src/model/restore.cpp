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

// The host's store is ready: the tree is replaced by the folders of the earlier run, which
// come back from their records grouped by the root they were found under. The store is read
// and the groups are made off the GUI thread; folders added meanwhile stay, after them.
void FolderModel::restoreFromStore()
{
    // A walk under way has no root left to fill.
    beginResetModel();
    roots.clear();
    nodes.clear();
    stopWalk();
    idToKey.clear();
    keyToId.clear();
    idToUuid.clear();
    restoreGroups.clear();
    storedRoot.reset();
    storedRootsShown = 0;
    rootOrdinal = -1;
    endResetModel();

    store->commit(); // the reader's connection sees what this one wrote
    readingStore = true;
    storedGroupsReader->waitForFinished(); // an earlier announcement's reading is superseded
    storedGroupsReader->setFuture(QtConcurrent::run(readStoredGroups));
}

// The stored roots come back row by row in later steps. With nothing stored and nothing
// added meanwhile the page has nothing to show.
void FolderModel::onStoredGroupsRead()
{
    readingStore = false;
    restoreGroups = storedGroupsReader->result();
    if (restoreGroups.isEmpty() && roots.isEmpty())
        emit folderTabNeedClose();
    post(RebuildFromStore);
}
