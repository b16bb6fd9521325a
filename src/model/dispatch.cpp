#include "model/foldermodel.h"

#include <QCoreApplication>

bool FolderModel::event(QEvent *e)
{
    if (auto *step = dynamic_cast<FileTask *>(e)) {
        if (isJobRequest(step->taskType()))
            enqueue(*step);
        else
            runControlStep(step->taskType());
        repeatWaitingLoadEndChecks();
    }
    return QAbstractItemModel::event(e);
}

void FolderModel::runControlStep(FileTaskType type)
{
    switch (type) {
    case WalkStep:
        walkStep(kMaxWalkDepth);
        break;
    case BuildStep:
        buildStep();
        break;
    case RunNextTask:
        runNextTask();
        break;
    case LoadEndCheck:
        checkLoadEnd();
        break;
    case PictureReadChunk:
        readPictureChunk();
        break;
    case RebuildFromStore:
        rebuildFromStore();
        break;
    default:
        break;
    }
}

bool FolderModel::isJobRequest(FileTaskType type)
{
    switch (type) {
    case VideoThumbnail:
    case VideoProbe:
    case PictureLoad:
    case AudioProbe:
    case OfficeCapture:
    case Transcode:
        return true;
    default:
        return false;
    }
}

void FolderModel::post(FileTaskType type, int id, const QModelIndex &index)
{
    if (isJobRequest(type))
        ++postedJobRequests;
    QCoreApplication::postEvent(this, new FileTask(type, id, index));
}

// Jobs run one at a time in the order their requests arrived; a request that finds the
// queue idle starts it.
void FolderModel::enqueue(const FileTask &request)
{
    --postedJobRequests;
    if (taskQueue.empty())
        post(RunNextTask, request.fileIdx, request.index);
    auto task
            = QSharedPointer<FileTask>::create(request.taskType(), request.fileIdx, request.index);
    task->params = request.params;
    taskQueue.push_back(task);
}

QSharedPointer<FileTask> FolderModel::takeHeadTask()
{
    QSharedPointer<FileTask> head = taskQueue.front();
    taskQueue.pop_front();
    if (runningTask == head)
        runningTask.reset();
    return head;
}

void FolderModel::advanceAfterJob()
{
    if (!buildQueue.empty())
        post(BuildStep);
    if (!taskQueue.empty())
        post(RunNextTask);
}

bool FolderModel::isBusy() const
{
    return !walkStack.empty() || !buildQueue.empty() || !taskQueue.empty() || postedJobRequests > 0
           || !restoreGroups.isEmpty();
}

// A load has ended when nothing is left to build and no job is left to run. A check that
// finds work waits for the queues to drain instead of posting itself again at once, which
// would keep the GUI thread spinning for as long as a tool runs.
void FolderModel::checkLoadEnd()
{
    if (buildQueue.empty() && taskQueue.empty())
        emit loadFolderEnded();
    else
        ++waitingLoadEndChecks;
}

// Runs after every step, when the steps that it posted are already queued behind it: a
// check posted now sees the jobs that this step asked for.
void FolderModel::repeatWaitingLoadEndChecks()
{
    if (waitingLoadEndChecks == 0 || !buildQueue.empty() || !taskQueue.empty())
        return;
    for (; waitingLoadEndChecks > 0; --waitingLoadEndChecks)
        post(LoadEndCheck);
}
