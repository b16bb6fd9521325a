#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "probe/picturedirectory.h"
#include "probe/toolprocess.h"
#include "store/dbworker.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QTimer>
#include <QtTest>

namespace {

// A scanned folder on its own project directory, every row shown once as a view would.
class Scanned
{
public:
    explicit Scanned(const QStringList &roots) : tester(&model)
    {
        for (const QString &root : roots) {
            QSignalSpy ended(&model, &FolderModel::loadFolderEnded);
            model.addFolder(root);
            QVERIFY(ended.wait(20000));
        }
        showAll({});
    }
    void showAll(const QModelIndex &parent)
    {
        for (const QString &name : rowNames(model, parent))
            showAll(childNamed(model, parent, name));
    }
    int idOf(const QString &path) const { return model.idOfKey(FolderModel::itemKey(path, 0)); }

    ProjectDir project;
    FolderModel model{nullptr};
    QAbstractItemModelTester tester;
};

// "path uuid" of every record in the store, the path relative to dir as the tree shows it:
// the tree and the store agree whenever the model is idle.
QStringList storedItems(const QString &projectDir, const QDir &dir)
{
    QStringList items;
    for (const QVariantMap &row : storedRows(projectDir))
        items << dir.relativeFilePath(QDir::cleanPath(row.value("path").toString())) + ' '
                         + row.value("uuid").toString();
    items.sort();
    return items;
}

} // namespace

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
    auto request = [&] {
        if (operation == "refresh")
            model.refreshTree();
        else if (operation == "clear")
            model.onClearAll();
        else
            model.removeItem(model.idOfKey(
                    FolderModel::itemKey(disk.filePath(operation.section(' ', 1)), 0)));
    };
    EventFilter filter([&](QEvent *event) {
        if (event->type() != QEvent::Type(WalkStep) || requested)
            return;
        const QModelIndex big = childNamed(model, model.index(0, 0), "big");
        if (big.isValid() && model.rowCount(big) < 300) { // while its folders are walked
            requested = true;
            request();
        }
    });
    model.installEventFilter(&filter);
    model.addFolders({disk.filePath("a"), disk.filePath("b")});
    QVERIFY(waitUntil([&] { return !model.isBusy(); }));
    QVERIFY(requested);

    QStringList roots;
    for (int row = 0; row < model.rootCount(); ++row)
        roots << rowNames(model).at(row);
    QTEST(roots, "roots");
    if (roots.contains("a"))
        QCOMPARE(model.rowCount(model.index(0, 0)), operation == "delete a/big" ? 1 : 2);
    QStringList tree = shownBelow(model, {}, true);
    tree.sort();
    QCOMPARE(storedItems(project.path(), QDir(disk.path())), tree);
    QCOMPARE(ended.count(), began.count());
}

// Thumbnails and slide folders leave with their items, also when the tool that makes them
// ends after the item went; the user's own files stay.
void TestRemoval::picturesOfRemovedItemsGo()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"deck.pptx"});
    QCOMPARE(QProcess::execute("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                          "testsrc=duration=2", dir.filePath("clip.mp4")}),
             0);
    QVERIFY(QImage(64, 48, QImage::Format_RGB32).save(dir.filePath("photo.jpg")));
    const auto made = [] {
        return QDir(pictureDirectory()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    };
    {
        Scanned scan({dir.path()});
        const int records = scan.model.itemRecords().size();
        scan.model.removeItem(987654); // an unknown id: left alone, and no record is made for it
        QCOMPARE(scan.model.itemRecords().size(), records);
        const int deck = scan.idOf(dir.filePath("deck.pptx"));
        const QString slides
                = scan.model.recordOf(deck)[ItemField::info].toMap()["pptPath"].toString();
        QVERIFY(QFileInfo(slides).isDir());
        scan.model.removeItem(deck);
        QVERIFY(waitUntil([&] { return !scan.model.isBusy(); }));
        QVERIFY(!QFileInfo::exists(slides));
        QCOMPARE(made().size(), 2); // the thumbnails of the clip and the photo
        QSignalSpy allCleared(&scan.model, &FolderModel::filesIndexCleared);
        scan.model.removeItem(scan.idOf(dir.path()));
        QCOMPARE(scan.model.rootCount(), 0); // the rows go at once, the rest step by step
        QVERIFY(allCleared.isEmpty());
        QVERIFY(allCleared.wait());
        QCOMPARE(made(), {});
        QVERIFY(storedRows(scan.project.path()).isEmpty() && scan.model.itemRecords().isEmpty());
    }

    ProjectDir project;
    FolderModel model(nullptr);
    for (ToolProcess *tool : model.findChildren<ToolProcess *>())
        connect(tool, &ToolProcess::started, &model, [&model, tool] {
            if (tool->arguments().constLast().endsWith(".jpg"))
                model.onClearAll(); // while the thumbnail is being made
        });
    model.addFolder(dir.path());
    QVERIFY(waitUntil([&] { return !model.isBusy(); }));
    QCOMPARE(model.rootCount(), 0);
    QCOMPARE(made(), {});
    QVERIFY(storedRows(project.path()).isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{"clip.mp4", "deck.pptx", "photo.jpg"}));
}

void TestRemoval::batchingWorkerWritesOnlyWhatIsPending()
{
    ProjectDir project;
    const QString file = QDir(project.path()).filePath("mediainfo.db");
    auto worker = std::make_unique<DBWorker>(nullptr);
    QSignalSpy tick(worker->findChild<QTimer *>(), &QTimer::timeout);
    QVERIFY(tick.wait(3000));
    QVERIFY(!QFileInfo::exists(file)); // an idle tick does not touch the store

    Module_Mediainfo record;
    worker->onAddingFolder(true);
    record.uuid = "a";
    worker->enqueue(record);
    record.uuid = "b";
    worker->enqueue(record);
    QVERIFY(tick.wait(3000));
    QVERIFY(!QFileInfo::exists(file)); // held while a folder is added
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
