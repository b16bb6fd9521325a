#include "model/buildqueue.h"

#include "model/filestamp.h"
#include "model/itemfields.h"
#include "model/itemtree.h"
#include "model/loadprogress.h"
#include "model/modelhooks.h"
#include "probe/itemprobes.h"
#include "probe/picturedirectory.h"
#include "store/recordmapping.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QElapsedTimer>
#include <QFileInfo>

BuildQueue::BuildQueue(ItemTree &tree, ModelSteps &steps, ItemProbes *probes,
                       Ui_Proc_MediaInfo_Desktop *store, LoadProgress *progress, QObject *parent)
    : QObject(parent), tree(tree), steps(steps), probes(probes), store(store), progress(progress)
{
    connect(probes, &ItemProbes::itemLearnt, this, [this](int id) { queue(id, Save); });
}

void BuildQueue::queueAdd(int id)
{
    entries.push_back({id, Add});
    progress->onItemFound();
}

void BuildQueue::scheduleBuild()
{
    if (buildPosted || entries.empty())
        return;
    buildPosted = true;
    steps.post(BuildStep);
}

// Build entries one after another for a few milliseconds a step.
void BuildQueue::buildStep()
{
    buildPosted = false;
    QElapsedTimer clock;
    clock.start();
    while (!entries.empty() && clock.nsecsElapsed() < kStepBudgetNs) {
        const BuildEntry entry = entries.front();
        entries.pop_front();
        buildEntry(entry);
    }
    scheduleBuild();
}

void BuildQueue::finishForTeardown()
{
    while (!entries.empty()) {
        const BuildEntry entry = entries.front();
        entries.pop_front();
        if (entry.flag != ReAdd)
            buildEntry(entry);
    }
}

void BuildQueue::buildEntry(const BuildEntry &entry)
{
    switch (entry.flag) {
    case Add:
        buildItem(entry.id);
        progress->onItemBuilt();
        break;
    case Save:
        saveItem(entry.id);
        break;
    case Remove:
        forgetItem(entry.id);
        break;
    case ReAdd:
        emit removalsDone();
        break;
    }
}

// A folder is never typed by its name: "Holiday.mp4" may well be one.
void BuildQueue::buildItem(int id)
{
    if (!tree.isIndexed(id))
        return;
    const bool isFolder = tree.isFolder(id);
    storeFirstRecord(id, isFolder);
    if (!isFolder)
        probes->typeAndProbe(id);
}

// The model issued the item's uuid itself, so there is nothing to look up first. A folder's
// path ends with "/", which tells it from a file when the tree comes back.
void BuildQueue::storeFirstRecord(int id, bool isFolder)
{
    int rootOrdinal = 0;
    QString path = ItemTree::splitItemKey(tree.keyOf(id), &rootOrdinal);
    if (isFolder && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    store->replaceMediaInfo(newItemRecord(tree.uuidOf(id), path, rootOrdinal));
}

// Writes what the jobs learnt about an item over its stored record, which keeps its other
// fields. A record that is not stored stays so.
void BuildQueue::saveItem(int id)
{
    const auto record = tree.itemRecords().constFind(id);
    if (record == tree.itemRecords().constEnd() || !tree.isIndexed(id))
        return;
    Module_Mediainfo learnt;
    learnt.uuid = tree.uuidOf(id);
    // The stamp from before the probe, where the listing gave one: a change since is then
    // seen at the next start, and the file is not looked at once more.
    const ItemNode node = tree.node(id);
    const auto [size, modified] = node.modified >= 0 ? FileStamp(node.size, node.modified)
                                                     : fileStampOf(tree.pathOf(id));
    fillFromItem(learnt, *record, size, modified);
    store->updateMediaInfoFields(learnt, filledFields(record->type()));
    tree.unsavedPictures().remove(id);
}

// The second phase of a removal, one item per build entry.
void BuildQueue::forgetItem(int id)
{
    QMap<int, ItemRecord> &records = tree.itemRecords();
    const auto record = records.find(id);
    if (record != records.end()) {
        removeMadePicture(record->img().toString());
        removeMadePicture(record->info().pptPath());
        records.erase(record);
    }
    tree.unsavedPictures().remove(id);
    store->delMediaInfo(tree.uuidOf(id));
    if (tree.isFolder(id))
        removeFolderContents(id);
    else
        emit itemForgotten(id);
}

// A folder is taken apart level by level: its files first, then its sub-folders the same
// way, and last the folder itself, whose list is empty by then.
void BuildQueue::removeFolderContents(int id)
{
    const ChildListPtr list = tree.childListOf(id);
    if (list->isEmpty()) {
        emit itemForgotten(id);
        tree.forgetFolder(id);
        return;
    }
    QVector<int> subFolders;
    for (int child : qAsConst(*list)) {
        if (tree.isFolder(child))
            subFolders << child;
        else
            entries.push_back({child, Remove});
    }
    list->clear();
    for (auto folder = subFolders.crbegin(); folder != subFolders.crend(); ++folder)
        entries.push_back({*folder, Remove});
    entries.push_back({id, Remove});
    scheduleBuild();
}
