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
    explicit Scanned(const QStringList &roots)
        : tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest)
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
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex index = model.index(row, 0, parent);
            index.data(FolderModel::FileInfoRole);
            showAll(index);
        }
    }
    int idOf(const QString &path) const { return model.idOfKey(FolderModel::itemKey(path, 0)); }

    ProjectDir project;
    FolderModel model{nullptr};
    QAbstractItemModelTester tester;
};

QStringList clearedNames(const QSignalSpy &spy, const QMap<int, QString> &names)
{
    QStringList cleared;
    for (const QList<QVariant> &signal : spy)
        cleared << names.value(signal.at(0).toInt(), "?");
    return cleared;
}

} // namespace

class TestRemoval : public QObject
{
    Q_OBJECT
private slots:
    void folderIsTakenApartLevelByLevel();
    void removingARootForgetsEverything();
    void unknownIdsAreLeftAlone();
    void refreshAddsTheRootsAgain();
    void clearAllClosesTheTab();
    void batchingWorkerWritesOnlyWhatIsPending();
};

void TestRemoval::folderIsTakenApartLevelByLevel()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"F/z1.mp3", "F/y2.mp3", "F/s/g1.mp3", "keep.mp3"});
    Scanned scan({dir.path()});
    QMap<int, QString> names;
    for (const char *name : {"F", "F/z1.mp3", "F/y2.mp3", "F/s", "F/s/g1.mp3"})
        names.insert(scan.idOf(dir.filePath(QString::fromLatin1(name))), QString::fromLatin1(name));
    QSignalSpy removed(&scan.model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy cleared(&scan.model, &FolderModel::fileIndexCleared);

    scan.model.removeItem(scan.idOf(dir.filePath("F")));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(rowNames(scan.model, scan.model.index(0, 0)), QStringList{"keep.mp3"});
    QVERIFY(cleared.isEmpty()); // the rest goes one step at a time
    QTRY_COMPARE(cleared.count(), 5);
    QCOMPARE(clearedNames(cleared, names),
             (QStringList{"F/z1.mp3", "F/y2.mp3", "F", "F/s/g1.mp3", "F/s"}));
    QCOMPARE(storedRows(scan.project.path()).size(), 2); // the root and keep.mp3
}

void TestRemoval::removingARootForgetsEverything()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"sub/a.mp3"});
    QProcess::execute("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                 "testsrc=duration=2", dir.filePath("clip.mp4")});
    QImage(64, 48, QImage::Format_RGB32).save(dir.filePath("photo.jpg"));
    Scanned scan({dir.path()});
    const QString thumbnail
            = scan.model.recordOf(scan.idOf(dir.filePath("clip.mp4"))).value("img").toString();
    QVERIFY(QFileInfo::exists(thumbnail));
    QSignalSpy allCleared(&scan.model, &FolderModel::filesIndexCleared);
    QSignalSpy began(&scan.model, &FolderModel::loadFolderBegan);

    scan.model.removeItem(scan.idOf(dir.path()));
    QCOMPARE(scan.model.rootCount(), 0);
    QVERIFY(allCleared.wait());
    QVERIFY(!scan.model.isBusy());
    QVERIFY(!QFileInfo::exists(thumbnail));
    QVERIFY(QFileInfo::exists(dir.filePath("photo.jpg")));
    QVERIFY(QFileInfo::exists(dir.filePath("clip.mp4")));
    QVERIFY(storedRows(scan.project.path()).isEmpty());
    QVERIFY(scan.model.itemRecords().isEmpty());
    QCOMPARE(began.count(), 0); // nothing was waiting to be added again
}

void TestRemoval::unknownIdsAreLeftAlone()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"a.mp3"});
    Scanned scan({dir.path()});
    const int records = scan.model.itemRecords().size();
    scan.model.removeItem(987654);
    QCOMPARE(scan.model.rootCount(), 1);
    QCOMPARE(scan.model.itemRecords().size(), records);
}

void TestRemoval::refreshAddsTheRootsAgain()
{
    QTemporaryDir a, b;
    makeEntries(a.path(), {"a.mp3"});
    makeEntries(b.path(), {"b.mp3"});
    Scanned scan({a.path(), b.path()});
    const int oldId = scan.idOf(a.filePath("a.mp3"));
    makeEntries(b.path(), {"new.mp3"});
    QSignalSpy began(&scan.model, &FolderModel::loadFolderBegan);

    scan.model.refreshTree();
    QCOMPARE(scan.model.rootCount(), 0);
    QTRY_COMPARE(began.count(), 2);
    QTRY_VERIFY(!scan.model.isBusy());
    QCOMPARE(scan.model.pathOf(int(scan.model.index(0, 0).internalId())), a.path());
    QCOMPARE(scan.model.pathOf(int(scan.model.index(1, 0).internalId())), b.path());
    QCOMPARE(rowNames(scan.model, scan.model.index(1, 0)), (QStringList{"new.mp3", "b.mp3"}));
    QVERIFY(scan.idOf(a.filePath("a.mp3")) > oldId);
}

void TestRemoval::clearAllClosesTheTab()
{
    QTemporaryDir dir;
    makeEntries(dir.path(), {"a.mp3"});
    Scanned scan({dir.path()});
    QSignalSpy closed(&scan.model, &FolderModel::folderTabNeedClose);
    QSignalSpy allCleared(&scan.model, &FolderModel::filesIndexCleared);
    scan.model.onClearAll();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(scan.model.rootCount(), 0);
    QVERIFY(allCleared.wait());

    scan.model.onClearAll(); // nothing left: only the tab closes
    QCOMPARE(closed.count(), 2);
    QVERIFY(!scan.model.isBusy());
}

void TestRemoval::batchingWorkerWritesOnlyWhatIsPending()
{
    ProjectDir project;
    const QString file = QDir(project.path()).filePath("mediainfo.db");
    auto worker = std::make_unique<DBWorker>(nullptr);
    QSignalSpy tick(worker->findChild<QTimer *>(), &QTimer::timeout);
    QVERIFY(tick.wait(3000));
    QVERIFY(!QFileInfo::exists(file)); // an idle tick does not touch the store

    const auto record = [](const char *uuid) {
        Module_Mediainfo r;
        r.uuid = QString::fromLatin1(uuid);
        r.category = "folder";
        return r;
    };
    worker->onAddingFolder(true);
    worker->enqueue(record("b"));
    worker->enqueue(record("a"));
    QVERIFY(tick.wait(3000));
    QVERIFY(!QFileInfo::exists(file)); // held while a folder is added
    worker->onAddingFolder(false);
    QVERIFY(tick.wait(3000));
    QCOMPARE(storedRows(project.path()).size(), 2);
    QCOMPARE(storedRows(project.path()).first().value("uuid").toString(), "a");

    worker->onAddingFolder(true);
    worker->enqueue(record("c"));
    worker.reset(); // what is pending is written on the way out
    QCOMPARE(storedRows(project.path()).size(), 3);
}

QTEST_GUILESS_MAIN(TestRemoval)
#include "tst_removal.moc"
