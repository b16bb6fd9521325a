#include "model/buildqueue.h"
#include "model/diskfollower.h"
#include "model/foldermodel.h"
#include "model/folderwalk.h"
#include "model/rootrelink.h"
#include "probe/itemprobes.h"
#include "store/storerestore.h"
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
        walk->walkStep();
        break;
    case BuildStep:
        build->buildStep();
        break;
    case RebuildFromStore:
        restore->rebuildStep();
        break;
    case LoadEndCheck:
        checkLoadEnd();
        break;
    default:
        break;
    }
}

void FolderModel::post(FileTaskType step)
{
    QCoreApplication::postEvent(this, new FileTask(step));
}

void FolderModel::afterJob()
{
    build->scheduleBuild();
    whenIdle();
}

bool FolderModel::isBusy() const
{
    return walk->isWalking() || walk->hasFoldersWaiting() || !build->isEmpty()
           || !probes->runner()->isIdle() || restore->hasWorkWaiting() || restore->isRestoring()
           || loadsUnderway > 0 || follower->isFollowingDisk() || relink->isBusy();
}

bool FolderModel::isRestoring() const
{
    return restore->isRestoring();
}

bool FolderModel::isFilling(int rootId) const
{
    return restore->isRestoring() || walk->isWalkingRoot(rootId) || relink->isMoving(rootId);
}

// A load has ended when nothing is left to build and no job is left to run. A check that
// finds work waits for the queues to drain instead of posting itself again at once, which
// would keep the GUI thread spinning for as long as a tool runs.
void FolderModel::checkLoadEnd()
{
    if (build->isEmpty() && probes->runner()->isIdle()) {
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
    restore->startIfDue();
    if (!build->isEmpty() || !probes->runner()->isIdle())
        return;
    for (; waitingLoadEndChecks > 0; --waitingLoadEndChecks)
        post(LoadEndCheck);
    store->commit();
}

void FolderModel::reportOnce(const QString &problem, const QString &text)
{
    if (!problemsReported.contains(problem)) {
        problemsReported.insert(problem);
        emit problemReported(text);
    }
}
