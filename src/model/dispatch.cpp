#include "model/foldermodel.h"

#include <QCoreApplication>

bool FolderModel::event(QEvent *e)
{
    auto *step = dynamic_cast<FileTask *>(e);
    if (step) {
        switch (step->taskType()) {
        case VideoThumbnail:
        case VideoProbe:
        case PictureLoad:
        case AudioProbe:
        case OfficeCapture:
        case Transcode:
            enqueue(*step);
            break;
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
            break;
        }
        repeatWaitingLoadEndChecks();
    }
    return QAbstractItemModel::event(e);
}

void FolderModel::post(FileTaskType type, int id, const QModelIndex &index)
{
    QCoreApplication::postEvent(this, new FileTask(type, id, index));
}

// Jobs run one at a time in the order their requests arrived; a request that finds the
// queue idle starts it.
void FolderModel::enqueue(const FileTask &request)
{
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
