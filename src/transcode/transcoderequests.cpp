#include "transcode/transcoderequests.h"

#include "model/filestamp.h"
#include "model/itemfields.h"
#include "model/itemtree.h"
#include "model/mediatypes.h"
#include "model/modelhooks.h"
#include "probe/itemprobes.h"
#include "store/ui_proc_mediainfo_desktop.h"
#include "transcode/outputname.h"
#include "transcode/transcodeparams.h"
#include "transcode/ui_proc_transcodingtool_desktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace { } // namespace

const QHash<QString, int> &codecOfType()
{
    static const QHash<QString, int> codecs{
            {QStringLiteral("HAP"), UI_Proc_TranscodingTool_Desktop::Hap},
            {QStringLiteral("HAPQ"), UI_Proc_TranscodingTool_Desktop::HapQ},
            {QStringLiteral("HAPALPHA"), UI_Proc_TranscodingTool_Desktop::HapAlpha},
            {QStringLiteral("H264"), UI_Proc_TranscodingTool_Desktop::H264}};
    return codecs;
}

namespace {

// The target format by name, in any letter case; an unknown name leaves the codec out.
QVariantMap requestParams(const QString &type, int w, int h, bool fromFolder)
{
    QVariantMap params{{TranscodeParam::width, w},
                       {TranscodeParam::height, h},
                       {TranscodeParam::isFromFolder, fromFolder}};
    const auto codec = codecOfType().constFind(type.toUpper());
    if (codec != codecOfType().constEnd())
        params.insert(TranscodeParam::codec, *codec);
    return params;
}

} // namespace

TranscodeRequests::TranscodeRequests(ItemTree &tree, TreeEdits &edits, ModelSteps &steps,
                                     ItemProbes *probes, BuildQueue *build,
                                     Ui_Proc_MediaInfo_Desktop *store, QObject *parent)
    : QObject(parent)
    , tree(tree)
    , edits(edits)
    , steps(steps)
    , probes(probes)
    , runner(probes->runner())
    , build(build)
    , store(store)
    , tool(new UI_Proc_TranscodingTool_Desktop(this, 1))
{
    connect(runner, &ProbeRunner::transcodeDue, this, &TranscodeRequests::startTranscodeJob);
}

// Transcodes wait in the one job queue like any probe, and start on a later pass of the event
// loop at the earliest.
void TranscodeRequests::queueTranscode(int idx, const QModelIndex &index, const QVariantMap &params)
{
    const Job job = Job::create(Transcode, idx, index);
    job->params = params;
    runner->enqueue(job);
}

// A transcode of a tree item; of a folder, one of every video below it.
void TranscodeRequests::onTranscode(int idx, const QString &type, int w, int h)
{
    if (!tree.isIndexed(idx))
        return;
    const QVariantMap params = requestParams(type, w, h, true);
    const QVector<int> videos = tree.isFolder(idx) ? videosBelow(idx) : QVector<int>{idx};
    for (int video : videos)
        requestItemTranscode(video, params);
    notifyRowsOf(videos);
    queueChanged();
}

void TranscodeRequests::requestItemTranscode(int id, const QVariantMap &params)
{
    ItemRecord &record = tree.record(id);
    record.setTranscodeProgress(0);
    queueTranscode(id, edits.shownIndexOf(id, record), params);
}

// A notification makes the view read the item's siblings again: once for each folder does.
void TranscodeRequests::notifyRowsOf(const QVector<int> &ids)
{
    QSet<int> folders;
    for (int id : ids) {
        const ItemNode node = tree.node(id);
        if (node.row >= 0 && !folders.contains(node.parentId)) {
            folders.insert(node.parentId);
            edits.notify(edits.indexOfId(id));
        }
    }
}

// In row order, depth first; a video is known by its record once it has one, else by its
// name. The library's own outputs are left out: they are transcodes already.
QVector<int> TranscodeRequests::videosBelow(int folderId) const
{
    QVector<int> videos;
    const ChildListPtr children = tree.childListOf(folderId);
    for (int id : children ? *children : ChildList()) {
        if (tree.isFolder(id)) {
            videos << videosBelow(id);
            continue;
        }
        const auto record = tree.itemRecords().constFind(id);
        const bool known = record != tree.itemRecords().constEnd() && record->has(ItemRecord::Type);
        const bool isVideoItem
                = known ? record->type() == ItemType::video : isVideo(tree.pathOf(id));
        if (isVideoItem && !(known && record->isTranscoded()))
            videos << id;
    }
    return videos;
}

// A transcode of a file outside the tree, registered by path beforehand.
void TranscodeRequests::onTranscode(const QString &path, const QString &type, int w, int h)
{
    ExternalTranscode &file = externalTranscodes[path];
    QVariantMap params = requestParams(type, w, h, false);
    params.insert(TranscodeParam::externalPath, path);
    params.insert(TranscodeParam::externalUuid, file.uuid);
    file.active = true;
    watchedOutputPath.clear();
    emit beginVideoFileTranscoding(file.uuid);
    queueTranscode(0, {}, params);
    queueChanged();
}

void TranscodeRequests::startTranscodeJob(const Job &job)
{
    FileTask &task = *job;
    transcoding = true;
    QString source;
    QString jobId;
    if (task.params.value(TranscodeParam::isFromFolder).toBool()) {
        source = tree.pathOf(task.fileIdx);
        jobId = tree.uuidOf(task.fileIdx);
    } else {
        source = task.params.value(TranscodeParam::externalPath).toString();
        jobId = task.params.value(TranscodeParam::externalUuid).toString();
    }
    const QString output = transcodeOutputPath(source);
    // A file of another's is named to the tool, which refuses to write over it and says why.
    const bool isForeign = QFileInfo::exists(output) && !isOwnOutput(output);
    const QString written = isForeign ? output : partialOutputPath(output);
    if (!isForeign)
        QFile::remove(written); // left by a transcode that a crash cut short
    task.params.insert(TranscodeParam::outputPath, output);
    task.params.insert(TranscodeParam::partialPath, written);
    runningTranscodeUuid = jobId;
    runningPercent = 0;
    runningClock.start();
    queueChanged();
    tool->transcodeOne(jobId, source, written, task.params.value(TranscodeParam::codec).toInt(),
                       task.params.value(TranscodeParam::width).toInt(),
                       task.params.value(TranscodeParam::height).toInt(), -1, -1, -1);
}

// An item of the tree that a transcode made, whose file is as it was when the transcode
// completed or when its media were stored.
bool TranscodeRequests::isOwnOutput(const QString &path) const
{
    const FileStamp stamp = fileStampOf(path);
    for (int rootId : tree.rootIds()) {
        const int id = tree.idOfKey(ItemTree::itemKey(path, tree.rootOrdinalOf(rootId)));
        if (id == -1 || !tree.itemRecords().value(id).isTranscoded())
            continue;
        const ItemNode node = tree.node(id);
        if (std::pair{node.size, node.modified} == stamp)
            return true;
        const Module_Mediainfo stored = store->getMediaInfo(tree.uuidOf(id));
        if (stored.isTranscoded && std::pair{stored.fileSize, stored.fileModified} == stamp)
            return true;
    }
    return false;
}

// The complete output takes its place; why it cannot, empty when it did.
QString TranscodeRequests::placeOutput(const FileTask &task)
{
    const QString output = task.params.value(TranscodeParam::outputPath).toString();
    const QString written = task.params.value(TranscodeParam::partialPath).toString();
    if (written == output)
        return {};
    QString problem;
    if (QFileInfo::exists(output) && !isOwnOutput(output))
        problem = tr("The output file %1 appeared during the transcode; move or delete it to "
                     "transcode again.");
    else if ((QFileInfo::exists(output) && !QFile::remove(output))
             || !QFile::rename(written, output))
        problem = tr("The output file %1 cannot be written.");
    if (problem.isEmpty())
        return {};
    QFile::remove(written);
    return problem.arg(QDir::toNativeSeparators(output));
}

bool TranscodeRequests::isOutputUnderWay(const QString &path) const
{
    const Job running = runner->runningTranscode();
    return running && running->params.value(TranscodeParam::outputPath).toString() == path;
}
