#include "model/buildqueue.h"
#include "model/filestamp.h"
#include "model/fileurl.h"
#include "model/itemfields.h"
#include "model/itemtree.h"
#include "model/modelhooks.h"
#include "probe/itemprobes.h"
#include "transcode/transcodeparams.h"
#include "transcode/transcoderequests.h"
#include "transcode/ui_proc_transcodingtool_desktop.h"

#include <QFileInfo>

#include <cmath>

namespace {

constexpr int kDone = 100;
constexpr int kNoTranscode = -1;

// Requested or running: neither idle nor done.
bool isTranscodingRecord(const ItemRecord &record)
{
    const int progress = record.transcodeProgress();
    return record.has(ItemRecord::TranscodeProgress) && progress != kNoTranscode
           && progress != kDone;
}

} // namespace

// Reports belong to the transcode that runs; one that arrives later (sent before a stop,
// say) finds none and is dropped.
void TranscodeRequests::onTranscodeRunning(float progress)
{
    const Job task = runner->runningTranscode();
    if (!task)
        return;
    const int percent = int(std::floor(progress * 100.0f));
    runningPercent = percent;
    emit transcodeQueueChanged();
    if (percent == kDone) {
        const QString problem = placeOutput(*task);
        if (!problem.isEmpty()) {
            onTranscodeFailed(runningTranscodeUuid, problem);
            return;
        }
        endRunningTranscode();
    }

    if (belongsToTree(task->params)) {
        if (!tree.isIndexed(task->fileIdx))
            return; // removed meanwhile: the output stays on disk, unlisted
        tree.record(task->fileIdx).setTranscodeProgress(percent);
        edits.notify(task->index);
        if (percent == kDone)
            completeItemTranscode(task);
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

// An earlier output that the new one replaced is probed anew, its pictures made again.
void TranscodeRequests::completeItemTranscode(const Job &task)
{
    const QString output = task->params.value(TranscodeParam::outputPath).toString();
    const int earlier = tree.idOfKey(ItemTree::itemKey(output, tree.rootOrdinalOf(task->fileIdx)));
    const int outputId = insertTranscodedItem(task->fileIdx, output);
    if (outputId == -1)
        return; // its folder went away meanwhile
    ItemNode &node = tree.nodeOf(outputId);
    std::tie(node.size, node.modified) = fileStampOf(output);
    tree.record(outputId).setIsTranscoded(true);
    if (outputId == earlier) {
        probes->probeAgain(outputId);
        return;
    }
    build->queueAdd(outputId);
    build->scheduleBuild();
}

// A failed transcode ends like a stop of the running job: the queue moves on, and the page
// hears why.
void TranscodeRequests::onTranscodeFailed(const QString &jobId, const QString &reason)
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
    } else if (tree.isIndexed(task->fileIdx)) {
        ItemRecord &record = tree.record(task->fileIdx);
        record.setTranscodeProgress(kNoTranscode);
        edits.notify(edits.shownIndexOf(task->fileIdx, record));
    }
    emit transcodeFailed(jobId, reason);
}

void TranscodeRequests::endRunningTranscode()
{
    transcoding = false;
    runner->endTranscode();
    queueChanged();
}

// The output row goes directly above its source, in the source's folder, and is probed
// like a new file.
int TranscodeRequests::insertTranscodedItem(int sourceId, const QString &outputPath)
{
    const ItemNode source = tree.node(sourceId);
    const ChildListPtr siblings = tree.childListOf(source.parentId);
    if (!siblings || !tree.isInTree(sourceId))
        return -1;
    const int outputId
            = tree.fileIndex(ItemTree::itemKey(outputPath, tree.rootOrdinalOf(sourceId)));
    const int listed = siblings->indexOf(outputId);
    if (listed >= 0) // an earlier output whose removal has not come yet
        edits.takeRow(source.parentId, listed);
    edits.insertRow(source.parentId, tree.node(sourceId).row, outputId);
    tree.nodeOf(outputId).jobsAsked = false; // a new file, even where an earlier output was probed
    return outputId;
}

void TranscodeRequests::onStopTranscode(int idx)
{
    if (!tree.isIndexed(idx))
        return;
    if (tree.uuidOf(idx) == runningTranscodeUuid) {
        tool->stopOne(runningTranscodeUuid);
        transcoding = false;
    }
    ItemRecord &record = tree.record(idx);
    const QModelIndex index = edits.shownIndexOf(idx, record);
    edits.refreshRowsBeside(index);
    record.setTranscodeProgress(kNoTranscode);
    edits.notify(index);

    // The item's running transcode goes alone; otherwise its waiting transcodes go. Its
    // probes and thumbnail stay: without them the item would never finish loading.
    const Job running = runner->runningTranscode();
    if (running && running->fileIdx == idx) {
        runner->endTranscode();
        queueChanged();
        return;
    }
    runner->takeWaiting([idx](const FileTask &task) {
        return task.fileIdx == idx && task.taskType() == Transcode;
    });
    queueChanged();
    steps.whenIdle(); // what is stored is committed at once when nothing is left to do
}

void TranscodeRequests::onStopTranscode(const QString &path)
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
            tool->stopOne(uuid);
            transcoding = false;
        }
        emit videoFileTranscodingStopped(uuid);
        externalTranscodes[path].active = false;
    }
    queueChanged();
}

// The running one as its own stop ends it; the waiting ones leave the queue in one pass,
// each folder's rows told once and the queue kept once.
void TranscodeRequests::stopAll()
{
    if (const Job running = runner->runningTranscode()) {
        if (belongsToTree(running->params))
            onStopTranscode(running->fileIdx);
        else
            onStopTranscode(running->params.value(TranscodeParam::externalPath).toString());
    }
    const QVector<Job> waiting = runner->takeWaiting(
            [](const FileTask &task) { return task.taskType() == Transcode; });
    QVector<int> items;
    for (const Job &job : waiting) {
        if (!belongsToTree(job->params)) {
            ExternalTranscode &file
                    = externalTranscodes[job->params.value(TranscodeParam::externalPath)
                                                 .toString()];
            file.active = false;
            emit videoFileTranscodingStopped(file.uuid);
        } else if (tree.isIndexed(job->fileIdx)) {
            tree.record(job->fileIdx).setTranscodeProgress(kNoTranscode);
            items << job->fileIdx;
        }
    }
    notifyRowsOf(items);
    queueChanged();
    steps.whenIdle();
}

bool TranscodeRequests::isTranscodingVideoInFolder(int parent)
{
    if (parent == -1)
        return std::any_of(tree.itemRecords().cbegin(), tree.itemRecords().cend(),
                           isTranscodingRecord);
    if (const ChildListPtr children = tree.childListOf(parent))
        return std::any_of(children->cbegin(), children->cend(),
                           [this](int child) { return isTranscodingRecord(tree.record(child)); });
    return isTranscodingRecord(tree.record(parent));
}
