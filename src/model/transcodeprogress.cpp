#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "transcode/transcodeparams.h"
#include "transcode/ui_proc_transcodingtool_desktop.h"

#include <QFileInfo>

#include <cmath>

namespace {

constexpr int kDone = 100;
constexpr int kNoTranscode = -1;

// Requested or running: neither idle nor done.
bool isTranscodingRecord(const QVariantMap &record)
{
    const QVariant progress = record.value(ItemField::transcodeProgress);
    return progress.isValid() && progress.toInt() != kNoTranscode && progress.toInt() != kDone;
}

} // namespace

// Reports belong to the transcode that runs; one that arrives later (sent before a stop,
// say) finds none and is dropped.
void FolderModel::onTranscodeRunning(const QString &, float progress)
{
    const Job task = runner->runningTranscode();
    if (!task)
        return;
    const int percent = int(std::floor(progress * 100.0f));
    if (percent == kDone)
        endRunningTranscode();

    if (belongsToTree(task->params)) {
        if (!idToKey.contains(task->fileIdx))
            return; // removed meanwhile: the output stays on disk, unlisted
        records[task->fileIdx].insert(ItemField::transcodeProgress, percent);
        notify(task->index);
        if (percent != kDone)
            return;
        const QString output = task->params.value(TranscodeParam::outputPath).toString();
        const int outputId = insertTranscodedItem(task->fileIdx, output);
        if (outputId == -1)
            return; // its folder went away meanwhile
        queueAdd(outputId);
        records[outputId].insert(ItemField::isTranscoded, true);
        scheduleBuild();
        return;
    }

    const QString uuid = task->params.value(TranscodeParam::externalUuid).toString();
    emit transcodingProgressChanged(uuid, percent);
    if (percent == kDone) {
        const QString output = task->params.value(TranscodeParam::outputPath).toString();
        emit videoFileTranscoded(uuid, withFileUrlPrefix(output));
        externalTranscodes[task->params.value(TranscodeParam::externalPath).toString()].active
                = false;
        watchedOutputPath = output;
    }
}

// A failed transcode ends like a stop of the running job: the queue moves on, and the page
// hears why.
void FolderModel::onTranscodeFailed(const QString &jobId, const QString &reason)
{
    const Job task = runner->runningTranscode();
    if (!task)
        return;
    endRunningTranscode();
    if (!belongsToTree(task->params)) {
        const QString uuid = task->params.value(TranscodeParam::externalUuid).toString();
        externalTranscodes[task->params.value(TranscodeParam::externalPath).toString()].active
                = false;
        emit videoFileTranscodingStopped(uuid);
    } else if (idToKey.contains(task->fileIdx)) {
        records[task->fileIdx].insert(ItemField::transcodeProgress, kNoTranscode);
        notify(records.value(task->fileIdx).value(ItemField::modelIdx).toModelIndex());
    }
    emit transcodeFailed(jobId, reason);
}

void FolderModel::endRunningTranscode()
{
    transcoding = false;
    runner->endTranscode();
}

// The output row goes directly above its source, in the source's folder, and is probed
// like a new file.
int FolderModel::insertTranscodedItem(int sourceId, const QString &outputPath)
{
    const ItemNode source = nodes.value(sourceId);
    const ChildListPtr siblings = childListOf(source.parentId);
    if (!siblings || !isInTree(sourceId))
        return -1;
    int rootOrdinal = 0;
    splitItemKey(keyOf(sourceId), &rootOrdinal);
    const QModelIndex folder = indexOfId(source.parentId);
    const int outputId = fileIndex(itemKey(outputPath, rootOrdinal));
    const int listed = siblings->indexOf(outputId);
    if (listed >= 0) { // an earlier output whose removal has not come yet
        beginRemoveRows(folder, listed, listed);
        siblings->remove(listed);
        renumberRows(*siblings, listed);
        endRemoveRows();
    }
    const int row = nodes.value(sourceId).row;
    beginInsertRows(folder, row, row);
    siblings->insert(row, outputId);
    attach(outputId, source.parentId, row);
    nodes[outputId].jobsAsked = false; // a new file, even where an earlier output was probed
    renumberRows(*siblings, row);
    endInsertRows();
    return outputId;
}

void FolderModel::onStopTranscode(int idx)
{
    if (!idToKey.contains(idx))
        return;
    if (uuidOf(idx) == runningTranscodeUuid) {
        transcoder->stopOne(runningTranscodeUuid);
        transcoding = false;
    }
    QVariantMap &record = records[idx];
    const QModelIndex index = record.value(ItemField::modelIdx).toModelIndex();
    const QModelIndex folder = parent(index);
    const int rows = rowCount(folder);
    if (rows > 0)
        emit dataChanged(this->index(0, 0, folder), this->index(rows - 1, 0, folder));
    record.insert(ItemField::transcodeProgress, kNoTranscode);
    notify(index);

    // The item's running transcode goes alone; otherwise its waiting transcodes go. Its
    // probes and thumbnail stay: without them the item would never finish loading.
    const Job running = runner->runningTranscode();
    if (running && running->fileIdx == idx) {
        runner->endTranscode();
        return;
    }
    runner->takeWaiting([idx](const FileTask &task) {
        return task.fileIdx == idx && task.taskType() == Transcode;
    });
    whenIdle(); // what is stored is committed at once when nothing is left to do
}

void FolderModel::onStopTranscode(const QString &path)
{
    const auto isOfPath = [&path](const FileTask &task) {
        return task.params.contains(TranscodeParam::externalPath)
               && task.params.value(TranscodeParam::externalPath).toString() == path;
    };
    QVector<Job> stopped;
    const Job running = runner->runningTranscode();
    if (running && isOfPath(*running)) {
        stopped << running;
        runner->endTranscode();
    }
    stopped << runner->takeWaiting(isOfPath);
    for (const Job &task : qAsConst(stopped)) {
        const QString uuid = task->params.value(TranscodeParam::externalUuid).toString();
        if (uuid == runningTranscodeUuid) {
            transcoder->stopOne(uuid);
            transcoding = false;
        }
        emit videoFileTranscodingStopped(uuid);
        externalTranscodes[path].active = false;
    }
}

bool FolderModel::isTranscodingVideoInFolder(int parent)
{
    if (parent == -1)
        return std::any_of(records.cbegin(), records.cend(), isTranscodingRecord);
    if (const ChildListPtr children = childListOf(parent))
        return std::any_of(children->cbegin(), children->cend(),
                           [this](int child) { return isTranscodingRecord(records[child]); });
    return isTranscodingRecord(records[parent]);
}
