// Scans a generated folder of short clips and pictures through the folder model, with one job
// at a time, with the default number of jobs at once and with one per core, and runs the same
// ffmpeg command lines one after another from a plain loop, then prints the times and their
// ratios: what the model's machinery adds to the tools' own time, and what parallel jobs
// take off it.
//
//   build/bench/bench_scan [CLIPS]

#include "model/foldermodel.h"
#include "probe/proberunner.h"
#include "store/ui_proc_config_desktop.h"
#include "store/utility_commparam.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

namespace {

bool ffmpeg(const QStringList &arguments)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral("ffmpeg"), arguments);
    return process.waitForFinished(-1);
}

void makeFolder(const QString &dir, int clips)
{
    for (int i = 0; i < clips; ++i) {
        const QString n = QString::number(i);
        ffmpeg({QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                QStringLiteral("-i"), QStringLiteral("testsrc=size=640x360:rate=25:duration=3"),
                QStringLiteral("-c:v"), QStringLiteral("libx264"),
                dir + QStringLiteral("/clip") + n + QStringLiteral(".mp4")});
        ffmpeg({QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                QStringLiteral("-i"), QStringLiteral("testsrc2=size=1280x720"),
                QStringLiteral("-frames:v"), QStringLiteral("1"),
                dir + QStringLiteral("/picture") + n + QStringLiteral(".jpg")});
    }
}

qint64 scanThroughModel(const QString &folder, const QString &project, int jobs)
{
    Utility_CommParam::getInstance()->setProjectPath(project);
    UI_Proc_Config_Desktop::getInstance().setValue(kParallelJobsKey, jobs);
    FolderModel model(nullptr);
    QEventLoop loop;
    QObject::connect(&model, &FolderModel::loadFolderEnded, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    model.addFolder(folder);
    loop.exec();
    return timer.elapsed();
}

// The command lines the model runs for each video: its thumbnail, then its probe.
qint64 runToolsInALoop(const QString &folder, const QString &out)
{
    QElapsedTimer timer;
    timer.start();
    const QStringList clips = QDir(folder).entryList({QStringLiteral("*.mp4")}, QDir::Files);
    for (const QString &name : clips) {
        const QString clip = folder + QLatin1Char('/') + name;
        ffmpeg({QStringLiteral("-ss"), QStringLiteral("1"), QStringLiteral("-i"), clip,
                QStringLiteral("-y"), QStringLiteral("-vf"), QStringLiteral("scale=320:-1"),
                QStringLiteral("-vframes"), QStringLiteral("1"),
                out + QLatin1Char('/') + name + QStringLiteral(".jpg")});
        ffmpeg({QStringLiteral("-i"), clip});
    }
    return timer.elapsed();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int clips = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20;
    QTemporaryDir work;
    const QString folder = work.filePath(QStringLiteral("media"));
    QDir().mkpath(folder);
    makeFolder(folder, clips);

    QVector<int> jobCounts{1, defaultParallelJobs(), QThread::idealThreadCount()};
    jobCounts.erase(std::unique(jobCounts.begin(), jobCounts.end()), jobCounts.end());

    // Best of three each, alternating, so that no side profits from a warm cache alone.
    QMap<int, qint64> model;
    qint64 loop = std::numeric_limits<qint64>::max();
    for (int round = 0; round < 3; ++round) {
        for (int jobs : qAsConst(jobCounts)) {
            const QString project
                    = work.filePath(QStringLiteral("project%1-%2").arg(round).arg(jobs));
            QDir().mkpath(project);
            const qint64 time = scanThroughModel(folder, project, jobs);
            model[jobs] = model.contains(jobs) ? qMin(model[jobs], time) : time;
        }
        loop = qMin(loop, runToolsInALoop(folder, work.path()));
    }
    QTextStream out(stdout);
    out << clips << " clips and " << clips << " pictures\n"
        << "plain loop:                 " << loop << " ms\n";
    for (int jobs : qAsConst(jobCounts)) {
        const QString label = jobs == defaultParallelJobs()
                                      ? QStringLiteral("%1 at once (default)").arg(jobs)
                                      : QStringLiteral("%1 at once").arg(jobs);
        out << "folder model, " << label.leftJustified(20) << ": " << model[jobs] << " ms, ratio "
            << QString::number(double(model[jobs]) / loop, 'f', 3) << '\n';
    }
    return 0;
}
