#include "model/foldermodel.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QtTest>

namespace {

using Signals = QList<QVariantList>;

// A model with its own project directory, checked by Qt's model tester while it changes.
class Scan
{
public:
    Scan() : tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest) { }
    bool add(const QString &path)
    {
        QSignalSpy ended(&model, &FolderModel::loadFolderEnded);
        model.addFolder(path);
        return ended.wait(10000) && waitUntil([&] { return !model.isBusy(); }, 10000);
    }
    QModelIndex root(int row = 0) const { return model.index(row, 0); }
    QModelIndex at(const QModelIndex &p, const QString &n) const { return childNamed(model, p, n); }
    QString pathOf(const QModelIndex &index) const { return model.pathOf(int(index.internalId())); }

    ProjectDir project;
    FolderModel model{nullptr};
    QAbstractItemModelTester tester;
};

// A picture of the given width, so that a probe tells one version from another.
void makePicture(const QString &path, int width)
{
    QImage picture(width, 12, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QVERIFY(picture.save(path, "JPG"));
}

enum DiskChange { Create, Replace, Rename, RootAwayAndBack };

} // namespace

Q_DECLARE_METATYPE(DiskChange)

class TestFolderScan : public QObject
{
    Q_OBJECT
private slots:
    void walkedRows();
    void deepFoldersAreCutAtTheLimit();
    void secondAddIsRefusedOnlyWhileWalking();
    void sameFolderTwiceGivesIndependentStoredItems();
    void awkwardRootPaths_data();
    void awkwardRootPaths();
    void symlinkLoopsAreWalkedOnce();
    void treeFollowsTheDisk_data();
    void treeFollowsTheDisk();
};

// Folders and media files in descending name order, whatever their case; a root that is not a
// folder still ends its load. A change to one item makes the view read all its siblings again.
void TestFolderScan::walkedRows()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"b.mp4", "A.jpg", "c.txt", ".d.mp4", "M/x.mp3", "z.MP4", "Photo.JPG",
                             "only/notes.txt"});
    Scan scan;
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(shownBelow(scan.model, scan.root()),
             (QStringList{"z.MP4", "Photo.JPG", "only", "M", "M/x.mp3", "b.mp4", "A.jpg"}));
    const QModelIndex video = scan.at(scan.root(), "z.MP4");
    QCOMPARE(fileInfo(video).value("type"), QVariant("video"));
    QCOMPARE(fileInfo(video).value("fileIdx").toInt(), int(video.internalId()));
    QSignalSpy changed(&scan.model, &QAbstractItemModel::dataChanged);
    QVERIFY(scan.model.setData(scan.at(scan.root(), "M"), "ignored", 257));
    QCOMPARE(changed.count(), 1);
    QCOMPARE((QModelIndexList{changed[0][0].toModelIndex(), changed[0][1].toModelIndex()}),
             (QModelIndexList{video, scan.at(scan.root(), "A.jpg")}));
    QCOMPARE(changed[0][2].value<QVector<int>>(), QVector<int>{257});

    QSignalSpy told(&scan.model, &FolderModel::problemReported);
    scan.model.addFolder(dir.filePath("M")); // its items would show twice
    QCOMPARE((QVariantList{scan.model.rootCount(), told.count()}), (QVariantList{1, 1}));
    QVERIFY(scan.add(dir.filePath("missing")));
    QVERIFY(scan.add(dir.filePath("b.mp4")));
    QCOMPARE(scan.model.rootCount(), 3);
    QCOMPARE(scan.model.rowCount(scan.root(1)), 0);
    QCOMPARE(fileInfo(scan.root(1)).value("exists").toBool(), false);
}

void TestFolderScan::deepFoldersAreCutAtTheLimit()
{
    QTemporaryDir dir;
    const QString nine = "d1/d2/d3/d4/d5/d6/d7/d8/d9";
    makeEntries(dir.path(), {nine + "/nine.mp4", nine + "/d10/d11/d12/deep.mp4"});
    Scan scan;
    QSignalSpy errors(&scan.model, &FolderModel::errorOccured);
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(Signals(errors), Signals{QVariantList{int(DepthLimitMet)}});
    const QStringList shown = shownBelow(scan.model, scan.root());
    QCOMPARE(shown.size(), 11); // d10 is shown, without rows
    QCOMPARE(shown.mid(8), (QStringList{nine, nine + "/nine.mp4", nine + "/d10"}));
}

// Folders offered together are walked one after another: as each walk begins, the one before
// has listed all its rows.
void TestFolderScan::secondAddIsRefusedOnlyWhileWalking()
{
    QTemporaryDir first, second, third;
    makeEntries(first.path(), {"s/a.mp3", "b.mp3"});
    makeEntries(second.path(), {"c.mp3"});
    makeEntries(third.path(), {"d.jpg"});
    Scan scan;
    QSignalSpy errors(&scan.model, &FolderModel::errorOccured);
    QSignalSpy resets(&scan.model, &QAbstractItemModel::modelReset);
    QVector<int> rowsOfPreviousRoot; // -1: there is none
    connect(&scan.model, &FolderModel::loadFolderBegan, this, [&] {
        const int count = scan.model.rootCount();
        rowsOfPreviousRoot << (count > 1 ? scan.model.rowCount(scan.root(count - 2)) : -1);
    });
    scan.model.addFolder(first.path());
    scan.model.addFolder(second.path());
    QCOMPARE(Signals(errors), Signals{QVariantList{int(AddWhileWalking)}});
    QCOMPARE(scan.model.rootCount(), 1);
    // The walk ends with a reset; building goes on after it, and new folders are welcome.
    QTRY_COMPARE(resets.count(), 2);
    scan.model.addFolders({second.path(), third.path()});
    QCOMPARE(errors.count(), 1);
    QCOMPARE(scan.model.rootCount(), 2);
    QVERIFY(waitUntil([&] { return !scan.model.isBusy(); }));
    QCOMPARE(rowsOfPreviousRoot, (QVector<int>{-1, 2, 1}));
    QCOMPARE(rowNames(scan.model, scan.root(2)), QStringList{"d.jpg"});
}

// Each item is stored by the build step, under its own uuid and with its root's ordinal; a
// folder's path ends in a separator, which tells it from a file.
void TestFolderScan::sameFolderTwiceGivesIndependentStoredItems()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"sub/song.mp3", "talk.mp3"});
    Scan scan;
    QVERIFY(scan.add(dir.path()));
    QVERIFY(scan.add(dir.path()));
    QStringList stored, shown;
    for (const QVariantMap &row : storedRows(scan.project.path())) {
        stored << QString("%1 %2 %3 %4 %5")
                          .arg(row["rootIndex"].toString(), row["path"].toString(),
                               row["filePath"].toString(), row["category"].toString(),
                               row["uuid"].toString());
        // Audio is saved once its probe has ended: a fixed frame size and no picture.
        if (row["path"] == dir.filePath("talk.mp3"))
            QVERIFY(row["resolution"] == "400 X 400" && row["img"].toString().isEmpty());
    }
    for (const int ordinal : {0, 1}) {
        const QModelIndex root = scan.root(ordinal), sub = scan.at(root, "sub");
        for (const QModelIndex &item :
             {root, sub, scan.at(sub, "song.mp3"), scan.at(root, "talk.mp3")}) {
            const QString path
                    = scan.pathOf(item) + (fileInfo(item)["type"] == "folder" ? "/" : "");
            shown << QString("%1 %2 %2 folder %3")
                             .arg(QString::number(ordinal), path,
                                  fileInfo(item)["uuid"].toString());
        }
    }
    stored.sort();
    shown.sort();
    QCOMPARE(stored, shown); // the same paths under two roots, as separate items
}

void TestFolderScan::awkwardRootPaths_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("given"); // {root}: the folder's path; {dir}: the one holding it
    QTest::addRow("spaces") << "with some spaces" << QString("{root}");
    QTest::addRow("quotes") << "say \"cheese\" 'now'" << QString("{root}");
    QTest::addRow("place marker") << "take %1 and %2" << QString("{root}");
    QTest::addRow("non-ASCII") << "naïve 日本" << QString("{root}");
    QTest::addRow("leading dash") << "-rf" << QString("{root}");
    QTest::addRow("file URL") << "url" << QString("file://{root}");
    QTest::addRow("trailing separator") << "trailing" << QString("{root}/");
    QTest::addRow("redundant parts") << "dots" << QString("{dir}/./sub/../dots");
}

void TestFolderScan::awkwardRootPaths()
{
    QFETCH(QString, folderName);
    QFETCH(QString, given);
    QTemporaryDir dir;
    const QString root = dir.filePath(folderName);
    makeEntries(root, {"a.mp4", "sub/b.mp3"});
    Scan scan;
    QVERIFY(scan.add(given.replace("{root}", root).replace("{dir}", dir.path())));
    QCOMPARE(scan.pathOf(scan.root()), root);
    QCOMPARE(scan.root().data().toString(), folderName);
    QCOMPARE(shownBelow(scan.model, scan.root()), (QStringList{"sub", "sub/b.mp3", "a.mp4"}));
}

// However links loop, each directory is walked once; met again, it shows without rows.
void TestFolderScan::symlinkLoopsAreWalkedOnce()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"sub/song.mp3"});
    for (const auto &[target, link] : {std::pair{"", "loop"}, std::pair{"sub", "sub/self"},
                                       std::pair{"", "sub/up"}, std::pair{"sub", "again"}}) {
        if (!QFile::link(dir.filePath(target), dir.filePath(link)))
            QSKIP("no symbolic links here");
    }
    Scan scan;
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(shownBelow(scan.model, scan.root()),
             (QStringList{"sub", "sub/up", "sub/song.mp3", "sub/self", "loop", "again"}));
    QCOMPARE(storedRows(scan.project.path()).size(), 7);
}

// Which entries a change makes, removes or renames, and rows deleted on the page, the
// consistency test varies at every moment; here, what it cannot see: where new rows go,
// the uuids that survive, a file probed again and a root that goes away and comes back.
void TestFolderScan::treeFollowsTheDisk_data()
{
    QTest::addColumn<DiskChange>("change");
    QTest::addColumn<QString>("path"); // made, replaced, renamed to the first row, made once back
    QTest::addColumn<QStringList>("rows");
    // Before each change the root holds a.jpg, c.mp3 and sub/ with b.mp3.
    QTest::addRow("folder created with contents")
            << Create << "new/deeper/d.mp3"
            << QStringList{"sub",   "sub/b.mp3", "new", "new/deeper", "new/deeper/d.mp3",
                           "c.mp3", "a.jpg"};
    QTest::addRow("file modified")
            << Replace << "a.jpg" << QStringList{"sub", "sub/b.mp3", "c.mp3", "a.jpg"};
    QTest::addRow("folder renamed")
            << Rename << "sub" << QStringList{"moved", "moved/b.mp3", "c.mp3", "a.jpg"};
    QTest::addRow("root away and back")
            << RootAwayAndBack << "d.mp3"
            << QStringList{"sub", "sub/b.mp3", "d.mp3", "c.mp3", "a.jpg"};
}

// Each change reaches the rows without a refresh; what survives it keeps its uuid, a changed
// file is probed again, and the store names exactly the rows shown.
void TestFolderScan::treeFollowsTheDisk()
{
    QFETCH(DiskChange, change);
    QFETCH(QString, path);
    QFETCH(QStringList, rows);
    QTemporaryDir dir;
    const QString root = dir.filePath("root");
    makeEntries(root, {"c.mp3", "sub/b.mp3"});
    makePicture(root + "/a.jpg", 16);
    Scan scan;
    QVERIFY(scan.add(root));
    const QStringList before = shownBelow(scan.model, scan.root(), true);

    switch (change) {
    case Create:
        makeEntries(root, {path});
        break;
    case Replace: // as programs save: written beside, then put in its place
        makePicture(root + "/.saving.jpg", 32);
        QVERIFY(::rename(qPrintable(root + "/.saving.jpg"), qPrintable(root + '/' + path)) == 0);
        break;
    case Rename:
        QVERIFY(QDir(root).rename(path, rows.first()));
        break;
    case RootAwayAndBack: {
        QSignalSpy shown(&scan.model, &QAbstractItemModel::dataChanged);
        QVERIFY(QDir().rename(root, root + ".away"));
        QVERIFY(shown.wait(10000));
        QCOMPARE(fileInfo(scan.root()).value("exists"), QVariant(false));
        QCOMPARE(scan.model.rowCount(scan.root()), 3);
        QVERIFY(QDir().rename(root + ".away", root));
        makeEntries(root, {path});
        break;
    }
    }

    QTRY_COMPARE_WITH_TIMEOUT(shownBelow(scan.model, scan.root()), rows, 10000);
    QVERIFY(waitUntil([&] { return !scan.model.isBusy(); }, 10000));
    QCOMPARE(fileInfo(scan.root()).value("exists"), QVariant(true));
    const QStringList kept = shownBelow(scan.model, scan.root(), true);
    QSet<QString> uuids{scan.model.uuidOf(int(scan.root().internalId()))}, stored;
    for (const QString &row : kept)
        uuids << row.section(' ', 1);
    for (const QString &row : before) {
        if (rows.contains(row.section(' ', 0, 0)))
            QVERIFY2(kept.contains(row), qPrintable(row));
    }
    const int picture = int(scan.at(scan.root(), "a.jpg").internalId());
    QCOMPARE(scan.model.recordOf(picture)["info"].toMap()["frameWidth"].toInt(),
             change == Replace ? 32 : 16);
    for (const QVariantMap &row : storedRows(scan.project.path()))
        stored << row.value("uuid").toString();
    QCOMPARE(stored, uuids);
}

QTEST_GUILESS_MAIN(TestFolderScan)
#include "tst_folderscan.moc"
