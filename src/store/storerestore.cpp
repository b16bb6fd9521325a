#include "store/storerestore.h"

#include "model/buildqueue.h"
#include "model/diskfollower.h"
#include "model/fileurl.h"
#include "model/folderwalk.h"
#include "model/modelhooks.h"
#include "probe/picturedirectory.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QDateTime>
#include <QFileInfo>
#include <QtConcurrent>

namespace {

// A picture that a console sharing the store made is looked for under its name in this
// project's picture directory, and taken there from the store when it is missing; found
// nowhere, it is made again.
void takeSharedPictures(Ui_Proc_MediaInfo_Desktop &store, QList<Module_Mediainfo> &records)
{
    if (!store.keepsPictures())
        return;
    const QString directory = pictureDirectory();
    QHash<QString, int> lacking; // the records' positions by uuid
    for (int i = 0; i < records.size(); ++i) {
        Module_Mediainfo &record = records[i];
        const QString picture = withoutFileUrlPrefix(record.img);
        const QString name = madePictureName(picture);
        const QString here = directory + name;
        if (name.isEmpty() || here == picture)
            continue;
        if (QFileInfo::exists(here))
            record.img = withFileUrlPrefix(here);
        else
            lacking.insert(record.uuid, i);
    }
    const QHash<QString, QVector<StoredPictureFile>> pictures = store.loadPictures(lacking.keys());
    for (auto picture = pictures.cbegin(); picture != pictures.cend(); ++picture) {
        const QString written = writeMadePicture(*picture);
        if (!written.isEmpty())
            records[lacking.value(picture.key())].img = withFileUrlPrefix(written);
    }
}

// Runs on a worker thread, with a store connection of its own. The groups are handed over
// before the records they were made from and the connection go, which takes a tenth of the
// time the read took.
void readStoredGroups(QFutureInterface<QVector<RestoreGroup>> groups)
{
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    QList<Module_Mediainfo> records = store.loadMediaObjlist(restoredFields());
    takeSharedPictures(store, records);
    groups.reportResult(groupStoredRecords(records));
    groups.reportFinished();
}

} // namespace

StoreRestore::StoreRestore(ItemTree &tree, TreeEdits &edits, ModelSteps &steps, ItemProbes *probes,
                           BuildQueue *build, DiskFollower *follower, FolderWalk *walk,
                           Ui_Proc_MediaInfo_Desktop *store, QObject *parent)
    : QObject(parent)
    , tree(tree)
    , edits(edits)
    , steps(steps)
    , probes(probes)
    , build(build)
    , follower(follower)
    , walk(walk)
    , store(store)
    , storedGroupsReader(new QFutureWatcher<QVector<RestoreGroup>>(this))
{
    connect(storedGroupsReader, &QFutureWatcher<QVector<RestoreGroup>>::finished, this,
            &StoreRestore::onStoredGroupsRead);
}

// The tree is replaced by the folders of the earlier run, which come back from their records
// grouped by the root they were found under. A load under way is finished first, so that
// everything it found is stored and comes back with the rest; a restore under way starts
// again between two of its steps.
void StoreRestore::restoreFromStore()
{
    restoreAsked = true;
    startIfDue();
}

void StoreRestore::startIfDue()
{
    if (restoreAsked && !walk->isWalking() && build->isEmpty() && !isRestoring())
        startRestore();
}

// The store is read and the groups are made off the GUI thread.
void StoreRestore::startRestore()
{
    restoreAsked = false;
    edits.beginResetTree();
    tree.clear();
    restoreGroups.clear();
    storedRoot.reset();
    follower->restartAt(QDateTime::currentMSecsSinceEpoch());
    edits.endResetTree();

    store->commit(); // the reader's connection sees what this one wrote
    readingStore = true;
    reader.waitForFinished();
    QFutureInterface<QVector<RestoreGroup>> groups;
    groups.reportStarted();
    storedGroupsReader->setFuture(groups.future());
    reader = QtConcurrent::run(readStoredGroups, groups);
}

// The stored roots come back row by row in later steps. With nothing stored and nothing
// asked for meanwhile the page has nothing to show.
void StoreRestore::onStoredGroupsRead()
{
    readingStore = false;
    if (restoreAsked) {
        startRestore();
        return;
    }
    restoreGroups = storedGroupsReader->result();
    if (restoreGroups.isEmpty() && afterRestore.empty() && !walk->hasFoldersWaiting())
        emit nothingRestored();
    if (store->isReadOnly())
        steps.reportOnce(QStringLiteral("read-only store"),
                         tr("The media library of this project cannot be written: the folders "
                            "are shown, but changes on this page will not be kept."));
    steps.post(RebuildFromStore);
}

bool StoreRestore::isRestoring() const
{
    return readingStore || !restoreGroups.isEmpty() || storedRoot;
}

void StoreRestore::waitForReader()
{
    reader.waitForFinished();
}

// Adding, removing, refreshing and clearing wait while the stored tree is put back, and then
// apply to all of it, in the order they came.
bool StoreRestore::deferUntilRestored(std::function<void()> operation)
{
    if (!isRestoring())
        return false;
    afterRestore.push_back(std::move(operation));
    return true;
}

// Folders that waited for a walk before the restore began go on too.
void StoreRestore::runDeferredOperations()
{
    emit treeRestored();
    while (!afterRestore.empty() && !isRestoring()) {
        const std::function<void()> operation = std::move(afterRestore.front());
        afterRestore.pop_front();
        operation();
    }
    walk->addNextPendingFolder();
}
