#include "model/folderfiltermodel.h"
#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "probe/picturedirectory.h"
#include "probe/proberunner.h"
#include "probe/toolprocess.h"
#include "store/ui_proc_config_desktop.h"
#include "store/ui_proc_mediainfo_desktop.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QProcess>
#include <QUuid>
#include <QtTest>

namespace {

QStringList words(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Each line is "rootIndex|path[|category]"; "~" in the path stands for dir.
QList<Module_Mediainfo> records(const QStringList &lines, const QString &dir)
{
    QList<Module_Mediainfo> stored;
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char('|'));
        Module_Mediainfo record;
        record.uuid = QUuid::createUuid().toString();
        record.path = record.filePath = QString(parts.at(1)).replace(QLatin1Char('~'), dir);
        record.rootIndex = parts.at(0);
        record.category = parts.value(2, "folder");
        stored << record;
    }
    return stored;
}

bool scan(FolderModel &model, const QString &folder)
{
    QSignalSpy ended(&model, &FolderModel::loadFolderEnded);
    model.addFolder(folder);
    return ended.wait(30000) && waitUntil([&] { return !model.isBusy(); });
}

// The host announces its store; the tree is emptied at once and rebuilt in later steps.
bool restore(FolderModel &model)
{
    emit UI_Proc_Config_Desktop::getInstance().loadDatabase();
    return model.rootCount() == 0 && waitUntil([&] { return !model.isBusy(); });
}

// A folder's rows as the page lists them.
QStringList listedNames(FolderModel &model, const QString &folder)
{
    FolderFilterModel shown(&model, nullptr);
    const QModelIndex at
            = shown.mapFromSource(model.indexOfId(model.idOfKey(FolderModel::itemKey(folder, 0))));
    QStringList names;
    for (int row = 0; row < shown.rowCount(at); ++row) {
        const int id = int(shown.mapToSource(shown.index(row, 0, at)).internalId());
        names << QFileInfo(model.pathOf(id)).fileName();
    }
    return names;
}

} // namespace

class TestRestore : public QObject
{
    Q_OBJECT
private slots:
    void restartKeepsTheScannedTree();
    void groupsAndPaths_data();
    void groupsAndPaths();
    void goneFilesStayListed();
    void largeTreeComesBackInBlocks();
    void relinkKeepsTheItems_data();
    void relinkKeepsTheItems();
    void relinkRefusals_data();
    void relinkRefusals();
};

// What the first run learnt comes back from the store: the slides are not captured again.
void TestRestore::restartKeepsTheScannedTree()
{
    ProjectDir project;
    QTemporaryDir dir;
    makeEntries(dir.path(), {"sub/deck.pptx", "sub/pic.png", "sub/song.mp3", "sub/Zoo.png",
                             "sub/inner/", "Holiday.mp4/a.mp3"});
    const QString sub = dir.path() + "/sub/";
    // Listed in one order, whether a walk or a restore made the rows.
    const QStringList listed = words("inner clip.mp4 deck.pptx pic.png song.mp3 Zoo.png");
    const char *video = "-nostdin -loglevel error -f lavfi -i testsrc=size=320x240:duration=2";
    QCOMPARE(QProcess::execute("ffmpeg", words(video) << sub + "clip.mp4"), 0);
    const auto recordOf = [](FolderModel &model, const QString &path) {
        return model.recordOf(model.idOfKey(FolderModel::itemKey(path, 0)));
    };
    QVariantMap clip, deck;
    {
        FolderModel model(nullptr);
        QVERIFY(scan(model, dir.path()));
        QCOMPARE(listedNames(model, dir.filePath("sub")), listed);
        QVERIFY(!recordOf(model, dir.filePath("Holiday.mp4")).contains(ItemField::img));
        clip = recordOf(model, sub + "clip.mp4");
        deck = recordOf(model, sub + "deck.pptx");
        QVERIFY(QFile::exists(clip.value(ItemField::img).toString()));
    }
    // What the jobs learnt is stored as the record's columns want it.
    QHash<QString, QVariantMap> stored;
    for (const QVariantMap &row : storedRows(project.path()))
        stored.insert(row["path"].toString(), row);
    const QVariantMap clipRow = stored[sub + "clip.mp4"];
    const QVariantMap clipInfo = clip.value(ItemField::info).toMap();
    QCOMPARE((QVariantList{clipRow["resolution"], clipRow["fps"], clipRow["timeLenMsec"],
                           clipRow["duration"], clipRow["detailInfo"], clipRow["img"]}),
             (QVariantList{"320 X 240", 25.0, 2000, "00:00:02.00", clipInfo["detailInfo"],
                           "file://" + clip.value(ItemField::img).toString()}));
    QCOMPARE(stored[sub + "deck.pptx"]["img"].toString(),
             "file://" + deck.value(ItemField::info).toMap()["pptPath"].toString());

    // The files that the tools and jobs of a restart read: an unchanged one is not read
    // again, nor are the slides captured again, nor is a picture that could not be read
    // (empty here) read again; one changed meanwhile is probed and pictured anew.
    const auto restart = [&](QVariantMap &restoredClip) {
        FolderModel model(nullptr);
        QAbstractItemModelTester tester(&model);
        QStringList read;
        for (ToolProcess *tool : model.findChildren<ToolProcess *>())
            connect(tool, &ToolProcess::started,
                    [&read, tool] { read << tool->program() << tool->arguments(); });
        connect(model.findChild<ProbeRunner *>(), &ProbeRunner::jobStarted,
                [&read](const FileTask &, const QString &path) { read << path; });
        if (!restore(model))
            return QStringList{"restore did not end"};
        restoredClip = recordOf(model, sub + "clip.mp4");
        if (listedNames(model, dir.filePath("sub")) != listed)
            read << "listed in another order";
        if (recordOf(model, sub + "deck.pptx").value(ItemField::info)
            != deck.value(ItemField::info))
            read << "slides changed";
        if (recordOf(model, sub + "pic.png").value(ItemField::reason) != "cannot be decoded")
            read << "pic.png not shown as unreadable";
        return read.filter(QRegularExpression("clip.mp4|CaptureImages|slides|pic.png"));
    };
    QVariantMap restoredClip;
    QCOMPARE(restart(restoredClip), QStringList());
    QCOMPARE(restoredClip.value(ItemField::img), clip.value(ItemField::img));
    QCOMPARE(restoredClip.value(ItemField::info), clip.value(ItemField::info));
    QCOMPARE(restoredClip.value(ItemField::isValid), QVariant(true));

    QFile changed(sub + "clip.mp4");
    QVERIFY(changed.open(QIODevice::ReadWrite)
            && changed.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                   QFileDevice::FileModificationTime));
    changed.close();
    // one job and its one run, for the thumbnail and the probe
    QCOMPARE(restart(restoredClip), (QStringList{sub + "clip.mp4", sub + "clip.mp4"}));
    QVERIFY(restoredClip.value(ItemField::img) != clip.value(ItemField::img));
    QVERIFY(!QFile::exists(clip.value(ItemField::img).toString()));
    QCOMPARE(restoredClip.value(ItemField::info), clip.value(ItemField::info));
}

void TestRestore::groupsAndPaths_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<int>("roots");
    QTest::addColumn<QStringList>("shown"); // below the first root
    QTest::addColumn<int>("kept"); // records left in the store: those that cannot show go

    const auto row
            = [](const char *name, const char *records, int roots, const char *shown, int kept) {
                  QTest::addRow("%s", name) << words(records) << roots << words(shown) << kept;
              };
    row("non-numeric rootIndex joins 0", "0|~ abc|~/a.mp3 0|~/b", 1, "a.mp3 b", 3);
    row("interleaved groups in order of first appearance",
        "1|~/two 0|~/one 1|~/two/b.mp3 0|~/one/a.mp3", 2, "b.mp3", 4);
    row("duplicate paths give one row", "0|~ 0|~/a.mp3 0|~/a.mp3", 1, "a.mp3", 2);
    row("a folder stored twice holds its rows once", "0|~ 0|~/d 0|~/d/a.mp3 0|~/d 0|~ 0|~/d/a.mp3",
        1, "d d/a.mp3", 3);
    row("rows stored out of order, a row before its folder",
        "0|~ 0|~/d/c.mp3 0|~/d 0|~/d/b.mp3 0|~/d/a.mp3", 1, "d d/a.mp3 d/b.mp3 d/c.mp3", 5);
    row("a root named like a file holds its rows", "0|~/x.mp4 0|~/x.mp4/a.mp3", 1, "a.mp3", 2);
    row("other categories are skipped", "0|~ 0|~/a.mp3|playlist 0|~/b.mp3", 1, "b.mp3", 3);
    row("empty path is skipped", "0| 0|~ 0|~/a.mp3", 1, "a.mp3", 3);
    row("parent in another group hides the entry", "0|~ 0|~/x/a.mp3 0|~/b.mp3 1|~/x", 2, "b.mp3",
        3);
    row("file-system root lists its children", "0|/ 0|/zz-restore-absent 0|/aa-restore-absent", 1,
        "aa-restore-absent zz-restore-absent", 3);
    row("empty store", "", 0, "", 0);
    row("other categories only", "0|~|playlist 0|~/a.mp3|playlist", 0, "", 2);
}

// The model shows a folder scanned for another project when this project's store comes.
void TestRestore::groupsAndPaths()
{
    QFETCH(QStringList, records);
    QFETCH(int, roots);
    QTemporaryDir scanned, dir;
    ProjectDir earlier;
    FolderModel model(nullptr);
    QAbstractItemModelTester tester(&model);
    QVERIFY(scan(model, scanned.path()));

    ProjectDir project;
    Ui_Proc_MediaInfo_Desktop(nullptr).addMediaInfoList(::records(records, dir.path()));
    QSignalSpy closes(&model, &FolderModel::folderTabNeedClose);
    QVERIFY(restore(model));
    QCOMPARE(model.rootCount(), roots);
    QCOMPARE(int(closes.count()), roots == 0 ? 1 : 0); // the tab closes when nothing comes back
    QTEST(shownBelow(model, model.index(0, 0)), "shown");
    QTEST(int(storedRows(project.path()).size()), "kept");
}

// Records whose files are gone come back as they were stored, marked as missing. The host
// announcing its store again while the stored tree comes back gets it once.
void TestRestore::goneFilesStayListed()
{
    ProjectDir project;
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(pictureDirectory()));
    const QString thumbnail = pictureDirectory() + freshPictureName() + ".jpg";
    QVERIFY(QImage(32, 24, QImage::Format_RGB32).save(thumbnail));
    const QStringList gone = words("gone.mp3 gone.mp4 gone.png plain.mp4");
    QList<Module_Mediainfo> stored = records(
            words("0|~ 0|~/gone.mp3 0|~/gone.mp4 0|~/gone.png 0|~/plain.mp4 1|~/sub 1|~/sub/a.mp3"),
            dir.path());
    stored[2].img = "file://" + thumbnail;
    stored[2].isTranscoded = true;
    QVERIFY(Ui_Proc_MediaInfo_Desktop(nullptr).addMediaInfoList(stored));

    FolderModel model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(restore(model));
    QCOMPARE(rowNames(model, model.index(0, 0)), gone);
    for (const QString &name : gone) {
        const QVariantMap item = fileInfo(childNamed(model, model.index(0, 0), name));
        QVERIFY2(!item[ItemField::exists].toBool() && !item[ItemField::isValid].toBool(),
                 qPrintable(name));
        QCOMPARE(item.value(ItemField::isTranscoded).toBool(), name == "gone.mp4");
    }
    QVERIFY(QFile::exists(thumbnail));
    QCOMPARE(storedRows(project.path()).size(), stored.size());

    const QStringList once = shownBelow(model, {}, true);
    QCOMPARE(once.size(), stored.size());
    connect(&model, &QAbstractItemModel::rowsInserted, this, [] {
        static bool announced = false; // again, as soon as the first rows are back
        if (!std::exchange(announced, true))
            emit UI_Proc_Config_Desktop::getInstance().loadDatabase();
    });
    QVERIFY(restore(model));
    QCOMPARE(shownBelow(model, {}, true), once);
}

// A tree of a few thousand items is walked, cut down and put back from the store, with the
// model tester checking every change; the restored rows come in blocks, and a folder deleted
// before its rows came gets none.
void TestRestore::largeTreeComesBackInBlocks()
{
    ProjectDir project;
    QTemporaryDir dir;
    QStringList entries;
    for (int i = 0; i < 3000; ++i) // half of them not media, and not shown
        entries << QString("d%1/e%2/p%3.").arg(i % 7).arg(i % 13).arg(i) + (i % 2 ? "png" : "txt");
    makeEntries(dir.path(), entries);
    QStringList scanned;
    {
        FolderModel model(nullptr);
        QAbstractItemModelTester tester(&model);
        QVERIFY(scan(model, dir.path()));
        scanned = shownBelow(model, {}, true);
    }
    QCOMPARE(scanned.size(), 1 + 7 + 7 * 13 + 1500);
    const QString deleted = QRegularExpression::escape(QFileInfo(dir.path()).fileName() + "/d6");
    scanned = scanned.filter(QRegularExpression("^(?!" + deleted + "[ /])"));
    scanned.sort(); // depth first in ascending order, for these names

    FolderModel model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy blocks(&model, &QAbstractItemModel::rowsInserted);
    connect(&model, &QAbstractItemModel::rowsInserted, this, [&model](const QModelIndex &parent) {
        const QModelIndex d6 = childNamed(model, parent, "d6");
        if (d6.isValid() && model.rowCount(d6) == 0)
            model.removeItem(int(d6.internalId()));
    });
    QVERIFY(restore(model));
    QCOMPARE(shownBelow(model, {}, true), scanned);
    QVERIFY(blocks.count() > 80); // a block at least for each folder shown, not one reset
}

void TestRestore::relinkKeepsTheItems_data()
{
    QTest::addColumn<bool>("whileClosed"); // moved while no model ran: restored missing
    QTest::addColumn<bool>("partly"); // one file stayed behind, a new one is there
    QTest::addColumn<bool>("movedBack"); // to where it was, with no relink
    QTest::addRow("moved") << false << false << false;
    QTest::addRow("moved while closed") << true << false << false;
    QTest::addRow("partly moved") << false << true << false;
    QTest::addRow("moved back while shown missing") << true << false << true;
}

// Every item found at the new place keeps its uuid and what was learnt of it, also after a
// restart; one not found shows as missing, a new one is added.
void TestRestore::relinkKeepsTheItems()
{
    QFETCH(bool, whileClosed);
    QFETCH(bool, partly);
    QFETCH(bool, movedBack);
    ProjectDir project;
    QTemporaryDir dir;
    const QString old = dir.filePath("old"), moved = dir.filePath("new");
    const QString place = movedBack ? old : moved;
    makeEntries(old, {"sub/a.mp3", "b.png", "empty/"});
    const char *video = "-nostdin -loglevel error -f lavfi -i testsrc=size=320x240:duration=2";
    QCOMPARE(QProcess::execute("ffmpeg", words(video) << old + "/clip.mp4"), 0);
    auto model = std::make_unique<FolderModel>(nullptr);
    QVERIFY(scan(*model, old));
    // Sorted: a restore lists a folder's rows in another order than a walk.
    const auto sortedRows = [&model] {
        QStringList rows = shownBelow(*model, model->index(0, 0), true);
        rows.sort();
        return rows;
    };
    QStringList rows = sortedRows();
    const QVariant thumbnail = fileInfo(childNamed(*model, model->index(0, 0), "clip.mp4"))["img"];

    QVERIFY(QDir().rename(old, moved));
    if (partly) {
        QVERIFY(QFile::rename(moved + "/b.png", dir.filePath("b.png")));
        makeEntries(moved, {"d.mp3"});
    }
    if (whileClosed) {
        model = std::make_unique<FolderModel>(nullptr);
        QVERIFY(restore(*model));
    }
    QAbstractItemModelTester tester(model.get(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    const auto clipInfo = [&model] {
        return fileInfo(childNamed(*model, model->index(0, 0), "clip.mp4"));
    };
    if (movedBack)
        QVERIFY(QDir().rename(moved, old));
    else
        QVERIFY(model->relinkFolder(int(model->index(0, 0).internalId()), moved));
    QVERIFY(waitUntil([&] { return !model->isBusy() && clipInfo()["isValid"].toBool(); }));
    QCOMPARE(model->pathOf(int(model->index(0, 0).internalId())), place);
    if (partly) {
        const QModelIndex added = childNamed(*model, model->index(0, 0), "d.mp3");
        rows.prepend("d.mp3 " + fileInfo(added)["uuid"].toString());
        rows.sort();
    }
    QCOMPARE(sortedRows(), rows);
    QCOMPARE(clipInfo()["img"], thumbnail);
    QCOMPARE(fileInfo(childNamed(*model, model->index(0, 0), "b.png"))["exists"],
             QVariant(!partly));

    model = std::make_unique<FolderModel>(nullptr);
    QVERIFY(restore(*model));
    QCOMPARE(model->pathOf(int(model->index(0, 0).internalId())), place);
    QCOMPARE(sortedRows(), rows);
}

void TestRestore::relinkRefusals_data()
{
    QTest::addColumn<QString>("target"); // below the temporary folder
    QTest::addColumn<bool>("ofRoot"); // else of a file below it
    QTest::addRow("no such folder") << "gone" << true;
    QTest::addRow("a file") << "one/a.mp3" << true;
    QTest::addRow("already a root") << "two" << true;
    QTest::addRow("not a root") << "three" << false;
}

// Nothing moves, and the operator is told why.
void TestRestore::relinkRefusals()
{
    QFETCH(QString, target);
    QFETCH(bool, ofRoot);
    ProjectDir project;
    QTemporaryDir dir;
    makeEntries(dir.path(), {"one/a.mp3", "two/", "three/"});
    FolderModel model(nullptr);
    QVERIFY(scan(model, dir.filePath("one")) && scan(model, dir.filePath("two")));
    const QModelIndex root = model.index(0, 0);
    const QStringList rows = shownBelow(model, {}, true);
    QSignalSpy told(&model, &FolderModel::problemReported);
    const QModelIndex moved = ofRoot ? root : model.index(0, 0, root);
    QVERIFY(!model.relinkFolder(int(moved.internalId()), dir.filePath(target)));
    QCOMPARE(told.count(), 1);
    QVERIFY(waitUntil([&] { return !model.isBusy(); }));
    QCOMPARE(shownBelow(model, {}, true), rows);
}

QTEST_GUILESS_MAIN(TestRestore)
#include "tst_restore.moc"
