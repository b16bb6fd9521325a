// Scans a generated folder of 1280 x 720 clips with sound through the folder model, with one
// tool slot, with the default number and with one per core, and makes the same pictures from
// plain loops: the two runs per video that a scan would take if it probed apart from the
// thumbnail, the thumbnail runs alone and, where the Debian package ffmpegthumbnailer is
// installed, that dedicated thumbnailer. Prints the times and the scans' ratios to the loops.
// Most of a run is ffmpeg starting: the scan shares a run among several videos, and reads
// each one's description for its probe from that run's report.
//
//   build/bench/bench_scan [CLIPS]

#include "model/foldermodel.h"
#include "probe/picturedecoder.h"
#include "probe/proberunner.h"
#include "probe/toolprocess.h"
#include "probe/tools.h"
#include "store/ui_proc_config_desktop.h"
#include "store/utility_commparam.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <functional>

namespace {

const QString kThumbnailer = QStringLiteral("ffmpegthumbnailer");
constexpr int kRounds = 3;
constexpr qint64 kMsecPerTick = 10; // Linux gives child times in ticks of 1/100 s

// Wall time, and the CPU time the tools took: on a machine that others share, the CPU time
// stays what the runs cost while the wall time grows with the others' load.
struct Timing
{
    qint64 wallMs = std::numeric_limits<qint64>::max();
    qint64 toolCpuMs = std::numeric_limits<qint64>::max();
};

// The CPU time of every child reaped so far, where the system tells it (Linux's /proc);
// -1 elsewhere.
qint64 childCpuMs()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The fields after the program's name, which is bracketed and may hold spaces; the
    // children's user and system times are the 16th and 17th of all.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 15)
        return -1;
    return (fields.at(13).toLongLong() + fields.at(14).toLongLong()) * kMsecPerTick;
}

Timing measure(const std::function<void()> &work)
{
    const qint64 cpuBefore = childCpuMs();
    QElapsedTimer timer;
    timer.start();
    work();
    return {timer.elapsed(), cpuBefore < 0 ? -1 : childCpuMs() - cpuBefore};
}

void keepBest(Timing &best, const Timing &timing)
{
    best = {qMin(best.wallMs, timing.wallMs), qMin(best.toolCpuMs, timing.toolCpuMs)};
}

// Started as the folder model starts its tools, so that a loop differs from a scan only in
// what the model adds and in the runs it takes.
void run(const QString &program, const QStringList &arguments)
{
    ToolProcess tool;
    QEventLoop loop;
    QObject::connect(&tool, &ToolProcess::finished, &loop, &QEventLoop::quit);
    tool.start(program, arguments, 0);
    loop.exec();
}

// One clip made once and copied: every copy costs the tools the same work.
QStringList makeClips(const QString &dir, int clips)
{
    const QString first = dir + QStringLiteral("/clip0.mp4");
    run(kFfmpeg,
        {QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("testsrc=size=1280x720:rate=25:duration=5"), QStringLiteral("-f"),
         QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=duration=5"),
         QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-c:a"),
         QStringLiteral("aac"), QStringLiteral("-shortest"), first});
    QStringList paths{first};
    for (int i = 1; i < clips; ++i) {
        paths << dir + QStringLiteral("/clip%1.mp4").arg(i);
        QFile::copy(first, paths.last());
    }
    return paths;
}

void scanThroughModel(const QString &folder, const QString &project, int jobs)
{
    Utility_CommParam::getInstance()->setProjectPath(project);
    UI_Proc_Config_Desktop::getInstance().setValue(kParallelJobsKey, jobs);
    FolderModel model(nullptr);
    QEventLoop loop;
    QObject::connect(&model, &FolderModel::loadFolderEnded, &loop, &QEventLoop::quit);
    model.addFolder(folder);
    loop.exec();
}

using ClipRuns = std::function<void(const QString &clip, const QString &picture)>;

void thumbnail(const QString &clip, const QString &picture)
{
    run(kFfmpeg,
        thumbnailArguments({clip}, kThumbnailSeekSeconds, decoderThreadsPerInput(1), {picture}));
}

void thumbnailAndProbe(const QString &clip, const QString &picture)
{
    thumbnail(clip, picture);
    run(kFfmpeg, probeArguments(clip));
}

void dedicatedThumbnail(const QString &clip, const QString &picture)
{
    run(kThumbnailer,
        {QStringLiteral("-i"), clip, QStringLiteral("-o"), picture, QStringLiteral("-s"),
         QString::number(kThumbnailWidth), QStringLiteral("-t"), QStringLiteral("00:00:01")});
}

QString figures(const Timing &timing)
{
    return timing.toolCpuMs < 0 ? QStringLiteral("%1 ms").arg(timing.wallMs)
                                : QStringLiteral("%1 ms (tools' CPU %2 ms)")
                                          .arg(timing.wallMs)
                                          .arg(timing.toolCpuMs);
}

QString ratio(qint64 part, qint64 whole)
{
    return QString::number(double(part) / whole, 'f', 3);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int clips = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20;
    QTemporaryDir work;
    const QString folder = work.filePath(QStringLiteral("media"));
    QDir().mkpath(folder);
    const QStringList paths = makeClips(folder, clips);
    const bool hasThumbnailer = !QStandardPaths::findExecutable(kThumbnailer).isEmpty();

    QVector<int> jobCounts{1, defaultParallelJobs(), QThread::idealThreadCount()};
    jobCounts.erase(std::unique(jobCounts.begin(), jobCounts.end()), jobCounts.end());
    QMap<QString, ClipRuns> loops{{QStringLiteral("two runs a video"), thumbnailAndProbe},
                                  {QStringLiteral("thumbnail runs alone"), thumbnail}};
    if (hasThumbnailer)
        loops.insert(kThumbnailer, dedicatedThumbnail);

    // Best of each, alternating, so that no side profits from a warm cache alone.
    QMap<int, Timing> scans;
    QMap<QString, Timing> loopTimes;
    for (int round = 0; round < kRounds; ++round) {
        for (int jobs : qAsConst(jobCounts)) {
            const QString project
                    = work.filePath(QStringLiteral("project%1-%2").arg(round).arg(jobs));
            QDir().mkpath(project);
            keepBest(scans[jobs], measure([&] { scanThroughModel(folder, project, jobs); }));
        }
        for (auto loop = loops.cbegin(); loop != loops.cend(); ++loop) {
            keepBest(loopTimes[loop.key()], measure([&] {
                         for (const QString &clip : paths)
                             loop.value()(clip, work.filePath(QFileInfo(clip).fileName()
                                                              + QStringLiteral(".jpg")));
                     }));
        }
    }

    QTextStream out(stdout);
    out << clips << " clips of 1280 x 720 with sound, best of " << kRounds << '\n';
    for (auto loop = loopTimes.cbegin(); loop != loopTimes.cend(); ++loop)
        out << "loop, " << loop.key().leftJustified(21) << ": " << figures(loop.value()) << '\n';
    if (!hasThumbnailer)
        out << kThumbnailer << " is not installed (Debian package " << kThumbnailer << ")\n";
    for (int jobs : qAsConst(jobCounts)) {
        const Timing &scan = scans[jobs];
        out << "folder model, " << jobs << (jobs == 1 ? " slot" : " slots")
            << (jobs == defaultParallelJobs() ? " (default)" : "") << ": " << figures(scan) << '\n';
        for (auto loop = loopTimes.cbegin(); loop != loopTimes.cend(); ++loop) {
            out << "    ratio to " << loop.key().leftJustified(21) << ": "
                << ratio(scan.wallMs, loop.value().wallMs);
            if (scan.toolCpuMs >= 0)
                out << " (CPU " << ratio(scan.toolCpuMs, loop.value().toolCpuMs) << ')';
            out << '\n';
        }
    }
    return 0;
}
