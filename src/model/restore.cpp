#include "model/foldermodel.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QDateTime>
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
// come back from their records grouped by the root they were found under. A load under way
// is finished first, so that everything it found is stored and comes back with the rest; a
// restore under way starts again between two of its steps.
void FolderModel::restoreFromStore()
{
    restoreAsked = true;
    if (!isWalking() && buildQueue.empty() && !isRestoring())
        startRestore();
}

// The store is read and the groups are made off the GUI thread.
void FolderModel::startRestore()
{
    restoreAsked = false;
    beginResetModel();
    roots.clear();
    nodes.clear();
    records.clear();
    unsavedPictures.clear();
    idToKey.clear();
    keyToId.clear();
    idToUuid.clear();
    restoreGroups.clear();
    storedRoot.reset();
    rootOrdinal = -1;
    forgetFollowedFolders();
    restoredSinceMs = QDateTime::currentMSecsSinceEpoch();
    endResetModel();

    store->commit(); // the reader's connection sees what this one wrote
    readingStore = true;
    storedGroupsReader->waitForFinished();
    storedGroupsReader->setFuture(QtConcurrent::run(readStoredGroups));
}

// The stored roots come back row by row in later steps. With nothing stored and nothing
// asked for meanwhile the page has nothing to show.
void FolderModel::onStoredGroupsRead()
{
    readingStore = false;
    if (restoreAsked) {
        startRestore();
        return;
    }
    restoreGroups = storedGroupsReader->result();
    if (restoreGroups.isEmpty() && afterRestore.empty() && pendingFolders.empty())
        emit folderTabNeedClose();
    if (store->isReadOnly())
        reportOnce(QStringLiteral("read-only store"),
                   tr("The media library of this project cannot be written: the folders are "
                      "shown, but changes on this page will not be kept."));
    post(RebuildFromStore);
}

bool FolderModel::isRestoring() const
{
    return readingStore || !restoreGroups.isEmpty() || storedRoot;
}

// Adding, removing, refreshing and clearing wait while the stored tree is put back, and then
// apply to all of it, in the order they came.
bool FolderModel::deferUntilRestored(std::function<void()> operation)
{
    if (!isRestoring())
        return false;
    afterRestore.push_back(std::move(operation));
    return true;
}

// Folders that waited for a walk before the restore began go on too.
void FolderModel::runDeferredOperations()
{
    while (!afterRestore.empty() && !isRestoring()) {
        const std::function<void()> operation = std::move(afterRestore.front());
        afterRestore.pop_front();
        operation();
    }
    addNextPendingFolder();
}
