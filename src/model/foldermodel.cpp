#include "model/foldermodel.h"

#include "model/fileurl.h"
#include "model/folderwatch.h"
#include "model/itemfields.h"
#include "store/dbworker.h"
#include "store/recordmapping.h"
#include "store/ui_proc_config_desktop.h"
#include "store/ui_proc_mediainfo_desktop.h"
#include "transcode/ui_proc_transcodingtool_desktop.h"

#include <QFileInfo>
#include <QThreadPool>
#include <QUuid>

namespace {

// Ids come from one counter for the whole process and are never reused, not even across
// models or after a model was emptied: a posted step that names a forgotten id can never
// act on a new item by mistake.
qint64 fileIdxCounter = 0;

} // namespace

FolderModel::FolderModel(QObject *parent)
    : QAbstractItemModel(parent)
    , listingPool(new QThreadPool(this))
    , listingWatcher(new QFutureWatcher<QVector<ListedEntry>>(this))
    , store(new Ui_Proc_MediaInfo_Desktop(this))
    , dbWorker(new DBWorker(this))
    , config(&UI_Proc_Config_Desktop::getInstance())
    , storedGroupsReader(new QFutureWatcher<QVector<RestoreGroup>>(this))
    , runner(new ProbeRunner([this](int id) { return pathOf(id); },
                             config->value(kParallelJobsKey, defaultParallelJobs()).toInt(), this))
    , progress(new LoadProgress(this))
    , transcoder(new UI_Proc_TranscodingTool_Desktop(this, 1))
    , folderWatch(new FolderWatch(this))
    , folderListingWatcher(new QFutureWatcher<QVector<ListedEntry>>(this))
{
    runner->setPictureMemoryLimitMB(
            config->value(kPictureMemoryLimitKey, kDefaultPictureMemoryLimitMB).toInt());
    connect(config, &UI_Proc_Config_Desktop::loadDatabase, this, &FolderModel::restoreFromStore);
    connect(this, &FolderModel::filesIndexCleared, this, &FolderModel::prepareAddingFolders);
    // The component may report from a thread of its own; every report is handled here, in
    // order, on a later pass of the event loop.
    connect(transcoder, &UI_Proc_TranscodingTool_Desktop::updateProgress, this,
            &FolderModel::onTranscodeRunning, Qt::QueuedConnection);
    connect(transcoder, &UI_Proc_TranscodingTool_Desktop::transcodeFailed, this,
            &FolderModel::onTranscodeFailed, Qt::QueuedConnection);
    connect(storedGroupsReader, &QFutureWatcher<QVector<RestoreGroup>>::finished, this,
            &FolderModel::onStoredGroupsRead);
    listingPool->setMaxThreadCount(1);
    connect(listingWatcher, &QFutureWatcher<QVector<ListedEntry>>::finished, this, [this] {
        if (std::exchange(awaitingListing, false))
            post(WalkStep);
    });

    connect(folderWatch, &FolderWatch::foldersChanged, this, &FolderModel::onFoldersChanged);
    connect(folderWatch, &FolderWatch::rootVanished, this, &FolderModel::notifyTreeOf);
    connect(folderWatch, &FolderWatch::rootReturned, this, &FolderModel::onRootReturned);
    connect(folderListingWatcher, &QFutureWatcher<QVector<ListedEntry>>::finished, this,
            &FolderModel::onFolderListed);

    connect(runner, &ProbeRunner::thumbnailStarted, this, &FolderModel::onThumbnailStarted);
    connect(runner, &ProbeRunner::slideCaptureStarted, this, &FolderModel::onSlideCaptureStarted);
    connect(runner, &ProbeRunner::toolJobFinished, this, &FolderModel::onToolJobFinished);
    connect(runner, &ProbeRunner::pictureRead, this, &FolderModel::onPictureRead);
    connect(runner, &ProbeRunner::transcodeDue, this, &FolderModel::startTranscodeJob);
    connect(runner, &ProbeRunner::jobEnded, this, &FolderModel::afterJob);
    connect(runner, &ProbeRunner::toolNotStarted, this, &FolderModel::onToolNotStarted);
    connectLoadProgress();
    connect(store, &Ui_Proc_MediaInfo_Desktop::writesWaiting, this, [this] {
        emit problemReported(tr("The media library cannot be reached: changes are kept and "
                                "stored when it answers again."));
    });
    store->open(); // while the page is being made, not inside the first build step
}

// Before the facade's own connections: the counts are new when a load begins and whole when
// it ends by the time the page hears of it.
void FolderModel::connectLoadProgress()
{
    connect(this, &FolderModel::loadFolderBegan, progress, &LoadProgress::onLoadBegan);
    connect(this, &FolderModel::loadFolderEnded, progress, &LoadProgress::onLoadEnded);
    connect(runner, &ProbeRunner::jobStarted, progress,
            [this](const FileTask &, const QString &path) { progress->onJobStarted(path); });
    connect(runner, &ProbeRunner::toolJobFinished, progress, &LoadProgress::onJobDone);
    connect(runner, &ProbeRunner::pictureRead, progress, &LoadProgress::onJobDone);
}

FolderModel::~FolderModel()
{
    finishForTeardown();
}

// Closing in the middle of a load leaves the store and the picture directory in agreement,
// so that the next start shows what this one did: what was found is stored, what was
// removed is deleted, every picture that was made is named by its record or gone, and the
// folders that waited to be walked come back as roots. The store's reader must not outlive
// the model.
void FolderModel::finishForTeardown()
{
    blockSignals(true);
    storedGroupsReader->waitForFinished();
    runner->shutDown();
    walkStack.clear();
    while (!buildQueue.empty()) {
        const BuildEntry entry = buildQueue.front();
        buildQueue.pop_front();
        if (entry.flag != ReAdd)
            buildEntry(entry);
    }
    for (int id : qAsConst(unsavedPictures)) {
        const QVariantMap record = records.value(id);
        const QString picture = record.value(ItemField::type) == ItemType::office
                                        ? record.value(ItemField::info)
                                                  .toMap()
                                                  .value(InfoField::pptPath)
                                                  .toString()
                                        : record.value(ItemField::img).toString();
        if (!idToKey.contains(id) || !QFileInfo::exists(picture))
            continue;
        Module_Mediainfo learnt;
        learnt.uuid = uuidOf(id);
        learnt.img = withFileUrlPrefix(picture);
        store->updateMediaInfoFields(learnt, {QStringLiteral("img")});
    }
    for (const QString &path :
         pendingReAdd + QStringList(pendingFolders.cbegin(), pendingFolders.cend()))
        store->replaceMediaInfo(newItemRecord(QUuid::createUuid().toString(),
                                              cleanFolderPath(path) + QLatin1Char('/'),
                                              nextRootOrdinal()));
    store->commit();
}

// Made to its exact size: every item keeps its key for as long as it lives.
QString FolderModel::itemKey(const QString &path, int rootOrdinal)
{
    const QString ordinal = QString::number(rootOrdinal);
    QString key;
    key.reserve(path.size() + 1 + ordinal.size());
    return key.append(path).append(QLatin1Char(':')).append(ordinal);
}

// Cut at the last ":" so that a drive letter's colon stays in the path.
QString FolderModel::splitItemKey(const QString &key, int *rootOrdinal)
{
    const int colon = key.lastIndexOf(QLatin1Char(':'));
    if (rootOrdinal)
        *rootOrdinal = key.midRef(colon + 1).toInt();
    return key.left(colon);
}

int FolderModel::fileIndex(const QString &key)
{
    const auto known = keyToId.constFind(key);
    if (known != keyToId.constEnd())
        return *known;
    const int id = newId();
    registerItem(id, key, QUuid::createUuid().toString());
    return id;
}

int FolderModel::newId()
{
    return int(++fileIdxCounter);
}

int FolderModel::nextRootOrdinal()
{
    return ++rootOrdinal;
}

// A hash table grows by placing everything it holds anew at once: for a large library the
// four tables of ids, growing together, would hold the GUI thread for several frames. A step
// that hands out ids first grows the one table that is nearly full, if any, and leaves the rest
// of its time to the next step.
bool FolderModel::growIdTablesAhead()
{
    const int needed = keyToId.size() + kIdsPerStepAtMost;
    const auto grow = [needed](auto &table) {
        if (table.capacity() >= needed)
            return false;
        table.reserve(qMax(needed, table.capacity() * 2));
        return true;
    };
    return grow(keyToId) || grow(idToKey) || grow(idToUuid) || grow(nodes);
}

void FolderModel::registerItem(int id, const QString &key, const QString &uuid)
{
    keyToId.insert(key, id);
    idToKey.insert(id, key);
    idToUuid.insert(id, uuid);
}

int FolderModel::idOfKey(const QString &key) const
{
    return keyToId.value(key, -1);
}

QString FolderModel::keyOf(int id) const
{
    return idToKey.value(id);
}

QString FolderModel::pathOf(int id) const
{
    const QString key = keyOf(id);
    return key.isEmpty() ? QString() : splitItemKey(key);
}

QString FolderModel::uuidOf(int id) const
{
    return idToUuid.value(id);
}

QVariantMap FolderModel::recordOf(int id)
{
    return records[id];
}

// When several roots hold the id, the last one wins.
ChildListPtr FolderModel::childListOf(int id) const
{
    for (auto root = roots.crbegin(); root != roots.crend(); ++root) {
        const ChildListPtr list = root->childLists.value(id);
        if (list)
            return list;
    }
    return {};
}

void FolderModel::clearIndexOfId(int id)
{
    clearIndexOfKey(keyOf(id));
}

void FolderModel::clearIndexOfKey(const QString &key)
{
    const auto known = keyToId.find(key);
    if (known == keyToId.end())
        return;
    const int id = *known;
    if (!idToKey.contains(id))
        return;
    keyToId.erase(known);
    idToKey.remove(id);
    if (!idToUuid.remove(id))
        return;
    emit fileIndexCleared(id);
    if (keyToId.isEmpty() && idToKey.isEmpty() && idToUuid.isEmpty())
        emit filesIndexCleared();
}
