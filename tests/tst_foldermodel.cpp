#include "model/foldermodel.h"
#include "model/itemrecord.h"
#include "probe/stillinfo.h"
#include "testfolders.h"

#include <QUuid>
#include <QtTest>

class TestFolderModel : public QObject
{
    Q_OBJECT
private slots:
    void idsAreNeverReused();
    void splitItemKey_data();
    void splitItemKey();
    void storedUuidComesBackAsStored_data();
    void storedUuidComesBackAsStored();
    void infoComesBackAsGiven_data();
    void infoComesBackAsGiven();
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

void TestFolderModel::storedUuidComesBackAsStored_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addRow("as made here") << QUuid::createUuid().toString();
    QTest::addRow("upper case") << QUuid::createUuid().toString().toUpper();
    QTest::addRow("without braces") << QUuid::createUuid().toString(QUuid::WithoutBraces);
    QTest::addRow("no uuid at all") << "layer-7";
    QTest::addRow("empty") << "";
}

void TestFolderModel::storedUuidComesBackAsStored()
{
    QFETCH(QString, uuid);
    ItemTree tree;
    tree.registerItem(ItemTree::newId(), "/m/a.mp4:0", uuid);
    QCOMPARE(tree.uuidOf(tree.idOfKey("/m/a.mp4:0")), uuid);
}

// Absent keys stay absent, empty ones empty, and every text comes back to the character,
// whatever of the detail info's usual names and punctuation its values hold.
void TestFolderModel::infoComesBackAsGiven_data()
{
    QTest::addColumn<QVariantMap>("info");
    const QString detail = QString::fromUtf8(
            R"j({"Audio":{"bitrate":"69 kb/s","encoding":"aac","soundTrack":"5.1(side)"},)j"
            R"j("Metadata":{"title":"Été \u0001 \"},\"fps\":\" 00:00: kb/s"},)j"
            R"j("Video":{"bitrate":"45 kb/s","fps":"25 fps","resolution":"320x240"},)j"
            R"j("bitrate":"127 kb/s","duration":"00:00:02.00"})j");
    QTest::addRow("video") << QVariantMap{{"duration", "00:00:02.00"}, {"fps", "25 fps"},
                                          {"timeLenMsec", 2000},       {"frameWidth", 320},
                                          {"frameHeight", 240},        {"detailInfo", detail}};
    QTest::addRow("control characters in the detail")
            << QVariantMap{{"detailInfo", QString("a\x01b\x1f") + QChar(0) + "c"}};
    QTest::addRow("empty texts before a text")
            << QVariantMap{{"duration", ""}, {"fps", ""}, {"detailInfo", "x"}};
    QTest::addRow("picture") << pictureInfo(4000, 3000);
    QTest::addRow("presentation") << presentationInfo("/p/picture/{Präsentation}");
    QTest::addRow("nothing") << QVariantMap();
}

void TestFolderModel::infoComesBackAsGiven()
{
    QFETCH(QVariantMap, info);
    QCOMPARE(ItemInfo::fromMap(info).toMap(), info);
}

QTEST_GUILESS_MAIN(TestFolderModel)
#include "tst_foldermodel.moc"
