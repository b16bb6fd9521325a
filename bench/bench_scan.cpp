// Scans a generated folder of short clips and pictures through the folder model and runs
// the same ffmpeg command lines one after another from a plain loop, then prints both times
// and their ratio: what the model's machinery adds to the tools' own time.
//
//   build/bench/bench_scan [CLIPS]

#include "model/foldermodel.h"
#include "store/utility_commparam.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

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

qint64 scanThroughModel(const QString &folder, const QString &project)
{
    Utility_CommParam::getInstance()->setProjectPath(project);
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

    // Best of three each, alternating, so that neither side profits from a warm cache alone.
    qint64 model = std::numeric_limits<qint64>::max();
    qint64 loop = model;
    for (int round = 0; round < 3; ++round) {
        const QString project = work.filePath(QStringLiteral("project%1").arg(round));
        QDir().mkpath(project);
        model = qMin(model, scanThroughModel(folder, project));
        loop = qMin(loop, runToolsInALoop(folder, project));
    }
    QTextStream(stdout) << clips << " clips and " << clips << " pictures\n"
                        << "folder model: " << model << " ms\n"
                        << "plain loop:   " << loop << " ms\n"
                        << "ratio:        " << QString::number(double(model) / loop, 'f', 3)
                        << '\n';
    return 0;
}
