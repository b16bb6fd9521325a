#include "model/foldermodel.h"
#include "testfolders.h"

#include <QAbstractItemModelTester>
#include <QRegularExpression>
#include <QtTest>

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
    void topLevelRowsHaveNoParent();
};

void TestFolderModel::idsAreNeverReused()
{
    FolderModel first(nullptr);
    const int a = first.fileIndex("/m/a.mp4:0");
    const int b = first.fileIndex("/m/b.mp4:0");
    QCOMPARE(b, a + 1);
    const QString uuid = first.uuidOf(a);
    QVERIFY(QRegularExpression("^\\{[0-9a-f-]{36}\\}$").match(uuid).hasMatch());
    QCOMPARE(first.fileIndex("/m/a.mp4:0"), a);
    QCOMPARE(first.uuidOf(a), uuid);

    // The same file under another root is another item.
    QVERIFY(first.fileIndex("/m/a.mp4:1") > b);

    FolderModel second(nullptr);
    const int inSecond = second.fileIndex("/m/a.mp4:0");
    QVERIFY(inSecond > b);

    first.clearIndexOfKey("/m/a.mp4:0");
    QVERIFY(first.fileIndex("/m/a.mp4:0") > inSecond);
}

void TestFolderModel::splitItemKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("ordinal");
    QTest::addRow("drive letter") << "C:/media/a.mp4:3"
                                  << "C:/media/a.mp4" << 3;
    QTest::addRow("drive root") << "D:/:0"
                                << "D:/" << 0;
    QTest::addRow("colon in a name") << "/home/x:y/a.mp4:12"
                                     << "/home/x:y/a.mp4" << 12;
}

void TestFolderModel::splitItemKey()
{
    QFETCH(QString, key);
    QFETCH(QString, path);
    QFETCH(int, ordinal);
    int found = -1;
    QCOMPARE(FolderModel::splitItemKey(key, &found), path);
    QCOMPARE(found, ordinal);
    QCOMPARE(FolderModel::itemKey(path, ordinal), key);
}

void TestFolderModel::clearingTheLastKeyAnnouncesAnEmptyIndex()
{
    FolderModel model(nullptr);
    QStringList heard;
    connect(&model, &FolderModel::fileIndexCleared, this,
            [&](int id) { heard << QString::number(id); });
    connect(&model, &FolderModel::filesIndexCleared, this, [&] { heard << "all"; });
    const int a = model.fileIndex("/m/a.mp4:0");
    const int b = model.fileIndex("/m/b.mp4:0");

    model.clearIndexOfKey("/m/a.mp4:0");
    model.clearIndexOfKey("/m/a.mp4:0");
    model.clearIndexOfKey("/m/never.mp4:0");
    QCOMPARE(heard, QStringList{QString::number(a)});
    QCOMPARE(model.idOfKey("/m/a.mp4:0"), -1);
    QVERIFY(model.uuidOf(a).isEmpty());

    model.clearIndexOfKey("/m/b.mp4:0");
    QCOMPARE(heard, (QStringList{QString::number(a), QString::number(b), "all"}));
}

// A scanned folder holding a folder and two files.
class ScannedFolder
{
public:
    ScannedFolder()
    {
        makeEntries(folders.path(), {"sub/", "a.mp3", "b.mp3"});
        QSignalSpy ended(&model, &FolderModel::loadFolderEnded);
        model.addFolder(folders.path());
        ended.wait();
    }
    QModelIndex root() const { return model.index(0, 0); }

    ProjectDir project;
    QTemporaryDir folders;
    FolderModel model{nullptr};
};

void TestFolderModel::dataAnswersEveryRole()
{
    ScannedFolder scanned;
    const QModelIndex song = childNamed(scanned.model, scanned.root(), "b.mp3");
    QVERIFY(song.isValid());
    const QVariantMap info = song.data(FolderModel::FileInfoRole).toMap();
    QCOMPARE(info.value("type").toString(), "audio");
    QCOMPARE(info.value("fileIdx").toInt(), int(song.internalId()));
    QVERIFY(!info.contains("info"));
    QCOMPARE(song.data(Qt::UserRole + 7).toMap(), info);
    QCOMPARE(song.data(Qt::DisplayRole).toString(), "b.mp3");
    QVERIFY(!song.data(Qt::ToolTipRole).isValid());
    QVERIFY(!song.data(Qt::DecorationRole).isValid());
    QCOMPARE(scanned.model.roleNames(),
             (QHash<int, QByteArray>{{Qt::UserRole + 1, QByteArrayLiteral("fileInfo")}}));
}

void TestFolderModel::setDataRefreshesTheSiblings()
{
    ScannedFolder scanned;
    QSignalSpy changed(&scanned.model, &QAbstractItemModel::dataChanged);
    const QModelIndex middle = scanned.model.index(1, 0, scanned.root());
    QVERIFY(scanned.model.setData(middle, "ignored", 257));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), scanned.model.index(0, 0, scanned.root()));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), scanned.model.index(2, 0, scanned.root()));
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{257});
}

void TestFolderModel::topLevelRowsHaveNoParent()
{
    ScannedFolder scanned;
    QAbstractItemModelTester tester(&scanned.model,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(!scanned.model.parent(scanned.root()).isValid());
    const QModelIndex sub = childNamed(scanned.model, scanned.root(), "sub");
    QCOMPARE(scanned.model.parent(sub), scanned.root());
    QCOMPARE(scanned.model.rootCount(), 1);
}

QTEST_GUILESS_MAIN(TestFolderModel)
#include "tst_foldermodel.moc"
