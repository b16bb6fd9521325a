#include "model/foldermodel.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QCoreApplication>

bool FolderModel::event(QEvent *e)
{
    const int type = e->type();
    if (type >= WalkStep && type <= LoadEndCheck) {
        runControlStep(FileTaskType(type));
        whenIdle();
    }
    return QAbstractItemModel::event(e);
}

void FolderModel::runControlStep(FileTaskType type)
{
    switch (type) {
    case WalkStep:
        walkStep();
        break;
    case BuildStep:
        buildStep();
        break;
    case RebuildFromStore:
        rebuildStep();
        break;
    case LoadEndCheck:
        checkLoadEnd();
        break;
    default:
        break;
    }
}

void FolderModel::post(FileTaskType type)
{
    QCoreApplication::postEvent(this, new FileTask(type));
}

// One build chain at a time, however many jobs ended or entries arrived meanwhile.
void FolderModel::scheduleBuild()
{
    if (buildPosted || buildQueue.empty())
        return;
    buildPosted = true;
    post(BuildStep);
}

// An item's probing is asked for once, by whichever comes first: its build or a view
// showing it.
void FolderModel::requestJobs(int id, const QModelIndex &index, const QVector<FileTaskType> &types)
{
    nodes[id].jobsAsked = true;
    for (FileTaskType type : types) {
        runner->enqueue(Job::create(type, id, index));
        progress->onJobQueued();
    }
}

// Every item the tree gains is built once, and counts for the load's progress.
void FolderModel::queueAdd(int id)
{
    buildQueue.push_back({id, Add});
    progress->onItemFound();
}

void FolderModel::afterJob()
{
    scheduleBuild();
    whenIdle();
}

bool FolderModel::isBusy() const
{
    return isWalking() || !pendingFolders.empty() || !pendingReAdd.isEmpty() || !buildQueue.empty()
           || !runner->isIdle() || restoreAsked || isRestoring() || !afterRestore.empty()
           || loadsUnderway > 0;
}

// A load has ended when nothing is left to build and no job is left to run. A check that
// finds work waits for the queues to drain instead of posting itself again at once, which
// would keep the GUI thread spinning for as long as a tool runs.
void FolderModel::checkLoadEnd()
{
    if (buildQueue.empty() && runner->isIdle()) {
        store->commit();
        loadsUnderway = qMax(0, loadsUnderway - 1);
        emit loadFolderEnded();
    } else {
        ++waitingLoadEndChecks;
    }
}

// Runs after every step and job, when what they asked for is already queued: a check posted
// now sees it. What the steps wrote is made durable as soon as the work is done, and a
// restore that waited for a load starts once all it found is stored.
void FolderModel::whenIdle()
{
    if (restoreAsked && !isWalking() && buildQueue.empty() && !isRestoring())
        startRestore();
    if (!buildQueue.empty() || !runner->isIdle())
        return;
    for (; waitingLoadEndChecks > 0; --waitingLoadEndChecks)
        post(LoadEndCheck);
    store->commit();
}
