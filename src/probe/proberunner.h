#pragma once

#include "model/filetask.h"
#include "probe/picturedecoder.h"
#include "probe/toolprocess.h"
#include "probe/tools.h"

#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QThreadPool>
#include <QVector>

#include <deque>
#include <functional>

class QFile;

using Job = QSharedPointer<FileTask>;

// The host's configuration key for how many tool and picture jobs may run at once.
inline const QString kParallelJobsKey = QStringLiteral("customFolder/parallelJobs");
// The host's configuration key for the megabytes one picture decode may take.
inline const QString kPictureMemoryLimitKey = QStringLiteral("customFolder/pictureMemoryLimitMB");

constexpr int kPictureChunkBytes = 1024; // one slice per step keeps the GUI responsive
constexpr int kToolTimeLimitMs = 60 * 1000; // a probe or thumbnail run that takes longer hangs
constexpr int kCaptureTimeLimitMs = 300 * 1000; // slide capture converts whole presentations
// Thumbnails that one tool run makes together: each input shares the cost of the tool
// starting, yet holds its decoder's frames in memory until the run ends.
constexpr int kThumbnailsPerRun = 4;
constexpr int kThumbnailLookAhead = 64; // waiting jobs searched for thumbnails to run together

// Half the cores, at least one: the tools share the machine with the host and its wall.
int defaultParallelJobs();
// The threads that one input decodes on when as many are decoded at once: its share of the
// cores. Starting threads costs more than they save on the few frames before a thumbnail's
// seek point, unless those are large; one input per core needs none.
int decoderThreadsPerInput(int inputsAtOnce);

// Runs the jobs that learn about items: probes, thumbnails, picture reads and slide captures,
// up to a number of them at once, each item's jobs one after another in the order asked. A
// video's thumbnail run describes its input as a probe would, so the probe that follows it
// completes from that description and runs no tool of its own unless the description is
// missing: most of a tool run is the tool starting, not reading the file. For the same
// reason thumbnails waiting close together are made by one run; a video that such a run does
// not serve as its own run would have gets a run of its own. A
// transcode runs alone: when its turn comes the runner hands it to its owner and starts
// nothing else until the owner ends it. Jobs name their item by id; an item that is gone by
// the time its job would start loses the job, and a job that ends after its item went
// reports nothing and leaves nothing behind.
class ProbeRunner : public QObject
{
    Q_OBJECT
public:
    // pathOf gives the path of an item, empty once the item is gone.
    ProbeRunner(std::function<QString(int)> pathOf, int parallelJobs, QObject *parent);

    void enqueue(const Job &job);
    // A view shows the item: its waiting jobs go ahead of those of items not shown since,
    // as a view fills in what the operator looks at first.
    void preferJobsOf(int id);
    bool isIdle() const;
    // Whether a job of the item waits, runs, or is the transcode handed to the owner.
    bool hasJobsFor(int id) const;
    int parallelJobs() const { return lanes.size(); }
    void setToolTimeLimit(int ms) { toolTimeLimitMs = ms; }
    void setPictureMemoryLimitMB(int mb) { pictureMemoryLimit = mb * kBytesPerMB; }

    // Ends every running tool at once and removes what those runs had begun to make; for the
    // owner's teardown, after which nothing more runs.
    void shutDown();

    Job runningTranscode() const { return transcode; }
    QVector<Job> waitingTranscodes() const;
    void endTranscode();
    // Takes the waiting jobs that match out of the queue, keeping the order of the others.
    QVector<Job> takeWaiting(const std::function<bool(const FileTask &)> &matches);

signals:
    // A tool run or picture read begins for the item at path.
    void jobStarted(const FileTask &job, const QString &path);
    void thumbnailStarted(int id, const QString &thumbnail);
    void slideCaptureStarted(int id, const QString &slideDirectory);
    // A thumbnail, probe or slide capture has ended; the report is what the tool wrote (for
    // a probe completed from its thumbnail run, that run's description of the input), and
    // ranToEnd tells whether the tool exited by itself rather than crashing, being killed
    // after its time limit or failing to start.
    void toolJobFinished(const FileTask &job, const QString &report, bool ranToEnd);
    void pictureRead(const FileTask &job, const DecodedPicture &picture);
    void transcodeDue(const Job &job);
    // A tool could not be started at all: it is missing or not executable.
    void toolNotStarted(const QString &program);
    // After every job that ended or was dropped, once its result is delivered.
    void jobEnded();

protected:
    bool event(QEvent *e) override;

private:
    // A video's thumbnail job.
    struct Shot
    {
        Shot() = default;
        Shot(const Job &job, const QString &path) : job(job), path(path) { }

        Job job;
        QString path; // of the job's item, taken when it started
        QString output; // the picture that the last run was asked to write
        int seekSeconds = kThumbnailSeekSeconds;
        // What the job's run at the seek point, which exited by itself, told of its input;
        // the item's probe completes from it. Empty when it told nothing usable.
        QString inputReport;
    };

    struct Lane
    {
        bool isBusy() const { return job || !shots.isEmpty(); }

        Job job; // any other job
        QString path; // of the job's item, taken when it started
        ToolProcess *tool = nullptr;
        QFile *picture = nullptr;
        QByteArray pictureBytes; // read so far
        QString output; // the slide directory that the running job makes
        QVector<Shot> shots; // the thumbnails the lane makes, the running ones first
        int shotsInRun = 0;
    };

    void scheduleStart();
    void bringShownAhead();
    void startWaitingJobs();
    bool isAnyLaneBusy() const;
    bool isItemBusy(int id) const;
    Lane *freeLane();
    void start(Lane &lane, const Job &job);
    void takeThumbnailsBehind(Lane &lane, std::size_t from);
    void startThumbnails(Lane &lane);
    void runThumbnails(Lane &lane, int count);
    void startSlideCapture(Lane &lane);
    void startPictureRead(Lane &lane);
    void postPictureChunk(int id);
    void readPictureChunk(int id);
    void decodePictureOf(const Job &job, const QByteArray &bytes);
    void onPictureDecoded(Job job, const DecodedPicture &picture);
    void onToolFinished(Lane &lane, int exitCode, ToolProcess::Ending ending);
    void onThumbnailsFinished(Lane &lane, int exitCode, ToolProcess::Ending ending);
    bool needsRunOfItsOwn(Shot &shot, bool served, bool hasVideo);
    void finishShot(const Shot &shot, const QString &report, bool ranToEnd);
    void completeProbeFrom(int id, const QString &inputReport);
    Job release(Lane &lane);
    void finishJob();

    std::function<QString(int)> pathOf;
    std::deque<Job> waiting;
    // Items shown since the jobs were last put in order, the last shown last; and every item
    // shown since its last job was asked for, which a view showing it again does not move.
    QVector<int> shownSince;
    QSet<int> shownItems;
    QVector<Lane> lanes; // one per job that may run at once
    Job transcode; // handed to the owner and not yet ended by it
    bool startPosted = false;
    int toolTimeLimitMs = kToolTimeLimitMs;
    qint64 pictureMemoryLimit = kDefaultPictureMemoryLimitMB * kBytesPerMB;
    // Decodes pictures away from the GUI thread, as many at once as there are cores. Each
    // decode hands its result to the runner by a queued call; destroyed first, the pool waits
    // for those still running, so the runner is there to take them (or to drop them unheard).
    QThreadPool pictureDecoders;
};
