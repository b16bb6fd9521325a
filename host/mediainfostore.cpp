#include "store/ui_proc_mediainfo_desktop.h"
#include "store/utility_commparam.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QtConcurrent>

#include <numeric>
#include <optional>
#include <utility>

namespace {

// One commit per group instead of one per write makes a large scan fast; a crash loses at
// most the writes of this last moment.
constexpr int kGroupCommitDelayMs = 200;
// Committed groups between checkpoints: the log is copied into the database file and both
// are synced to the disk about every two seconds of writing.
constexpr int kGroupsPerCheckpoint = 10;

// Copies the write-ahead log into the database file through a connection of its own, so that
// the disk's syncs never hold the GUI thread. Writers go on meanwhile.
void checkpoint(const QString &file)
{
    const QString name = QStringLiteral("customfolder-checkpoint-%1")
                                 .arg(quintptr(QThread::currentThreadId()));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        QSqlQuery query(db);
        if (db.open() && !query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")))
            qWarning("media-info store: checkpoint failed: %s",
                     qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase(name);
}

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

void setField(Module_Mediainfo &r, int column, const QVariant &value)
{
    switch (column) {
    case 0:
        r.uuid = value.toString();
        break;
    case 1:
        r.path = value.toString();
        break;
    case 2:
        r.category = value.toString();
        break;
    case 3:
        r.img = value.toString();
        break;
    case 4:
        r.frameHeight = value.toInt();
        break;
    case 5:
        r.frameWidth = value.toInt();
        break;
    case 6:
        r.fps = value.toDouble();
        break;
    case 7:
        r.resolution = value.toString();
        break;
    case 8:
        r.duration = value.toString();
        break;
    case 9:
        r.timeLenMsec = value.toInt();
        break;
    case 10:
        r.fileSize = value.toLongLong();
        break;
    case 11:
        r.detailInfo = value.toString();
        break;
    case 12:
        r.filePath = value.toString();
        break;
    case 13:
        r.rootIndex = value.toString();
        break;
    case 14:
        r.isTranscoded = value.toBool();
        break;
    }
}

// The query's fields are the given columns, in their order.
Module_Mediainfo recordAt(const QSqlQuery &q, const QVector<int> &columnsRead)
{
    Module_Mediainfo r;
    for (int i = 0; i < columnsRead.size(); ++i)
        setField(r, columnsRead.at(i), q.value(i));
    return r;
}

QVector<int> allColumns()
{
    QVector<int> all(columns().size());
    std::iota(all.begin(), all.end(), 0);
    return all;
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

QString selectStatement()
{
    return QStringLiteral("SELECT %1 FROM mediainfo WHERE uuid=?")
            .arg(columns().join(QLatin1Char(',')));
}

QString updateStatement(const QStringList &fields)
{
    QStringList assignments;
    for (const QString &field : fields)
        assignments << field + QStringLiteral("=?");
    return QStringLiteral("UPDATE mediainfo SET %1 WHERE uuid=?")
            .arg(assignments.join(QLatin1Char(',')));
}

// The columns of the named fields, or nothing when one is not a field that can be updated.
std::optional<QVector<int>> updatableColumns(const QStringList &fields)
{
    QVector<int> found;
    for (const QString &field : fields) {
        const int column = columns().indexOf(field);
        if (column <= 0) // the uuid names the record; it is not updated
            return std::nullopt;
        found << column;
    }
    return found;
}

// A new row's seq is one above the largest, so ordering by seq is the order in which records
// were first added; files made with AUTOINCREMENT order the same way.
const char *const kSchema = "CREATE TABLE IF NOT EXISTS mediainfo ("
                            " seq INTEGER PRIMARY KEY,"
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

// Instances of this thread whose group is open. SQLite lets one connection write at a time,
// and a group keeps the file's write lock until it is committed; the thread that waits for
// that lock is the one that would commit it, so an instance commits the others' groups
// before it opens its own.
QList<Ui_Proc_MediaInfo_Desktop *> &openGroupsOfThisThread()
{
    thread_local QList<Ui_Proc_MediaInfo_Desktop *> groups;
    return groups;
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
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    return run(query, what);
}

bool runEach(QSqlDatabase db, const QStringList &statements)
{
    QSqlQuery query(db);
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            qWarning("media-info store: %s failed: %s", qPrintable(statement),
                     qPrintable(query.lastError().text()));
            return false;
        }
    }
    return true;
}

// Inside the open group: a savepoint takes the list back alone when one of its records
// cannot be stored.
bool storeWholeList(QSqlDatabase db, QSqlQuery &upsert, const QList<Module_Mediainfo> &records)
{
    const QString release = QStringLiteral("RELEASE list");
    if (!runEach(db, {QStringLiteral("SAVEPOINT list")}))
        return false;
    for (const Module_Mediainfo &record : records) {
        if (record.uuid.isEmpty() || !bindAndRun(upsert, valuesOf(record), "storing a record")) {
            runEach(db, {QStringLiteral("ROLLBACK TO list"), release});
            return false;
        }
    }
    return runEach(db, {release});
}

bool commitTransaction(QSqlDatabase db)
{
    if (db.commit())
        return true;
    qWarning("media-info store: cannot commit, the last writes are lost: %s",
             qPrintable(db.lastError().text()));
    db.rollback();
    return false;
}

// A database on a medium or in a folder that cannot be written, opened so that nothing is
// written: no lock, log or index files beside it either.
QString openReadOnlyConnection(const QString &connectionName, const QString &file)
{
    QSqlDatabase::removeDatabase(connectionName);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)
                       + QStringLiteral("?immutable=1"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    if (!db.open())
        return db.lastError().text();
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT uuid FROM mediainfo LIMIT 1")))
        return query.lastError().text();
    return {};
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
    // WAL lets several connections share the file. A commit reaches the system's file cache
    // without waiting for the disk, so a crash of the host loses nothing committed; the disk
    // waits belong to checkpoints, which run on a thread of their own.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL"))
        || !query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))
        || !query.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"))
        || !query.exec(QLatin1String(kSchema)))
        return query.lastError().text();
    return {};
}

} // namespace

// Made once per opened connection: the writes of a large scan need no parsing.
struct Ui_Proc_MediaInfo_Desktop::Statements
{
    // An update of some fields, with the columns its values come from.
    struct FieldUpdate
    {
        QSqlQuery query;
        QVector<int> columns;
    };

    explicit Statements(const QSqlDatabase &db) : select(db), upsert(db), remove(db) { }

    // What went wrong; empty when every statement is ready.
    QString prepare()
    {
        const std::pair<QSqlQuery *, QString> all[]
                = {{&select, selectStatement()},
                   {&upsert, upsertStatement()},
                   {&remove, QStringLiteral("DELETE FROM mediainfo WHERE uuid=?")}};
        for (const auto &[query, statement] : all) {
            query->setForwardOnly(true);
            if (!query->prepare(statement))
                return query->lastError().text();
        }
        return {};
    }

    // Made the first time those fields are asked for; null for fields that cannot be updated.
    FieldUpdate *fieldUpdate(const QStringList &fields)
    {
        auto found = fieldUpdates.find(fields);
        if (found != fieldUpdates.end())
            return &*found;
        const std::optional<QVector<int>> columnsOfFields = updatableColumns(fields);
        QSqlQuery query(select);
        query.setForwardOnly(true);
        if (fields.isEmpty() || !columnsOfFields || !query.prepare(updateStatement(fields))) {
            qWarning("media-info store: cannot update the fields %s",
                     qPrintable(fields.join(QLatin1Char(' '))));
            return nullptr;
        }
        return &*fieldUpdates.insert(fields, {query, *columnsOfFields});
    }

    QSqlQuery select;
    QSqlQuery upsert;
    QSqlQuery remove;
    QHash<QStringList, FieldUpdate> fieldUpdates;
};

Ui_Proc_MediaInfo_Desktop::Ui_Proc_MediaInfo_Desktop(QObject *parent)
    : QObject(parent), connectionName(nextConnectionName()), groupTimer(new QTimer(this))
{
    groupTimer->setSingleShot(true);
    groupTimer->setInterval(kGroupCommitDelayMs);
    connect(groupTimer, &QTimer::timeout, this, &Ui_Proc_MediaInfo_Desktop::commit);
}

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
    if (projectDir == openProjectDir && !openFile.isEmpty())
        return true;
    const QString file = QDir(projectDir).filePath(databaseFileName());
    if (file == openFile) {
        openProjectDir = projectDir;
        return true;
    }
    closeDatabase();
    if (file == failedFile)
        return false;

    QString problem = QFileInfo(projectDir).isDir()
                              ? openConnection(connectionName, file)
                              : QStringLiteral("the project directory does not exist");
    readOnly = !problem.isEmpty() && QFileInfo(file).isFile()
               && openReadOnlyConnection(connectionName, file).isEmpty();
    if (readOnly) {
        qWarning("media-info store: %s cannot be written (%s); it is read, and changes are not "
                 "kept",
                 qPrintable(QDir::toNativeSeparators(file)), qPrintable(problem));
        problem.clear();
    }
    if (problem.isEmpty()) {
        statements = std::make_unique<Statements>(QSqlDatabase::database(connectionName));
        problem = statements->prepare();
    }
    if (!problem.isEmpty()) {
        qWarning("media-info store: cannot use %s: %s; media information is not kept",
                 qPrintable(QDir::toNativeSeparators(file)), qPrintable(problem));
        closeDatabase();
        failedFile = file;
        return false;
    }
    openFile = file;
    openProjectDir = projectDir;
    failedFile.clear();
    return true;
}

void Ui_Proc_MediaInfo_Desktop::closeDatabase()
{
    commit();
    checkpointing.waitForFinished();
    statements.reset();
    openFile.clear();
    openProjectDir.clear();
    if (!QSqlDatabase::contains(connectionName))
        return;
    QSqlDatabase::database(connectionName, false).close();
    QSqlDatabase::removeDatabase(connectionName);
}

bool Ui_Proc_MediaInfo_Desktop::beginGroup()
{
    if (groupOpen)
        return true;
    if (readOnly)
        return false; // said once, when it was opened
    const QList<Ui_Proc_MediaInfo_Desktop *> others = openGroupsOfThisThread();
    for (Ui_Proc_MediaInfo_Desktop *other : others)
        other->commit();
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (!db.transaction()) {
        qWarning("media-info store: cannot write: %s", qPrintable(db.lastError().text()));
        return false;
    }
    groupOpen = true;
    openGroupsOfThisThread() << this;
    groupTimer->start();
    return true;
}

void Ui_Proc_MediaInfo_Desktop::endGroup()
{
    groupOpen = false;
    groupTimer->stop();
    openGroupsOfThisThread().removeOne(this);
}

bool Ui_Proc_MediaInfo_Desktop::commit()
{
    if (!groupOpen)
        return true;
    endGroup();
    if (!commitTransaction(QSqlDatabase::database(connectionName, false)))
        return false;
    if (++groupsSinceCheckpoint >= kGroupsPerCheckpoint && checkpointing.isFinished()) {
        groupsSinceCheckpoint = 0;
        checkpointing = QtConcurrent::run(checkpoint, openFile);
    }
    emit committed();
    return true;
}

bool Ui_Proc_MediaInfo_Desktop::open()
{
    return openDatabase();
}

bool Ui_Proc_MediaInfo_Desktop::isReadOnly()
{
    return openDatabase() && readOnly;
}

Module_Mediainfo Ui_Proc_MediaInfo_Desktop::getMediaInfo(const QString &uuid)
{
    if (!openDatabase())
        return {};
    QSqlQuery &query = statements->select;
    query.bindValue(0, uuid);
    Module_Mediainfo record;
    if (run(query, "reading a record") && query.next())
        record = recordAt(query, allColumns());
    query.finish(); // a statement left inside its result would hold on to an old snapshot
    return record;
}

bool Ui_Proc_MediaInfo_Desktop::addMediaInfo(const Module_Mediainfo &record)
{
    return replaceMediaInfo(record);
}

bool Ui_Proc_MediaInfo_Desktop::replaceMediaInfo(const Module_Mediainfo &record)
{
    if (record.uuid.isEmpty() || !openDatabase() || !beginGroup())
        return false;
    return bindAndRun(statements->upsert, valuesOf(record), "storing a record");
}

bool Ui_Proc_MediaInfo_Desktop::updateMediaInfo(const Module_Mediainfo &record)
{
    static const QStringList everyField = columns().mid(1);
    return updateMediaInfoFields(record, everyField);
}

bool Ui_Proc_MediaInfo_Desktop::updateMediaInfoFields(const Module_Mediainfo &record,
                                                      const QStringList &fields)
{
    if (!openDatabase() || !beginGroup())
        return false;
    Statements::FieldUpdate *update = statements->fieldUpdate(fields);
    if (!update)
        return false;
    const QVariantList values = valuesOf(record);
    for (int i = 0; i < update->columns.size(); ++i)
        update->query.bindValue(i, values.at(update->columns.at(i)));
    update->query.bindValue(update->columns.size(), record.uuid);
    return run(update->query, "updating a record") && update->query.numRowsAffected() > 0;
}

bool Ui_Proc_MediaInfo_Desktop::delMediaInfo(const QString &uuid)
{
    if (!openDatabase() || !beginGroup())
        return false;
    return bindAndRun(statements->remove, {uuid}, "deleting a record");
}

QList<Module_Mediainfo> Ui_Proc_MediaInfo_Desktop::loadMediaObjlist()
{
    return loadMediaObjlist(columns());
}

QList<Module_Mediainfo> Ui_Proc_MediaInfo_Desktop::loadMediaObjlist(const QStringList &fields)
{
    QList<Module_Mediainfo> records;
    QVector<int> columnsRead;
    for (const QString &field : fields) {
        if (columns().contains(field))
            columnsRead << columns().indexOf(field);
    }
    if (columnsRead.isEmpty() || !openDatabase())
        return records;
    QStringList names;
    for (int column : qAsConst(columnsRead))
        names << columns().at(column);
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM mediainfo ORDER BY seq")
                          .arg(names.join(QLatin1Char(','))));
    if (!run(query, "loading the records"))
        return records;
    while (query.next())
        records << recordAt(query, columnsRead);
    return records;
}

bool Ui_Proc_MediaInfo_Desktop::addMediaInfoList(const QList<Module_Mediainfo> &records)
{
    if (!openDatabase() || !beginGroup())
        return false;
    const bool stored = storeWholeList(QSqlDatabase::database(connectionName, false),
                                       statements->upsert, records);
    return commit() && stored;
}
