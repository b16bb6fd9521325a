#include "store/ui_proc_config_desktop.h"
#include "store/ui_proc_mediainfo_desktop.h"
#include "store/utility_commparam.h"

#include "storelocation.h"
#include "storeschema.h"

#include <QAtomicInt>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
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
// How often writes that the store did not take are offered again.
constexpr int kRetryDelayMs = 2000;
// Writes that still wait when their instance goes are offered for this long before they are
// given up: closing a console while its server restarts loses nothing.
constexpr int kLastChanceMs = 15000;

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("customfolder-mediainfo-%1").arg(counter.fetchAndAddRelaxed(1));
}

const QStringList &columns()
{
    return recordColumns();
}

// In the order of columns(). The flag goes as a number, which every driver stores alike.
QVariantList valuesOf(const Module_Mediainfo &r)
{
    return {r.uuid,        r.path,       r.category,   r.img,       r.frameHeight,
            r.frameWidth,  r.fps,        r.resolution, r.duration,  r.timeLenMsec,
            r.fileSize,    r.detailInfo, r.filePath,   r.rootIndex, int(r.isTranscoded),
            r.fileModified};
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
        r.isTranscoded = value.toInt() != 0;
        break;
    case 15:
        r.fileModified = value.toLongLong();
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

// Statements that name a record bind its uuid, then the project, last.
const QString kWhereRecord = QStringLiteral(" WHERE uuid=? AND project=?");

// Inserting a uuid that is already stored replaces its values but keeps its place in the
// load order, which is the order in which records were first added. The project is bound
// last.
QString upsertStatement()
{
    QStringList updates;
    for (const QString &column : columns().mid(1))
        updates << column + QStringLiteral("=excluded.") + column;
    return QStringLiteral("INSERT INTO mediainfo (%1,project) VALUES (%2) ON "
                          "CONFLICT(project,uuid) DO UPDATE SET %3")
            .arg(columns().join(QLatin1Char(',')), placeholders(columns().size() + 1),
                 updates.join(QLatin1Char(',')));
}

QString selectStatement()
{
    return QStringLiteral("SELECT %1 FROM mediainfo").arg(columns().join(QLatin1Char(',')))
           + kWhereRecord;
}

QString updateStatement(const QStringList &fields)
{
    QStringList assignments;
    for (const QString &field : fields)
        assignments << field + QStringLiteral("=?");
    return QStringLiteral("UPDATE mediainfo SET %1").arg(assignments.join(QLatin1Char(',')))
           + kWhereRecord;
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
    if (found.isEmpty())
        return std::nullopt;
    return found;
}

// Instances of this thread whose group is open. A group holds locks until it is committed
// (SQLite's on the whole file, PostgreSQL's on the records written); the thread that waits
// for such a lock is the one that would commit the group, so an instance commits the others'
// groups before it opens its own.
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

// Copies SQLite's write-ahead log into the database file through a connection of its own,
// so that the disk's syncs never hold the GUI thread. Writers go on meanwhile.
void checkpoint(const StoreLocation &location)
{
    const QString name = nextConnectionName();
    {
        QSqlDatabase db = location.addConnection(name);
        QSqlQuery query(db);
        if (db.open() && !query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")))
            qWarning("media-info store: checkpoint failed: %s",
                     qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase(name);
}

// Asked off the GUI thread: a server that does not answer may take its connect timeout.
bool answers(const StoreLocation &location)
{
    const QString name = nextConnectionName();
    bool opened = false;
    {
        QSqlDatabase db = location.addConnection(name);
        opened = db.open();
    }
    QSqlDatabase::removeDatabase(name);
    return opened;
}

// A SQLite file on a medium or in a folder that cannot be written, opened so that nothing is
// written: no lock, log or index files beside it either.
QString openReadOnlyConnection(const QString &connectionName, const StoreLocation &location)
{
    QSqlDatabase::removeDatabase(connectionName);
    QSqlDatabase db = location.addConnection(connectionName);
    db.setDatabaseName(QUrl::fromLocalFile(location.databaseName).toString(QUrl::FullyEncoded)
                       + QStringLiteral("?immutable=1"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    if (!db.open())
        return db.lastError().text();
    return checkSchema(db);
}

struct Opening
{
    QString problem; // empty on success
    bool reached = false; // the database answered, whatever went wrong then
};

// Opens the connection and makes sure the store is usable. Its handles are gone when it
// returns with a problem, so a failed connection can be removed at once.
Opening openConnection(const QString &connectionName, const StoreLocation &location)
{
    QSqlDatabase db = location.addConnection(connectionName);
    if (location.isSqlite())
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        return {db.lastError().text(), false};
    QSqlQuery query(db);
    // WAL lets several connections share the file. A commit reaches the system's file cache
    // without waiting for the disk, so a crash of the host loses nothing committed; the disk
    // waits belong to checkpoints, which run on a thread of their own.
    if (location.isSqlite()
        && (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL"))
            || !query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))
            || !query.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"))))
        return {query.lastError().text(), true};
    return {prepareSchema(db), true};
}

// A statement failed: true when the connection still answers, so that the failure was the
// statement's own. The failed transaction has been rolled back.
bool stillAnswers(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT 1"));
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

    Statements(const QSqlDatabase &db, const QString &project)
        : select(db), upsert(db), remove(db), project(project)
    { }

    // What went wrong; empty when every statement is ready.
    QString prepare()
    {
        const std::pair<QSqlQuery *, QString> all[]
                = {{&select, selectStatement()},
                   {&upsert, upsertStatement()},
                   {&remove, QStringLiteral("DELETE FROM mediainfo") + kWhereRecord}};
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
        if (!columnsOfFields || !query.prepare(updateStatement(fields)))
            return nullptr;
        return &*fieldUpdates.insert(fields, {query, *columnsOfFields});
    }

    QSqlQuery select;
    QSqlQuery upsert;
    QSqlQuery remove;
    QHash<QStringList, FieldUpdate> fieldUpdates;
    const QString project;
};

Ui_Proc_MediaInfo_Desktop::Ui_Proc_MediaInfo_Desktop(QObject *parent)
    : QObject(parent)
    , connectionName(nextConnectionName())
    , groupTimer(new QTimer(this))
    , retryTimer(new QTimer(this))
    , reachability(new QFutureWatcher<bool>(this))
{
    groupTimer->setSingleShot(true);
    groupTimer->setInterval(kGroupCommitDelayMs);
    connect(groupTimer, &QTimer::timeout, this, &Ui_Proc_MediaInfo_Desktop::commit);
    retryTimer->setSingleShot(true);
    retryTimer->setInterval(kRetryDelayMs);
    connect(retryTimer, &QTimer::timeout, this,
            [this] { reachability->setFuture(QtConcurrent::run(answers, *location)); });
    connect(reachability, &QFutureWatcher<bool>::finished, this,
            &Ui_Proc_MediaInfo_Desktop::onReachabilityKnown);
}

Ui_Proc_MediaInfo_Desktop::~Ui_Proc_MediaInfo_Desktop()
{
    reachability->waitForFinished();
    const QDeadlineTimer lastChance(kLastChanceMs);
    while (waiting && !lastChance.hasExpired()) {
        tryAgain();
        if (waiting)
            QThread::msleep(kRetryDelayMs / 4);
    }
    closeDatabase();
}

QString Ui_Proc_MediaInfo_Desktop::databaseFileName()
{
    return QStringLiteral("mediainfo.db");
}

// The project directory and the configured store may be set or changed after the store was
// made, so every call checks which store it should be working on.
bool Ui_Proc_MediaInfo_Desktop::openDatabase()
{
    const QString projectDir = Utility_CommParam::getInstance()->getProjectPath();
    const QString configured
            = UI_Proc_Config_Desktop::getInstance().value(kMediaInfoStoreKey).toString();
    if (location && projectDir == openProjectDir && configured == openConfigured)
        return statements != nullptr;
    const StoreLocation wanted = storeLocation(configured, projectDir);
    if (!location || wanted.key() != location->key()) {
        closeDatabase();
        if (wanted.key() == failedKey || !openStore(wanted))
            return false;
    }
    openProjectDir = projectDir;
    openConfigured = configured;
    return statements != nullptr;
}

// True when the store can be used, now or once it answers again.
bool Ui_Proc_MediaInfo_Desktop::openStore(const StoreLocation &wanted)
{
    QString problem = wanted.problem;
    if (problem.isEmpty() && wanted.isSqlite() && !wanted.isShared()
        && !QFileInfo(QFileInfo(wanted.databaseName).path()).isDir())
        problem = QStringLiteral("the project directory does not exist");
    Opening opening;
    if (problem.isEmpty()) {
        opening = openConnection(connectionName, wanted);
        problem = opening.problem;
    }
    readOnly = !problem.isEmpty() && wanted.isSqlite() && QFileInfo(wanted.databaseName).isFile()
               && openReadOnlyConnection(connectionName, wanted).isEmpty();
    if (readOnly) {
        qWarning("media-info store: %s cannot be written (%s); it is read, and changes are not "
                 "kept",
                 qPrintable(wanted.display()), qPrintable(problem));
        problem.clear();
    }
    if (problem.isEmpty()) {
        statements = std::make_unique<Statements>(QSqlDatabase::database(connectionName),
                                                  wanted.project);
        problem = statements->prepare();
    }
    location = std::make_unique<StoreLocation>(wanted);
    if (problem.isEmpty()) {
        failedKey.clear();
        return true;
    }
    statements.reset();
    QSqlDatabase::removeDatabase(connectionName);
    // A server that is not there yet is waited for like one that went away.
    if (!wanted.isSqlite() && !opening.reached) {
        qWarning("media-info store: cannot reach %s: %s; writes wait until it answers",
                 qPrintable(wanted.display()), qPrintable(problem));
        return true;
    }
    qWarning("media-info store: cannot use %s: %s; media information is not kept",
             qPrintable(wanted.display()), qPrintable(problem));
    location.reset();
    failedKey = wanted.key();
    return false;
}

void Ui_Proc_MediaInfo_Desktop::closeDatabase()
{
    commit();
    if (!journal.empty())
        qWarning("media-info store: %s did not answer again; its last %d writes are lost",
                 qPrintable(location->display()), int(journal.size()));
    journal.clear();
    waiting = false;
    retryTimer->stop();
    checkpointing.waitForFinished();
    statements.reset();
    location.reset();
    openProjectDir.clear();
    openConfigured.clear();
    if (!QSqlDatabase::contains(connectionName))
        return;
    QSqlDatabase::database(connectionName, false).close();
    QSqlDatabase::removeDatabase(connectionName);
}

bool Ui_Proc_MediaInfo_Desktop::beginGroup()
{
    if (groupOpen)
        return true;
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

Ui_Proc_MediaInfo_Desktop::Outcome Ui_Proc_MediaInfo_Desktop::apply(const PendingWrite &pending)
{
    const QString &uuid = pending.record.uuid;
    switch (pending.kind) {
    case PendingWrite::Store:
        return bindAndRun(statements->upsert, valuesOf(pending.record) << statements->project,
                          "storing a record")
                       ? Outcome::Done
                       : Outcome::Failed;
    case PendingWrite::Remove:
        return bindAndRun(statements->remove, {uuid, statements->project}, "deleting a record")
                       ? Outcome::Done
                       : Outcome::Failed;
    case PendingWrite::Update:
        break;
    }
    Statements::FieldUpdate *update = statements->fieldUpdate(pending.fields);
    if (!update)
        return Outcome::Failed;
    const QVariantList values = valuesOf(pending.record);
    for (int i = 0; i < update->columns.size(); ++i)
        update->query.bindValue(i, values.at(update->columns.at(i)));
    update->query.bindValue(update->columns.size(), uuid);
    update->query.bindValue(update->columns.size() + 1, statements->project);
    if (!run(update->query, "updating a record"))
        return Outcome::Failed;
    return update->query.numRowsAffected() > 0 ? Outcome::Done : Outcome::NoRecord;
}

// Every write goes through here: into the journal, then into the open group. While the store
// does not take writes they wait in the journal.
bool Ui_Proc_MediaInfo_Desktop::write(PendingWrite &&pending)
{
    if (!openDatabase() && !location)
        return false;
    if (readOnly)
        return false; // said once, when it was opened
    journal.push_back(std::move(pending));
    if (waiting || !statements) {
        waitForStore();
        return true;
    }
    const Outcome outcome = beginGroup() ? apply(journal.back()) : Outcome::Failed;
    if (outcome == Outcome::Failed)
        return !recover(1);
    return outcome == Outcome::Done;
}

// Writes the journal again into a new group, after a failed one was given up.
bool Ui_Proc_MediaInfo_Desktop::replay()
{
    if (!beginGroup())
        return false;
    for (const PendingWrite &pending : journal) {
        if (apply(pending) == Outcome::Failed) {
            endGroup();
            QSqlDatabase::database(connectionName, false).rollback();
            return false;
        }
    }
    return true;
}

// The last `refused` writes of the journal failed, or the group could not be committed
// (none refused): the group is given up. A connection that still answers gets the journal
// again at once, as a failure may be the moment's (a deadlock with another console); when
// the refused writes fail again they are their own fault and leave the journal. Otherwise
// the writes wait for the store. True when the refused writes left the journal.
bool Ui_Proc_MediaInfo_Desktop::recover(int refused)
{
    bool answers = false;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (groupOpen) {
            endGroup();
            db.rollback();
        }
        answers = refused > 0 && stillAnswers(db);
    }
    if (answers && replay())
        return false;
    if (answers)
        journal.resize(journal.size() - size_t(refused));
    if (!answers || !replay())
        waitForStore();
    return answers;
}

void Ui_Proc_MediaInfo_Desktop::waitForStore()
{
    if (!waiting) {
        waiting = true;
        statements.reset();
        QSqlDatabase::removeDatabase(connectionName);
        qWarning("media-info store: %s does not take writes now; %d wait and are tried again",
                 qPrintable(location->display()), int(journal.size()));
        emit writesWaiting();
    }
    if (!retryTimer->isActive() && reachability->isFinished())
        retryTimer->start();
}

void Ui_Proc_MediaInfo_Desktop::onReachabilityKnown()
{
    if (!location || journal.empty())
        return;
    if (reachability->result())
        tryAgain();
    else
        retryTimer->start();
}

// The store answers again: a new connection takes the journal in one group. Until it is
// committed the writes still wait, so that a failure now is not told again.
void Ui_Proc_MediaInfo_Desktop::tryAgain()
{
    const StoreLocation wanted = *location;
    if (openConnection(connectionName, wanted).problem.isEmpty()) {
        statements = std::make_unique<Statements>(QSqlDatabase::database(connectionName),
                                                  wanted.project);
        if (statements->prepare().isEmpty() && replay() && commit()) {
            waiting = false;
            qWarning("media-info store: %s took the writes that waited",
                     qPrintable(wanted.display()));
            return;
        }
        statements.reset();
    }
    QSqlDatabase::removeDatabase(connectionName);
    if (!retryTimer->isActive())
        retryTimer->start();
}

bool Ui_Proc_MediaInfo_Desktop::commit()
{
    if (!groupOpen)
        return journal.empty();
    endGroup();
    if (!QSqlDatabase::database(connectionName, false).commit()) {
        qWarning("media-info store: cannot commit: %s",
                 qPrintable(QSqlDatabase::database(connectionName, false).lastError().text()));
        recover(0);
        return false;
    }
    journal.clear();
    if (location->isSqlite() && ++groupsSinceCheckpoint >= kGroupsPerCheckpoint
        && checkpointing.isFinished()) {
        groupsSinceCheckpoint = 0;
        checkpointing = QtConcurrent::run(checkpoint, *location);
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
    if (!openDatabase() || waiting)
        return {};
    QSqlQuery &query = statements->select;
    query.bindValue(0, uuid);
    query.bindValue(1, statements->project);
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
    return !record.uuid.isEmpty() && write({PendingWrite::Store, record, {}});
}

bool Ui_Proc_MediaInfo_Desktop::updateMediaInfo(const Module_Mediainfo &record)
{
    static const QStringList everyField = columns().mid(1);
    return updateMediaInfoFields(record, everyField);
}

bool Ui_Proc_MediaInfo_Desktop::updateMediaInfoFields(const Module_Mediainfo &record,
                                                      const QStringList &fields)
{
    if (!updatableColumns(fields)) {
        qWarning("media-info store: cannot update the fields %s",
                 qPrintable(fields.join(QLatin1Char(' '))));
        return false;
    }
    return write({PendingWrite::Update, record, fields});
}

bool Ui_Proc_MediaInfo_Desktop::delMediaInfo(const QString &uuid)
{
    Module_Mediainfo record;
    record.uuid = uuid;
    return write({PendingWrite::Remove, record, {}});
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
    if (columnsRead.isEmpty() || !openDatabase() || waiting)
        return records;
    QStringList names;
    for (int column : qAsConst(columnsRead))
        names << columns().at(column);
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM mediainfo WHERE project=? ORDER BY seq")
                          .arg(names.join(QLatin1Char(','))));
    query.bindValue(0, statements->project);
    if (!run(query, "loading the records"))
        return records;
    while (query.next())
        records << recordAt(query, columnsRead);
    return records;
}

bool Ui_Proc_MediaInfo_Desktop::addMediaInfoList(const QList<Module_Mediainfo> &records)
{
    for (const Module_Mediainfo &record : records) {
        if (record.uuid.isEmpty())
            return false;
    }
    if ((!openDatabase() && !location) || readOnly)
        return false;
    for (const Module_Mediainfo &record : records)
        journal.push_back({PendingWrite::Store, record, {}});
    if (waiting || !statements) {
        waitForStore();
        return true;
    }
    bool stored = beginGroup();
    for (auto pending = journal.end() - records.size(); stored && pending != journal.end();
         ++pending)
        stored = apply(*pending) == Outcome::Done;
    if (!stored && recover(records.size()))
        return false;
    return commit() || waiting;
}
