#include "store/ui_proc_mediainfo_desktop.h"
#include "testfolders.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QString kWriterOption = "--writer"; // runs main as a writer child of a test
constexpr int kWriterLifetimeMs = 60000; // a writer ends by itself should its test be gone
constexpr int kCommitsBeforeKill = 3;
constexpr int kChildWaitMs = 30000;

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

// The first column of every row that statement gives, through a connection of the test's own.
QStringList firstColumnOf(const QString &projectDir, const QString &statement)
{
    QStringList values;
    const QString name = "test-column";
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(QDir(projectDir).filePath("mediainfo.db"));
        db.open();
        QSqlQuery query(statement, db);
        while (query.next())
            values << query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(name);
    return values;
}

QStringList storedUuids(const QString &projectDir)
{
    return firstColumnOf(projectDir, "SELECT uuid FROM mediainfo ORDER BY seq");
}

// A writer child stores these, in this order.
QString writtenUuid(int n)
{
    return QString("r%1").arg(n);
}

QStringList writtenUuids(int count)
{
    QStringList uuids;
    for (int n = 0; n < count; ++n)
        uuids << writtenUuid(n);
    return uuids;
}

// The writer child: "exit COUNT" stores COUNT records and returns without a commit;
// "until-killed" stores records one after another, with events processed between them, and
// prints how many it has written after each commit.
int runWriter(const QString &mode, const QString &projectDir, int count)
{
    Utility_CommParam::getInstance()->setProjectPath(projectDir);
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    if (mode == "exit") {
        for (int n = 0; n < count; ++n) {
            if (!store.replaceMediaInfo(makeRecord(writtenUuid(n), n)))
                return 1;
        }
        return 0;
    }
    int written = 0;
    QTextStream out(stdout);
    QObject::connect(&store, &Ui_Proc_MediaInfo_Desktop::committed,
                     [&] { out << written << Qt::endl; });
    const QDeadlineTimer lifetime(kWriterLifetimeMs);
    while (!lifetime.hasExpired()) {
        if (!store.replaceMediaInfo(makeRecord(writtenUuid(written), written)))
            return 1;
        ++written;
        QCoreApplication::processEvents();
    }
    return 1;
}

void startWriter(QProcess &writer, const QStringList &arguments)
{
    writer.start(QCoreApplication::applicationFilePath(), QStringList{kWriterOption} + arguments);
}

} // namespace

class TestMediaInfoStore : public QObject
{
    Q_OBJECT
private slots:
    void recordsComeBackWholeInTheOrderFirstAdded();
    void writesAreSeenByTheirInstanceAndDurableOnceCommitted_data();
    void writesAreSeenByTheirInstanceAndDurableOnceCommitted();
    void listIsStoredWholeOrNotAtAllAndAtOnce();
    void twoInstancesShareTheFile();
    void unusableFileFailsWithoutACrash_data();
    void unusableFileFailsWithoutACrash();
    void followsTheProjectDirectory();
    void cleanExitKeepsEveryWrite();
    void killKeepsEveryCommittedRecord();
};

void TestMediaInfoStore::recordsComeBackWholeInTheOrderFirstAdded()
{
    ProjectDir project;
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    QVERIFY(store.addMediaInfoList({makeRecord("c", 1), makeRecord("a", 2)}));
    QVERIFY(store.addMediaInfo(makeRecord("b", 3)));
    // Storing a stored uuid again replaces its values and keeps its place.
    QVERIFY(store.replaceMediaInfo(makeRecord("c", 4)));
    QVERIFY(store.replaceMediaInfo(makeRecord("d", 5)));

    const QList<Module_Mediainfo> loaded = store.loadMediaObjlist();
    QCOMPARE(uuidsOf(loaded), (QStringList{"c", "a", "b", "d"}));
    QCOMPARE(fields(loaded.at(0)), fields(makeRecord("c", 4)));
    QCOMPARE(fields(store.getMediaInfo("a")), fields(makeRecord("a", 2)));
    QVERIFY(store.getMediaInfo("unknown").uuid.isEmpty());
}

void TestMediaInfoStore::writesAreSeenByTheirInstanceAndDurableOnceCommitted_data()
{
    QTest::addColumn<bool>("byTimer");
    QTest::addRow("commit()") << false;
    QTest::addRow("timer") << true;
}

void TestMediaInfoStore::writesAreSeenByTheirInstanceAndDurableOnceCommitted()
{
    QFETCH(bool, byTimer);
    ProjectDir project;
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    QSignalSpy committed(&store, &Ui_Proc_MediaInfo_Desktop::committed);
    QVERIFY(store.commit()); // nothing pending
    QVERIFY(store.addMediaInfoList({makeRecord("keep", 1), makeRecord("gone", 2)}));
    QCOMPARE(committed.count(), 1);

    QVERIFY(store.replaceMediaInfo(makeRecord("new", 3)));
    QVERIFY(store.updateMediaInfo(makeRecord("keep", 5)));
    QVERIFY(!store.updateMediaInfo(makeRecord("absent", 4)));
    // Only the named fields change; a record that is not stored stays so.
    QVERIFY(store.updateMediaInfoFields(makeRecord("new", 6), {"fps", "duration"}));
    QVERIFY(!store.updateMediaInfoFields(makeRecord("absent", 6), {"fps"}));
    Module_Mediainfo changed = makeRecord("new", 3);
    changed.fps = makeRecord("new", 6).fps;
    changed.duration = makeRecord("new", 6).duration;
    QCOMPARE(fields(store.getMediaInfo("new")), fields(changed));
    QVERIFY(store.delMediaInfo("gone"));
    QCOMPARE(uuidsOf(store.loadMediaObjlist()), (QStringList{"keep", "new"}));
    QCOMPARE(fields(store.getMediaInfo("keep")), fields(makeRecord("keep", 5)));
    QCOMPARE(storedUuids(project.path()), (QStringList{"keep", "gone"}));

    if (byTimer)
        QVERIFY(committed.wait());
    else
        QVERIFY(store.commit());
    QCOMPARE(committed.count(), 2);
    QCOMPARE(storedUuids(project.path()), (QStringList{"keep", "new"}));
    QCOMPARE(storedRows(project.path()).at(0).value("fps").toDouble(), 29.97 + 5);
}

void TestMediaInfoStore::listIsStoredWholeOrNotAtAllAndAtOnce()
{
    ProjectDir project;
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    QVERIFY(store.replaceMediaInfo(makeRecord("pending", 1)));
    // A record without uuid takes back the records before it, not the pending ones.
    QVERIFY(!store.addMediaInfoList({makeRecord("a", 2), makeRecord("", 3), makeRecord("b", 4)}));
    QCOMPARE(storedUuids(project.path()), QStringList{"pending"});
    QVERIFY(store.addMediaInfoList({makeRecord("a", 2)}));
    QCOMPARE(storedUuids(project.path()), (QStringList{"pending", "a"}));
}

void TestMediaInfoStore::twoInstancesShareTheFile()
{
    ProjectDir project;
    Ui_Proc_MediaInfo_Desktop writer(nullptr);
    Ui_Proc_MediaInfo_Desktop other(nullptr);
    QVERIFY(writer.addMediaInfo(makeRecord("u", 1)));
    QVERIFY(other.getMediaInfo("u").uuid.isEmpty()); // still pending
    QVERIFY(writer.commit());
    QCOMPARE(fields(other.getMediaInfo("u")), fields(makeRecord("u", 1)));
    QVERIFY(writer.replaceMediaInfo(makeRecord("v", 2)));
    // The writer's group holds the file's write lock: the other's write must not wait for it,
    // nor work on the view of the file its last read had.
    QVERIFY(other.delMediaInfo("u"));
    QVERIFY(other.commit());
    QCOMPARE(uuidsOf(writer.loadMediaObjlist()), QStringList{"v"});
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
        QVERIFY(!store.replaceMediaInfo(record));
        QVERIFY(!store.addMediaInfoList({record}));
        QVERIFY(!store.updateMediaInfo(record));
        QVERIFY(!store.delMediaInfo(record.uuid));
        QVERIFY(store.getMediaInfo(record.uuid).uuid.isEmpty());
        QVERIFY(store.loadMediaObjlist().isEmpty());
        QVERIFY(store.commit()); // nothing to commit
    }
    QCOMPARE(QFileInfo(file).size(), qint64(content.size())); // the user's file is left alone
}

void TestMediaInfoStore::followsTheProjectDirectory()
{
    ProjectDir first;
    Ui_Proc_MediaInfo_Desktop store(nullptr);
    QVERIFY(store.addMediaInfo(makeRecord("in-first", 1)));
    ProjectDir second; // the first file's group is committed before the store moves
    QVERIFY(store.addMediaInfo(makeRecord("in-second", 2)));
    QVERIFY(store.commit());
    QCOMPARE(storedUuids(first.path()), QStringList{"in-first"});
    QCOMPARE(storedUuids(second.path()), QStringList{"in-second"});
}

void TestMediaInfoStore::cleanExitKeepsEveryWrite()
{
    const int count = 5000; // a group larger than the store's page cache
    ProjectDir project;
    QProcess writer;
    startWriter(writer, {"exit", project.path(), QString::number(count)});
    QVERIFY(writer.waitForFinished(kChildWaitMs));
    QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(writer.exitCode(), 0);
    QCOMPARE(storedUuids(project.path()), writtenUuids(count));
}

void TestMediaInfoStore::killKeepsEveryCommittedRecord()
{
    ProjectDir project;
    QProcess writer;
    startWriter(writer, {"until-killed", project.path(), "0"});
    QByteArray out;
    while (out.count('\n') < kCommitsBeforeKill) {
        QVERIFY(writer.waitForReadyRead(kChildWaitMs));
        out += writer.readAllStandardOutput();
    }
    writer.kill();
    QVERIFY(writer.waitForFinished(kChildWaitMs));
    out += writer.readAllStandardOutput();
    const int committed = out.left(out.lastIndexOf('\n')).split('\n').last().toInt();
    QVERIFY(committed > 0);

    QCOMPARE(firstColumnOf(project.path(), "PRAGMA integrity_check"), QStringList{"ok"});
    QCOMPARE(storedUuids(project.path()).mid(0, committed), writtenUuids(committed));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 5 && arguments.at(1) == kWriterOption)
        return runWriter(arguments.at(2), arguments.at(3), arguments.at(4).toInt());
    TestMediaInfoStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mediainfostore.moc"
