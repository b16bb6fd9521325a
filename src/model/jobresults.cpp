#include "model/foldermodel.h"
#include "model/itemfields.h"
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
void FolderModel::onThumbnailStarted(int id, const QString &thumbnail)
{
    records[id].insert(ItemField::img, thumbnail);
    unsavedPictures.insert(id);
}

// A presentation stands for its slides with fixed values, whatever the capture makes of it.
void FolderModel::onSlideCaptureStarted(int id, const QString &slideDirectory)
{
    records[id].insert(ItemField::info, presentationInfo(slideDirectory));
    unsavedPictures.insert(id);
}

// Only a tool that exited by itself is believed: a crash after a partial report, or a kill
// after the time limit, leaves the item invalid. A presentation is valid once it has slides.
void FolderModel::onToolJobFinished(const FileTask &job, const QString &report, bool ranToEnd)
{
    const int id = job.fileIdx;
    switch (job.taskType()) {
    case VideoProbe:
    case AudioProbe: {
        const bool valid = ranToEnd && parseProbeReport(id, report);
        QVariantMap &record = records[id];
        record.insert(ItemField::isValid, valid);
        if (valid)
            record.insert(ItemField::asyncCompleted, true);
        if (job.taskType() == AudioProbe) {
            QVariantMap info = record.value(ItemField::info).toMap();
            info.insert(InfoField::frameWidth, kAudioFrameSide);
            info.insert(InfoField::frameHeight, kAudioFrameSide);
            record.insert(ItemField::info, info);
        }
        buildQueue.push_back({id, Save});
        break;
    }
    case OfficeCapture: {
        QVariantMap &record = records[id];
        const QString slides
                = record.value(ItemField::info).toMap().value(InfoField::pptPath).toString();
        record.insert(ItemField::isValid, ranToEnd && hasSlides(slides));
        record.insert(ItemField::asyncCompleted, true);
        buildQueue.push_back({id, Save});
        break;
    }
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

// A picture shown before it was read keeps its own file as its image; others get a thumbnail.
void FolderModel::onPictureRead(const FileTask &job, const DecodedPicture &picture)
{
    const int id = job.fileIdx;
    QVariantMap &record = records[id];
    record.insert(ItemField::isValid, picture.isValid);
    if (!record.contains(ItemField::img) && picture.isValid)
        record.insert(ItemField::img, savePictureThumbnail(picture.thumbnail));
    record.insert(ItemField::type, ItemType::picture);
    record.insert(ItemField::info, pictureInfo(picture.size.width(), picture.size.height()));
    record.insert(ItemField::asyncCompleted, true);
    buildQueue.push_back({id, Save});
    const QModelIndex shown = record.value(ItemField::modelIdx).toModelIndex();
    notify(shown);
    if (job.index != shown)
        notify(job.index);
}

// The capture runtime ships with the host; only a missing ffmpeg is the operator's to mend.
void FolderModel::onToolNotStarted(const QString &program)
{
    if (program == kFfmpeg)
        reportOnce(program,
                   tr("ffmpeg could not be started, so videos and sounds show without their "
                      "length and size. Install ffmpeg and refresh the page."));
}

void FolderModel::reportOnce(const QString &problem, const QString &text)
{
    if (!problemsReported.contains(problem)) {
        problemsReported.insert(problem);
        emit problemReported(text);
    }
}
