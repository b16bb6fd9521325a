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

// Reports belong to the transcode at the head of the queue once it has started; one that
// arrives later (sent before a stop, say) must not end a probe that took its place.
bool FolderModel::headIsRunningTranscode() const
{
    return !taskQueue.empty() && taskQueue.front() == runningTask
           && runningTask->taskType() == Transcode;
}

void FolderModel::onTranscodeRunning(const QString &, float progress)
{
    if (!headIsRunningTranscode())
        return;
    const QSharedPointer<FileTask> task = taskQueue.front();
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
        buildQueue.push_back({outputId, Add});
        records[outputId].insert(ItemField::isTranscoded, true);
        post(BuildStep);
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
    if (!headIsRunningTranscode())
        return;
    const QSharedPointer<FileTask> task = taskQueue.front();
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
    takeHeadTask();
    transcoding = false;
    if (!taskQueue.empty())
        post(RunNextTask);
}

// The output row goes directly above its source, in the source's folder.
int FolderModel::insertTranscodedItem(int sourceId, const QString &outputPath)
{
    int rootOrdinal = 0;
    const QString source = splitItemKey(keyOf(sourceId), &rootOrdinal);
    const int folderId = idOfKey(itemKey(QFileInfo(source).absolutePath(), rootOrdinal));
    const ChildListPtr siblings = childListOf(folderId);
    if (!idToKey.contains(sourceId) || !siblings)
        return -1;
    const QModelIndex folder = indexOfId(folderId);
    const int outputId = fileIndex(itemKey(outputPath, rootOrdinal));
    const int listed = siblings->indexOf(outputId);
    if (listed >= 0) { // an earlier output that was never shown, so never removed
        beginRemoveRows(folder, listed, listed);
        siblings->remove(listed);
        endRemoveRows();
    }
    const int sourceRow = siblings->indexOf(sourceId);
    const int row = sourceRow >= 0 ? sourceRow : siblings->size();
    beginInsertRows(folder, row, row);
    siblings->insert(row, outputId);
    endInsertRows();
    return outputId;
}

QVector<QSharedPointer<FileTask>> FolderModel::removeTasks(
        const std::function<bool(const FileTask &)> &matches)
{
    QVector<QSharedPointer<FileTask>> removed;
    std::deque<QSharedPointer<FileTask>> kept;
    for (const QSharedPointer<FileTask> &task : taskQueue)
        (matches(*task) ? removed.append(task) : kept.push_back(task));
    taskQueue.swap(kept);
    if (runningTask && removed.contains(runningTask))
        runningTask.reset();
    return removed;
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

    // The item's transcode at the head goes alone; otherwise every queued job of the item
    // goes. A probe of the item that is running is left to finish: its tool is still busy.
    const bool headIsItsTranscode = !taskQueue.empty() && taskQueue.front()->fileIdx == idx
                                    && taskQueue.front()->taskType() == Transcode;
    const QSharedPointer<FileTask> head = taskQueue.empty() ? nullptr : taskQueue.front();
    removeTasks([&](const FileTask &task) {
        if (headIsItsTranscode)
            return &task == head.get();
        return task.fileIdx == idx && (&task != runningTask.get());
    });
    if (!taskQueue.empty())
        post(RunNextTask);
}

void FolderModel::onStopTranscode(const QString &path)
{
    const QVector<QSharedPointer<FileTask>> stopped = removeTasks([&](const FileTask &task) {
        return task.params.value(TranscodeParam::externalPath).toString() == path
               && task.params.contains(TranscodeParam::externalPath);
    });
    for (const QSharedPointer<FileTask> &task : stopped) {
        const QString uuid = task->params.value(TranscodeParam::externalUuid).toString();
        if (uuid == runningTranscodeUuid) {
            transcoder->stopOne(uuid);
            transcoding = false;
        }
        emit videoFileTranscodingStopped(uuid);
        externalTranscodes[path].active = false;
    }
    if (!taskQueue.empty())
        post(RunNextTask);
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
