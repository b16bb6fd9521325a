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
#include <QSet>
#include <QThread>

int defaultParallelJobs()
{
    return qMax(1, QThread::idealThreadCount() / 2);
}

int decoderThreadsPerInput(int inputsAtOnce)
{
    return qMax(1, QThread::idealThreadCount() / qMax(1, inputsAtOnce));
}

ProbeRunner::ProbeRunner(std::function<QString(int)> pathOf, int parallelJobs, QObject *parent)
    : QObject(parent), pathOf(std::move(pathOf)), lanes(qMax(1, parallelJobs))
{
    for (int i = 0; i < lanes.size(); ++i) {
        Lane &lane = lanes[i];
        lane.tool = new ToolProcess(this);
        lane.picture = new QFile(this);
        connect(lane.tool, &ToolProcess::finished, this,
                [this, i](int exitCode, ToolProcess::Ending ending) {
                    onToolFinished(lanes[i], exitCode, ending);
                });
    }
}

void ProbeRunner::enqueue(const Job &job)
{
    waiting.push_back(job);
    shownItems.remove(job->fileIdx);
    scheduleStart();
}

void ProbeRunner::preferJobsOf(int id)
{
    if (shownItems.contains(id))
        return;
    shownItems.insert(id);
    shownSince.append(id);
    scheduleStart();
}

// One pass over the queue however many items were shown. The jobs of shown items move to
// the front, those of the item shown last first; each item's jobs keep their order, and so
// do transcodes, which the operator ordered.
void ProbeRunner::bringShownAhead()
{
    QHash<int, int> recency;
    for (int i = 0; i < shownSince.size(); ++i)
        recency.insert(shownSince.at(i), i);
    shownSince.clear();
    std::vector<std::pair<int, Job>> ahead;
    std::deque<Job> behind;
    for (const Job &job : waiting) {
        const auto shown = recency.constFind(job->fileIdx);
        if (shown != recency.constEnd() && job->taskType() != Transcode)
            ahead.emplace_back(*shown, job);
        else
            behind.push_back(job);
    }
    if (ahead.empty())
        return;
    std::stable_sort(ahead.begin(), ahead.end(),
                     [](const auto &a, const auto &b) { return a.first > b.first; });
    waiting.clear();
    for (const auto &[rank, job] : ahead)
        waiting.push_back(job);
    waiting.insert(waiting.end(), behind.begin(), behind.end());
}

bool ProbeRunner::isIdle() const
{
    return waiting.empty() && !transcode && !isAnyLaneBusy();
}

bool ProbeRunner::hasJobsFor(int id) const
{
    return isItemBusy(id) || (transcode && transcode->fileIdx == id)
           || std::any_of(waiting.cbegin(), waiting.cend(),
                          [id](const Job &job) { return job->fileIdx == id; });
}

bool ProbeRunner::isAnyLaneBusy() const
{
    return std::any_of(lanes.cbegin(), lanes.cend(), [](const Lane &l) { return l.isBusy(); });
}

QVector<Job> ProbeRunner::waitingTranscodes() const
{
    QVector<Job> transcodes;
    for (const Job &job : waiting) {
        if (job->taskType() == Transcode)
            transcodes << job;
    }
    return transcodes;
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
    if (!shownSince.isEmpty())
        bringShownAhead();
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
        if (job->taskType() == VideoThumbnail) {
            const std::size_t at = next - waiting.begin();
            lane->shots = {Shot(job, path)};
            takeThumbnailsBehind(*lane, at); // removes only jobs at or behind at
            next = waiting.begin() + at;
            startThumbnails(*lane);
            continue;
        }
        lane->path = path;
        start(*lane, job);
    }
    if (dropped)
        emit jobEnded();
}

bool ProbeRunner::isItemBusy(int id) const
{
    const auto isOfItem = [id](const Job &job) {
        return job && job->fileIdx == id;
    };
    return std::any_of(lanes.cbegin(), lanes.cend(), [&isOfItem](const Lane &l) {
        return isOfItem(l.job)
               || std::any_of(l.shots.cbegin(), l.shots.cend(),
                              [&isOfItem](const Shot &shot) { return isOfItem(shot.job); });
    });
}

ProbeRunner::Lane *ProbeRunner::freeLane()
{
    for (Lane &lane : lanes) {
        if (!lane.isBusy())
            return &lane;
    }
    return nullptr;
}

void ProbeRunner::start(Lane &lane, const Job &job)
{
    lane.job = job;
    emit jobStarted(*job, lane.path);
    switch (job->taskType()) {
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

// Thumbnails close behind join the lane's first one, each in its item's turn: one whose item
// has a job ahead of it, or running, waits on. Nothing passes a transcode. A name of more than
// one line could pose as another input's lines in the shared report, so it runs alone.
void ProbeRunner::takeThumbnailsBehind(Lane &lane, std::size_t from)
{
    const auto isOneLine = [](const QString &path) {
        return !path.isEmpty() && !path.contains(QLatin1Char('\n'))
               && !path.contains(QLatin1Char('\r'));
    };
    if (!isOneLine(lane.shots.constFirst().path))
        return;
    QSet<int> passed;
    std::size_t end = qMin(waiting.size(), from + kThumbnailLookAhead);
    for (std::size_t i = from; i < end && lane.shots.size() < kThumbnailsPerRun;) {
        const Job job = waiting.at(i);
        if (job->taskType() == Transcode)
            break;
        const int id = job->fileIdx;
        const bool isNext = job->taskType() == VideoThumbnail && !passed.contains(id);
        const QString path = isNext && !isItemBusy(id) ? pathOf(id) : QString();
        if (!isOneLine(path)) {
            passed.insert(id);
            ++i;
            continue;
        }
        lane.shots.append(Shot(job, path));
        waiting.erase(waiting.begin() + i);
        --end;
    }
}

void ProbeRunner::startThumbnails(Lane &lane)
{
    for (const Shot &shot : qAsConst(lane.shots))
        emit jobStarted(*shot.job, shot.path);
    runThumbnails(lane, lane.shots.size());
}

// One run for the first count shots, each the frame at its seek point, kThumbnailWidth
// pixels wide. Each item names its thumbnail at once.
void ProbeRunner::runThumbnails(Lane &lane, int count)
{
    QStringList inputs, outputs;
    for (int i = 0; i < count; ++i) {
        Shot &shot = lane.shots[i];
        shot.output = newThumbnailPath();
        inputs << shot.path;
        outputs << shot.output;
    }
    lane.shotsInRun = count;
    lane.tool->start(kFfmpeg,
                     thumbnailArguments(inputs, lane.shots.constFirst().seekSeconds,
                                        decoderThreadsPerInput(lanes.size() * count), outputs),
                     toolTimeLimitMs * count);
    const QVector<Shot> started = lane.shots.mid(0, count);
    for (const Shot &shot : started)
        emit thumbnailStarted(shot.job->fileIdx, shot.output);
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

// A large picture takes seconds to decode: a worker does it, and the job goes on when the
// result is back on this thread. The worker hands it back by a queued call rather than
// through a future watcher, whose making reads the processor count from the system anew for
// every picture. A small or broken one is done with sooner here than the worker would wake.
void ProbeRunner::decodePictureOf(const Job &job, const QByteArray &bytes)
{
    const qint64 limit = pictureMemoryLimit;
    if (const std::optional<DecodedPicture> small = decodeSmallPicture(bytes, limit)) {
        onPictureDecoded(job, *small);
        return;
    }
    pictureDecoders.start([this, job, bytes, limit] {
        const DecodedPicture picture = decodePicture(bytes, limit);
        QMetaObject::invokeMethod(
                this, [this, job, picture] { onPictureDecoded(job, picture); },
                Qt::QueuedConnection);
    });
}

// Ends the picture job, unless shutDown() has let it go meanwhile. The job is held here, as
// the lane lets go of its own at the release.
void ProbeRunner::onPictureDecoded(Job job, const DecodedPicture &picture)
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
// exited by itself is believed.
void ProbeRunner::onToolFinished(Lane &lane, int exitCode, ToolProcess::Ending ending)
{
    if (lane.shotsInRun > 0) {
        onThumbnailsFinished(lane, exitCode, ending);
        return;
    }
    if (!lane.job)
        return;
    if (ending == ToolProcess::Ending::FailedToStart)
        emit toolNotStarted(lane.tool->program());
    const Job job = release(lane);
    const QString output = std::exchange(lane.output, {});
    if (!pathOf(job->fileIdx).isEmpty())
        emit toolJobFinished(*job, QString::fromLocal8Bit(lane.tool->standardError()),
                             ending == ToolProcess::Ending::Exited);
    else
        removeMadePicture(output); // its item was removed while the tool ran
    finishJob();
}

// A run at the seek point describes its inputs for their probes. A run of one thumbnail ends
// its job as it always has; a shared run answers for a video as that run alone would only
// where it exited by itself and well and told of one video stream in the video: which of
// several a run alone would take, only ffmpeg knows. An input that it told of without a video
// stream fails a shared run, yet is answered: alone, it would make no picture either.
void ProbeRunner::onThumbnailsFinished(Lane &lane, int exitCode, ToolProcess::Ending ending)
{
    const int count = std::exchange(lane.shotsInRun, 0);
    const bool shared = count > 1;
    const bool ranToEnd = ending == ToolProcess::Ending::Exited;
    const QString report = QString::fromLocal8Bit(lane.tool->standardError());
    if (!shared && ending == ToolProcess::Ending::FailedToStart)
        emit toolNotStarted(lane.tool->program());
    QVector<Shot> again;
    QVector<std::pair<Shot, QString>> done;
    for (int i = 0; i < count; ++i) {
        Shot shot = lane.shots.at(i);
        const QString told = shared ? inputDescriptionAt(report, i) : report; // a description
        if (shot.seekSeconds == kThumbnailSeekSeconds && ranToEnd)
            shot.inputReport = shared ? told : inputDescription(told);
        const int videoStreams = videoStreamCount(shot.inputReport);
        const bool described = ranToEnd && !told.isEmpty();
        const bool served = !shared || (ranToEnd && exitCode == 0 && videoStreams == 1)
                            || (described && videoStreams == 0);
        if (needsRunOfItsOwn(shot, served, videoStreams > 0))
            again << shot;
        else
            done.append({shot, told});
    }
    lane.shots = again + lane.shots.mid(count);
    if (!lane.shots.isEmpty())
        runThumbnails(lane, 1);
    for (const auto &[shot, told] : qAsConst(done))
        finishShot(shot, told, ranToEnd);
}

// Whether the shot goes on with a run of its own: at the seek point again after a shared run
// that did not serve it, or at the first frame when its video is shorter than the seek point.
// The first run's description of the input decides the latter: without one (the run crashed,
// hung or could not read the file) or without a video stream in it, a second run would make
// no picture either. A shot whose item went needs no more runs.
bool ProbeRunner::needsRunOfItsOwn(Shot &shot, bool served, bool hasVideo)
{
    if (pathOf(shot.job->fileIdx).isEmpty())
        return false;
    if (!served) {
        shot.inputReport.clear();
    } else if (shot.seekSeconds != kThumbnailSeekSeconds || !hasVideo
               || QFileInfo(shot.output).size() > 0) {
        return false;
    } else {
        shot.seekSeconds = 0;
    }
    QFile::remove(shot.output);
    return true;
}

void ProbeRunner::finishShot(const Shot &shot, const QString &report, bool ranToEnd)
{
    const int id = shot.job->fileIdx;
    if (!pathOf(id).isEmpty()) {
        emit toolJobFinished(*shot.job, report, ranToEnd);
        if (!shot.inputReport.isEmpty())
            completeProbeFrom(id, shot.inputReport);
    } else {
        removeMadePicture(shot.output); // its item was removed while the tool ran
    }
    finishJob();
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
        for (const Shot &shot : std::exchange(lane.shots, {}))
            removeMadePicture(shot.output);
        lane.shotsInRun = 0;
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
