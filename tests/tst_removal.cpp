#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "probe/picturedirectory.h"
#include "store/dbworker.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QProcess>
#include <QTimer>
#include <QtTest>

class TestRemoval : public QObject
{
    Q_OBJECT
private slots:
    void operationsDuringAWalk_data();
    void operationsDuringAWalk();
    void picturesOfRemovedItemsGo();
    void batchingWorkerWritesOnlyWhatIsPending();
};

void TestRemoval::operationsDuringAWalk_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("roots"); // "a" is being walked, "b" waits for it
    QTest::newRow("refresh") << "refresh" << QStringList{"a", "b"};
    QTest::newRow("delete the walked root") << "delete a" << QStringList{"b"};
    QTest::newRow("delete a folder being walked") << "delete a/big" << QStringList{"a", "b"};
    QTest::newRow("clear") << "clear" << QStringList{};
}

// A request that comes between two steps of a walk leaves the tree and the store in
// agreement, and every load that began ends.
void TestRemoval::operationsDuringAWalk()
{
    QFETCH(QString, operation);
    ProjectDir project;
    QTemporaryDir disk;
    QStringList entries{"a/small.png", "b/b.png"};
    for (int i = 0; i < 1200; ++i)
        entries << QString("a/big/d%1/p%2.png").arg(i / 4).arg(i);
    makeEntries(disk.path(), entries);
    FolderModel model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy began(&model, &FolderModel::loadFolderBegan);
    QSignalSpy ended(&model, &FolderModel::loadFolderEnded);
    bool requested = false;
    EventFilter filter([&](QEvent *event) {
        if (event->type() != QEvent::Type(WalkStep) || requested)
            return;
        const QModelIndex big = childNamed(model, model.index(0, 0), "big");
        if (!big.isValid() || model.rowCount(big) >= 300) // while its folders are walked
            return;
        requested = true;
        if (operation == "refresh")
            model.refreshTree();
        else if (operation == "clear")
            model.onClearAll();
        else
            model.removeItem(model.idOfKey(
                    FolderModel::itemKey(disk.filePath(operation.section(' ', 1)), 0)));
    });
    model.installEventFilter(&filter);
    model.addFolders({disk.filePath("a"), disk.filePath("b")});
    QVERIFY(waitUntil([&] { return !model.isBusy(); }));
    QVERIFY(requested);

    QTEST(rowNames(model), "roots");
    if (rowNames(model).contains("a"))
        QCOMPARE(model.rowCount(model.index(0, 0)), operation == "delete a/big" ? 1 : 2);
    QStringList tree = shownBelow(model, {}, true), stored; // "path uuid", relative to disk
    for (const QVariantMap &row : storedRows(project.path()))
        stored << QDir(disk.path()).relativeFilePath(QDir::cleanPath(row["path"].toString())) + ' '
                          + row["uuid"].toString();
    tree.sort();
    stored.sort();
    QCOMPARE(stored, tree);
    QCOMPARE(ended.count(), began.count());
}

// Thumbnails and slide folders leave with their items; the user's own files stay. A tool that
// ends after its item went is left to the consistency test, which clears at every moment.
void TestRemoval::picturesOfRemovedItemsGo()
{
    ProjectDir project;
    QTemporaryDir dir;
    makeEntries(dir.path(), {"deck.pptx"});
    QCOMPARE(QProcess::execute("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                          "testsrc=duration=2", dir.filePath("clip.mp4")}),
             0);
    QVERIFY(QImage(64, 48, QImage::Format_RGB32).save(dir.filePath("photo.jpg")));
    const auto made = [] {
        return QDir(pictureDirectory()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    };
    FolderModel model(nullptr);
    QAbstractItemModelTester tester(&model);
    model.addFolder(dir.path());
    QVERIFY(waitUntil([&] { return !model.isBusy(); }));
    shownBelow(model, {}); // every row shown once, as a view would
    const int records = model.itemRecords().size();
    model.removeItem(987654); // an unknown id: left alone, and no record is made for it
    QCOMPARE(model.itemRecords().size(), records);
    const int deck = model.idOfKey(FolderModel::itemKey(dir.filePath("deck.pptx"), 0));
    const QString slides = model.recordOf(deck)[ItemField::info].toMap()["pptPath"].toString();
    QVERIFY(QFileInfo(slides).isDir());
    model.removeItem(deck);
    QVERIFY(waitUntil([&] { return !model.isBusy(); }));
    QVERIFY(!QFileInfo::exists(slides));
    QCOMPARE(made().size(), 2); // the thumbnails of the clip and the photo
    QSignalSpy allCleared(&model, &FolderModel::filesIndexCleared);
    model.removeItem(model.idOfKey(FolderModel::itemKey(dir.path(), 0)));
    QCOMPARE(model.rootCount(), 0); // the rows go at once, the rest step by step
    QVERIFY(allCleared.isEmpty());
    QVERIFY(allCleared.wait());
    QCOMPARE(made(), {});
    QVERIFY(storedRows(project.path()).isEmpty() && model.itemRecords().isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{"clip.mp4", "deck.pptx", "photo.jpg"}));
}

void TestRemoval::batchingWorkerWritesOnlyWhatIsPending()
{
    ProjectDir project;
    const QString file = QDir(project.path()).filePath("mediainfo.db");
    auto worker = std::make_unique<DBWorker>(nullptr);
    QSignalSpy tick(worker->findChild<QTimer *>(), &QTimer::timeout);
    Module_Mediainfo record;
    worker->onAddingFolder(true);
    record.uuid = "a";
    worker->enqueue(record);
    record.uuid = "b";
    worker->enqueue(record);
    QVERIFY(tick.wait(3000));
    QVERIFY(!QFileInfo::exists(file)); // held while a folder is added, not even opened
    worker->onAddingFolder(false);
    QVERIFY(tick.wait(3000));
    QCOMPARE(storedRows(project.path()).size(), 2);

    worker->onAddingFolder(true);
    record.uuid = "c";
    worker->enqueue(record);
    worker.reset(); // what is pending is written on the way out
    QCOMPARE(storedRows(project.path()).size(), 3);
}

QTEST_GUILESS_MAIN(TestRemoval)
#include "tst_removal.moc"
