#pragma once

#include "model/filetask.h"
#include "model/itemrecord.h"
#include "probe/proberunner.h"

#include <QObject>
#include <QVector>

class ItemRecord;
class ItemTree;
class LoadProgress;
class ModelSteps;
class TreeEdits;
class Ui_Proc_MediaInfo_Desktop;

// Asks the runner for the jobs that learn about items, and writes what they learnt into the
// items' records. Each item's probing is asked for once, by whichever comes first: its build
// or a view showing it.
class ItemProbes : public QObject
{
    Q_OBJECT
public:
    ItemProbes(ItemTree &tree, TreeEdits &edits, ModelSteps &steps,
               Ui_Proc_MediaInfo_Desktop *store, LoadProgress *progress, int parallelJobs,
               QObject *parent);

    ProbeRunner *runner() const { return jobs; }
    void requestJobs(int id, const QModelIndex &index, const QVector<FileTaskType> &types);
    // Types the item by its name and asks for its jobs, unless they were asked for.
    void typeAndProbe(int id);
    // What was learnt of the file goes, with the pictures made from it, and it is probed anew.
    void probeAgain(int id);
    // A file that was away when it was probed, as under a root that has moved since, is
    // probed where it is now.
    void probeIfMissed(int id);
    // A picture that gave nothing to show when it was read, and has not changed since, is
    // invalid again without a read, for the reason a read would give.
    void restoreUnreadable(int id);

signals:
    // The record holds what a job learnt, which the store is to be told.
    void itemLearnt(int id);

private:
    void onThumbnailStarted(int id, const QString &thumbnail);
    void onSlideCaptureStarted(int id, const QString &slideDirectory);
    void onToolJobFinished(const FileTask &job, const QString &report, bool ranToEnd);
    void onPictureRead(const FileTask &job, const DecodedPicture &picture);
    void onToolNotStarted(const QString &program);
    // Whether the picture's type has no reader here; the operator hears it once.
    bool reportIfUnreadable(const QString &path);
    // Why a picture gave nothing to show: no reader for its type here, or bytes that do not
    // decode.
    ItemRecord::Flaw unreadPictureFlaw(int id);
    void learnFromProbe(const FileTask &job, const QString &report, bool ranToEnd);
    void becomeSound(ItemRecord &record);
    void notify(int id);
    void sharePicture(int id, const QString &picture);

    ItemTree &tree;
    TreeEdits &edits;
    ModelSteps &steps;
    Ui_Proc_MediaInfo_Desktop *store;
    LoadProgress *progress;
    ProbeRunner *jobs;
};
