#include "model/itemfields.h"
#include "model/itemprobes.h"
#include "model/itemtree.h"
#include "model/modelhooks.h"
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
    tree.record(id).insert(ItemField::img, thumbnail);
    tree.unsavedPictures().insert(id);
}

// A presentation stands for its slides with fixed values, whatever the capture makes of it.
void ItemProbes::onSlideCaptureStarted(int id, const QString &slideDirectory)
{
    tree.record(id).insert(ItemField::info, presentationInfo(slideDirectory));
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
        QVariantMap &record = tree.record(id);
        record.insert(ItemField::isValid, valid);
        if (valid)
            record.insert(ItemField::asyncCompleted, true);
        if (job.taskType() == AudioProbe) {
            QVariantMap info = record.value(ItemField::info).toMap();
            info.insert(InfoField::frameWidth, kAudioFrameSide);
            info.insert(InfoField::frameHeight, kAudioFrameSide);
            record.insert(ItemField::info, info);
        }
        emit itemLearnt(id);
        break;
    }
    case OfficeCapture: {
        QVariantMap &record = tree.record(id);
        const QString slides
                = record.value(ItemField::info).toMap().value(InfoField::pptPath).toString();
        record.insert(ItemField::isValid, ranToEnd && hasSlides(slides));
        record.insert(ItemField::asyncCompleted, true);
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
        tree.record(id).insert(ItemField::info, *info);
    return info.has_value();
}

// A picture shown before it was read keeps its own file as its image; others get a thumbnail.
void ItemProbes::onPictureRead(const FileTask &job, const DecodedPicture &picture)
{
    const int id = job.fileIdx;
    QVariantMap &record = tree.record(id);
    record.insert(ItemField::isValid, picture.isValid);
    if (!record.contains(ItemField::img) && picture.isValid)
        record.insert(ItemField::img, savePictureThumbnail(picture.thumbnail));
    record.insert(ItemField::type, ItemType::picture);
    record.insert(ItemField::info, pictureInfo(picture.size.width(), picture.size.height()));
    record.insert(ItemField::asyncCompleted, true);
    emit itemLearnt(id);
    const QModelIndex shown = record.value(ItemField::modelIdx).toModelIndex();
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
    edits.notify(tree.itemRecords().value(id).value(ItemField::modelIdx).toModelIndex());
}
