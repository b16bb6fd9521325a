#include "model/foldermodel.h"
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

} // namespace

class TestRemoval : public QObject
{
    Q_OBJECT
private slots:
    void folderIsTakenApartLevelByLevel();
    void removingARootForgetsEverything();
    void refreshThenClearAll();
    void batchingWorkerWritesOnlyWhatIsPending();
};

void TestRemoval::folderIsTakenApartLevelByLevel()
{
    QTemporaryDir dir;
    QList<int> order, cleared; // removal order: its files, the folder, then its sub-folders
    makeEntries(dir.path(), {"F/z1.mp3", "F/y2.mp3", "F/s/g1.mp3", "keep.mp3"});
    Scanned scan({dir.path()});
    for (const char *name : {"F/z1.mp3", "F/y2.mp3", "F", "F/s/g1.mp3", "F/s"})
        order << scan.idOf(dir.filePath(name));
    connect(&scan.model, &FolderModel::fileIndexCleared, [&cleared](int id) { cleared << id; });
    const int records = scan.model.itemRecords().size();
    scan.model.removeItem(987654); // an unknown id: left alone, and no record is made for it
    QCOMPARE(scan.model.itemRecords().size(), records);

    scan.model.removeItem(scan.idOf(dir.filePath("F")));
    QCOMPARE(rowNames(scan.model, scan.model.index(0, 0)), QStringList{"keep.mp3"});
    QVERIFY(cleared.isEmpty()); // the rest goes one step at a time
    QTRY_COMPARE(cleared, order);
    QCOMPARE(storedRows(scan.project.path()).size(), 2); // the root and keep.mp3
}

void TestRemoval::removingARootForgetsEverything()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"sub/a.mp3"});
    QCOMPARE(QProcess::execute("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                          "testsrc=duration=2", dir.filePath("clip.mp4")}),
             0);
    QVERIFY(QImage(64, 48, QImage::Format_RGB32).save(dir.filePath("photo.jpg")));
    Scanned scan({dir.path()});
    const QString thumbnail
            = scan.model.recordOf(scan.idOf(dir.filePath("clip.mp4"))).value("img").toString();
    QVERIFY(QFileInfo::exists(thumbnail));
    QSignalSpy allCleared(&scan.model, &FolderModel::filesIndexCleared);
    QSignalSpy closed(&scan.model, &FolderModel::folderTabNeedClose);

    scan.model.removeItem(scan.idOf(dir.path()));
    QCOMPARE(scan.model.rootCount(), 0);
    QVERIFY(allCleared.wait());
    QVERIFY(!QFileInfo::exists(thumbnail));
    QVERIFY(QFileInfo::exists(dir.filePath("photo.jpg"))); // the picture shown as its own
    QVERIFY(storedRows(scan.project.path()).isEmpty());
    QVERIFY(scan.model.itemRecords().isEmpty());
    scan.model.onClearAll(); // no roots left: only the tab closes
    QCOMPARE(closed.count(), 1);
    QVERIFY(!scan.model.isBusy());
}

void TestRemoval::refreshThenClearAll()
{
    QTemporaryDir a, b;
    makeEntries(b.path(), {"b.mp3"});
    Scanned scan({a.path(), b.path()});
    const int oldId = scan.idOf(a.path());
    makeEntries(b.path(), {"new.mp3"});
    QSignalSpy began(&scan.model, &FolderModel::loadFolderBegan);

    scan.model.refreshTree();
    QTRY_VERIFY(began.count() == 2 && !scan.model.isBusy());
    QCOMPARE(scan.model.pathOf(int(scan.model.index(0, 0).internalId())), a.path());
    QCOMPARE(scan.model.pathOf(int(scan.model.index(1, 0).internalId())), b.path());
    QCOMPARE(rowNames(scan.model, scan.model.index(1, 0)), (QStringList{"new.mp3", "b.mp3"}));
    QVERIFY(scan.idOf(a.path()) > oldId);

    QSignalSpy closed(&scan.model, &FolderModel::folderTabNeedClose);
    scan.model.onClearAll(); // with roots: they all go, and the tab closes
    QCOMPARE(closed.count(), 1);
    QCOMPARE(scan.model.rootCount(), 0);
    QTRY_VERIFY(!scan.model.isBusy());
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
