#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "probe/reportparser.h"
#include "probe/tools.h"
#include "transcode/transcodeparams.h"

#include <QProcess>
#include <QTimer>

namespace {

constexpr int kAudioFrameSide = 400; // the square a sound takes as a layer

} // namespace

void FolderModel::runNextTask()
{
    if (taskQueue.empty() || taskQueue.front() == runningTask)
        return;
    const QSharedPointer<FileTask> head = taskQueue.front();
    if (belongsToTree(head->params) && !idToKey.contains(head->fileIdx)) {
        taskQueue.pop_front(); // removed while it waited
        if (!taskQueue.empty())
            post(RunNextTask);
        return;
    }
    runningTask = head;
    switch (head->taskType()) {
    case VideoThumbnail:
        thumbnailRetried = false;
        startThumbnail(*head, 1);
        break;
    case VideoProbe:
    case AudioProbe:
        startProbe(*head);
        break;
    case PictureLoad:
        startPictureLoad(*head);
        break;
    case OfficeCapture:
        startSlideCapture(*head);
        break;
    case Transcode:
        startTranscodeJob(*head);
        break;
    default:
        break;
    }
}

// A program and its arguments, never one command line: paths reach the tool unchanged.
void FolderModel::runTool(const QString &program, const QStringList &arguments, int timeLimitMs)
{
    process->start(program, arguments, QIODevice::ReadWrite);
    toolTimer->start(timeLimitMs);
}

void FolderModel::startProbe(const FileTask &task)
{
    runTool(kFfmpeg, {QStringLiteral("-i"), pathOf(task.fileIdx)}, toolTimeLimitMs);
}

// Every way a run ends arrives here: a normal exit, a crash, a kill after the time limit,
// or a tool that could not start. The report is whatever the tool wrote.
void FolderModel::onProcessFinished(int)
{
    toolTimer->stop();
    if (taskQueue.empty() || taskQueue.front() != runningTask)
        return; // nothing started by this model, or its item's transcode was stopped
    const QString report = QString::fromLocal8Bit(process->readAllStandardError());
    if (retryThumbnailAtFirstFrame(*runningTask))
        return;
    const QSharedPointer<FileTask> task = takeHeadTask();
    if (idToKey.contains(task->fileIdx))
        completeToolJob(*task, report);
    advanceAfterJob();
}

void FolderModel::completeToolJob(const FileTask &task, const QString &report)
{
    const int id = task.fileIdx;
    switch (task.taskType()) {
    case VideoProbe:
    case AudioProbe: {
        const bool valid = parseProbeReport(id, report);
        QVariantMap &record = records[id];
        record.insert(ItemField::isValid, valid);
        if (valid)
            record.insert(ItemField::asyncCompleted, true);
        if (task.taskType() == AudioProbe) {
            QVariantMap info = record.value(ItemField::info).toMap();
            info.insert(InfoField::frameWidth, kAudioFrameSide);
            info.insert(InfoField::frameHeight, kAudioFrameSide);
            record.insert(ItemField::info, info);
        }
        buildQueue.push_back({id, Save});
        break;
    }
    case OfficeCapture:
        records[id].insert(ItemField::asyncCompleted, true);
        buildQueue.push_back({id, Save});
        break;
    default:
        break;
    }
    notify(records.value(id).value(ItemField::modelIdx).toModelIndex());
}

bool FolderModel::parseProbeReport(int id, const QString &report)
{
    const std::optional<QVariantMap> info = ::parseProbeReport(report);
    if (info)
        records[id].insert(ItemField::info, *info);
    return info.has_value();
}
