// Drives the folder model through seeded sequences of overlapping operations: folders added,
// rows and roots deleted, refreshes, clears, transcodes and their stops, restarts of the
// application and files made, removed, replaced and renamed on disk, which the model follows
// by itself. Each operation arrives after a number of the
// model's steps drawn from the seed, or once the model is idle. At every idle point the tree,
// the store and the picture directory must agree with each other and with what the
// operations should have left; a restart must bring back the tree that was shown.
//
// CONSISTENCY_SEED=<n> runs that one sequence again; CONSISTENCY_SEQUENCES=<n> sets how many
// sequences run from the fixed base seed.

#include "model/foldermodel.h"
#include "probe/proberunner.h"
#include "store/ui_proc_config_desktop.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <memory>
#include <numeric>
#include <optional>

namespace {

constexpr quint32 kBaseSeed = 20240917;
constexpr int kDefaultSequences = 280;
constexpr int kIdle = -1; // the moment of an operation that waits until the model is idle
constexpr int kLatestStep = 40; // otherwise it comes after at most this many of its steps
constexpr int kIdleTimeoutMs = 20000;
constexpr int kNoticeTimeoutMs = 5000; // for a change on disk to reach the model
constexpr int kFirstStepType = QEvent::User + 2; // the steps that the model posts to itself
constexpr int kLastStepType = QEvent::User + 13;

const QStringList kShownSuffixes{"mp4", "mkv", "jpg", "mp3", "pptx"};
const QStringList kMadeSuffixes{"mp4", "mp3", "jpg", "pptx", "txt", "mp4"}; // videos most

enum Op { Add, DeleteRow, DeleteRoot, Refresh, Clear, Transcode, Stop, Restart, DiskChange };
const QVector<int> kOpWeights{4, 3, 2, 3, 1, 3, 1, 3, 2}; // in the order of Op

struct Row
{
    int id;
    QString path;
    QString uuid;
    QString parentPath; // empty for a root
    QString rootPath;
};

struct ExpectedRoot
{
    QString path;
    QSet<QString> items; // every path below the root that must be shown
};

QString sorted(const QSet<QString> &set)
{
    QStringList list(set.cbegin(), set.cend());
    list.sort();
    return list.join(", ");
}

bool isAtOrBelow(const QString &path, const QString &top)
{
    return path == top || path.startsWith(top + '/');
}

// Empty when both are the same; otherwise what only one of them has.
QString difference(const QString &what, const QSet<QString> &shown, const QSet<QString> &other,
                   const char *otherName = "expected")
{
    if (shown == other)
        return {};
    return QString(" %1: only shown [%2], only %3 [%4]")
            .arg(what, sorted(shown - other), otherName, sorted(other - shown));
}

QSet<QString> pathsAndUuids(const QVector<Row> &rows)
{
    QSet<QString> lines;
    for (const Row &row : rows)
        lines << row.path + ' ' + row.uuid;
    return lines;
}

// Whether a transcode, stopped or not, ends before a walk or a restart is a matter of
// timing: an output row is only required to have its file.
bool isTranscodeOutput(const QString &path)
{
    return QFileInfo(path).fileName().startsWith("VEK_");
}

// What a walk of the folder shows: every folder that is not hidden and the media files.
QSet<QString> walked(const QString &root)
{
    QSet<QString> items;
    QDirIterator below(root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (below.hasNext()) {
        const QFileInfo entry(below.next());
        if ((entry.isDir() || kShownSuffixes.contains(entry.suffix()))
            && !isTranscodeOutput(entry.filePath()))
            items << entry.filePath();
    }
    return items;
}

// Pictures are real, so that they decode; the tools are never given real media.
void makeFile(const QString &path)
{
    if (path.endsWith(".jpg")) {
        QImage picture(16, 12, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        picture.save(path, "JPG");
    } else {
        makeEntries(QFileInfo(path).path(), {QFileInfo(path).fileName()});
    }
}

class Sequence : public QObject
{
public:
    explicit Sequence(quint32 seed) : seed(seed), random(seed) { }

    // Empty when every check held; otherwise the seed, the sequence and what was found.
    QString run()
    {
        const int lanes = 1 + random.bounded(3);
        const int toolDelayMs = 1 + random.bounded(8);
        UI_Proc_Config_Desktop::getInstance().setValue(kParallelJobsKey, lanes);
        qputenv("FFMPEG_STANDIN_DELAY_MS", QByteArray::number(toolDelayMs));
        log << QString("%1 lanes, tools take %2 ms").arg(lanes).arg(toolDelayMs);
        for (int root = 2 + random.bounded(2); root > 0; --root) {
            candidates << disk.filePath(QString(QChar('A' + candidates.size())));
            fillFolder(candidates.last(), 1 + random.bounded(2));
        }
        startModel();
        QString found;
        const int operations = 4 + random.bounded(5);
        for (int i = 0; i < operations && found.isEmpty(); ++i)
            found = step(i == 0 ? Add : pickOp()); // a session starts with a folder
        if (found.isEmpty())
            found = checkpoint();
        if (found.isEmpty()) {
            log << apply(Restart, kIdle) + "@idle";
            found = checkpoint();
        }
        if (found.isEmpty())
            return {};
        return QString("seed %1: %2\n  found: %3")
                .arg(seed)
                .arg(log.join("; "), found)
                .replace(disk.path(), "~")
                .replace(project.path(), "<project>");
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        const int type = event->type();
        if (type >= kFirstStepType && type <= kLastStepType && ++stepsSeen == stepsWanted
            && waiting)
            waiting->quit();
        return false;
    }

private:
    template<typename List>
    auto pick(const List &list)
    {
        return list.at(random.bounded(int(list.size())));
    }

    Op pickOp()
    {
        int draw = random.bounded(std::accumulate(kOpWeights.cbegin(), kOpWeights.cend(), 0));
        int op = 0;
        for (; draw >= kOpWeights.at(op); ++op)
            draw -= kOpWeights.at(op);
        return Op(op);
    }

    // The operation arrives at its moment; a restart in the middle of a load is checked at
    // once. A load of these small folders takes a few dozen steps: early moments come more
    // often.
    QString step(Op op)
    {
        const bool atIdle = random.bounded(5) == 0;
        const int moment = atIdle ? kIdle : random.bounded(random.bounded(kLatestStep) + 1);
        advance(moment);
        const QString found = moment == kIdle ? checkpoint() : QString();
        if (!found.isEmpty())
            return found;
        treeBeforeRestart.reset();
        log << apply(op, moment) + (moment == kIdle ? "@idle" : QString("@%1").arg(moment));
        const bool midLoadRestart = op == Restart && moment != kIdle;
        if (!midLoadRestart && random.bounded(3) > 0)
            return {};
        log << "idle check"; // the next moment counts from here
        return checkpoint(midLoadRestart);
    }

    // Files of every kind, sub-folders, and now and then a folder named like a video or a
    // hidden one.
    void fillFolder(const QString &folder, int depth)
    {
        QDir().mkpath(folder);
        for (int entries = 2 + random.bounded(3); entries > 0; --entries)
            makeEntry(folder, depth);
    }

    void makeEntry(const QString &folder, int depth)
    {
        const QString path = folder + QString("/n%1").arg(++names);
        const int kind = random.bounded(kMadeSuffixes.size() + (depth > 0 ? 2 : 0));
        if (kind < kMadeSuffixes.size())
            makeFile(path + '.' + kMadeSuffixes.at(kind));
        else if (kind == kMadeSuffixes.size())
            fillFolder(path, depth - 1);
        else if (random.bounded(2) == 0)
            makeEntries(path + ".mp4", {"inside.mp3"});
        else
            makeEntries(folder, {QString(".n%1/hidden.mp4").arg(++names)});
    }

    // As the host starts: a model with a view on it, then the store announced.
    void startModel()
    {
        model = std::make_unique<FolderModel>(nullptr);
        new QAbstractItemModelTester(
                model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest, model.get());
        model->installEventFilter(this);
        transcodeProcess = model->findChild<QProcess *>();
        emit UI_Proc_Config_Desktop::getInstance().loadDatabase();
    }

    // Idle, and no stopped transcode still on its way out: it removes its output as it ends.
    bool isQuiet() const
    {
        return !model->isBusy() && transcodeProcess->state() == QProcess::NotRunning;
    }

    // A step that the last one posted (the next waiting folder, say) runs on the next pass.
    bool settle()
    {
        do {
            if (!waitUntil([this] { return isQuiet(); }, kIdleTimeoutMs))
                return false;
            QCoreApplication::processEvents();
        } while (!isQuiet());
        unseenChanges.clear();
        return true;
    }

    // Runs the model until the moment comes: so many steps delivered, or the model idle.
    void advance(int moment)
    {
        if (moment == kIdle) {
            settle();
            return;
        }
        stepsSeen = 0;
        stepsWanted = moment;
        QEventLoop loop;
        QTimer poll;
        QElapsedTimer clock;
        clock.start();
        connect(&poll, &QTimer::timeout, &loop, [&] {
            if (isQuiet() || clock.hasExpired(kIdleTimeoutMs))
                loop.quit();
        });
        poll.start(1);
        waiting = &loop;
        if (moment > 0 && !isQuiet())
            loop.exec();
        waiting = nullptr;
    }

    QVector<Row> shownRows(const QModelIndex &parent = {}, const QString &rootPath = {}) const
    {
        QVector<Row> rows;
        const QString parentPath = parent.isValid() ? model->pathOf(int(parent.internalId())) : "";
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex child = model->index(row, 0, parent);
            const int id = int(child.internalId());
            const QString path = model->pathOf(id);
            const QString root = parent.isValid() ? rootPath : path;
            rows << Row{id, path, model->uuidOf(id), parentPath, root} << shownRows(child, root);
        }
        return rows;
    }

    ExpectedRoot *expectedRoot(const QString &path)
    {
        const auto root = std::find_if(expected.begin(), expected.end(),
                                       [&path](const ExpectedRoot &r) { return r.path == path; });
        return root == expected.end() ? nullptr : &*root;
    }

    QString apply(Op op, int moment)
    {
        switch (op) {
        case Add:
            return addFolder();
        case DeleteRow:
        case DeleteRoot:
            return deleteRow(op == DeleteRoot);
        case Refresh:
            dismissed.clear();
            model->refreshTree();
            for (ExpectedRoot &root : expected)
                root.items = walked(root.path);
            return "refresh";
        case Clear:
            dismissed.clear();
            model->onClearAll();
            expected.clear();
            return "clear";
        case Transcode:
            return transcode();
        case Stop:
            for (const Row &row : shownRows()) {
                if (transcoded.contains(row.path)) {
                    model->onStopTranscode(row.id);
                    return "stop " + row.path;
                }
            }
            return "stop (nothing transcoding)";
        case Restart:
            if (moment == kIdle)
                treeBeforeRestart = pathsAndUuids(shownRows());
            dismissed.clear(); // rows deleted on the page come back with a change beside them
            model.reset(); // the application closes
            startModel();
            return "restart" + changeAgain();
        case DiskChange:
            return changeDisk();
        }
        return {};
    }

    // A folder that is not shown yet; refused while another one is walked.
    QString addFolder()
    {
        QStringList free;
        for (const QString &path : qAsConst(candidates)) {
            if (!expectedRoot(path))
                free << path;
        }
        if (free.isEmpty())
            return "add (all added)";
        const QString path = pick(free);
        const QSet<QString> items = walked(path);
        QSignalSpy errors(model.get(), &FolderModel::errorOccured);
        model->addFolders({path});
        const bool refused = !errors.isEmpty() && errors.first().first().toInt() == AddWhileWalking;
        if (!refused) {
            expected.append({path, items});
            for (auto row = dismissed.begin(); row != dismissed.end();)
                row = isAtOrBelow(*row, path) ? dismissed.erase(row) : std::next(row);
        }
        return "add " + path + (refused ? " (refused)" : "");
    }

    QString deleteRow(bool root)
    {
        QVector<Row> rows;
        for (const Row &row : shownRows()) {
            if (row.parentPath.isEmpty() == root)
                rows << row;
        }
        if (rows.isEmpty())
            return root ? "delete root (none shown)" : "delete row (none shown)";
        const Row row = pick(rows);
        if (!root && QFileInfo::exists(row.path))
            dismissed << row.path;
        model->removeItem(row.id);
        if (root) {
            expected.erase(
                    std::remove_if(expected.begin(), expected.end(),
                                   [&](const ExpectedRoot &r) { return r.path == row.path; }),
                    expected.end());
        } else if (ExpectedRoot *expectedParent = expectedRoot(row.rootPath)) {
            QSet<QString> &items = expectedParent->items;
            for (auto item = items.begin(); item != items.end();)
                item = isAtOrBelow(*item, row.path) ? items.erase(item) : std::next(item);
        }
        return "delete " + row.path;
    }

    // A video file's transcode, now and then stopped at once.
    QString transcode()
    {
        QVector<Row> videos;
        for (const Row &row : shownRows()) {
            const QFileInfo file(row.path);
            if (file.suffix() == "mp4" && !file.isDir())
                videos << row;
        }
        if (videos.isEmpty())
            return "transcode (no video shown)";
        const Row video = pick(videos);
        transcoded << video.path;
        model->onTranscode(video.id, "H264", 64, 48);
        if (random.bounded(3) > 0)
            return "transcode " + video.path;
        model->onStopTranscode(video.id);
        return "transcode and stop " + video.path;
    }

    // An entry made, removed, replaced as programs save files or renamed, at any moment.
    QString changeDisk()
    {
        QStringList entries = candidates;
        for (const QString &root : qAsConst(candidates))
            entries << walked(root).values();
        entries.sort(); // the same pick in every run of the seed
        const QString entry = pick(entries);
        const QFileInfo info(entry);
        const QString parent = info.path();
        const int kind = candidates.contains(entry) ? 0 : random.bounded(4);
        if (kind == 0 || (kind == 3 && info.isDir())) {
            const QString folder = info.isDir() ? entry : parent;
            makeEntry(folder, 1);
            return followChange(folder, "make an entry in " + folder);
        }
        if (kind == 1) {
            if (info.isDir())
                QDir(entry).removeRecursively();
            else
                QFile::remove(entry);
            return followChange(parent, "remove " + entry);
        }
        if (kind == 2) {
            const QString suffix = info.suffix().isEmpty() ? QString() : '.' + info.suffix();
            const QString renamed = parent + QString("/n%1").arg(++names) + suffix;
            QDir().rename(entry, renamed);
            return followChange(parent, "rename " + entry + " to " + renamed);
        }
        const QString saving = parent + QString("/.n%1.").arg(++names) + info.suffix();
        makeFile(saving);
        QFile::remove(entry);
        QFile::rename(saving, entry);
        return followChange(parent, "replace " + entry);
    }

    // A shown folder shows its entries as they are now, less the rows deleted on the page;
    // the model hears of the change before it can be idle again.
    QString followChange(const QString &folder, const QString &done)
    {
        bool shown = false;
        for (ExpectedRoot &root : expected) {
            QSet<QString> &items = root.items;
            if (root.path != folder && !items.contains(folder))
                continue;
            shown = true;
            for (auto item = items.begin(); item != items.end();)
                item = isAtOrBelow(*item, folder) && !QFileInfo::exists(*item) ? items.erase(item)
                                                                               : std::next(item);
            for (const QString &path : walked(folder)) {
                if (QFileInfo(path).path() == folder && !items.contains(path)
                    && !dismissed.contains(path)) {
                    items << path;
                    items += walked(path);
                }
            }
        }
        if (shown) {
            unseenChanges << folder;
            waitUntil([this] { return model->isBusy(); }, kNoticeTimeoutMs);
        }
        return done;
    }

    // A change that the model had not applied when the application closed is seen, like one
    // made while it was closed, when its folder changes again once the tree is back.
    QString changeAgain()
    {
        if (unseenChanges.isEmpty())
            return {};
        const QStringList folders = unseenChanges;
        settle();
        QString done;
        for (const QString &folder : folders) {
            const QString again = folder + "/.again";
            if (QFile(again).open(QIODevice::WriteOnly) && QFile::remove(again))
                done += ", " + folder + " changes again";
        }
        waitUntil([this] { return model->isBusy(); }, kNoticeTimeoutMs);
        return done;
    }

    // Settles the model and checks the tree, the store and the picture directory against
    // each other and against what is expected. After a restart in the middle of a load,
    // whatever came back must have been expected, and is what is expected from then on.
    QString checkpoint(bool adoptTree = false)
    {
        if (!settle())
            return "the model never became idle";
        const QVector<Row> rows = shownRows();
        QStringList found;
        if (QTest::currentTestFailed())
            found << "the item model tester failed (see above)";
        if (treeBeforeRestart)
            found << checkRestoredExactly(rows);
        found << checkExpected(rows, adoptTree) << checkStore(rows) << checkPictures(rows);
        for (QString &text : found)
            text = text.trimmed();
        found.removeAll(QString());
        if (adoptTree)
            adopt(rows);
        return found.join("\n  ");
    }

    // The roots in order and the rows below each; with partly, only what came back after a
    // restart in the middle of a load, which need only have been expected.
    QString checkExpected(const QVector<Row> &rows, bool partly) const
    {
        QStringList shownRoots;
        QStringList wantedRoots;
        QHash<QString, QSet<QString>> shownItems; // by root
        QString found;
        for (const Row &row : rows) {
            if (row.parentPath.isEmpty())
                shownRoots << row.path;
            else if (QFileInfo(row.path).path() != row.parentPath)
                found += QString(" %1 is shown below %2").arg(row.path, row.parentPath);
            else if (!isTranscodeOutput(row.path))
                shownItems[row.rootPath] << row.path;
            else if (!QFileInfo::exists(row.path) && QFileInfo::exists(row.parentPath))
                found += QString(" %1 is shown without its file").arg(row.path);
        }
        for (const ExpectedRoot &root : expected) {
            if (!partly || shownRoots.contains(root.path))
                wantedRoots << root.path;
            const QSet<QString> shown = shownItems.value(root.path);
            const QSet<QString> &wanted = root.items;
            found += difference("below " + root.path, shown,
                                partly ? QSet<QString>(wanted).intersect(shown) : wanted);
        }
        if (shownRoots != wantedRoots)
            found += QString(" roots [%1] instead of [%2]")
                             .arg(shownRoots.join(", "), wantedRoots.join(", "));
        return found;
    }

    // After a restart at an idle point: the same rows with the same uuids, each folder's in
    // ascending path order.
    QString checkRestoredExactly(const QVector<Row> &rows) const
    {
        QHash<QString, QString> lastOfFolder;
        QString found;
        for (const Row &row : rows) {
            if (!row.parentPath.isEmpty() && lastOfFolder.value(row.parentPath) > row.path)
                found += QString(" %1 comes after %2").arg(row.path, lastOfFolder[row.parentPath]);
            lastOfFolder.insert(row.parentPath, row.path);
        }
        return found
               + difference("after a restart at an idle point", pathsAndUuids(rows),
                            *treeBeforeRestart, "before");
    }

    // Every row is stored under its uuid, and nothing else is; one rootIndex per root.
    QString checkStore(const QVector<Row> &rows) const
    {
        QSet<QString> stored;
        QHash<QString, QString> rootIndexOf; // by uuid
        for (const QVariantMap &record : storedRows(project.path())) {
            if (record.value("category").toString() != "folder")
                continue;
            const QString path = record.value("path").toString();
            const QString uuid = record.value("uuid").toString();
            stored << (path.endsWith('/') ? path.chopped(1) : path) + ' ' + uuid;
            rootIndexOf.insert(uuid, record.value("rootIndex").toString());
        }
        QSet<QString> roots;
        QSet<QString> indexes;
        QSet<QString> pairs;
        for (const Row &row : rows) {
            if (rootIndexOf.contains(row.uuid)) {
                roots << row.rootPath;
                indexes << rootIndexOf.value(row.uuid);
                pairs << row.rootPath + " under rootIndex " + rootIndexOf.value(row.uuid);
            }
        }
        const bool paired = pairs.size() == roots.size() && pairs.size() == indexes.size();
        return difference("tree against store", pathsAndUuids(rows), stored, "stored")
               + (paired ? QString() : " roots and rootIndex do not pair up: " + sorted(pairs));
    }

    // Each thumbnail and slide directory belongs to a shown item; each one named is there.
    // Every file has finished loading: the stand-in answers every probe.
    QString checkPictures(const QVector<Row> &rows) const
    {
        const QString pictures = QDir::cleanPath(project.path() + "/picture");
        QSet<QString> named;
        QString found;
        for (const Row &row : rows) {
            const QVariantMap record = model->itemRecords().value(row.id);
            if (record.contains("type") && record.value("type") != "folder"
                && !record.value("asyncCompleted").toBool())
                found += QString(" %1 never finished loading").arg(row.path);
            for (QString name : {record.value("img").toString(),
                                 record.value("info").toMap().value("pptPath").toString()}) {
                if (name.startsWith("file:"))
                    name = QUrl(name).toLocalFile();
                if (QFileInfo(name).absolutePath() != pictures)
                    continue;
                named << QFileInfo(name).fileName();
                if (!QFileInfo::exists(name))
                    found += QString(" %1 names the missing %2").arg(row.path, name);
            }
        }
        const QStringList present
                = QDir(pictures).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const QSet<QString> unnamed = QSet<QString>(present.cbegin(), present.cend()) - named;
        if (!unnamed.isEmpty())
            found += " picture directory holds what no shown item names: " + sorted(unnamed);
        return found;
    }

    // After a restart in the middle of a load, what came back is what is expected from now on.
    void adopt(const QVector<Row> &rows)
    {
        expected.clear();
        for (const Row &row : rows) {
            if (row.parentPath.isEmpty())
                expected.append({row.path, {}});
            else if (!isTranscodeOutput(row.path))
                expectedRoot(row.rootPath)->items << row.path;
        }
    }

    const quint32 seed;
    QRandomGenerator random;
    ProjectDir project;
    QTemporaryDir disk;
    QStringList candidates; // the folders that may be added
    int names = 0;
    std::unique_ptr<FolderModel> model;
    QProcess *transcodeProcess = nullptr;
    int stepsSeen = 0;
    int stepsWanted = 0;
    QEventLoop *waiting = nullptr;
    QVector<ExpectedRoot> expected;
    QSet<QString> transcoded; // sources whose transcodes were asked for
    QSet<QString> dismissed; // rows deleted on the page whose files are still there
    QStringList unseenChanges; // folders changed since the model was last idle
    std::optional<QSet<QString>> treeBeforeRestart; // when restarted at an idle point
    QStringList log;
};

} // namespace

class TestConsistency : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void sequences_data();
    void sequences();
};

// The stand-in answers like ffmpeg in a few milliseconds; the real tool would take seconds
// for the runs that hundreds of sequences make.
void TestConsistency::initTestCase()
{
    qputenv("PATH", QByteArray(FFMPEG_STANDIN_DIR ":") + qgetenv("PATH"));
}

void TestConsistency::sequences_data()
{
    QTest::addColumn<quint32>("seed");
    if (qEnvironmentVariableIsSet("CONSISTENCY_SEED")) {
        const quint32 seed = qgetenv("CONSISTENCY_SEED").toUInt();
        QTest::addRow("seed %u", seed) << seed;
        return;
    }
    const int sequences = qEnvironmentVariableIsSet("CONSISTENCY_SEQUENCES")
                                  ? qEnvironmentVariableIntValue("CONSISTENCY_SEQUENCES")
                                  : kDefaultSequences;
    for (quint32 seed = kBaseSeed; seed < kBaseSeed + quint32(sequences); ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

void TestConsistency::sequences()
{
    QFETCH(quint32, seed);
    const QString failure = Sequence(seed).run();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

QTEST_GUILESS_MAIN(TestConsistency)
#include "tst_consistency.moc"
