#pragma once

#include "model/itemtree.h"
#include "store/restoregroups.h"

#include <QFutureWatcher>
#include <QObject>

#include <deque>
#include <functional>
#include <memory>

class BuildQueue;
class DiskFollower;
class FolderWalk;
class ItemProbes;
class ModelSteps;
class TreeEdits;
class Ui_Proc_MediaInfo_Desktop;

// Puts the tree of the earlier run back from the store when the host's store is ready: the
// records are read and grouped off the GUI thread, and the stored roots come back row by row
// in later steps. Adding, removing, refreshing and clearing wait meanwhile.
class StoreRestore : public QObject
{
    Q_OBJECT
public:
    StoreRestore(ItemTree &tree, TreeEdits &edits, ModelSteps &steps, ItemProbes *probes,
                 BuildQueue *build, DiskFollower *follower, FolderWalk *walk,
                 Ui_Proc_MediaInfo_Desktop *store, QObject *parent);

    void restoreFromStore();
    bool isRestoring() const;
    // The store was announced during a load, which the restore waits for; or operations wait
    // for the restore.
    bool hasWorkWaiting() const { return restoreAsked || !afterRestore.empty(); }
    // Starts a restore that waited, once the load it waited for is stored.
    void startIfDue();
    // Applies the operation once the stored tree is back; false when nothing is restored now.
    bool deferUntilRestored(std::function<void()> operation);
    void rebuildStep();
    // The reader must not outlive the model.
    void waitForReader();

signals:
    // Nothing was stored and nothing was asked for meanwhile.
    void nothingRestored();
    // The stored tree is back, before the operations that waited for it apply.
    void treeRestored();

private:
    struct StoredRoot
    {
        RestoreGroup group;
        int ordinal = 0;
        int rootId = 0;
        // Position and id of each folder whose rows are still to come, in the order they come.
        std::deque<std::pair<int, int>> folders;
        int nextChild = 0; // of the front folder
    };

    void startRestore();
    void onStoredGroupsRead();
    void runDeferredOperations();
    bool startNextStoredRoot();
    void restoreRows();
    int restoreItem(int position, ChildLists &childLists);
    bool restoreLearnt(int id, const RestoreEntry &entry, const QString &typeByName);
    bool restoreUnread(int id, const RestoreEntry &entry);
    void forgetUnplacedEntries();

    ItemTree &tree;
    TreeEdits &edits;
    ModelSteps &steps;
    ItemProbes *probes;
    BuildQueue *build;
    DiskFollower *follower;
    FolderWalk *walk;
    Ui_Proc_MediaInfo_Desktop *store;
    QFutureWatcher<QVector<RestoreGroup>> *storedGroupsReader; // the groups the reader made
    QFuture<void> reader; // reads the store off the GUI thread, and lets go of what it read
    bool readingStore = false; // until the groups it read are handed over
    bool restoreAsked = false; // the store was announced during a load, which it waits for
    QVector<RestoreGroup> restoreGroups; // stored roots waiting for the rebuild
    // Requests that came while the stored tree was put back: it is not theirs to change yet.
    std::deque<std::function<void()>> afterRestore;
    std::unique_ptr<StoredRoot> storedRoot; // the stored root being put back
};
