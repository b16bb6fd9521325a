#include "store/storerestore.h"

#include "model/buildqueue.h"
#include "model/diskfollower.h"
#include "model/fileurl.h"
#include "model/folderwalk.h"
#include "model/modelhooks.h"
#include "probe/picturedirectory.h"
#include "store/recordmapping.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMutex>
#include <QWaitCondition>
#include <QtConcurrent>

#include <algorithm>

namespace {

// A picture that a console sharing the store made is looked for under its name in this
// project's picture directory, and taken there from the store when it is missing; found
// nowhere, it is made again.
void takeSharedPictures(Ui_Proc_MediaInfo_Desktop &store, QVector<RestoreGroup> &groups)
{
    if (!store.keepsPictures())
        return;
    const QString directory = pictureDirectory();
    QHash<QString, QString *> lacking; // the entries' pictures by uuid
    const auto lookFor = [&directory, &lacking](RestoreEntry &entry) {
        const QString picture = withoutFileUrlPrefix(entry.img);
        const QString name = madePictureName(picture);
        const QString here = directory + name;
        if (name.isEmpty() || here == picture)
            return;
        if (QFileInfo::exists(here))
            entry.img = withFileUrlPrefix(here);
        else
            lacking.insert(entry.uuid, &entry.img);
    };
    for (RestoreGroup &group : groups) {
        std::for_each(group.entries.begin(), group.entries.end(), lookFor);
        std::for_each(group.unplaced.begin(), group.unplaced.end(), lookFor);
    }
    const QHash<QString, QVector<StoredPictureFile>> pictures = store.loadPictures(lacking.keys());
    for (auto picture = pictures.cbegin(); picture != pictures.cend(); ++picture) {
        const QString written = writeMadePicture(*picture);
        if (!written.isEmpty())
            *lacking.value(picture.key()) = withFileUrlPrefix(written);
    }
}

// The records as they are read, in batches, for the grouping beside the reader. They are all
// kept until the reader lets go of them: memory that the other thread freed would keep the
// reader waiting for its allocator.
class RecordBatches
{
public:
    void put(QList<Module_Mediainfo> &&batch)
    {
        QMutexLocker locker(&mutex);
        batches.push_back(std::move(batch));
        changed.wakeOne();
    }
    void close()
    {
        QMutexLocker locker(&mutex);
        isClosed = true;
        changed.wakeOne();
    }
    // Null once all are taken and the reader is done.
    const QList<Module_Mediainfo> *next()
    {
        QMutexLocker locker(&mutex);
        while (taken == batches.size() && !isClosed)
            changed.wait(&mutex);
        return taken < batches.size() ? &batches[taken++] : nullptr;
    }

private:
    QMutex mutex;
    QWaitCondition changed;
    std::deque<QList<Module_Mediainfo>> batches; // a batch stays where it is as others come
    size_t taken = 0;
    bool isClosed = false;
};

// Enough for a hand-over to be worth its wake-up, few enough for the last one to be quick.
constexpr int kRecordBatch = 2048;

QVector<RestoreGroup> groupBatches(RecordBatches &batches)
{
    RestoreGrouping grouping;
    while (const QList<Module_Mediainfo> *batch = batches.next()) {
        for (const Module_Mediainfo &record : *batch)
            grouping.add(record);
    }
    return grouping.takeGroups();
}

// Runs on a worker thread, with a store connection of its own, and groups on a second one
// what it has read while it reads on, so that the groups are ready soon after the last record.
// Should no second worker be free, the grouping runs here once all is read. The groups are
// handed over before the records they were made from and the connection go.
void readStoredGroups(QFutureInterface<QVector<RestoreGroup>> groups)
{
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    RecordBatches batches;
    QFuture<QVector<RestoreGroup>> grouped = QtConcurrent::run(groupBatches, std::ref(batches));
    store.loadMediaObjlist(
            kFolderPageCategory, restoredFields(), kRecordBatch,
            [&batches](QList<Module_Mediainfo> &&batch) { batches.put(std::move(batch)); });
    batches.close();
    QVector<RestoreGroup> read = grouped.result();
    takeSharedPictures(store, read);
    groups.reportResult(read);
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
