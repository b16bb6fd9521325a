#include "store/ui_proc_mediainfo_desktop.h"
#include "store/utility_commparam.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

// Column order is the order of valuesOf() and recordAt().
const QStringList &columns()
{
    static const QStringList names{QStringLiteral("uuid"),        QStringLiteral("path"),
                                   QStringLiteral("category"),    QStringLiteral("img"),
                                   QStringLiteral("frameHeight"), QStringLiteral("frameWidth"),
                                   QStringLiteral("fps"),         QStringLiteral("resolution"),
                                   QStringLiteral("duration"),    QStringLiteral("timeLenMsec"),
                                   QStringLiteral("fileSize"),    QStringLiteral("detailInfo"),
                                   QStringLiteral("filePath"),    QStringLiteral("rootIndex"),
                                   QStringLiteral("isTranscoded")};
    return names;
}

QVariantList valuesOf(const Module_Mediainfo &r)
{
    return {r.uuid,       r.path,       r.category,   r.img,       r.frameHeight,
            r.frameWidth, r.fps,        r.resolution, r.duration,  r.timeLenMsec,
            r.fileSize,   r.detailInfo, r.filePath,   r.rootIndex, r.isTranscoded};
}

Module_Mediainfo recordAt(const QSqlQuery &q)
{
    Module_Mediainfo r;
    r.uuid = q.value(0).toString();
    r.path = q.value(1).toString();
    r.category = q.value(2).toString();
    r.img = q.value(3).toString();
    r.frameHeight = q.value(4).toInt();
    r.frameWidth = q.value(5).toInt();
    r.fps = q.value(6).toDouble();
    r.resolution = q.value(7).toString();
    r.duration = q.value(8).toString();
    r.timeLenMsec = q.value(9).toInt();
    r.fileSize = q.value(10).toLongLong();
    r.detailInfo = q.value(11).toString();
    r.filePath = q.value(12).toString();
    r.rootIndex = q.value(13).toString();
    r.isTranscoded = q.value(14).toBool();
    return r;
}

QString placeholders(int count)
{
    QStringList marks;
    for (int i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1Char(','));
}

// Inserting a uuid that is already stored replaces its values but keeps its place in the
// load order, which is the order in which records were first added.
QString upsertStatement()
{
    QStringList updates;
    for (const QString &column : columns().mid(1))
        updates << column + QStringLiteral("=excluded.") + column;
    return QStringLiteral(
                   "INSERT INTO mediainfo (%1) VALUES (%2) ON CONFLICT(uuid) DO UPDATE SET %3")
            .arg(columns().join(QLatin1Char(',')), placeholders(columns().size()),
                 updates.join(QLatin1Char(',')));
}

QString updateStatement()
{
    QStringList assignments;
    for (const QString &column : columns().mid(1))
        assignments << column + QStringLiteral("=?");
    return QStringLiteral("UPDATE mediainfo SET %1 WHERE uuid=?")
            .arg(assignments.join(QLatin1Char(',')));
}

const char *const kSchema = "CREATE TABLE IF NOT EXISTS mediainfo ("
                            " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
                            " uuid TEXT NOT NULL UNIQUE,"
                            " path TEXT, category TEXT, img TEXT,"
                            " frameHeight INTEGER, frameWidth INTEGER, fps REAL,"
                            " resolution TEXT, duration TEXT, timeLenMsec INTEGER,"
                            " fileSize INTEGER, detailInfo TEXT, filePath TEXT,"
                            " rootIndex TEXT, isTranscoded INTEGER)";

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("customfolder-mediainfo-%1").arg(counter.fetchAndAddRelaxed(1));
}

bool run(QSqlQuery &query, const char *what)
{
    if (query.exec())
        return true;
    qWarning("media-info store: %s failed: %s", what, qPrintable(query.lastError().text()));
    return false;
}

bool bindAndRun(QSqlQuery &query, const QVariantList &values, const char *what)
{
    for (const QVariant &value : values)
        query.addBindValue(value);
    return run(query, what);
}

// Opens the connection and makes sure the file is a usable database; returns what went
// wrong, empty on success. Its handles are gone when it returns, so a failed connection can
// be removed at once.
QString openConnection(const QString &connectionName, const QString &file)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        return db.lastError().text();
    QSqlQuery query(db);
    // WAL lets several connections share the file; FULL makes every committed write survive
    // a crash of the host.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL"))
        || !query.exec(QStringLiteral("PRAGMA synchronous=FULL"))
        || !query.exec(QLatin1String(kSchema)))
        return query.lastError().text();
    return {};
}

} // namespace

Ui_Proc_MediaInfo_Desktop::Ui_Proc_MediaInfo_Desktop(QObject *parent)
    : QObject(parent), connectionName(nextConnectionName())
{ }

Ui_Proc_MediaInfo_Desktop::~Ui_Proc_MediaInfo_Desktop()
{
    closeDatabase();
}

QString Ui_Proc_MediaInfo_Desktop::databaseFileName()
{
    return QStringLiteral("mediainfo.db");
}

// The project directory may be set or changed after the store was made, so every call
// checks which file it should be working on.
bool Ui_Proc_MediaInfo_Desktop::openDatabase()
{
    const QString projectDir = Utility_CommParam::getInstance()->getProjectPath();
    const QString file = QDir(projectDir).filePath(databaseFileName());
    if (file == openFile)
        return true;
    closeDatabase();
    if (file == failedFile)
        return false;

    const QString problem = QFileInfo(projectDir).isDir()
                                    ? openConnection(connectionName, file)
                                    : QStringLiteral("the project directory does not exist");
    if (!problem.isEmpty()) {
        qWarning("media-info store: cannot use %s: %s; media information is not kept",
                 qPrintable(QDir::toNativeSeparators(file)), qPrintable(problem));
        closeDatabase();
        failedFile = file;
        return false;
    }
    openFile = file;
    failedFile.clear();
    return true;
}

void Ui_Proc_MediaInfo_Desktop::closeDatabase()
{
    openFile.clear();
    if (!QSqlDatabase::contains(connectionName))
        return;
    QSqlDatabase::database(connectionName, false).close();
    QSqlDatabase::removeDatabase(connectionName);
}

Module_Mediainfo Ui_Proc_MediaInfo_Desktop::getMediaInfo(const QString &uuid)
{
    if (!openDatabase())
        return {};
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(QStringLiteral("SELECT %1 FROM mediainfo WHERE uuid=?")
                          .arg(columns().join(QLatin1Char(','))));
    query.addBindValue(uuid);
    if (!run(query, "reading a record") || !query.next())
        return {};
    return recordAt(query);
}

bool Ui_Proc_MediaInfo_Desktop::addMediaInfo(const Module_Mediainfo &record)
{
    return addMediaInfoList({record});
}

bool Ui_Proc_MediaInfo_Desktop::updateMediaInfo(const Module_Mediainfo &record)
{
    if (!openDatabase())
        return false;
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(updateStatement());
    QVariantList values = valuesOf(record).mid(1);
    values << record.uuid;
    return bindAndRun(query, values, "updating a record") && query.numRowsAffected() > 0;
}

bool Ui_Proc_MediaInfo_Desktop::delMediaInfo(const QString &uuid)
{
    if (!openDatabase())
        return false;
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(QStringLiteral("DELETE FROM mediainfo WHERE uuid=?"));
    return bindAndRun(query, {uuid}, "deleting a record");
}

QList<Module_Mediainfo> Ui_Proc_MediaInfo_Desktop::loadMediaObjlist()
{
    QList<Module_Mediainfo> records;
    if (!openDatabase())
        return records;
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM mediainfo ORDER BY seq")
                          .arg(columns().join(QLatin1Char(','))));
    if (!run(query, "loading the records"))
        return records;
    while (query.next())
        records << recordAt(query);
    return records;
}

bool Ui_Proc_MediaInfo_Desktop::addMediaInfoList(const QList<Module_Mediainfo> &records)
{
    if (!openDatabase())
        return false;
    QSqlDatabase db = QSqlDatabase::database(connectionName);
    // One transaction: the whole list is stored, or none of it.
    if (!db.transaction()) {
        qWarning("media-info store: cannot write: %s", qPrintable(db.lastError().text()));
        return false;
    }
    QSqlQuery query(db);
    query.prepare(upsertStatement());
    for (const Module_Mediainfo &record : records) {
        if (record.uuid.isEmpty() || !bindAndRun(query, valuesOf(record), "storing a record")) {
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

bool Ui_Proc_MediaInfo_Desktop::replaceMediaInfo(const Module_Mediainfo &record)
{
    return addMediaInfo(record);
}

bool Ui_Proc_MediaInfo_Desktop::commit()
{
    return true;
}
