// Drives the folder model through seeded sequences of overlapping operations (the table at the
// end of Sequence), each after a number of the model's steps drawn from the seed or once it is
// idle. At every idle point the tree, the store and the picture directory must agree with each
// other and with what the operations should have left; a restart brings back the tree shown.
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

#include <climits>
#include <functional>
#include <memory>
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

struct Row
{
    int id;
    QString path, uuid, parentPath; // parentPath is empty for a root
};

QString sorted(const QSet<QString> &set)
{
    QStringList list(set.cbegin(), set.cend());
    list.sort();
    return list.join(", ");
}

// Drops top and what lies below it; with onlyGone, only what is no longer on disk.
void dropBelow(QSet<QString> &set, const QString &top, bool onlyGone = false)
{
    for (auto it = set.begin(); it != set.end();) {
        const bool below = *it == top || it->startsWith(top + '/');
        it = below && !(onlyGone && QFileInfo::exists(*it)) ? set.erase(it) : std::next(it);
    }
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
        QVector<int> draws; // each operation as often as its weight
        for (int op = 0; op < operations.size(); ++op)
            draws.insert(draws.size(), operations.at(op).weight, op);
        QString found;
        for (int i = 0, count = 4 + random.bounded(5); i < count && found.isEmpty(); ++i)
            found = step(i == 0 ? 0 : pick(draws)); // a session starts with a folder
        moment = kIdle; // the session ends with a restart at an idle point
        if (found.isEmpty() && (found = checkpoint()).isEmpty()) {
            log << "restart" + restart(0) + "@idle";
            found = checkpoint();
        }
        if (!found.isEmpty())
            found = QString("seed %1: %2\n  found: %3").arg(seed).arg(log.join("; "), found);
        return found.replace(disk.path(), "~").replace(project.path(), "<project>");
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        stepsSeen += event->type() >= kFirstStepType && event->type() <= kLastStepType;
        return false;
    }

private:
    template<typename List>
    typename List::value_type pick(const List &list)
    {
        return list.at(random.bounded(int(list.size())));
    }

    // The operation arrives at its moment; a restart in the middle of a load is checked at
    // once. A load of these small folders takes a few dozen steps: early moments come more
    // often.
    QString step(int op)
    {
        moment = random.bounded(5) == 0 ? kIdle : random.bounded(random.bounded(kLatestStep) + 1);
        if (moment != kIdle)
            advance(moment);
        else if (const QString found = checkpoint(); !found.isEmpty())
            return found;
        treeBeforeRestart.reset();
        log << operations.at(op).name + (this->*operations.at(op).run)(operations.at(op).variant)
                        + (moment == kIdle ? "@idle" : QString("@%1").arg(moment));
        if (!adoptTree && random.bounded(3) > 0)
            return {};
        log << "idle check"; // the next moment counts from here
        return checkpoint();
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
        transcoder = model->findChild<QProcess *>();
        emit UI_Proc_Config_Desktop::getInstance().loadDatabase();
    }

    // Idle, and no stopped transcode still on its way out: it removes its output as it ends.
    bool isQuiet() const { return !model->isBusy() && transcoder->state() == QProcess::NotRunning; }

    // Runs the model pass by pass until it has delivered so many of its steps or is quiet.
    bool advance(int steps)
    {
        QTimer poll; // wakes the pass while the model only waits for a tool
        poll.start(1);
        QElapsedTimer clock;
        clock.start();
        for (stepsSeen = 0; stepsSeen < steps && !isQuiet() && !clock.hasExpired(kIdleTimeoutMs);)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return isQuiet();
    }

    // A step that the last one posted (the next waiting folder, say) runs on the next pass.
    bool settle()
    {
        do {
            if (!advance(INT_MAX))
                return false;
            QCoreApplication::processEvents();
        } while (!isQuiet());
        unseenChanges.clear();
        return true;
    }

    // Depth first: a root comes before the rows below it.
    QVector<Row> shownRows(const QModelIndex &parent = {}) const
    {
        QVector<Row> rows;
        const QString parentPath = parent.isValid() ? model->pathOf(int(parent.internalId())) : "";
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex child = model->index(row, 0, parent);
            const int id = int(child.internalId());
            rows << Row{id, model->pathOf(id), model->uuidOf(id), parentPath} << shownRows(child);
        }
        return rows;
    }

    QVector<Row> rowsWhere(const std::function<bool(const Row &)> &wanted) const
    {
        QVector<Row> rows = shownRows();
        rows.erase(std::remove_if(rows.begin(), rows.end(), std::not_fn(wanted)), rows.end());
        return rows;
    }

    // A folder that is not shown yet; refused while another one is walked.
    QString addFolder(int)
    {
        QStringList free = candidates;
        for (const QString &root : qAsConst(roots))
            free.removeAll(root);
        if (free.isEmpty())
            return " (all added)";
        const QString path = pick(free);
        const QSet<QString> below = walked(path);
        QSignalSpy errors(model.get(), &FolderModel::errorOccured);
        model->addFolders({path});
        if (!errors.isEmpty() && errors.first().first().toInt() == AddWhileWalking)
            return ' ' + path + " (refused)";
        roots << path;
        items += below;
        dropBelow(dismissed, path);
        return ' ' + path;
    }

    QString deleteRow(int root)
    {
        const QVector<Row> rows = rowsWhere(
                [root](const Row &row) { return row.parentPath.isEmpty() == bool(root); });
        if (rows.isEmpty())
            return " (none shown)";
        const Row row = pick(rows);
        if (!root && QFileInfo::exists(row.path))
            dismissed << row.path;
        model->removeItem(row.id);
        roots.removeAll(row.path);
        dropBelow(items, row.path);
        return ' ' + row.path;
    }

    // A refresh walks the shown folders again, a clear forgets them; after either, the rows
    // deleted on the page are forgotten too.
    QString reset(int walk)
    {
        dismissed.clear();
        walk ? model->refreshTree() : model->onClearAll();
        if (!walk)
            roots.clear();
        items.clear();
        for (const QString &root : qAsConst(roots))
            items += walked(root);
        return {};
    }

    // A video file's transcode, now and then stopped at once.
    QString transcode(int)
    {
        const QVector<Row> videos = rowsWhere([](const Row &row) {
            return row.path.endsWith(".mp4") && !QFileInfo(row.path).isDir();
        });
        if (videos.isEmpty())
            return " (no video shown)";
        const Row video = pick(videos);
        transcoded << video.path;
        model->onTranscode(video.id, "H264", 64, 48);
        if (random.bounded(3) > 0)
            return ' ' + video.path;
        model->onStopTranscode(video.id);
        return ' ' + video.path + " and stop it";
    }

    QString stopTranscode(int)
    {
        const QVector<Row> rows
                = rowsWhere([this](const Row &row) { return transcoded.contains(row.path); });
        if (!rows.isEmpty())
            model->onStopTranscode(rows.first().id);
        return rows.isEmpty() ? " (nothing transcoding)" : ' ' + rows.first().path;
    }

    // The application closes and starts again; rows deleted on the page come back with a
    // change beside them. A change that the model had not applied when it closed is seen, like
    // one made while it was closed, when its folder changes again once the tree is back.
    QString restart(int)
    {
        if (moment == kIdle)
            treeBeforeRestart = shownTree; // the checkpoint just before
        adoptTree = moment != kIdle;
        dismissed.clear();
        model.reset();
        startModel();
        const QStringList folders = unseenChanges;
        if (folders.isEmpty())
            return {};
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

    // An entry made, removed, replaced as programs save files or renamed, at any moment. A shown
    // folder then shows its entries as they are now, less the rows deleted on the page; the
    // model hears of the change before it can be idle again.
    QString changeDisk(int)
    {
        QStringList entries = candidates;
        for (const QString &root : qAsConst(candidates))
            entries << walked(root).values();
        entries.sort(); // the same pick in every run of the seed
        const QString entry = pick(entries);
        const QFileInfo info(entry);
        const int kind = candidates.contains(entry) ? 0 : random.bounded(4);
        const bool inside = kind == 0 || (kind == 3 && info.isDir());
        const QString folder = inside && info.isDir() ? entry : info.path();
        QString done = " removes " + entry;
        if (inside) {
            makeEntry(folder, 1);
            done = " makes an entry in " + folder;
        } else if (kind == 1) {
            if (!QFile::remove(entry))
                QDir(entry).removeRecursively();
        } else if (kind == 2) {
            const QString suffix = info.suffix().isEmpty() ? QString() : '.' + info.suffix();
            const QString renamed = folder + QString("/n%1").arg(++names) + suffix;
            QDir().rename(entry, renamed);
            done = " renames " + entry + " to " + renamed;
        } else {
            const QString saving = folder + QString("/.n%1.").arg(++names) + info.suffix();
            makeFile(saving);
            QFile::remove(entry);
            QFile::rename(saving, entry);
            done = " replaces " + entry;
        }
        if (!roots.contains(folder) && !items.contains(folder))
            return done;
        dropBelow(items, folder, true);
        for (const QString &path : walked(folder)) {
            if (QFileInfo(path).path() == folder && !items.contains(path)
                && !dismissed.contains(path))
                items += walked(path) << path;
        }
        unseenChanges << folder;
        waitUntil([this] { return model->isBusy(); }, kNoticeTimeoutMs);
        return done;
    }

    // Settles the model and checks the tree, the store and the picture directory against each
    // other and against what is expected. After a restart in the middle of a load, whatever came
    // back must have been expected, and is what is expected from then on.
    QString checkpoint()
    {
        if (!settle())
            return "the model never became idle";
        QStringList found;
        if (QTest::currentTestFailed())
            found << "the item model tester failed (see above)";
        const auto compare = [&found](const QString &what, const QSet<QString> &shown,
                                      const QSet<QString> &other, const QString &otherName) {
            if (shown != other)
                found << QString("%1: only shown [%2], only %3 [%4]")
                                 .arg(what, sorted(shown - other), otherName,
                                      sorted(other - shown));
        };
        QSet<QString> stored;
        QHash<QString, QString> rootIndexOf; // by uuid
        for (const QVariantMap &record : storedRows(project.path())) {
            if (record.value("category") != "folder")
                continue;
            const QString path = record.value("path").toString();
            const QString uuid = record.value("uuid").toString();
            stored << (path.endsWith('/') ? path.chopped(1) : path) + ' ' + uuid;
            rootIndexOf.insert(uuid, record.value("rootIndex").toString());
        }
        const QString pictures = QDir::cleanPath(project.path() + "/picture");
        QStringList unnamed = QDir(pictures).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QStringList shownRoots;
        QSet<QString> shown, rowRootIndexes, rootPairs;
        QHash<QString, QString> lastOfFolder;
        shownTree.clear();
        for (const Row &row : shownRows()) {
            shownTree << row.path + ' ' + row.uuid;
            if (row.parentPath.isEmpty())
                shownRoots << row.path;
            else if (QFileInfo(row.path).path() != row.parentPath)
                found << row.path + " is shown below " + row.parentPath;
            else if (!isTranscodeOutput(row.path))
                shown << row.path;
            else if (!QFileInfo::exists(row.path) && QFileInfo::exists(row.parentPath))
                found << row.path + " is shown without its file";
            rowRootIndexes << rootIndexOf.value(row.uuid);
            rootPairs << shownRoots.last() + " under rootIndex " + rootIndexOf.value(row.uuid);
            // After a restart at an idle point each folder's rows come in ascending path order.
            if (treeBeforeRestart && !row.parentPath.isEmpty()
                && lastOfFolder.value(row.parentPath) > row.path)
                found << row.path + " comes after " + lastOfFolder[row.parentPath];
            lastOfFolder.insert(row.parentPath, row.path);
            // Every file has finished loading: the stand-in answers every probe.
            const QVariantMap record = model->itemRecords().value(row.id).toMap({});
            if (record.value("type", "folder") != "folder"
                && !record.value("asyncCompleted").toBool())
                found << row.path + " never finished loading";
            for (QString name : {record.value("img").toString(),
                                 record.value("info").toMap().value("pptPath").toString()}) {
                name = name.startsWith("file:") ? QUrl(name).toLocalFile() : name;
                if (QFileInfo(name).absolutePath() != pictures)
                    continue;
                unnamed.removeAll(QFileInfo(name).fileName());
                if (!QFileInfo::exists(name))
                    found << row.path + " names the missing " + name;
            }
        }
        if (treeBeforeRestart)
            compare("after a restart at an idle point", shownTree, *treeBeforeRestart, "before");
        compare("tree against store", shownTree, stored, "stored");
        if (rootPairs.size() != shownRoots.size() || rootPairs.size() != rowRootIndexes.size())
            found << "roots and rootIndex do not pair up: " + sorted(rootPairs);
        if (!unnamed.isEmpty())
            found << "picture directory holds what no shown item names: " + unnamed.join(", ");
        const bool partly = std::exchange(adoptTree, false);
        QStringList wantedRoots;
        for (const QString &root : qAsConst(roots)) {
            if (!partly || shownRoots.contains(root))
                wantedRoots << root;
        }
        if (shownRoots != wantedRoots)
            found << "roots [" + shownRoots.join(", ") + "] not [" + wantedRoots.join(", ") + ']';
        compare("rows", shown, partly ? items & shown : items, "expected");
        if (partly) {
            roots = shownRoots;
            items = shown;
        }
        return found.join("\n  ");
    }

    const quint32 seed;
    QRandomGenerator random;
    ProjectDir project;
    QTemporaryDir disk;
    QStringList candidates; // the folders that may be added
    int names = 0;
    std::unique_ptr<FolderModel> model;
    QProcess *transcoder = nullptr;
    int moment = kIdle; // of the operation at hand
    int stepsSeen = 0;
    QStringList roots; // expected, in their order
    QSet<QString> items; // every path below them that must be shown
    QSet<QString> transcoded; // sources whose transcodes were asked for
    QSet<QString> dismissed; // rows deleted on the page whose files are still there
    QStringList unseenChanges; // folders changed since the model was last idle
    QSet<QString> shownTree; // paths and uuids at the last checkpoint
    std::optional<QSet<QString>> treeBeforeRestart; // when restarted at an idle point
    bool adoptTree = false; // after a restart in the middle of a load
    QStringList log;

    struct Operation
    {
        QString name;
        int weight;
        QString (Sequence::*run)(int variant); // says what it did beyond its name
        int variant;
    };
    const QVector<Operation> operations{
            {"add", 4, &Sequence::addFolder, 0},
            {"delete row", 3, &Sequence::deleteRow, 0},
            {"delete root", 2, &Sequence::deleteRow, 1},
            {"refresh", 3, &Sequence::reset, 1},
            {"clear", 1, &Sequence::reset, 0},
            {"transcode", 3, &Sequence::transcode, 0},
            {"stop", 1, &Sequence::stopTranscode, 0},
            {"restart", 3, &Sequence::restart, 0},
            {"disk change", 2, &Sequence::changeDisk, 0},
    };
};

} // namespace

class TestConsistency : public QObject
{
    Q_OBJECT
private slots:
    // The stand-in answers like ffmpeg in a few milliseconds; the real tool would take seconds
    // for the runs that hundreds of sequences make.
    void initTestCase() { qputenv("PATH", QByteArray(FFMPEG_STANDIN_DIR ":") + qgetenv("PATH")); }

    void sequences_data()
    {
        QTest::addColumn<quint32>("seed");
        bool one = false;
        bool some = false;
        const quint32 only = qgetenv("CONSISTENCY_SEED").toUInt(&one);
        const int count = qEnvironmentVariableIntValue("CONSISTENCY_SEQUENCES", &some);
        const quint32 first = one ? only : kBaseSeed;
        const quint32 end = one ? only + 1 : kBaseSeed + quint32(some ? count : kDefaultSequences);
        for (quint32 seed = first; seed < end; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    void sequences()
    {
        QFETCH(quint32, seed);
        const QString failure = Sequence(seed).run();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
};

QTEST_GUILESS_MAIN(TestConsistency)
#include "tst_consistency.moc"
