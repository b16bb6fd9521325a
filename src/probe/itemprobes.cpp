#include "probe/itemprobes.h"

#include "model/itemfields.h"
#include "model/itemtree.h"
#include "model/loadprogress.h"
#include "model/mediatypes.h"
#include "model/modelhooks.h"
#include "probe/picturedirectory.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QFileInfo>

ItemProbes::ItemProbes(ItemTree &tree, TreeEdits &edits, ModelSteps &steps,
                       Ui_Proc_MediaInfo_Desktop *store, LoadProgress *progress, int parallelJobs,
                       QObject *parent)
    : QObject(parent)
    , tree(tree)
    , edits(edits)
    , steps(steps)
    , store(store)
    , progress(progress)
    , jobs(new ProbeRunner([&tree](int id) { return tree.pathOf(id); }, parallelJobs, this))
{
    connect(jobs, &ProbeRunner::thumbnailStarted, this, &ItemProbes::onThumbnailStarted);
    connect(jobs, &ProbeRunner::slideCaptureStarted, this, &ItemProbes::onSlideCaptureStarted);
    connect(jobs, &ProbeRunner::toolJobFinished, this, &ItemProbes::onToolJobFinished);
    connect(jobs, &ProbeRunner::pictureRead, this, &ItemProbes::onPictureRead);
    connect(jobs, &ProbeRunner::toolNotStarted, this, &ItemProbes::onToolNotStarted);
}

void ItemProbes::requestJobs(int id, const QModelIndex &index, const QVector<FileTaskType> &types)
{
    tree.nodeOf(id).jobsAsked = true;
    for (FileTaskType type : types) {
        jobs->enqueue(Job::create(type, id, index));
        progress->onJobQueued();
    }
}

void ItemProbes::typeAndProbe(int id)
{
    const QString path = tree.pathOf(id);
    // A type once learnt from the file stays: a video file may hold only sound.
    const auto typeAs = [&](const QString &type, const QVector<FileTaskType> &jobs) {
        ItemRecord &record = tree.record(id);
        if (!record.has(ItemRecord::Type))
            record.setType(type);
        if (!tree.node(id).jobsAsked)
            requestJobs(id, {}, jobs);
    };
    if (isVideo(path))
        typeAs(ItemType::video, {VideoThumbnail, VideoProbe});
    else if (isAudio(path))
        typeAs(ItemType::audio, {AudioProbe});
    else if (isOffice(path))
        typeAs(ItemType::office, {OfficeCapture});
    else if (isPicture(path))
        typeAs(ItemType::picture, {PictureLoad});
}

// The store forgets the picture at once, so that a start before the new one is made makes it
// again.
void ItemProbes::probeAgain(int id)
{
    ItemRecord &record = tree.record(id);
    removeMadePicture(record.img().toString());
    removeMadePicture(record.info().pptPath());
    record.drop(ItemRecord::Img);
    record.drop(ItemRecord::Info);
    record.drop(ItemRecord::Type);
    record.drop(ItemRecord::Reason);
    record.setAsyncCompleted(false);
    record.setIsValid(true);
    const QModelIndex shown = edits.shownIndexOf(id, record);
    tree.unsavedPictures().remove(id);
    Module_Mediainfo forgotten;
    forgotten.uuid = tree.uuidOf(id);
    store->updateMediaInfoFields(forgotten, {QStringLiteral("img")});
    tree.nodeOf(id).jobsAsked = false;
    typeAndProbe(id);
    edits.notify(shown);
}

// What was made of the file, such as its thumbnail, stays; a presentation is captured anew.
void ItemProbes::probeIfMissed(int id)
{
    const auto record = tree.itemRecords().constFind(id);
    const bool isInvalid = record != tree.itemRecords().constEnd()
                           && record->has(ItemRecord::IsValid) && !record->isValid();
    if (!isInvalid || jobs->hasJobsFor(id))
        return;
    const QString type = record->type();
    const bool hasThumbnail = QFileInfo::exists(record->img().toString());
    if (type == ItemType::video)
        requestJobs(id, {},
                    hasThumbnail ? QVector{VideoProbe} : QVector{VideoThumbnail, VideoProbe});
    else if (type == ItemType::audio)
        requestJobs(id, {}, {AudioProbe});
    else if (type == ItemType::picture)
        requestJobs(id, {}, {PictureLoad});
    else
        probeAgain(id);
}
