#include "store/ui_proc_mediainfo_desktop.h"
#include "testfolders.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// Every field set, and set apart from the others: swapped columns or a size cut to 32 bits
// would show.
Module_Mediainfo makeRecord(const QString &uuid, int n)
{
    Module_Mediainfo r;
    r.uuid = uuid;
    r.path = QString("/media/Ännö \"Ω\" it's 名前/clip %1.mp4").arg(n);
    r.category = QString("folder-%1").arg(n);
    r.img = QString("file:///thumbs/%1.png").arg(n);
    r.frameHeight = 1080 + n;
    r.frameWidth = 1920 + n;
    r.fps = 29.97 + n;
    r.resolution = QString("%1 X %2").arg(r.frameWidth).arg(r.frameHeight);
    r.duration = QString("00:01:%1").arg(n, 2, 10, QLatin1Char('0'));
    r.timeLenMsec = 61000 + n;
    r.fileSize = Q_INT64_C(5000000000) + n;
    r.detailInfo = QString("{\"n\":%1}").arg(n);
    r.filePath = QString("/media/copy/%1.mp4").arg(n);
    r.rootIndex = QString::number(n);
    r.isTranscoded = n % 2 == 1;
    return r;
}

QVariantList fields(const Module_Mediainfo &r)
{
    return {r.uuid,       r.path,       r.category,   r.img,       r.frameHeight,
            r.frameWidth, r.fps,        r.resolution, r.duration,  r.timeLenMsec,
            r.fileSize,   r.detailInfo, r.filePath,   r.rootIndex, r.isTranscoded};
}

QStringList uuidsOf(const QList<Module_Mediainfo> &records)
{
    QStringList uuids;
    for (const Module_Mediainfo &r : records)
        uuids << r.uuid;
    return uuids;
}

QStringList storedUuids(const QString &projectDir)
{
    QStringList uuids;
    for (const QVariantMap &row : storedRows(projectDir))
        uuids << row.value("uuid").toString();
    return uuids;
}

} // namespace

class TestMediaInfoStore : public QObject
{
    Q_OBJECT
private slots:
    void recordsComeBackWholeInTheOrderFirstAdded();
    void updateAndDelete();
    void twoInstancesShareTheFile();
    void unusableFileFailsWithoutACrash_data();
    void unusableFileFailsWithoutACrash();
    void followsTheProjectDirectory();
};

void TestMediaInfoStore::recordsComeBackWholeInTheOrderFirstAdded()
{
    ProjectDir project;
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    QVERIFY(store.addMediaInfoList({makeRecord("c", 1), makeRecord("a", 2)}));
    QVERIFY(store.addMediaInfo(makeRecord("b", 3)));
    // Adding a stored uuid again replaces its values and keeps its place.
    QVERIFY(store.addMediaInfo(makeRecord("c", 4)));

    const QList<Module_Mediainfo> loaded = store.loadMediaObjlist();
    QCOMPARE(uuidsOf(loaded), (QStringList{"c", "a", "b"}));
    QCOMPARE(fields(loaded.at(0)), fields(makeRecord("c", 4)));
    QCOMPARE(fields(store.getMediaInfo("a")), fields(makeRecord("a", 2)));
    QVERIFY(store.getMediaInfo("unknown").uuid.isEmpty());
}

void TestMediaInfoStore::updateAndDelete()
{
    ProjectDir project;
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    QVERIFY(store.addMediaInfo(makeRecord("keep", 1)));
    QVERIFY(store.addMediaInfo(makeRecord("gone", 2)));
    QVERIFY(store.updateMediaInfo(makeRecord("keep", 5)));
    QVERIFY(!store.updateMediaInfo(makeRecord("absent", 3)));
    QVERIFY(store.delMediaInfo("gone"));

    // Read back from the file itself.
    QCOMPARE(storedUuids(project.path()), QStringList{"keep"});
    QCOMPARE(storedRows(project.path()).at(0).value("fps").toDouble(), 29.97 + 5);
}

void TestMediaInfoStore::twoInstancesShareTheFile()
{
    ProjectDir project;
    Ui_Proc_MediaInfo_Desktop writer(nullptr);
    Ui_Proc_MediaInfo_Desktop reader(nullptr);
    QVERIFY(reader.loadMediaObjlist().isEmpty()); // both connections are open
    QVERIFY(writer.addMediaInfo(makeRecord("u", 1)));
    QCOMPARE(fields(reader.getMediaInfo("u")), fields(makeRecord("u", 1)));
    QVERIFY(reader.delMediaInfo("u"));
    QVERIFY(writer.loadMediaObjlist().isEmpty());
}

void TestMediaInfoStore::unusableFileFailsWithoutACrash_data()
{
    QTest::addColumn<QString>("subDir");
    QTest::addColumn<QByteArray>("content"); // written as the database file; empty: none
    QTest::addRow("missing directory") << "missing/deeper" << QByteArray();
    QTest::addRow("not a database")
            << QString() << QByteArray("Notes, not a database.\n").repeated(40);
}

void TestMediaInfoStore::unusableFileFailsWithoutACrash()
{
    QFETCH(QString, subDir);
    QFETCH(QByteArray, content);
    QTemporaryDir tmp;
    const QString dir = QDir(tmp.path()).filePath(subDir);
    const QString file = QDir(dir).filePath(Ui_Proc_MediaInfo_Desktop::databaseFileName());
    if (!content.isEmpty()) {
        QFile text(file);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(content);
    }
    Utility_CommParam::getInstance()->setProjectPath(dir);
    // One warning for the file, not one per call.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^media-info store: cannot use "
                                                          + QRegularExpression::escape(file)));
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    const Module_Mediainfo record = makeRecord("u", 1);
    for (int round = 0; round < 2; ++round) {
        QVERIFY(!store.addMediaInfo(record));
        QVERIFY(!store.updateMediaInfo(record));
        QVERIFY(!store.delMediaInfo(record.uuid));
        QVERIFY(store.getMediaInfo(record.uuid).uuid.isEmpty());
        QVERIFY(store.loadMediaObjlist().isEmpty());
    }
    QCOMPARE(QFileInfo(file).size(), qint64(content.size())); // the user's file is left alone
}

void TestMediaInfoStore::followsTheProjectDirectory()
{
    ProjectDir first;
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    QVERIFY(store.addMediaInfo(makeRecord("in-first", 1)));
    ProjectDir second;
    QVERIFY(store.addMediaInfo(makeRecord("in-second", 2)));
    QCOMPARE(storedUuids(first.path()), QStringList{"in-first"});
    QCOMPARE(storedUuids(second.path()), QStringList{"in-second"});
}

QTEST_GUILESS_MAIN(TestMediaInfoStore)
#include "tst_mediainfostore.moc"
