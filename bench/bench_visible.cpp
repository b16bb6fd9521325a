// How soon the rows an operator scrolls to are complete while a large load is still probing:
// a folder of videos is scanned with a stand-in ffmpeg that takes a fixed time a run, and once
// the first jobs have ended a view shows the last rows. Printed: the time until those rows are
// complete, against the floor of their own runs (rows x the tool's delay, as if each ran
// alone), and the time the whole load takes, which is what those rows waited before.
//
//   build/bench/bench_visible [VIDEOS] [--delay MS]

#include "model/foldermodel.h"
#include "probe/proberunner.h"
#include "store/ui_proc_config_desktop.h"
#include "store/utility_commparam.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kDefaultVideos = 2000;
constexpr int kDefaultDelayMs = 40;
constexpr int kJobsBeforeScroll = 100;
constexpr int kRowsShown = 20; // what a view of the page holds
constexpr char kStandIn[] = FFMPEG_STANDIN_DIR;

int argumentAfter(const QStringList &arguments, const QString &option, int fallback)
{
    const int at = arguments.indexOf(option);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

void runUntil(const std::function<bool()> &done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(1);
    loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int videos = arguments.size() > 1 && !arguments.at(1).startsWith(QLatin1Char('-'))
                               ? arguments.at(1).toInt()
                               : kDefaultVideos;
    const int delayMs = argumentAfter(arguments, QStringLiteral("--delay"), kDefaultDelayMs);
    qputenv("PATH", QByteArray(kStandIn) + ':' + qgetenv("PATH"));
    qputenv("FFMPEG_STANDIN_DELAY_MS", QByteArray::number(delayMs));

    QTemporaryDir project, folder;
    Utility_CommParam::getInstance()->setProjectPath(project.path());
    for (int i = 0; i < videos; ++i)
        QFile(folder.filePath(QStringLiteral("v%1.mp4").arg(i, 5, 10, QLatin1Char('0'))))
                .open(QIODevice::WriteOnly);

    FolderModel model(nullptr);
    int jobsEnded = 0;
    QObject::connect(model.findChild<ProbeRunner *>(), &ProbeRunner::jobEnded,
                     [&jobsEnded] { ++jobsEnded; });
    QElapsedTimer load;
    load.start();
    model.addFolder(folder.path());
    runUntil([&] { return jobsEnded >= kJobsBeforeScroll; });

    // The page lists rows by ascending name; the view shows the last names, wherever the
    // model keeps their rows. It reads them, and again whenever the model says they changed;
    // the others it does not read.
    const QModelIndex root = model.index(0, 0);
    QVector<QPair<QString, int>> byName;
    for (int row = 0; row < model.rowCount(root); ++row)
        byName.append({model.pathOf(int(model.index(row, 0, root).internalId())), row});
    std::sort(byName.begin(), byName.end());
    QVector<QModelIndex> lastRows;
    for (int i = qMax(0, int(byName.size()) - kRowsShown); i < byName.size(); ++i)
        lastRows << model.index(byName.at(i).second, 0, root);
    const auto showLastRows = [&] {
        for (const QModelIndex &row : qAsConst(lastRows))
            model.data(row);
    };
    const auto lastRowsComplete = [&] {
        return std::all_of(lastRows.cbegin(), lastRows.cend(), [&](const QModelIndex &row) {
            return model.itemRecords().value(int(row.internalId())).isAsyncCompleted();
        });
    };
    QObject::connect(&model, &QAbstractItemModel::dataChanged, showLastRows);
    QElapsedTimer shown;
    shown.start();
    showLastRows();
    runUntil(lastRowsComplete);
    const double shownMs = shown.nsecsElapsed() / 1e6;
    runUntil([&] { return !model.isBusy(); });
    const double loadMs = load.nsecsElapsed() / 1e6;

    const double floorMs = double(kRowsShown) * delayMs;
    std::printf("videos %d, tool delay %d ms, view scrolled to the last %d rows after %d jobs\n",
                videos, delayMs, kRowsShown, kJobsBeforeScroll);
    std::printf("  last rows complete after %.0f ms = %.2f x their own runs (%.0f ms)\n", shownMs,
                shownMs / floorMs, floorMs);
    std::printf("  whole load %.0f ms\n", loadMs);
    return 0;
}
