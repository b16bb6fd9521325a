#include "model/foldermodel.h"

#include "model/buildqueue.h"
#include "model/diskfollower.h"
#include "model/filestamp.h"
#include "model/fileurl.h"
#include "model/folderwalk.h"
#include "model/itemfields.h"
#include "model/rootrelink.h"
#include "probe/itemprobes.h"
#include "store/recordmapping.h"
#include "store/storerestore.h"
#include "store/ui_proc_config_desktop.h"
#include "store/ui_proc_mediainfo_desktop.h"
#include "transcode/transcoderequests.h"
#include "transcode/ui_proc_transcodingtool_desktop.h"

#include <QFileInfo>
#include <QThreadPool>
#include <QUuid>

// Each part is made after the parts it uses.
FolderModel::FolderModel(QObject *parent)
    : QAbstractItemModel(parent)
    , store(new Ui_Proc_MediaInfo_Desktop(this))
    , config(&UI_Proc_Config_Desktop::getInstance())
    , progress(new LoadProgress(this))
    , listingPool(new QThreadPool(this))
    , probes(new ItemProbes(tree, *this, *this, store, progress,
                            config->value(kParallelJobsKey, defaultParallelJobs()).toInt(), this))
    , build(new BuildQueue(tree, *this, probes, store, progress, this))
    , transcodes(new TranscodeRequests(tree, *this, *this, probes, build, store, this))
    , follower(new DiskFollower(tree, *this, *this, probes, build, transcodes, listingPool, this))
    , walk(new FolderWalk(tree, *this, *this, build, follower, listingPool, this))
    , restore(new StoreRestore(tree, *this, *this, probes, build, follower, walk, store, this))
    , relink(new RootRelink(tree, *this, *this, follower, store, this))
{
    listingPool->setMaxThreadCount(1);
    probes->runner()->setPictureMemoryLimitMB(
            config->value(kPictureMemoryLimitKey, kDefaultPictureMemoryLimitMB).toInt());
    connectParts();
    connectLoadProgress();
    connect(store, &Ui_Proc_MediaInfo_Desktop::writesWaiting, this, [this] {
        emit problemReported(tr("The media library cannot be reached: changes are kept and "
                                "stored when it answers again."));
    });
    store->open(); // while the page is being made, not inside the first build step
}

void FolderModel::connectParts()
{
    connect(config, &UI_Proc_Config_Desktop::loadDatabase, restore,
            &StoreRestore::restoreFromStore);
    connect(restore, &StoreRestore::nothingRestored, this, &FolderModel::folderTabNeedClose);
    connect(restore, &StoreRestore::treeRestored, transcodes,
            &TranscodeRequests::resumeStoredQueue);
    connect(transcodes, &TranscodeRequests::transcodeQueueChanged, this,
            &FolderModel::transcodeQueueChanged);
    connect(this, &FolderModel::filesIndexCleared, this, &FolderModel::prepareAddingFolders);
    connect(build, &BuildQueue::removalsDone, this, &FolderModel::prepareAddingFolders);
    connect(build, &BuildQueue::itemForgotten, this, &FolderModel::forgetIndexOf);
    connect(walk, &FolderWalk::walkBegan, this, [this] {
        problemsReported.clear();
        ++loadsUnderway;
        emit loadFolderBegan();
    });
    connect(walk, &FolderWalk::addRefused, this, [this] { emit errorOccured(AddWhileWalking); });
    connect(walk, &FolderWalk::depthLimitMet, this, [this] { emit errorOccured(DepthLimitMet); });
    connect(follower, &DiskFollower::problemReported, this, &FolderModel::problemReported);
    connect(probes->runner(), &ProbeRunner::jobEnded, this, &FolderModel::afterJob);

    // The component may report from a thread of its own; every report is handled here, in
    // order, on a later pass of the event loop.
    UI_Proc_TranscodingTool_Desktop *transcoder = transcodes->transcoder();
    connect(transcoder, &UI_Proc_TranscodingTool_Desktop::updateProgress, this,
            &FolderModel::onTranscodeRunning, Qt::QueuedConnection);
    connect(transcoder, &UI_Proc_TranscodingTool_Desktop::transcodeFailed, this,
            &FolderModel::onTranscodeFailed, Qt::QueuedConnection);
    connect(transcodes, &TranscodeRequests::beginVideoFileTranscoding, this,
            &FolderModel::beginVideoFileTranscoding);
    connect(transcodes, &TranscodeRequests::transcodingProgressChanged, this,
            &FolderModel::transcodingProgressChanged);
    connect(transcodes, &TranscodeRequests::videoFileTranscodingStopped, this,
            &FolderModel::videoFileTranscodingStopped);
    connect(transcodes, &TranscodeRequests::videoFileTranscoded, this,
            &FolderModel::videoFileTranscoded);
    connect(transcodes, &TranscodeRequests::transcodeMarkFound, this,
            &FolderModel::transcodeMarkFound);
    connect(transcodes, &TranscodeRequests::transcodeFailed, this, &FolderModel::transcodeFailed);
}

// Before the facade's own connections: the counts are new when a load begins and whole when
// it ends by the time the page hears of it.
void FolderModel::connectLoadProgress()
{
    ProbeRunner *runner = probes->runner();
    connect(this, &FolderModel::loadFolderBegan, progress, &LoadProgress::onLoadBegan);
    connect(this, &FolderModel::loadFolderEnded, progress, &LoadProgress::onLoadEnded);
    connect(walk, &FolderWalk::filesLeftOut, progress, &LoadProgress::onFilesLeftOut);
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
    restore->waitForReader();
    probes->runner()->shutDown();
    walk->clearForTeardown();
    build->finishForTeardown();
    storeUnsavedPictures();
    for (const QString &path : walk->foldersWaiting())
        store->replaceMediaInfo(newItemRecord(QUuid::createUuid().toString(),
                                              cleanFolderPath(path) + QLatin1Char('/'),
                                              tree.nextRootOrdinal()));
    store->commit();
}

void FolderModel::storeUnsavedPictures()
{
    for (int id : qAsConst(tree.unsavedPictures())) {
        const ItemRecord record = tree.itemRecords().value(id);
        const QString picture = record.type() == ItemType::office ? record.info().pptPath()
                                                                  : record.img().toString();
        if (!tree.isIndexed(id) || !QFileInfo::exists(picture))
            continue;
        Module_Mediainfo learnt;
        learnt.uuid = uuidOf(id);
        learnt.img = withFileUrlPrefix(picture);
        store->updateMediaInfoFields(learnt, {QStringLiteral("img")});
    }
}

QString FolderModel::itemKey(const QString &path, int rootOrdinal)
{
    return ItemTree::itemKey(path, rootOrdinal);
}

QString FolderModel::splitItemKey(const QString &key, int *rootOrdinal)
{
    return ItemTree::splitItemKey(key, rootOrdinal);
}

int FolderModel::fileIndex(const QString &key)
{
    return tree.fileIndex(key);
}

int FolderModel::idOfKey(const QString &key) const
{
    return tree.idOfKey(key);
}

QString FolderModel::keyOf(int id) const
{
    return tree.keyOf(id);
}

QString FolderModel::pathOf(int id) const
{
    return tree.pathOf(id);
}

QString FolderModel::uuidOf(int id) const
{
    return tree.uuidOf(id);
}

QVariantMap FolderModel::recordOf(int id)
{
    return tree.record(id).toMap(indexOfId(id));
}

qint64 FolderModel::fileSizeOf(int id) const
{
    const qint64 known = tree.node(id).size;
    if (known >= 0 || !tree.isInTree(id))
        return known;
    return fileStampOf(tree.pathOf(id)).first;
}

int FolderModel::rootOf(int id) const
{
    return tree.rootOf(id);
}

ChildListPtr FolderModel::childListOf(int id) const
{
    return tree.childListOf(id);
}

void FolderModel::clearIndexOfId(int id)
{
    clearIndexOfKey(keyOf(id));
}

void FolderModel::clearIndexOfKey(const QString &key)
{
    const int id = tree.forgetKey(key);
    if (id == -1)
        return;
    emit fileIndexCleared(id);
    if (tree.isIndexEmpty())
        emit filesIndexCleared();
}

// The last of an item to go, once its record and stored information went.
void FolderModel::forgetIndexOf(int id)
{
    follower->forget(id);
    tree.forgetNode(id);
    clearIndexOfId(id);
}

bool FolderModel::checkExternalTranscoding(const QString &path) const
{
    return transcodes->checkExternalTranscoding(path);
}

bool FolderModel::isTranscodingVideoInFolder(int parent)
{
    return transcodes->isTranscodingVideoInFolder(parent);
}

bool FolderModel::isTranscoding() const
{
    return transcodes->isTranscoding();
}

QVariantList FolderModel::transcodeQueue() const
{
    return transcodes->queueEntries();
}

void FolderModel::stopAllTranscodes()
{
    transcodes->stopAll();
}

void FolderModel::onTranscodeRunning(const QString &, float progress)
{
    transcodes->onTranscodeRunning(progress);
}

void FolderModel::onTranscodeFailed(const QString &jobId, const QString &reason)
{
    transcodes->onTranscodeFailed(jobId, reason);
}

void FolderModel::onTranscode(int idx, const QString &type, int w, int h)
{
    transcodes->onTranscode(idx, type, w, h);
}

void FolderModel::onTranscode(const QString &path, const QString &type, int w, int h)
{
    transcodes->onTranscode(path, type, w, h);
}

void FolderModel::onStopTranscode(int idx)
{
    transcodes->onStopTranscode(idx);
}

void FolderModel::onStopTranscode(const QString &path)
{
    transcodes->onStopTranscode(path);
}

void FolderModel::onRegisterExternalTranscodeFile(const QString &file, const QString &uuid)
{
    transcodes->onRegisterExternalTranscodeFile(file, uuid);
}

void FolderModel::onMonitoringSignalList(const QString &json)
{
    transcodes->onMonitoringSignalList(json);
}

void FolderModel::onCheckTranscodeMark(const QString &uuid)
{
    transcodes->onCheckTranscodeMark(uuid);
}
