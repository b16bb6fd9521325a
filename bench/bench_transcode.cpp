// Transcodes a generated clip through the folder model and runs the same ffmpeg command line
// directly, then prints both times and their ratio: what the model and the transcoding
// component add to ffmpeg's own time; and the time of a second transcode that replaces the
// first one's output, against the first.
//
//   build/bench/bench_transcode [SECONDS]

#include "model/foldermodel.h"
#include "store/utility_commparam.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <limits>
#include <utility>

namespace {

constexpr int kPollMs = 20;
constexpr qint64 kGiveUpMs = 10 * 60 * 1000;

bool makeClip(const QString &path, int seconds)
{
    const QString duration = QString::number(seconds);
    return QProcess::execute(QStringLiteral("ffmpeg"),
                             {QStringLiteral("-nostdin"),
                              QStringLiteral("-loglevel"),
                              QStringLiteral("error"),
                              QStringLiteral("-y"),
                              QStringLiteral("-f"),
                              QStringLiteral("lavfi"),
                              QStringLiteral("-i"),
                              QStringLiteral("testsrc=size=640x480:rate=25:duration=") + duration,
                              QStringLiteral("-f"),
                              QStringLiteral("lavfi"),
                              QStringLiteral("-i"),
                              QStringLiteral("sine=duration=") + duration,
                              QStringLiteral("-c:v"),
                              QStringLiteral("libx264"),
                              QStringLiteral("-pix_fmt"),
                              QStringLiteral("yuv420p"),
                              QStringLiteral("-c:a"),
                              QStringLiteral("aac"),
                              QStringLiteral("-shortest"),
                              path})
           == 0;
}

// From the request until the item's record shows the transcode done; -1 when it failed.
qint64 timeTranscode(FolderModel &model, int id)
{
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer timer;
    qint64 done = -1;
    bool failed = false;
    bool sawTranscoding = false;
    const auto checkDone = [&] {
        const int progress = model.recordOf(id).value(QStringLiteral("transcodeProgress")).toInt();
        if (done < 0 && progress >= 100)
            done = timer.elapsed();
    };
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &loop, checkDone);
    QObject::connect(&model, &FolderModel::transcodeFailed, &loop, [&] { failed = true; });
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        checkDone();
        sawTranscoding = sawTranscoding || model.isTranscoding() || done >= 0;
        if ((sawTranscoding && !model.isTranscoding() && !model.isBusy()) || failed
            || timer.elapsed() > kGiveUpMs)
            loop.quit();
    });
    poll.start(kPollMs);
    timer.start();
    model.onTranscode(id, QStringLiteral("H264"), 640, 480);
    loop.exec();
    return failed ? -1 : done;
}

// A first transcode of the clip, and a second one that replaces the first one's output.
std::pair<qint64, qint64> transcodeTwiceThroughModel(const QString &folder, const QString &clip,
                                                     const QString &project)
{
    Utility_CommParam::getInstance()->setProjectPath(project);
    FolderModel model(nullptr);
    {
        QEventLoop loop;
        QObject::connect(&model, &FolderModel::loadFolderEnded, &loop, &QEventLoop::quit);
        model.addFolder(folder);
        loop.exec();
    }
    const int id = model.idOfKey(FolderModel::itemKey(clip, 0));
    if (id == -1)
        return {-1, -1};
    const qint64 first = timeTranscode(model, id);
    return {first, first < 0 ? -1 : timeTranscode(model, id)};
}

// The command line the transcoding component runs for H.264 at 640x480.
qint64 transcodeDirectly(const QString &clip, const QString &output)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("ffmpeg"),
                  {QStringLiteral("-nostdin"), QStringLiteral("-nostats"),
                   QStringLiteral("-progress"), QStringLiteral("pipe:1"), QStringLiteral("-y"),
                   QStringLiteral("-i"), clip, QStringLiteral("-vf"),
                   QStringLiteral("scale=640:480"), QStringLiteral("-c:v"),
                   QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                   QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-f"),
                   QStringLiteral("matroska"), output});
    const bool finished = process.waitForFinished(-1);
    const qint64 elapsed = timer.elapsed();
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
                   ? elapsed
                   : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10;
    QTemporaryDir work;
    const QString folder = work.filePath(QStringLiteral("media"));
    const QString clip = folder + QStringLiteral("/clip.mp4");
    QDir().mkpath(folder);
    QTextStream out(stdout);
    if (!makeClip(clip, seconds)) {
        out << "could not make the clip\n";
        return 1;
    }

    // Best of three each, alternating, so that neither side profits from a warm cache alone.
    qint64 model = std::numeric_limits<qint64>::max();
    qint64 direct = model;
    qint64 again = model;
    for (int round = 0; round < 3; ++round) {
        const QString project = work.filePath(QStringLiteral("project%1").arg(round));
        QDir().mkpath(project);
        // The model's output lands beside the clip; remove it so that each round starts alike.
        QFile::remove(folder + QStringLiteral("/VEK_clip.mkv"));
        const auto [throughModel, replacing] = transcodeTwiceThroughModel(folder, clip, project);
        const qint64 directly
                = transcodeDirectly(clip, work.filePath(QStringLiteral("direct.mkv")));
        if (throughModel < 0 || replacing < 0 || directly < 0) {
            out << "round " << round + 1 << ": a transcode failed\n";
            return 1;
        }
        model = qMin(model, throughModel);
        again = qMin(again, replacing);
        direct = qMin(direct, directly);
    }
    out << seconds << " s of 640x480 H.264 with audio to H.264 640x480 in Matroska\n"
        << "through the model: " << model << " ms\n"
        << "ffmpeg directly: " << direct << " ms\n"
        << "ratio: " << QString::number(double(model) / direct, 'f', 3) << '\n'
        << "again through the model, replacing its output: " << again << " ms, "
        << QString::number(double(again) / model, 'f', 3) << " x the first\n";
    return 0;
}
