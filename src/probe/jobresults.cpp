#include "model/itemfields.h"
#include "model/itemtree.h"
#include "model/modelhooks.h"
#include "probe/itemprobes.h"
#include "probe/picturedirectory.h"
#include "probe/reportparser.h"
#include "probe/stillinfo.h"
#include "probe/tools.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace {

constexpr int kAudioFrameSide = 400; // the square a sound takes as a layer
const QString kUnreadablePictures = QStringLiteral("unreadable pictures");

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
    case AudioProbe:
        learnFromProbe(job, report, ranToEnd);
        emit itemLearnt(id);
        break;
    case OfficeCapture: {
        ItemRecord &record = tree.record(id);
        const bool valid = ranToEnd && hasSlides(record.info().pptPath());
        record.setIsValid(valid);
        record.setAsyncCompleted(true);
        if (valid)
            record.drop(ItemRecord::Reason);
        else
            record.setReason(ranToEnd ? ItemRecord::Flaw::NoSlides : ItemRecord::Flaw::ToolFailed);
        emit itemLearnt(id);
        if (valid)
            sharePicture(id, record.info().pptPath());
        break;
    }
    case VideoThumbnail:
        if (ranToEnd)
            sharePicture(id, tree.record(id).img().toString());
        break;
    default:
        break;
    }
    notify(id);
}

// A store that consoles share keeps the picture too, so that the others need not make it.
void ItemProbes::sharePicture(int id, const QString &picture)
{
    if (!store->keepsPictures())
        return;
    const QVector<StoredPictureFile> files = readMadePicture(picture);
    if (!files.isEmpty())
        store->storePicture(tree.uuidOf(id), files);
}

// The report decides what the item is, not only its values: a file named as a video that
// holds nothing but sound is a sound. Media with nothing to show, or a picture without a
// size, would become a layer of no size: such an item is invalid.
void ItemProbes::learnFromProbe(const FileTask &job, const QString &report, bool ranToEnd)
{
    ItemRecord &record = tree.record(job.fileIdx);
    const std::optional<QVariantMap> values
            = ranToEnd ? parseProbeReport(report) : std::optional<QVariantMap>();
    const MediaStreams streams = values ? mediaStreams(report) : MediaStreams{};
    if (values)
        record.setInfo(ItemInfo::fromMap(*values));
    const bool isSound = job.taskType() == AudioProbe || (!streams.picture && streams.sound);
    ItemInfo info = record.info();
    const bool hasSize = info.frameWidth() > 0 && info.frameHeight() > 0;
    const bool valid = (streams.picture || streams.sound) && (isSound || hasSize);
    record.setIsValid(valid);
    if (valid) {
        record.setAsyncCompleted(true);
        record.drop(ItemRecord::Reason);
    } else {
        using Flaw = ItemRecord::Flaw;
        record.setReason(!ranToEnd                             ? Flaw::ToolFailed
                         : !values                             ? Flaw::Undecodable
                         : !(streams.picture || streams.sound) ? Flaw::NothingToShow
                                                               : Flaw::NoPictureSize);
    }
    if (!isSound)
        return;
    if (record.type() != ItemType::audio)
        becomeSound(record);
    info.setFrameSize(kAudioFrameSide, kAudioFrameSide);
    record.setInfo(info);
}

// A sound shows the music picture: the thumbnail named for it, which its run could not
// make, goes.
void ItemProbes::becomeSound(ItemRecord &record)
{
    record.setType(ItemType::audio);
    removeMadePicture(record.img().toString());
    record.drop(ItemRecord::Img);
}

// A picture shown before it was read keeps its own file as its image; others get a thumbnail.
void ItemProbes::onPictureRead(const FileTask &job, const DecodedPicture &picture)
{
    const int id = job.fileIdx;
    ItemRecord &record = tree.record(id);
    record.setIsValid(picture.isValid);
    if (picture.isValid)
        record.drop(ItemRecord::Reason);
    else
        record.setReason(unreadPictureFlaw(id));
    if (!record.has(ItemRecord::Img) && picture.isValid) {
        record.setImg(savePictureThumbnail(picture.thumbnail));
        sharePicture(id, record.img().toString());
    }
    record.setType(ItemType::picture);
    record.setInfo(ItemInfo::fromMap(pictureInfo(picture.size.width(), picture.size.height())));
    record.setAsyncCompleted(true);
    emit itemLearnt(id);
    const QModelIndex shown = edits.shownIndexOf(id, record);
    edits.notify(shown);
    if (job.index != shown)
        edits.notify(job.index);
}

void ItemProbes::restoreUnreadable(int id)
{
    ItemRecord &record = tree.record(id);
    record.setIsValid(false);
    record.setReason(unreadPictureFlaw(id));
    record.setAsyncCompleted(true);
    requestJobs(id, {}, {});
}

ItemRecord::Flaw ItemProbes::unreadPictureFlaw(int id)
{
    return reportIfUnreadable(tree.pathOf(id)) ? ItemRecord::Flaw::NoReader
                                               : ItemRecord::Flaw::Undecodable;
}

// Qt reads some picture types only through plugins, which an installation may lack: each such
// picture is invalid, and the operator hears once why.
bool ItemProbes::reportIfUnreadable(const QString &path)
{
    static const QList<QByteArray> readable = QImageReader::supportedImageFormats();
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (readable.contains(suffix.toLatin1()))
        return false;
    steps.reportOnce(kUnreadablePictures,
                     tr("Pictures of type %1 cannot be read here. Install Qt's image-format "
                        "plugins and refresh the page.")
                             .arg(suffix.toUpper()));
    return true;
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
    edits.notify(edits.shownIndexOf(id, tree.itemRecords().value(id)));
}
