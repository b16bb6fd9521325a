#include "model/foldermodel.h"
#include "testfolders.h"

#include <QtTest>

class TestFolderModel : public QObject
{
    Q_OBJECT
private slots:
    void idsAreNeverReused();
    void splitItemKey_data();
    void splitItemKey();
};

// A cleared key is announced once, the last one with an empty index as well, and its id is
// not handed out again, neither by its model nor by another.
void TestFolderModel::idsAreNeverReused()
{
    ProjectDir project;
    FolderModel first(nullptr), second(nullptr);
    QVariantList heard;
    connect(&first, &FolderModel::fileIndexCleared, this, [&](int id) { heard << id; });
    connect(&first, &FolderModel::filesIndexCleared, this, [&] { heard << "all"; });
    const int a = first.fileIndex("/m/a.mp4:0");
    QCOMPARE(first.fileIndex("/m/a.mp4:0"), a);
    QVERIFY(QRegularExpression("^\\{[0-9a-f-]{36}\\}$").match(first.uuidOf(a)).hasMatch());
    const int otherRoot = first.fileIndex("/m/a.mp4:1"); // the same file under another root
    const int inSecond = second.fileIndex("/m/a.mp4:0"); // the same key in another model
    for (const char *key : {"/m/a.mp4:0", "/m/a.mp4:0", "/m/never.mp4:0"})
        first.clearIndexOfKey(key); // a twice, and a key never known
    QCOMPARE(heard, QVariantList{a});
    QVERIFY(first.idOfKey("/m/a.mp4:0") == -1 && first.uuidOf(a).isEmpty());
    const int again = first.fileIndex("/m/a.mp4:0");
    QVERIFY(a < otherRoot && otherRoot < inSecond && inSecond < again);
    first.clearIndexOfKey("/m/a.mp4:0");
    first.clearIndexOfKey("/m/a.mp4:1");
    QCOMPARE(heard, (QVariantList{a, again, otherRoot, "all"}));
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

QTEST_GUILESS_MAIN(TestFolderModel)
#include "tst_foldermodel.moc"
