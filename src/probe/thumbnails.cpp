#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "probe/picturedecoder.h"
#include "probe/picturedirectory.h"
#include "probe/stillinfo.h"
#include "probe/tools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

// The frame at seekSeconds, kThumbnailWidth pixels wide. The item names its thumbnail at once.
void FolderModel::startThumbnail(const FileTask &task, int seekSeconds)
{
    const QString out = newThumbnailPath();
    runTool(kFfmpeg,
            {QStringLiteral("-ss"), QString::number(seekSeconds), QStringLiteral("-i"),
             pathOf(task.fileIdx), QStringLiteral("-y"), QStringLiteral("-vf"),
             QStringLiteral("scale=%1:-1").arg(kThumbnailWidth), QStringLiteral("-vframes"),
             QStringLiteral("1"), out},
            toolTimeLimitMs);
    records[task.fileIdx].insert(ItemField::img, out);
}

// A video no longer than the seek point leaves no frame at 1 second; its first frame
// serves instead. Reports whether the job goes on with that second run.
bool FolderModel::retryThumbnailAtFirstFrame(const FileTask &task)
{
    if (task.taskType() != VideoThumbnail || thumbnailRetried || !idToKey.contains(task.fileIdx))
        return false;
    const QString out = records.value(task.fileIdx).value(ItemField::img).toString();
    if (QFileInfo(out).size() > 0)
        return false;
    QFile::remove(out);
    thumbnailRetried = true;
    startThumbnail(task, 0);
    return true;
}

void FolderModel::startPictureLoad(const FileTask &task)
{
    pictureBytes.clear();
    pictureFile->close();
    pictureFile->setFileName(pathOf(task.fileIdx));
    pictureFile->open(QIODevice::ReadOnly);
    post(PictureReadChunk);
}

// One slice per step; the last one ends the picture job.
void FolderModel::readPictureChunk()
{
    if (taskQueue.empty() || taskQueue.front() != runningTask
        || runningTask->taskType() != PictureLoad)
        return;
    if (pictureFile->isOpen()) // a file that cannot be opened reads as empty
        pictureBytes += pictureFile->read(kPictureChunkBytes);
    if (!pictureFile->atEnd()) {
        post(PictureReadChunk);
        return;
    }
    pictureFile->close();
    const QSharedPointer<FileTask> task = takeHeadTask();
    if (idToKey.contains(task->fileIdx)) // a removed item's picture is not worth a thumbnail
        finishPictureLoad(*task);
    pictureBytes.clear();
    advanceAfterJob();
}

void FolderModel::finishPictureLoad(const FileTask &task)
{
    const int id = task.fileIdx;
    const DecodedPicture picture = decodePicture(pictureBytes);
    QVariantMap &record = records[id];
    record.insert(ItemField::isValid, picture.isValid);
    if (!record.contains(ItemField::img) && picture.isValid) {
        const QString out = newThumbnailPath();
        picture.thumbnail.save(out);
        record.insert(ItemField::img, out);
    }
    record.insert(ItemField::type, ItemType::picture);
    record.insert(ItemField::info, pictureInfo(picture.size.width(), picture.size.height()));
    record.insert(ItemField::asyncCompleted, true);
    buildQueue.push_back({id, Save});
    const QModelIndex shown = record.value(ItemField::modelIdx).toModelIndex();
    notify(shown);
    if (task.index != shown)
        notify(task.index);
}

// The capture tool writes images of the slides into a directory of their own; the item
// stands for the presentation with fixed values whatever its slides.
void FolderModel::startSlideCapture(const FileTask &task)
{
    const QString dir = pictureDirectory() + freshPictureName();
    QDir().mkpath(dir);
    const QString installDir = QCoreApplication::applicationDirPath();
    runTool(QDir::toNativeSeparators(captureRuntimePath(installDir)),
            {QStringLiteral("-jar"), QDir::toNativeSeparators(captureArchivePath(installDir)),
             QDir::toNativeSeparators(pathOf(task.fileIdx)),
             QDir::toNativeSeparators(dir + QLatin1Char('/'))},
            captureTimeLimitMs);
    records[task.fileIdx].insert(ItemField::info, presentationInfo(dir));
}
