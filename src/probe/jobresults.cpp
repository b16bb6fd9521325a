#include "model/itemfields.h"
#include "model/itemtree.h"
#include "model/modelhooks.h"
#include "probe/itemprobes.h"
#include "probe/picturedirectory.h"
#include "probe/reportparser.h"
#include "probe/stillinfo.h"
#include "probe/tools.h"

#include <QDir>

namespace {

constexpr int kAudioFrameSide = 400; // the square a sound takes as a layer

bool hasSlides(const QString &slideDirectory)
{
    return !QDir(slideDirectory, QStringLiteral("*.png")).isEmpty(QDir::Files);
}

} // namespace

// The item names its thumbnail as soon as the tool is asked to write it.
void ItemProbes::onThumbnailStarted(int id, const QString &thumbnail)
{
    tree.record(id).setImg(thumbnail);
    tree.unsavedPictures().insert(id);
}

// A presentation stands for its slides with fixed values, whatever the capture makes of it.
void ItemProbes::onSlideCaptureStarted(int id, const QString &slideDirectory)
{
    tree.record(id).setInfo(ItemInfo::fromMap(presentationInfo(slideDirectory)));
    tree.unsavedPictures().insert(id);
}

// Only a tool that exited by itself is believed: a crash after a partial report, or a kill
// after the time limit, leaves the item invalid. A presentation is valid once it has slides.
void ItemProbes::onToolJobFinished(const FileTask &job, const QString &report, bool ranToEnd)
{
    const int id = job.fileIdx;
    switch (job.taskType()) {
    case VideoProbe:
    case AudioProbe: {
        const bool valid = ranToEnd && parseProbeReport(id, report);
        ItemRecord &record = tree.record(id);
        record.setIsValid(valid);
        if (valid)
            record.setAsyncCompleted(true);
        if (job.taskType() == AudioProbe) {
            ItemInfo info = record.info();
            info.setFrameSize(kAudioFrameSide, kAudioFrameSide);
            record.setInfo(info);
        }
        emit itemLearnt(id);
        break;
    }
    case OfficeCapture: {
        ItemRecord &record = tree.record(id);
        record.setIsValid(ranToEnd && hasSlides(record.info().pptPath()));
        record.setAsyncCompleted(true);
        emit itemLearnt(id);
        break;
    }
    default:
        break;
    }
    notify(id);
}

bool ItemProbes::parseProbeReport(int id, const QString &report)
{
    const std::optional<QVariantMap> info = ::parseProbeReport(report);
    if (info)
        tree.record(id).setInfo(ItemInfo::fromMap(*info));
    return info.has_value();
}

// A picture shown before it was read keeps its own file as its image; others get a thumbnail.
void ItemProbes::onPictureRead(const FileTask &job, const DecodedPicture &picture)
{
    const int id = job.fileIdx;
    ItemRecord &record = tree.record(id);
    record.setIsValid(picture.isValid);
    if (!record.has(ItemRecord::Img) && picture.isValid)
        record.setImg(savePictureThumbnail(picture.thumbnail));
    record.setType(ItemType::picture);
    record.setInfo(ItemInfo::fromMap(pictureInfo(picture.size.width(), picture.size.height())));
    record.setAsyncCompleted(true);
    emit itemLearnt(id);
    const QModelIndex shown = record.modelIdx();
    edits.notify(shown);
    if (job.index != shown)
        edits.notify(job.index);
}

// The capture runtime ships with the host; only a missing ffmpeg is the operator's to mend.
void ItemProbes::onToolNotStarted(const QString &program)
{
    if (program == kFfmpeg)
        steps.reportOnce(program,
                         tr("ffmpeg could not be started, so videos and sounds show without "
                            "their length and size. Install ffmpeg and refresh the page."));
}

void ItemProbes::notify(int id)
{
    edits.notify(tree.itemRecords().value(id).modelIdx());
}
