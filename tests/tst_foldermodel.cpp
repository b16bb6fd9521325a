#include "model/foldermodel.h"
#include "testfolders.h"

#include <QtTest>

// A scanned folder holding a folder and two files, checked by Qt's model tester.
struct ScannedFolder
{
    ScannedFolder()
    {
        makeEntries(folders.path(), {"sub/", "a.mp3", "b.mp3"});
        QSignalSpy ended(&model, &FolderModel::loadFolderEnded);
        model.addFolder(folders.path());
        ended.wait();
    }
    QModelIndex child(int row) const { return model.index(row, 0, model.index(0, 0)); }
    ProjectDir project;
    QTemporaryDir folders;
    FolderModel model{nullptr};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
};

class TestFolderModel : public QObject
{
    Q_OBJECT
private slots:
    void idsAreNeverReused();
    void splitItemKey_data();
    void splitItemKey();
    void clearingTheLastKeyAnnouncesAnEmptyIndex();
    void dataAnswersEveryRole();
    void setDataRefreshesTheSiblings();
};

void TestFolderModel::idsAreNeverReused()
{
    ProjectDir project;
    FolderModel first(nullptr), second(nullptr);
    const int a = first.fileIndex("/m/a.mp4:0");
    QCOMPARE(first.fileIndex("/m/a.mp4:0"), a);
    QVERIFY(QRegularExpression("^\\{[0-9a-f-]{36}\\}$").match(first.uuidOf(a)).hasMatch());
    const int otherRoot = first.fileIndex("/m/a.mp4:1"); // the same file under another root
    const int inSecond = second.fileIndex("/m/a.mp4:0"); // the same key in another model
    first.clearIndexOfKey("/m/a.mp4:0");
    QVERIFY(a < otherRoot && otherRoot < inSecond && inSecond < first.fileIndex("/m/a.mp4:0"));
}

void TestFolderModel::splitItemKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("ordinal");
    QTest::addColumn<QString>("path");
    QTest::addRow("drive letter") << "C:/media/a.mp4:3" << 3 << "C:/media/a.mp4";
    QTest::addRow("drive root") << "D:/:0" << 0 << "D:/";
    QTest::addRow("colon in a name") << "/home/x:y/a.mp4:12" << 12 << "/home/x:y/a.mp4";
}

void TestFolderModel::splitItemKey()
{
    QFETCH(QString, key);
    QFETCH(int, ordinal);
    QFETCH(QString, path);
    int found = -1;
    QCOMPARE(FolderModel::splitItemKey(key, &found), path);
    QCOMPARE(found, ordinal);
    QCOMPARE(FolderModel::itemKey(path, ordinal), key);
}

void TestFolderModel::clearingTheLastKeyAnnouncesAnEmptyIndex()
{
    ProjectDir project;
    FolderModel model(nullptr);
    QVariantList heard;
    connect(&model, &FolderModel::fileIndexCleared, this, [&](int id) { heard << id; });
    connect(&model, &FolderModel::filesIndexCleared, this, [&] { heard << "all"; });
    const int a = model.fileIndex("/m/a.mp4:0");
    const int b = model.fileIndex("/m/b.mp4:0");
    for (const char *key : {"/m/a.mp4:0", "/m/a.mp4:0", "/m/never.mp4:0"})
        model.clearIndexOfKey(key); // a twice, and a key never known
    QCOMPARE(heard, QVariantList{a});
    QVERIFY(model.idOfKey("/m/a.mp4:0") == -1 && model.uuidOf(a).isEmpty());
    model.clearIndexOfKey("/m/b.mp4:0");
    QCOMPARE(heard, (QVariantList{a, b, "all"}));
}

void TestFolderModel::dataAnswersEveryRole()
{
    ScannedFolder scanned;
    const QModelIndex song = scanned.child(1);
    QCOMPARE(song.data(Qt::DisplayRole).toString(), "b.mp3");
    const QVariantMap info = song.data(FolderModel::FileInfoRole).toMap();
    QCOMPARE(info.value("type").toString(), "audio");
    QCOMPARE(info.value("fileIdx").toInt(), int(song.internalId()));
    QVERIFY(!info.contains("info"));
    QCOMPARE(song.data(Qt::UserRole + 7).toMap(), info);
    QVERIFY(!song.data(Qt::ToolTipRole).isValid() && !song.data(Qt::DecorationRole).isValid());
    QCOMPARE(scanned.model.roleNames(), (QHash<int, QByteArray>{{Qt::UserRole + 1, "fileInfo"}}));
}

void TestFolderModel::setDataRefreshesTheSiblings()
{
    ScannedFolder scanned;
    QSignalSpy changed(&scanned.model, &QAbstractItemModel::dataChanged);
    QVERIFY(scanned.model.setData(scanned.child(1), "ignored", 257));
    QCOMPARE(changed.count(), 1);
    QCOMPARE((QModelIndexList{changed[0][0].toModelIndex(), changed[0][1].toModelIndex()}),
             (QModelIndexList{scanned.child(0), scanned.child(2)})); // from first to last row
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{257});
}

QTEST_GUILESS_MAIN(TestFolderModel)
#include "tst_foldermodel.moc"
