#include "probe/proberunner.h"

#include "probe/picturedirectory.h"
#include "probe/reportparser.h"
#include "probe/toolprocess.h"
#include "probe/tools.h"
#include "transcode/transcodeparams.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

int defaultParallelJobs()
{
    return qMax(1, QThread::idealThreadCount() / 2);
}

int decoderThreadsPerJob(int parallelJobs)
{
    return qMax(1, QThread::idealThreadCount() / qMax(1, parallelJobs));
}

ProbeRunner::ProbeRunner(std::function<QString(int)> pathOf, int parallelJobs, QObject *parent)
    : QObject(parent), pathOf(std::move(pathOf)), lanes(qMax(1, parallelJobs))
{
    for (int i = 0; i < lanes.size(); ++i) {
        Lane &lane = lanes[i];
        lane.tool = new ToolProcess(this);
        lane.picture = new QFile(this);
        connect(lane.tool, &ToolProcess::finished, this,
                [this, i](int, ToolProcess::Ending ending) { onToolFinished(lanes[i], ending); });
    }
}

void ProbeRunner::enqueue(const Job &job)
{
    waiting.push_back(job);
    scheduleStart();
}

bool ProbeRunner::isIdle() const
{
    return waiting.empty() && !transcode && !isAnyLaneBusy();
}

bool ProbeRunner::isAnyLaneBusy() const
{
    return std::any_of(lanes.cbegin(), lanes.cend(), [](const Lane &l) { return l.job; });
}

void ProbeRunner::endTranscode()
{
    if (!transcode)
        return;
    transcode.reset();
    finishJob();
}

QVector<Job> ProbeRunner::takeWaiting(const std::function<bool(const FileTask &)> &matches)
{
    QVector<Job> taken;
    std::deque<Job> kept;
    for (const Job &job : waiting)
        (matches(*job) ? taken.append(job) : kept.push_back(job));
    waiting.swap(kept);
    scheduleStart();
    return taken;
}

bool ProbeRunner::event(QEvent *e)
{
    if (e->type() == QEvent::Type(RunNextTask)) {
        startPosted = false;
        startWaitingJobs();
    } else if (e->type() == QEvent::Type(PictureReadChunk)) {
        readPictureChunk(static_cast<FileTask *>(e)->fileIdx);
    }
    return QObject::event(e);
}

// One start step at a time, however many jobs ended or arrived meanwhile. It goes ahead of
// the model's build and walk steps: a tool that waits behind a step's slice leaves its lane
// idle.
void ProbeRunner::scheduleStart()
{
    if (startPosted || waiting.empty())
        return;
    startPosted = true;
    QCoreApplication::postEvent(this, new FileTask(RunNextTask), Qt::HighEventPriority);
}

// Jobs start in queue order. One whose item still runs an earlier job waits for it while
// others pass; a transcode waits until nothing runs and holds back everything behind it.
void ProbeRunner::startWaitingJobs()
{
    bool dropped = false;
    for (auto next = waiting.begin(); !transcode && next != waiting.end();) {
        Lane *lane = freeLane();
        if (!lane)
            break;
        const Job job = *next;
        const bool isTranscode = job->taskType() == Transcode;
        if (isTranscode && isAnyLaneBusy())
            break;
        if (!isTranscode && isItemBusy(job->fileIdx)) {
            ++next;
            continue;
        }
        next = waiting.erase(next);
        const bool isOfTree = belongsToTree(job->params);
        const QString path = isOfTree ? pathOf(job->fileIdx) : QString();
        if (isOfTree && path.isEmpty()) {
            dropped = true; // its item was removed while it waited
            continue;
        }
        if (isTranscode) {
            transcode = job;
            emit transcodeDue(job);
            break;
        }
        lane->path = path;
        start(*lane, job);
    }
    if (dropped)
        emit jobEnded();
}

bool ProbeRunner::isItemBusy(int id) const
{
    return std::any_of(lanes.cbegin(), lanes.cend(),
                       [id](const Lane &l) { return l.job && l.job->fileIdx == id; });
}

ProbeRunner::Lane *ProbeRunner::freeLane()
{
    for (Lane &lane : lanes) {
        if (!lane.job)
            return &lane;
    }
    return nullptr;
}

void ProbeRunner::start(Lane &lane, const Job &job)
{
    lane.job = job;
    emit jobStarted(*job, lane.path);
    switch (job->taskType()) {
    case VideoThumbnail:
        lane.thumbnailRetried = false;
        lane.inputReport.clear();
        startThumbnail(lane, kThumbnailSeekSeconds);
        break;
    case VideoProbe:
    case AudioProbe:
        lane.tool->start(kFfmpeg, probeArguments(lane.path), toolTimeLimitMs);
        break;
    case PictureLoad:
        startPictureRead(lane);
        break;
    case OfficeCapture:
        startSlideCapture(lane);
        break;
    default:
        release(lane);
        finishJob();
        break;
    }
}

// The frame at seekSeconds, kThumbnailWidth pixels wide. The item names its thumbnail at once.
void ProbeRunner::startThumbnail(Lane &lane, int seekSeconds)
{
    lane.output = newThumbnailPath();
    const int id = lane.job->fileIdx;
    lane.tool->start(kFfmpeg,
                     thumbnailArguments(lane.path, seekSeconds, decoderThreadsPerJob(lanes.size()),
                                        lane.output),
                     toolTimeLimitMs);
    emit thumbnailStarted(id, lane.output);
}

// The capture tool writes images of the slides into a directory of their own.
void ProbeRunner::startSlideCapture(Lane &lane)
{
    const QString dir = pictureDirectory() + freshPictureName();
    QDir().mkpath(dir);
    lane.output = dir;
    const QString installDir = QCoreApplication::applicationDirPath();
    const int id = lane.job->fileIdx;
    lane.tool->start(
            QDir::toNativeSeparators(captureRuntimePath(installDir)),
            {QStringLiteral("-jar"), QDir::toNativeSeparators(captureArchivePath(installDir)),
             QDir::toNativeSeparators(lane.path), QDir::toNativeSeparators(dir + QLatin1Char('/'))},
            kCaptureTimeLimitMs);
    emit slideCaptureStarted(id, dir);
}

void ProbeRunner::startPictureRead(Lane &lane)
{
    lane.pictureBytes.clear();
    lane.picture->setFileName(lane.path);
    lane.picture->open(QIODevice::ReadOnly);
    postPictureChunk(lane.job->fileIdx);
}

// Slices of a picture go ahead of the model's steps like job starts: the read is the job.
void ProbeRunner::postPictureChunk(int id)
{
    QCoreApplication::postEvent(this, new FileTask(PictureReadChunk, id), Qt::HighEventPriority);
}

// One slice per step; after the last one the picture is decoded.
void ProbeRunner::readPictureChunk(int id)
{
    const auto reading = std::find_if(lanes.begin(), lanes.end(), [id](const Lane &l) {
        return l.job && l.job->fileIdx == id && l.job->taskType() == PictureLoad;
    });
    if (reading == lanes.end())
        return;
    Lane &lane = *reading;
    if (lane.picture->isOpen()) // a file that cannot be opened reads as empty
        lane.pictureBytes += lane.picture->read(kPictureChunkBytes);
    if (!lane.picture->atEnd()) {
        postPictureChunk(id);
        return;
    }
    lane.picture->close();
    const QByteArray bytes = std::exchange(lane.pictureBytes, {});
    if (!pathOf(id).isEmpty()) { // a removed item's picture is not worth decoding
        decodePictureOf(lane.job, bytes);
        return;
    }
    release(lane);
    finishJob();
}

// A large picture takes seconds to decode: a worker does it, and the job goes on until the
// result is back on this thread.
void ProbeRunner::decodePictureOf(const Job &job, const QByteArray &bytes)
{
    auto *decode = new QFutureWatcher<DecodedPicture>(this);
    connect(decode, &QFutureWatcherBase::finished, this, [this, decode, job] {
        decode->deleteLater();
        onPictureDecoded(job, decode->result());
    });
    decode->setFuture(
            QtConcurrent::run(&pictureDecoders, decodePicture, bytes, pictureMemoryLimit));
}

// Ends the picture job, unless shutDown() has let it go meanwhile.
void ProbeRunner::onPictureDecoded(const Job &job, const DecodedPicture &picture)
{
    const auto decoding = std::find_if(lanes.begin(), lanes.end(),
                                       [&job](const Lane &l) { return l.job == job; });
    if (decoding == lanes.end())
        return;
    release(*decoding);
    if (!pathOf(job->fileIdx).isEmpty()) // its item may have been removed during the decode
        emit pictureRead(*job, picture);
    finishJob();
}

// Every way a run ends arrives here: a normal exit, a crash, a kill after the time limit,
// or a tool that could not start. The report is whatever the tool wrote; only a run that
// exited by itself is believed, and a thumbnail's first run is the one that describes the
// input for the probe.
void ProbeRunner::onToolFinished(Lane &lane, ToolProcess::Ending ending)
{
    if (!lane.job)
        return;
    const bool ranToEnd = ending == ToolProcess::Ending::Exited;
    const QString report = QString::fromLocal8Bit(lane.tool->standardError());
    if (lane.job->taskType() == VideoThumbnail && ranToEnd && !lane.thumbnailRetried)
        lane.inputReport = inputDescription(report);
    if (retryThumbnailAtFirstFrame(lane))
        return;
    if (ending == ToolProcess::Ending::FailedToStart)
        emit toolNotStarted(lane.tool->program());
    const Job job = release(lane);
    const QString output = std::exchange(lane.output, {});
    const QString inputReport = std::exchange(lane.inputReport, {});
    if (!pathOf(job->fileIdx).isEmpty()) {
        emit toolJobFinished(*job, report, ranToEnd);
        if (!inputReport.isEmpty())
            completeProbeFrom(job->fileIdx, inputReport);
    } else {
        removeMadePicture(output); // its item was removed while the tool ran
    }
    finishJob();
}

// A video shorter than the seek point leaves no frame there; its first frame serves instead.
// The first run's description of the input decides: without one (the run crashed, hung or
// could not read the file) or without a video stream in it, a second run would make no
// picture either. Reports whether the job goes on with that second run.
bool ProbeRunner::retryThumbnailAtFirstFrame(Lane &lane)
{
    if (lane.job->taskType() != VideoThumbnail || lane.thumbnailRetried
        || !describesVideo(lane.inputReport) || pathOf(lane.job->fileIdx).isEmpty()
        || QFileInfo(lane.output).size() > 0)
        return false;
    QFile::remove(lane.output);
    lane.thumbnailRetried = true;
    startThumbnail(lane, 0);
    return true;
}

// The item's probe waits next in its line behind the thumbnail; it ends now, from the
// thumbnail run's description, as if its own run had written it. Anything else next in the
// item's line keeps its place, and so does a probe whose item went meanwhile.
void ProbeRunner::completeProbeFrom(int id, const QString &inputReport)
{
    const auto next = std::find_if(waiting.begin(), waiting.end(),
                                   [id](const Job &job) { return job->fileIdx == id; });
    if (next == waiting.end() || (*next)->taskType() != VideoProbe || pathOf(id).isEmpty())
        return;
    const Job probe = *next;
    waiting.erase(next);
    emit toolJobFinished(*probe, inputReport, true);
    finishJob();
}

void ProbeRunner::shutDown()
{
    waiting.clear();
    for (Lane &lane : lanes) {
        delete std::exchange(lane.tool, nullptr); // kills and reaps a tool still running
        if (release(lane))
            removeMadePicture(std::exchange(lane.output, {}));
    }
}

Job ProbeRunner::release(Lane &lane)
{
    return std::exchange(lane.job, {});
}

void ProbeRunner::finishJob()
{
    scheduleStart();
    emit jobEnded();
}
