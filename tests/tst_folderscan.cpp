#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QUrl>
#include <QtTest>

namespace {

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
    QModelIndex at(const QModelIndex &parent, const QString &name) const
    {
        return childNamed(model, parent, name);
    }

    ProjectDir project;
    FolderModel model{nullptr};
    QAbstractItemModelTester tester;
};

QString chainOf(int depth)
{
    QStringList parts;
    for (int level = 1; level <= depth; ++level)
        parts << QString("d%1").arg(level);
    return parts.join(QLatin1Char('/'));
}

} // namespace

class TestFolderScan : public QObject
{
    Q_OBJECT
private slots:
    void rowsComeInDescendingNameOrder();
    void deepFoldersAreCutAtTheLimit();
    void secondAddIsRefusedOnlyWhileWalking();
    void addFoldersWalksOneAfterAnother();
    void sameFolderTwiceGivesIndependentItems();
    void buildStepStoresRecords();
    void awkwardRootPaths_data();
    void awkwardRootPaths();
    void rootThatIsNotAFolderStillEnds();
    void symlinkLoopIsBounded();
    void unreadableFolderListsAsEmpty();
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
    makeEntries(dir.path(), {chainOf(12) + "/deep.mp4", chainOf(9) + "/nine.mp4"});
    Scan scan;
    QSignalSpy errors(&scan.model, &FolderModel::errorOccured);
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toInt(), int(DepthLimitMet));

    QModelIndex folder = scan.root();
    for (int level = 1; level <= 10; ++level) {
        folder = scan.at(folder, QString("d%1").arg(level));
        QVERIFY2(folder.isValid(), qPrintable(QString("d%1").arg(level)));
    }
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
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toInt(), int(AddWhileWalking));
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
    QSignalSpy began(&scan.model, &FolderModel::loadFolderBegan);
    QSignalSpy ended(&scan.model, &FolderModel::loadFolderEnded);
    QVector<int> rowsOfPreviousRoot;
    connect(&scan.model, &FolderModel::loadFolderBegan, this, [&] {
        const int count = scan.model.rootCount();
        if (count > 1)
            rowsOfPreviousRoot << scan.model.rowCount(scan.root(count - 2));
    });

    scan.model.addFolders({a.path(), b.path(), c.path()});
    QTRY_COMPARE(began.count(), 3);
    QTRY_VERIFY(!ended.isEmpty());
    QCOMPARE(rowsOfPreviousRoot, (QVector<int>{2, 1})); // each walk had ended
    QCOMPARE(rowNames(scan.model, scan.root(2)), QStringList{"c1.jpg"});
    QCOMPARE(scan.model.pathOf(int(scan.root(1).internalId())), b.path());
}

void TestFolderScan::sameFolderTwiceGivesIndependentItems()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"a.mp3"});
    Scan scan;
    QVERIFY(scan.add(dir.path()));
    QVERIFY(scan.add(dir.path()));
    const QModelIndex first = scan.model.index(0, 0, scan.root(0));
    const QModelIndex second = scan.model.index(0, 0, scan.root(1));
    QCOMPARE(scan.model.pathOf(int(first.internalId())),
             scan.model.pathOf(int(second.internalId())));
    QVERIFY(first.internalId() != second.internalId());
    QVERIFY(fileInfo(first).value("uuid") != fileInfo(second).value("uuid"));
}

void TestFolderScan::buildStepStoresRecords()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"sub/song.mp3", "talk.mp3"});
    Scan scan;
    QVERIFY(scan.add(dir.path()));
    QVERIFY(scan.add(dir.path() + "/sub"));

    QMap<QString, QVariantMap> byUuid;
    for (const QVariantMap &row : storedRows(scan.project.path()))
        byUuid.insert(row.value("uuid").toString(), row);
    QCOMPARE(byUuid.size(), 6); // root, sub, song, talk; sub and song again under root 1

    const auto rowOf = [&](const QModelIndex &index) {
        return byUuid.value(fileInfo(index).value("uuid").toString());
    };
    const QVector<QPair<QModelIndex, QString>> items{{scan.root(0), "0"},
                                                     {scan.at(scan.root(0), "sub"), "0"},
                                                     {scan.at(scan.root(0), "talk.mp3"), "0"},
                                                     {scan.root(1), "1"},
                                                     {scan.at(scan.root(1), "song.mp3"), "1"}};
    for (const auto &[index, rootIndex] : items) {
        const QVariantMap row = rowOf(index);
        const QString path = scan.model.pathOf(int(index.internalId()));
        QCOMPARE(row.value("path").toString(), path);
        QCOMPARE(row.value("filePath").toString(), path);
        QCOMPARE(row.value("category").toString(), "folder");
        QCOMPARE(row.value("rootIndex").toString(), rootIndex);
    }
    // Audio is saved once its probe has ended: a fixed frame size and no picture.
    const QVariantMap song = rowOf(items.last().first);
    QCOMPARE(song.value("resolution").toString(), "400 X 400");
    QCOMPARE(song.value("img").toString(), QString());
}

void TestFolderScan::awkwardRootPaths_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("form");
    QTest::addRow("spaces") << "with some spaces"
                            << "plain";
    QTest::addRow("quotes") << "say \"cheese\" 'now'"
                            << "plain";
    QTest::addRow("place marker") << "take %1 and %2"
                                  << "plain";
    QTest::addRow("non-ASCII") << "naïve 日本"
                               << "plain";
    QTest::addRow("leading dash") << "-rf"
                                  << "plain";
    QTest::addRow("file URL") << "url"
                              << "url";
    QTest::addRow("trailing separator") << "trailing"
                                        << "trailing";
    QTest::addRow("redundant parts") << "dots"
                                     << "dots";
}

void TestFolderScan::awkwardRootPaths()
{
    QFETCH(QString, folderName);
    QFETCH(QString, form);
    QTemporaryDir dir;
    const QString root = dir.filePath(folderName);
    makeEntries(root, {"a.mp4", "sub/b.mp3"});
    const QString given = form == QLatin1String("url")        ? QUrl::fromLocalFile(root).toString()
                          : form == QLatin1String("trailing") ? root + QLatin1Char('/')
                          : form == QLatin1String("dots") ? dir.path() + "/./sub/../" + folderName
                                                          : root;
    Scan scan;
    QVERIFY(scan.add(given));
    QCOMPARE(scan.model.pathOf(int(scan.root().internalId())), root);
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

void TestFolderScan::symlinkLoopIsBounded()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"a.mp3"});
    if (!QFile::link(dir.path(), dir.filePath("loop")))
        QSKIP("no symbolic links here");
    Scan scan;
    QSignalSpy errors(&scan.model, &FolderModel::errorOccured);
    QVERIFY(scan.add(dir.path()));
    QCOMPARE(errors.count(), 1);
    QModelIndex folder = scan.root();
    int depth = 0;
    while (scan.at(folder, "loop").isValid()) {
        folder = scan.at(folder, "loop");
        ++depth;
    }
    QCOMPARE(depth, 10);
}

void TestFolderScan::unreadableFolderListsAsEmpty()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"locked/a.mp3", "b.mp3"});
    const QString locked = dir.filePath("locked");
    QFile::setPermissions(locked, QFileDevice::Permissions());
    if (!QDir(locked).entryList(QDir::Files).isEmpty()) {
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                              | QFileDevice::ExeOwner);
        QSKIP("permissions do not hold for this user");
    }
    Scan scan;
    QVERIFY(scan.add(dir.path()));
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(rowNames(scan.model, scan.root()), (QStringList{"locked", "b.mp3"}));
    QCOMPARE(scan.model.rowCount(scan.at(scan.root(), "locked")), 0);
}

QTEST_GUILESS_MAIN(TestFolderScan)
#include "tst_folderscan.moc"
