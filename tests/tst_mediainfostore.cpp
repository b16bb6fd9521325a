#include "store/ui_proc_mediainfo_desktop.h"
#include "store/utility_commparam.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QtMessageHandler previousHandler = nullptr;
int storeWarnings = 0;

// Counts the store's warnings and hands every message on to QtTest's own handler.
void countingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QStringLiteral("media-info store")))
        ++storeWarnings;
    previousHandler(type, context, message);
}

Module_Mediainfo makeRecord(const QString &uuid, int n)
{
    Module_Mediainfo r;
    r.uuid = uuid;
    r.path = QStringLiteral("/media/Ännö \"Ω\" it's 名前/clip %1.mp4").arg(n);
    r.category = QStringLiteral("folder-%1").arg(n);
    r.img = QStringLiteral("file:///thumbs/%1.png").arg(n);
    r.frameHeight = 1080 + n;
    r.frameWidth = 1920 + n;
    r.fps = 29.97 + n;
    r.resolution = QStringLiteral("%1 X %2").arg(r.frameWidth).arg(r.frameHeight);
    r.duration = QStringLiteral("00:01:%1").arg(n, 2, 10, QLatin1Char('0'));
    r.timeLenMsec = 61000 + n;
    r.fileSize = Q_INT64_C(5000000000) + n;
    r.detailInfo = QStringLiteral("{\"codec\":\"h264\",\"n\":%1}").arg(n);
    r.filePath = QStringLiteral("/media/copy/%1.mp4").arg(n);
    r.rootIndex = QString::number(n);
    r.isTranscoded = n % 2 == 1;
    return r;
}

// Names the first field (by position) that differs; empty when the records are equal.
QString difference(const Module_Mediainfo &got, const Module_Mediainfo &want)
{
    const auto fields = [](const Module_Mediainfo &r) {
        return QVariantList{r.uuid,       r.path,       r.category,   r.img,       r.frameHeight,
                            r.frameWidth, r.fps,        r.resolution, r.duration,  r.timeLenMsec,
                            r.fileSize,   r.detailInfo, r.filePath,   r.rootIndex, r.isTranscoded};
    };
    const QVariantList a = fields(got), b = fields(want);
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i) != b.at(i))
            return QStringLiteral("field %1: %2 != %3")
                    .arg(i)
                    .arg(a.at(i).toString(), b.at(i).toString());
    }
    return {};
}

QStringList uuidsOf(const QList<Module_Mediainfo> &records)
{
    QStringList uuids;
    for (const Module_Mediainfo &r : records)
        uuids << r.uuid;
    return uuids;
}

// Reads the uuids stored in dir's database file (sorted) through a connection of its own.
QStringList storedUuids(const QString &dir, QString *journalMode = nullptr)
{
    const QString file = QDir(dir).filePath(Ui_Proc_MediaInfo_Desktop::databaseFileName());
    static int readers = 0;
    const QString name = QStringLiteral("tst-reader-%1").arg(++readers);
    QStringList uuids;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        QSqlQuery q(db);
        if (!db.open() || !q.exec(QStringLiteral("SELECT uuid FROM mediainfo")))
            uuids << QStringLiteral("<error: %1>").arg(q.lastError().text());
        while (q.next())
            uuids << q.value(0).toString();
        if (journalMode && q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next())
            *journalMode = q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(name);
    uuids.sort();
    return uuids;
}

} // namespace

class tst_MediaInfoStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(countingHandler); }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        Utility_CommParam::getInstance()->setProjectPath(tmp->path());
        storeWarnings = 0;
        expectedWarnings = 0;
    }

    void cleanup() { QCOMPARE(storeWarnings, expectedWarnings); }

    void roundTripKeepsEveryField()
    {
        Ui_Proc_MediaInfo_Desktop store(nullptr);
        const Module_Mediainfo written = makeRecord(QStringLiteral("u-1"), 1);
        QVERIFY(store.addMediaInfo(written));
        QCOMPARE(difference(store.getMediaInfo(QStringLiteral("u-1")), written), QString());
        QVERIFY(store.getMediaInfo(QStringLiteral("unknown")).uuid.isEmpty());
    }

    void loadKeepsFirstAddedOrder()
    {
        Ui_Proc_MediaInfo_Desktop store(nullptr);
        for (int n = 1; n <= 3; ++n)
            QVERIFY(store.addMediaInfo(makeRecord(QStringLiteral("u-%1").arg(4 - n), n)));
        const Module_Mediainfo updated = makeRecord(QStringLiteral("u-2"), 12);
        const Module_Mediainfo replaced = makeRecord(QStringLiteral("u-3"), 13);
        QVERIFY(store.updateMediaInfo(updated));
        QVERIFY(store.addMediaInfo(replaced));
        const QList<Module_Mediainfo> loaded = store.loadMediaObjlist();
        QCOMPARE(uuidsOf(loaded), QStringList({QStringLiteral("u-3"), QStringLiteral("u-2"),
                                               QStringLiteral("u-1")}));
        QCOMPARE(difference(loaded.at(0), replaced), QString());
        QCOMPARE(difference(loaded.at(1), updated), QString());
        QCOMPARE(difference(loaded.at(2), makeRecord(QStringLiteral("u-1"), 3)), QString());
    }

    void updateUnknownAndDelete()
    {
        Ui_Proc_MediaInfo_Desktop store(nullptr);
        QVERIFY(store.addMediaInfo(makeRecord(QStringLiteral("keep"), 1)));
        QVERIFY(store.addMediaInfo(makeRecord(QStringLiteral("gone"), 2)));
        QVERIFY(!store.updateMediaInfo(makeRecord(QStringLiteral("absent"), 3)));
        QVERIFY(store.getMediaInfo(QStringLiteral("absent")).uuid.isEmpty());
        QVERIFY(store.delMediaInfo(QStringLiteral("gone")));
        QString journalMode;
        QCOMPARE(storedUuids(tmp->path(), &journalMode), QStringList{QStringLiteral("keep")});
        QCOMPARE(journalMode, QStringLiteral("wal"));
        QVERIFY(store.getMediaInfo(QStringLiteral("gone")).uuid.isEmpty());
    }

    void twoInstancesShareTheFile()
    {
        Ui_Proc_MediaInfo_Desktop writer(nullptr);
        Ui_Proc_MediaInfo_Desktop reader(nullptr);
        QVERIFY(reader.loadMediaObjlist().isEmpty()); // reader's connection is already open
        const Module_Mediainfo first = makeRecord(QStringLiteral("u-1"), 1);
        QVERIFY(writer.addMediaInfo(first));
        QCOMPARE(difference(reader.getMediaInfo(QStringLiteral("u-1")), first), QString());
        const Module_Mediainfo changed = makeRecord(QStringLiteral("u-1"), 6);
        QVERIFY(reader.updateMediaInfo(changed));
        QCOMPARE(difference(writer.getMediaInfo(QStringLiteral("u-1")), changed), QString());
        QVERIFY(writer.delMediaInfo(QStringLiteral("u-1")));
        QVERIFY(reader.loadMediaObjlist().isEmpty());
    }

    void addListKeepsListOrder()
    {
        Ui_Proc_MediaInfo_Desktop store(nullptr);
        const QList<Module_Mediainfo> list{makeRecord(QStringLiteral("c"), 1),
                                           makeRecord(QStringLiteral("a"), 2),
                                           makeRecord(QStringLiteral("b"), 3)};
        QVERIFY(store.addMediaInfoList(list));
        const QList<Module_Mediainfo> loaded = store.loadMediaObjlist();
        QCOMPARE(uuidsOf(loaded), uuidsOf(list));
        for (int i = 0; i < list.size(); ++i)
            QCOMPARE(difference(loaded.at(i), list.at(i)), QString());
    }

    void unusableFileFailsQuietly_data()
    {
        QTest::addColumn<QString>("subDir");
        QTest::addColumn<QByteArray>("fileContent"); // empty: no file is written
        QTest::addRow("missing directory") << QStringLiteral("missing/deeper") << QByteArray();
        QTest::addRow("not a database")
                << QString()
                << QByteArray("Notes about the project, not a database.\n").repeated(40);
    }

    void unusableFileFailsQuietly()
    {
        QFETCH(QString, subDir);
        QFETCH(QByteArray, fileContent);
        const QString dir = QDir(tmp->path()).filePath(subDir);
        const QString file = QDir(dir).filePath(Ui_Proc_MediaInfo_Desktop::databaseFileName());
        if (!fileContent.isEmpty()) {
            QFile text(file);
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write(fileContent);
        }
        Utility_CommParam::getInstance()->setProjectPath(dir);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^media-info store: cannot use %1")
                                                        .arg(QRegularExpression::escape(file))));
        expectedWarnings = 1;
        Ui_Proc_MediaInfo_Desktop store(nullptr);
        const Module_Mediainfo record = makeRecord(QStringLiteral("u-1"), 1);
        for (int round = 0; round < 2; ++round) {
            QVERIFY(!store.addMediaInfo(record));
            QVERIFY(!store.updateMediaInfo(record));
            QVERIFY(!store.addMediaInfoList({record}));
            QVERIFY(!store.delMediaInfo(record.uuid));
            QVERIFY(store.getMediaInfo(record.uuid).uuid.isEmpty());
            QVERIFY(store.loadMediaObjlist().isEmpty());
        }
        // The text file is left alone; no database appears where the directory is missing.
        QCOMPARE(QFileInfo(file).size(), qint64(fileContent.size()));
    }

    void followsProjectDirectoryChange()
    {
        QTemporaryDir other;
        QVERIFY(other.isValid());
        Ui_Proc_MediaInfo_Desktop store(nullptr);
        QVERIFY(store.addMediaInfo(makeRecord(QStringLiteral("in-first"), 1)));
        Utility_CommParam::getInstance()->setProjectPath(other.path());
        QVERIFY(store.addMediaInfo(makeRecord(QStringLiteral("in-second"), 2)));
        QCOMPARE(uuidsOf(store.loadMediaObjlist()), QStringList{QStringLiteral("in-second")});
        QCOMPARE(storedUuids(other.path()), QStringList{QStringLiteral("in-second")});
        QCOMPARE(storedUuids(tmp->path()), QStringList{QStringLiteral("in-first")});
    }

private:
    std::unique_ptr<QTemporaryDir> tmp;
    int expectedWarnings = 0;
};

QTEST_GUILESS_MAIN(tst_MediaInfoStore)
#include "tst_mediainfostore.moc"
