// Scans a generated library of empty media files through the folder model, with a stand-in
// ffmpeg that answers at once, so that every figure is the model's own cost: the scan beside
// the bare cost of the same tool runs, the walk/build/store rate without tools, how soon a
// restart shows the stored tree, how long the GUI thread is held, memory per item, and what
// following the second tree on disk costs: the watches it takes and how soon a new file shows.
//
// Last, the write rate of the store on each driver: SQLite, and PostgreSQL when
// CUSTOMFOLDER_STORE_URL names a server, as scripts/postgres.sh run sets it.
//
//   build/bench/bench_scale [ENTRIES] [--jobs N]
//   scripts/postgres.sh run build/bench/bench_scale [ENTRIES] [--jobs N]

#include "model/folderfiltermodel.h"
#include "model/foldermodel.h"
#include "model/folderwatch.h"
#include "store/recordmapping.h"
#include "store/ui_proc_config_desktop.h"
#include "store/ui_proc_mediainfo_desktop.h"
#include "store/utility_commparam.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int kDefaultEntries = 100000; // the largest library the page is meant for
constexpr unsigned kSeed = 20240611; // the same library on every run
constexpr int kFolderShare = 10; // one entry in ten is a folder
constexpr int kMaxFolderDepth = 5; // below the root
constexpr int kPollMs = 1; // isBusy() has no signal: polled this often
constexpr int kTickMs = 10; // the lateness probe's period
constexpr char kStandIn[] = FFMPEG_STANDIN_DIR "/ffmpeg";
constexpr int kChangesTimed = 20; // new files, one after another, in folders drawn at random
constexpr int kStoreWrites = 50000; // records written to each store
constexpr int kWritesPerEventPass = 100; // as many as a scan's build steps write between events

// Time the bench spends inside the model's events (counting rows in its signals); taken out
// of the event and lateness figures, which are the model's.
qint64 benchNs = 0;

enum Kind { Video, Picture, Sound, Other, KindCount };
const char *const kSuffixes[KindCount] = {".mp4", ".jpg", ".mp3", ".txt"};

struct Library
{
    QString root;
    int folders = 0;
    int files[KindCount] = {};
    QStringList videos, sounds;
};

// Folders hang below random earlier folders; files go to random folders with random kinds.
// Without tool files the same draws are made and the videos and sounds left out.
Library makeLibrary(const QString &root, int entries, bool withToolFiles)
{
    std::mt19937 random(kSeed);
    Library library;
    library.root = root;
    QVector<QPair<QString, int>> parents{{root, 0}}; // folders that may get sub-folders
    QStringList folders{root};
    QDir().mkpath(root);
    for (; library.folders < entries / kFolderShare; ++library.folders) {
        const auto parent = parents.at(int(random() % unsigned(parents.size())));
        folders << parent.first + QStringLiteral("/d%1").arg(library.folders);
        QDir().mkdir(folders.last());
        if (parent.second + 1 < kMaxFolderDepth)
            parents.append({folders.last(), parent.second + 1});
    }
    for (int i = 0; i < entries - library.folders; ++i) {
        const QString &folder = folders.at(int(random() % unsigned(folders.size())));
        const Kind kind = Kind(random() % KindCount);
        if (!withToolFiles && (kind == Video || kind == Sound))
            continue;
        const QString path
                = folder + QStringLiteral("/f%1").arg(i) + QLatin1String(kSuffixes[kind]);
        QFile(path).open(QIODevice::WriteOnly);
        ++library.files[kind];
        if (kind == Video || kind == Sound)
            (kind == Video ? library.videos : library.sounds) << path;
    }
    return library;
}

// A timer's receiver is often Qt's own; its parent says whose timer it is.
QByteArray describe(const QObject *receiver)
{
    QByteArray text = receiver->metaObject()->className();
    if (const QObject *owner = receiver->parent())
        text += QByteArray(" in ") + owner->metaObject()->className();
    return text;
}

struct LongestEvent
{
    qint64 ns = 0;
    int type = 0;
    QByteArray receiver;

    void offer(qint64 spentNs, int eventType, const QObject *eventReceiver)
    {
        if (spentNs <= ns)
            return;
        ns = spentNs;
        type = eventType;
        receiver = describe(eventReceiver);
    }
};

// The thread's own processor time, which leaves out the time that other processes took the
// core from it: on a busy machine the clock on the wall alone blames whichever event ran.
qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

struct Responsiveness
{
    LongestEvent longest; // on the clock on the wall
    LongestEvent longestWork; // in the thread's processor time
    std::vector<qint64> latenessNs; // of each tick of a precise kTickMs timer
};

// While a phase is watched, times every event handled on the GUI thread and ticks a precise
// timer: how late a tick comes is how long the event loop was kept from it.
class TimedApplication : public QCoreApplication
{
public:
    TimedApplication(int &argc, char **argv) : QCoreApplication(argc, argv)
    {
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [this] { tick(); });
    }

    void watch(Responsiveness *figures)
    {
        watched = figures;
        clock.start();
        lastTickNs = 0;
        lastBenchNs = benchNs;
        if (figures)
            ticker.start(kTickMs);
        else
            ticker.stop();
    }

    bool notify(QObject *receiver, QEvent *event) override
    {
        const int type = event->type(); // a posted event is gone once handled
        const qint64 benchBefore = benchNs;
        const qint64 cpuBefore = threadCpuNs();
        QElapsedTimer timer;
        timer.start();
        const bool handled = QCoreApplication::notify(receiver, event);
        const qint64 benchSpent = benchNs - benchBefore;
        if (watched) {
            watched->longest.offer(timer.nsecsElapsed() - benchSpent, type, receiver);
            watched->longestWork.offer(threadCpuNs() - cpuBefore - benchSpent, type, receiver);
        }
        return handled;
    }

private:
    void tick()
    {
        if (!watched)
            return;
        const qint64 now = clock.nsecsElapsed();
        const qint64 interval = now - lastTickNs - (benchNs - lastBenchNs);
        watched->latenessNs.push_back(qMax<qint64>(0, interval - qint64(kTickMs) * 1000000));
        lastTickNs = now;
        lastBenchNs = benchNs;
    }

    Responsiveness *watched = nullptr;
    QTimer ticker;
    QElapsedTimer clock;
    qint64 lastTickNs = 0;
    qint64 lastBenchNs = 0;
};

// The item and every row below it.
int subtreeSize(const QAbstractItemModel &model, const QModelIndex &item)
{
    int size = item.isValid() ? 1 : 0;
    for (int row = 0, rows = model.rowCount(item); row < rows; ++row)
        size += subtreeSize(model, model.index(row, 0, item));
    return size;
}

int rowsIn(const QAbstractItemModel &model, const QModelIndex &parent, int first, int last)
{
    int rows = 0;
    for (int row = first; row <= last; ++row)
        rows += subtreeSize(model, model.index(row, 0, parent));
    return rows;
}

struct Phase
{
    qint64 ns = 0; // from its first event until the model is idle
    int rows = 0; // in the whole tree at the end
    qint64 toolRuns = 0;
    qint64 firstRowsNs = -1; // when the first root first showed rows
    qint64 allRowsNs = -1; // when the tree first had all its rows
    qint64 residentGrowth = 0;
    Responsiveness gui;
    int progressAnnouncements = 0;
    qint64 searchNs = 0; // a search that few items match, with every match shown
    qint64 clearNs = 0; // the search emptied again, the roots shown
    qint64 matchCountNs = 0; // the page's count of the files that the search shows
    int matches = 0;
};

// Follows the number of rows in the whole tree from the model's own announcements, and
// notes when the first root first shows rows and when the tree first has all its rows.
class RowWatch : public QObject
{
public:
    RowWatch(const QAbstractItemModel &watched, int allRows, const QElapsedTimer &clock,
             Phase &phase)
        : model(watched), allRows(allRows), clock(clock), figures(phase)
    {
        connect(&model, &QAbstractItemModel::modelReset, this,
                [this] { follow([this] { figures.rows = subtreeSize(model, {}); }); });
        connect(&model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &parent, int first, int last) {
                    follow([&] { figures.rows += rowsIn(model, parent, first, last); });
                });
        connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [this](const QModelIndex &parent, int first, int last) {
                    follow([&] { figures.rows -= rowsIn(model, parent, first, last); });
                });
    }

private:
    void follow(const std::function<void()> &count)
    {
        const qint64 now = clock.nsecsElapsed();
        count();
        if (figures.firstRowsNs < 0 && model.rowCount() > 0
            && model.rowCount(model.index(0, 0)) > 0)
            figures.firstRowsNs = now;
        if (figures.allRowsNs < 0 && figures.rows == allRows)
            figures.allRowsNs = now;
        benchNs += clock.nsecsElapsed() - now;
    }

    const QAbstractItemModel &model;
    const int allRows;
    const QElapsedTimer &clock;
    Phase &figures;
};

void waitUntil(const std::function<bool()> &done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(kPollMs);
    loop.exec();
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

void search(FolderModel &model, Phase &figures);

struct Following
{
    int watches = 0; // as the system counts them
    qint64 kernelBytesPerWatch = -1; // -1 where the kernel's tables cannot be read
    qint64 qtBytesPerWatch = 0; // Qt's own bookkeeping, from a watcher of the same folders
    std::vector<qint64> changeNs; // from a file's creation until its row is announced
    Responsiveness gui;
};

// The watches of this process's inotify instances, from their descriptions in /proc.
int systemWatches()
{
    int watches = 0;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System);
    for (const QString &fd : fds) {
        char target[64] = {};
        const QByteArray link = QFile::encodeName(QStringLiteral("/proc/self/fd/") + fd);
        if (readlink(link.constData(), target, sizeof target - 1) <= 0
            || !QByteArray(target).contains("inotify"))
            continue;
        QFile info(QStringLiteral("/proc/self/fdinfo/") + fd);
        if (info.open(QIODevice::ReadOnly))
            watches += info.readAll().count("inotify wd:");
    }
    return watches;
}

// The size of the kernel's record of one watch, as its slab cache tells.
qint64 kernelBytesPerWatch()
{
    QFile size(QStringLiteral("/sys/kernel/slab/inotify_inode_mark/slab_size"));
    return size.open(QIODevice::ReadOnly) ? size.readAll().trimmed().toLongLong() : -1;
}

QStringList foldersBelow(const QString &root)
{
    QStringList folders{root};
    QDirIterator below(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (below.hasNext())
        folders << below.next();
    return folders;
}

// New files in folders of the scanned tree, one at a time: the time until each row shows
// holds two quiet times (the change settles, then the file is seen to keep its size).
Following follow(TimedApplication &app, FolderModel &model, const QString &root)
{
    Following figures;
    figures.watches = systemWatches();
    figures.kernelBytesPerWatch = kernelBytesPerWatch();
    const QStringList folders = foldersBelow(root);
    {
        const qint64 before = residentBytes();
        QFileSystemWatcher plain;
        plain.addPaths(folders);
        figures.qtBytesPerWatch = (residentBytes() - before) / qMax(1, folders.size());
    }
    std::mt19937 random(kSeed);
    QElapsedTimer clock;
    QString awaited;
    qint64 shownNs = -1;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &model,
                     [&](const QModelIndex &parent, int first) {
                         if (model.index(first, 0, parent).data().toString() == awaited)
                             shownNs = clock.nsecsElapsed();
                     });
    app.watch(&figures.gui);
    for (int i = 0; i < kChangesTimed; ++i) {
        awaited = QStringLiteral("new%1.jpg").arg(i);
        shownNs = -1;
        clock.start();
        QFile(folders.at(int(random() % unsigned(folders.size()))) + QLatin1Char('/') + awaited)
                .open(QIODevice::WriteOnly);
        waitUntil([&] { return shownNs >= 0 && !model.isBusy(); });
        figures.changeNs.push_back(shownNs);
    }
    app.watch(nullptr);
    return figures;
}

// Adds the folder from an event, as a host does, and waits until the model is idle; then
// runs what else is to be measured on the same model.
Phase scan(TimedApplication &app, const QString &folder, const QString &project,
           const std::function<void(FolderModel &)> &then = {})
{
    QDir().mkpath(project);
    Utility_CommParam::getInstance()->setProjectPath(project);
    Phase figures;
    const qint64 residentBefore = residentBytes();
    FolderModel model(nullptr);
    bool ended = false;
    QObject::connect(&model, &FolderModel::loadFolderEnded, [&] { ended = true; });
    QObject::connect(model.loadProgress(), &LoadProgress::progressChanged,
                     [&] { ++figures.progressAnnouncements; });
    QElapsedTimer clock;
    app.watch(&figures.gui);
    QTimer::singleShot(0, &model, [&] {
        clock.start();
        model.addFolder(folder);
    });
    waitUntil([&] { return ended && !model.isBusy(); });
    figures.ns = clock.nsecsElapsed();
    app.watch(nullptr);
    figures.rows = subtreeSize(model, {});
    figures.residentGrowth = residentBytes() - residentBefore;
    search(model, figures);
    if (then)
        then(model);
    return figures;
}

// As the page searches: the filter is set, and every folder that shows is opened.
void search(FolderModel &model, Phase &figures)
{
    FolderFilterModel filter(&model, nullptr);
    filter.rowCount(); // a view shows the roots
    QElapsedTimer clock;
    clock.start();
    filter.setText(QStringLiteral("f123"));
    figures.matches = subtreeSize(filter, {});
    figures.searchNs = clock.nsecsElapsed();
    clock.restart();
    filter.matchCount();
    figures.matchCountNs = clock.nsecsElapsed();
    clock.restart();
    filter.setText({});
    filter.rowCount();
    figures.clearNs = clock.nsecsElapsed();
}

// A fresh model on the project of the last scan, restored as at a restart of the host.
Phase restore(TimedApplication &app, int allRows)
{
    Phase figures;
    FolderModel model(nullptr);
    QElapsedTimer clock;
    RowWatch rows(model, allRows, clock, figures);
    QTemporaryDir counter;
    const QString runs = counter.filePath(QStringLiteral("runs"));
    qputenv("FFMPEG_STANDIN_COUNT", QFile::encodeName(runs));
    app.watch(&figures.gui);
    QTimer::singleShot(0, &model, [&] {
        clock.start();
        emit UI_Proc_Config_Desktop::getInstance().loadDatabase();
    });
    waitUntil([&] { return clock.isValid() && !model.isBusy(); });
    figures.ns = clock.nsecsElapsed();
    app.watch(nullptr);
    qunsetenv("FFMPEG_STANDIN_COUNT");
    figures.toolRuns = QFileInfo(runs).size();
    return figures;
}

// A run as the model makes it: IN and OUT in the shape stand for the input and output files.
QByteArrayList toolRun(const char *shape, const QString &in, const QString &out = {})
{
    QByteArrayList arguments = QByteArray(shape).split(' ');
    for (QByteArray &argument : arguments) {
        if (argument == "IN" || argument == "OUT")
            argument = QFile::encodeName(argument == "IN" ? in : out);
    }
    return arguments;
}

// Each video's thumbnail and probe, each sound's probe; without a thumbnail directory, the
// probes alone, as after a restore, which keeps the thumbnails.
QList<QByteArrayList> toolRuns(const Library &library, const QString &thumbnailDir = {})
{
    QList<QByteArrayList> runs;
    for (const QString &video : library.videos) {
        // A scan's thumbnail run describes the video for its probe too.
        const QString out = thumbnailDir + QStringLiteral("/%1.jpg").arg(runs.size());
        runs << (thumbnailDir.isEmpty()
                         ? toolRun("ffmpeg -i IN", video)
                         : toolRun("ffmpeg -ss 1 -i IN -y -vf scale=320:-1 -vframes 1 OUT", video,
                                   out));
    }
    for (const QString &sound : library.sounds)
        runs << toolRun("ffmpeg -i IN", sound);
    return runs;
}

// The least any scheduler of these runs could take: the stand-in started one run at a time.
qint64 spawnFloorNs(const QList<QByteArrayList> &runs)
{
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&quiet, fd, "/dev/null", O_RDWR, 0);
    QElapsedTimer clock;
    clock.start();
    for (QByteArrayList run : runs) {
        std::vector<char *> argv;
        for (QByteArray &argument : run)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_t child = 0;
        if (posix_spawn(&child, kStandIn, &quiet, nullptr, argv.data(), environ) == 0)
            waitpid(child, nullptr, 0);
    }
    posix_spawn_file_actions_destroy(&quiet);
    return clock.nsecsElapsed();
}

void line(const char *label, const QString &value, const char *target = nullptr)
{
    std::printf("%-24s%s", label, qPrintable(value));
    if (target)
        std::printf(" (target %s)", target);
    std::printf("\n");
}

QString seconds(qint64 ns)
{
    return ns < 0 ? QStringLiteral("never") : QString::asprintf("%.3f s", ns / 1e9);
}

QString ratio(qint64 ns, qint64 floorNs)
{
    return QString::asprintf("%.2f", double(ns) / double(qMax<qint64>(1, floorNs)));
}

QString counts(const Library &library)
{
    return QString::asprintf("%d folders, %d videos, %d pictures, %d sounds, %d other",
                             library.folders, library.files[Video], library.files[Picture],
                             library.files[Sound], library.files[Other]);
}

void printResponsiveness(const QByteArray &phase, Responsiveness gui)
{
    std::vector<qint64> &lateness = gui.latenessNs;
    std::sort(lateness.begin(), lateness.end());
    const double p99 = lateness.empty() ? 0 : lateness[lateness.size() * 99 / 100] / 1e6;
    const double max = lateness.empty() ? 0 : lateness.back() / 1e6;
    for (const auto &[name, longest] :
         {std::pair(" longest event:", gui.longest), std::pair(" longest work:", gui.longestWork)})
        line((phase + name).constData(),
             QString::asprintf("%.1f ms, event type %d on %s", longest.ns / 1e6, longest.type,
                               longest.receiver.constData()),
             "<= 16 ms");
    line((phase + " lateness:").constData(),
         QString::asprintf("max %.1f ms, p99 %.1f ms", max, p99), "p99 <= 16 ms");
}

// Records a second through the store's grouped writes, as a scan stores its items: one at a
// time, with events run between them so that the store's timer commits its groups, and a
// commit at the end. Negative when the store cannot be used.
double storeWriteRate(const QString &configured)
{
    QTemporaryDir project; // its name is the project's in a shared store
    Utility_CommParam::getInstance()->setProjectPath(project.path());
    UI_Proc_Config_Desktop::getInstance().setValue(kMediaInfoStoreKey, configured);
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    QElapsedTimer timer;
    timer.start();
    bool stored = store.open();
    for (int i = 0; stored && i < kStoreWrites; ++i) {
        Module_Mediainfo record
                = newItemRecord(QStringLiteral("{bench-%1}").arg(i),
                                project.filePath(QStringLiteral("f%1.mp4").arg(i)), 0);
        record.fileSize = i;
        stored = store.replaceMediaInfo(record);
        if (i % kWritesPerEventPass == 0)
            QCoreApplication::processEvents();
    }
    stored = stored && store.commit();
    const qint64 ns = timer.nsecsElapsed();
    UI_Proc_Config_Desktop::getInstance().setValue(kMediaInfoStoreKey, QString());
    return stored ? kStoreWrites / (ns / 1e9) : -1;
}

QString writeRate(double rate)
{
    return rate < 0 ? QStringLiteral("failed") : QString::asprintf("%.0f records/s", rate);
}

} // namespace

int main(int argc, char *argv[])
{
    TimedApplication app(argc, argv);
    int entries = kDefaultEntries;
    int jobs = 0; // the model's default
    const QStringList arguments = app.arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--jobs") && i + 1 < arguments.size())
            jobs = arguments.at(++i).toInt();
        else
            entries = arguments.at(i).toInt();
    }
    if (jobs > 0)
        UI_Proc_Config_Desktop::getInstance().setValue(QStringLiteral("customFolder/parallelJobs"),
                                                       jobs);
    qputenv("PATH", QByteArray(FFMPEG_STANDIN_DIR ":") + qgetenv("PATH"));

    QTemporaryDir work;
    const Library library = makeLibrary(work.filePath(QStringLiteral("library")), entries, true);
    const Library stills = makeLibrary(work.filePath(QStringLiteral("stills")), entries, false);
    line("entries:", QString::number(entries));
    line("jobs:", jobs > 0 ? QString::number(jobs) : QStringLiteral("model default"));
    line("library:", counts(library));
    line("second tree:", counts(stills));

    const Phase full = scan(app, library.root, work.filePath(QStringLiteral("project")));
    const Phase restored = restore(app, full.rows);
    Following following;
    const Phase still
            = scan(app, stills.root, work.filePath(QStringLiteral("stills-project")),
                   [&](FolderModel &model) { following = follow(app, model, stills.root); });
    const QString floorDir = work.filePath(QStringLiteral("floor"));
    QDir().mkpath(floorDir);
    const QList<QByteArrayList> runs = toolRuns(library, floorDir);
    const QList<QByteArrayList> probes = toolRuns(library);
    const qint64 scanFloorNs = spawnFloorNs(runs);
    const qint64 probeFloorNs = spawnFloorNs(probes);

    line("scan:", seconds(full.ns) + QString::asprintf(", %d items shown", full.rows));
    line("scan floor:", seconds(scanFloorNs) + QString::asprintf(", %d tool runs", runs.size()));
    line("scan/floor:", ratio(full.ns, scanFloorNs), "<= 1.2");
    line("walk+build+store:",
         QString::asprintf("%.0f items/s, %d items shown", still.rows / (still.ns / 1e9),
                           still.rows),
         ">= 50000 items/s");
    line("restore first rows:", seconds(restored.firstRowsNs), "<= 0.2 s");
    line("restore all rows:",
         seconds(restored.allRowsNs) + QString::asprintf(", %d rows", restored.rows), "<= 2 s");
    line("restore to idle:",
         seconds(restored.ns) + QString::asprintf(", %lld tool runs", restored.toolRuns),
         "<= 2 s, no tool run");
    line("re-probe floor:",
         seconds(probeFloorNs) + QString::asprintf(", %d tool runs", probes.size()));
    line("restore/floor:", ratio(restored.ns, probeFloorNs));
    printResponsiveness("scan", full.gui);
    printResponsiveness("restore", restored.gui);
    line("progress updates:",
         QString::asprintf("%.1f a second", full.progressAnnouncements / (full.ns / 1e9)), "<= 10");
    line("search:", seconds(still.searchNs) + QString::asprintf(", %d rows shown", still.matches));
    line("search cleared:", seconds(still.clearNs));
    line("match count:", seconds(still.matchCountNs), "<= 0.016 s");
    line("memory:", QString::asprintf("%lld B/item", full.residentGrowth / qMax(1, full.rows)),
         "<= 1024 B/item");
    std::vector<qint64> &changes = following.changeNs;
    std::sort(changes.begin(), changes.end());
    line("watches:", QString::asprintf("%d for %d folders", following.watches, stills.folders + 1));
    line("memory per watch:",
         QString::asprintf("%lld B kernel, %lld B Qt", following.kernelBytesPerWatch,
                           following.qtBytesPerWatch));
    line("new file to row:",
         QString::asprintf("median %.3f s, max %.3f s, of which %.3f s quiet time",
                           changes[changes.size() / 2] / 1e9, changes.back() / 1e9,
                           2 * kQuietMs / 1e3));
    printResponsiveness("following", following.gui);
    line("store writes, SQLite:", writeRate(storeWriteRate(QString())));
    const QString server = qEnvironmentVariable("CUSTOMFOLDER_STORE_URL");
    line("store writes, PostgreSQL:",
         server.isEmpty() ? QStringLiteral("not measured: no CUSTOMFOLDER_STORE_URL (run through "
                                           "scripts/postgres.sh run)")
                          : writeRate(storeWriteRate(server)));
    return 0;
}
