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
        return ended.wait(10000);
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
    void rowsComeInDescendingNameOrder();
    void deepFoldersAreCutAtTheLimit();
    void secondAddIsRefusedOnlyWhileWalking();
    void addFoldersWalksOneAfterAnother();
    void sameFolderTwiceGivesIndependentStoredItems();
    void awkwardRootPaths_data();
    void awkwardRootPaths();
    void rootThatIsNotAFolderStillEnds();
    void symlinkLoopsAreWalkedOnce();
    void treeFollowsTheDisk_data();
    void treeFollowsTheDisk();
};

void TestFolderScan::rowsComeInDescendingNameOrder()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"b.mp4", "A.jpg", "c.txt", ".d.mp4", "M/x.mp3", "z.MP4", "Photo.JPG",
                             "only/notes.txt"});
    Scan scan;
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(rowNames(scan.model, scan.root()),
             (QStringList{"z.MP4", "Photo.JPG", "only", "M", "b.mp4", "A.jpg"}));
    QCOMPARE(rowNames(scan.model, scan.at(scan.root(), "M")), QStringList{"x.mp3"});
    QCOMPARE(scan.model.rowCount(scan.at(scan.root(), "only")), 0);
    QCOMPARE(fileInfo(scan.at(scan.root(), "z.MP4")).value("type"), QVariant("video"));
}

void TestFolderScan::deepFoldersAreCutAtTheLimit()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"d1/d2/d3/d4/d5/d6/d7/d8/d9/nine.mp4",
                             "d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/d11/d12/deep.mp4"});
    Scan scan;
    QSignalSpy errors(&scan.model, &FolderModel::errorOccured);
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(Signals(errors), Signals{QVariantList{int(DepthLimitMet)}});
    QModelIndex folder = scan.root();
    for (const QString level : {"d1", "d2", "d3", "d4", "d5", "d6", "d7", "d8", "d9", "d10"})
        QVERIFY2((folder = scan.at(folder, level)).isValid(), qPrintable(level));
    QCOMPARE(scan.model.rowCount(folder), 0);
    QCOMPARE(rowNames(scan.model, folder.parent()), (QStringList{"nine.mp4", "d10"}));
}

void TestFolderScan::secondAddIsRefusedOnlyWhileWalking()
{
    QTemporaryDir first, second;
    makeEntries(first.path(), {"s/a.mp3", "b.mp3"});
    makeEntries(second.path(), {"c.mp3"});
    Scan scan;
    QSignalSpy errors(&scan.model, &FolderModel::errorOccured);
    QSignalSpy resets(&scan.model, &QAbstractItemModel::modelReset);
    QSignalSpy ended(&scan.model, &FolderModel::loadFolderEnded);
    scan.model.addFolder(first.path());
    scan.model.addFolder(second.path());
    QCOMPARE(Signals(errors), Signals{QVariantList{int(AddWhileWalking)}});
    QCOMPARE(scan.model.rootCount(), 1);
    // The walk ends with a reset; building goes on after it, and a new folder is welcome.
    QTRY_COMPARE(resets.count(), 2);
    scan.model.addFolder(second.path());
    QCOMPARE(errors.count(), 1);
    QCOMPARE(scan.model.rootCount(), 2);
    QTRY_VERIFY(!ended.isEmpty());
    QTRY_COMPARE(rowNames(scan.model, scan.root(1)), QStringList{"c.mp3"});
}

void TestFolderScan::addFoldersWalksOneAfterAnother()
{
    QTemporaryDir a, b, c;
    makeEntries(a.path(), {"a1.mp3", "sub/a2.mp3"});
    makeEntries(b.path(), {"b1.mp4"});
    makeEntries(c.path(), {"c1.jpg"});
    Scan scan;
    QSignalSpy ended(&scan.model, &FolderModel::loadFolderEnded);
    QVector<int> rowsOfPreviousRoot; // as each walk begins; -1: there is none
    connect(&scan.model, &FolderModel::loadFolderBegan, this, [&] {
        const int count = scan.model.rootCount();
        rowsOfPreviousRoot << (count > 1 ? scan.model.rowCount(scan.root(count - 2)) : -1);
    });
    scan.model.addFolders({a.path(), b.path(), c.path()});
    QTRY_COMPARE(rowsOfPreviousRoot.size(), 3);
    QTRY_VERIFY(!ended.isEmpty());
    QCOMPARE(rowsOfPreviousRoot, (QVector<int>{-1, 2, 1})); // each walk had ended
    QCOMPARE(rowNames(scan.model, scan.root(2)), QStringList{"c1.jpg"});
    QCOMPARE(scan.pathOf(scan.root(1)), b.path());
}

// Each item is stored by the build step, under its own uuid and with its root's ordinal.
void TestFolderScan::sameFolderTwiceGivesIndependentStoredItems()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"sub/song.mp3", "talk.mp3"});
    Scan scan;
    QVERIFY(scan.add(dir.path()));
    QVERIFY(scan.add(dir.path()));
    QMap<QString, QVariantMap> stored;
    for (const QVariantMap &row : storedRows(scan.project.path()))
        stored.insert(row.value("uuid").toString(), row);
    QCOMPARE(stored.size(), 8); // the folder, sub, song and talk, once under each root
    QSet<quintptr> ids;
    for (const int ordinal : {0, 1}) {
        const QModelIndex root = scan.root(ordinal);
        for (const QModelIndex &item : {root, scan.at(root, "sub"), scan.at(root, "talk.mp3")}) {
            const QVariantMap row = stored.value(fileInfo(item).value("uuid").toString());
            const bool isFolder = fileInfo(item).value("type") == "folder";
            const QString path = scan.pathOf(item) + (isFolder ? "/" : ""); // told from files
            QCOMPARE(row.value("path").toString(), path);
            QCOMPARE(row.value("filePath").toString(), path);
            QCOMPARE(row.value("category").toString(), "folder");
            QCOMPARE(row.value("rootIndex").toInt(), ordinal);
            ids << item.internalId();
        }
    }
    QCOMPARE(ids.size(), 6); // the same paths under two roots, as separate items
    // Audio is saved once its probe has ended: a fixed frame size and no picture.
    const QVariantMap talk
            = stored.value(fileInfo(scan.at(scan.root(1), "talk.mp3"))["uuid"].toString());
    QCOMPARE(talk.value("resolution").toString(), "400 X 400");
    QCOMPARE(talk.value("img").toString(), QString());
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
    QCOMPARE(rowNames(scan.model, scan.root()), (QStringList{"sub", "a.mp4"}));
    QCOMPARE(rowNames(scan.model, scan.at(scan.root(), "sub")), QStringList{"b.mp3"});
}

void TestFolderScan::rootThatIsNotAFolderStillEnds()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"file.mp4"});
    Scan scan;
    QVERIFY(scan.add(dir.filePath("missing")));
    QVERIFY(scan.add(dir.filePath("file.mp4")));
    QCOMPARE(scan.model.rootCount(), 2);
    QCOMPARE(scan.model.rowCount(scan.root(0)), 0);
    QCOMPARE(fileInfo(scan.root(0)).value("exists").toBool(), false);
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
    QSignalSpy errors(&scan.model, &FolderModel::errorOccured);
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(errors.count(), 0);
    const QModelIndex sub = scan.at(scan.root(), "sub");
    QCOMPARE(rowNames(scan.model, scan.root()), (QStringList{"sub", "loop", "again"}));
    QCOMPARE(rowNames(scan.model, sub), (QStringList{"up", "song.mp3", "self"}));
    for (const QModelIndex &link : {scan.at(scan.root(), "loop"), scan.at(scan.root(), "again"),
                                    scan.at(sub, "up"), scan.at(sub, "self")})
        QCOMPARE(scan.model.rowCount(link), 0);
    QCOMPARE(storedRows(scan.project.path()).size(), 7);
}

// Which entries a change makes, removes or renames, and rows deleted on the page, the
// consistency test varies at every moment; here, what it cannot see: where new rows go,
// the uuids that survive, a file probed again and a root that goes away and comes back.
void TestFolderScan::treeFollowsTheDisk_data()
{
    QTest::addColumn<DiskChange>("change");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("other");
    QTest::addColumn<QStringList>("rows");
    // Before each change the root holds a.jpg, c.mp3 and sub/ with b.mp3.
    QTest::addRow("folder created with contents")
            << Create << "new/deeper/d.mp3"
            << "" << QStringList{"sub",   "sub/b.mp3", "new", "new/deeper", "new/deeper/d.mp3",
                                 "c.mp3", "a.jpg"};
    QTest::addRow("file modified") << Replace << "a.jpg"
                                   << "" << QStringList{"sub", "sub/b.mp3", "c.mp3", "a.jpg"};
    QTest::addRow("folder renamed")
            << Rename << "sub"
            << "moved" << QStringList{"moved", "moved/b.mp3", "c.mp3", "a.jpg"};
    QTest::addRow("root away and back")
            << RootAwayAndBack << "d.mp3"
            << "" << QStringList{"sub", "sub/b.mp3", "d.mp3", "c.mp3", "a.jpg"};
}

// Each change reaches the rows without a refresh; what survives it keeps its uuid, a changed
// file is probed again, and the store names exactly the rows shown.
void TestFolderScan::treeFollowsTheDisk()
{
    QFETCH(DiskChange, change);
    QFETCH(QString, path);
    QFETCH(QString, other);
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
        QVERIFY(QDir(root).rename(path, other));
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

    QStringList after;
    QVERIFY2(waitUntil(
                     [&] {
                         after = shownBelow(scan.model, scan.root());
                         return after == rows && !scan.model.isBusy();
                     },
                     10000),
             qPrintable(after.join(", ")));
    QCOMPARE(fileInfo(scan.root()).value("exists"), QVariant(true));
    const QStringList kept = shownBelow(scan.model, scan.root(), true);
    QSet<QString> uuids{scan.model.uuidOf(int(scan.root().internalId()))};
    for (const QString &row : kept)
        uuids << row.section(' ', 1);
    for (const QString &row : before) {
        if (after.contains(row.section(' ', 0, 0)))
            QVERIFY2(kept.contains(row), qPrintable(row));
    }
    const QVariantMap picture
            = scan.model.itemRecords().value(int(scan.at(scan.root(), "a.jpg").internalId()));
    QCOMPARE(picture.value("info").toMap().value("frameWidth").toInt(),
             change == Replace ? 32 : 16);
    QSet<QString> stored;
    for (const QVariantMap &row : storedRows(scan.project.path()))
        stored << row.value("uuid").toString();
    QCOMPARE(stored, uuids);
}

QTEST_GUILESS_MAIN(TestFolderScan)
#include "tst_folderscan.moc"
