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

#include <limits>
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
// Stores or removals sent to a server in one statement: its round trip is paid once for them
// all, and this many wait at most.
constexpr int kRowsPerStatement = 1024;

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
// load order, which is the order in which records were first added. rows: the record's
// values and the project, bound in that order; or on a server, the project, then an array of
// each column's values, which become rows in their order.
QString upsertStatement(bool onServer)
{
    QStringList updates;
    for (const QString &column : columns().mid(1))
        updates << column + QStringLiteral("=excluded.") + column;
    QStringList arrays;
    for (const QString &type : recordServerTypes())
        arrays << QStringLiteral("?::%1[]").arg(type);
    const QString rows
            = onServer ? QStringLiteral("SELECT *,? FROM unnest(%1)")
                                 .arg(arrays.join(QLatin1Char(',')))
                       : QStringLiteral("VALUES (%1)").arg(placeholders(columns().size() + 1));
    return QStringLiteral("INSERT INTO mediainfo (%1,project) %2 ON CONFLICT(project,uuid) DO "
                          "UPDATE SET %3")
            .arg(columns().join(QLatin1Char(',')), rows, updates.join(QLatin1Char(',')));
}

// The uuid and the project; on a server, an array of uuids and the project.
QString removeStatement(bool onServer)
{
    return QStringLiteral("DELETE FROM mediainfo")
           + (onServer ? QStringLiteral(" WHERE uuid=ANY(?::text[]) AND project=?") : kWhereRecord);
}

// Rows of values sent to a server as one PostgreSQL array literal per column, which binds
// no more values however many rows there are.
class ColumnArrays
{
public:
    explicit ColumnArrays(int columnCount) : arrays(columnCount, QStringLiteral("{")) { }

    void add(const QVariantList &row)
    {
        for (int column = 0; column < arrays.size(); ++column)
            append(arrays[column], row.at(column));
    }

    // Binds the arrays from index on; returns the index after them.
    int bind(QSqlQuery &query, int index) const
    {
        for (const QString &array : arrays)
            query.bindValue(index++, array + QLatin1Char('}'));
        return index;
    }

private:
    // Texts are quoted, so that none reads as NULL; a null text is NULL, as when bound alone.
    static void append(QString &array, const QVariant &value)
    {
        if (array.size() > 1) // more than the opening brace
            array += QLatin1Char(',');
        if (value.isNull()) {
            array += QLatin1String("NULL");
            return;
        }
        if (value.type() != QVariant::String) {
            array += value.toString();
            return;
        }
        QString text = value.toString();
        text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
                .replace(QLatin1Char('"'), QLatin1String("\\\""));
        array += QLatin1Char('"') + text + QLatin1Char('"');
    }

    QVector<QString> arrays;
};

// A picture file is stored only for a stored record: the name and the bytes, the uuid and
// the project.
const QString kInsertPicture
        = QStringLiteral("INSERT INTO mediapicture (project,uuid,name,data) SELECT project,uuid,"
                         "?,? FROM mediainfo")
          + kWhereRecord;
const QString kRemovePictures = QStringLiteral("DELETE FROM mediapicture") + kWhereRecord;
// An array of uuids and the project.
const QString kSelectPictures
        = QStringLiteral("SELECT uuid,name,data FROM mediapicture WHERE uuid=ANY(?::text[]) "
                         "AND project=? ORDER BY uuid,name");

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
        : select(db)
        , upsert(db)
        , remove(db)
        , removePictures(db)
        , insertPicture(db)
        , selectPictures(db)
        , project(project)
        , onServer(db.driverName() != QLatin1String("QSQLITE"))
    { }

    // What went wrong; empty when every statement is ready.
    QString prepare()
    {
        std::vector<std::pair<QSqlQuery *, QString>> all = {{&select, selectStatement()},
                                                            {&upsert, upsertStatement(onServer)},
                                                            {&remove, removeStatement(onServer)}};
        if (onServer)
            all.insert(all.end(), {{&removePictures, kRemovePictures},
                                   {&insertPicture, kInsertPicture},
                                   {&selectPictures, kSelectPictures}});
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
    QSqlQuery removePictures; // on a server only
    QSqlQuery insertPicture;
    QSqlQuery selectPictures;
    QHash<QStringList, FieldUpdate> fieldUpdates;
    const QString project;
    // A server's statement costs a round trip, so that stores or removals go there many in
    // one; SQLite's cost none, and each write goes at once, answered by the store itself.
    const bool onServer;
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
    commit(); // a server's writes that wait in the group learn here whether it still answers
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
    applied = 0;
    groupRecords.clear();
    groupTimer->stop();
    openGroupsOfThisThread().removeOne(this);
}

void Ui_Proc_MediaInfo_Desktop::giveUpGroup()
{
    if (!groupOpen)
        return;
    endGroup();
    QSqlDatabase::database(connectionName, false).rollback();
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
    const Outcome outcome = beginGroup() ? take() : Outcome::Failed;
    if (outcome == Outcome::Failed)
        return !recover(1);
    return outcome == Outcome::Done;
}

// Answers for the write at the journal's end. On a server, a store, a removal or an update of
// a record of the group is answered whatever is stored, so it waits to be sent with others;
// any other write is sent at once and answered by the store.
Ui_Proc_MediaInfo_Desktop::Outcome Ui_Proc_MediaInfo_Desktop::take()
{
    const PendingWrite &last = journal.back();
    if (!statements->onServer
        || (last.kind == PendingWrite::Update && !groupRecords.contains(last.record.uuid)))
        return answerNow();
    if (last.kind == PendingWrite::Remove)
        groupRecords.remove(last.record.uuid);
    else if (last.kind != PendingWrite::Picture)
        groupRecords.insert(last.record.uuid);
    const bool enoughForAStatement = journal.size() - applied >= size_t(kRowsPerStatement);
    return !enoughForAStatement || sendPending(journal.size()) ? Outcome::Done : Outcome::Failed;
}

// Sends the writes that wait, then the last one alone, for its answer.
Ui_Proc_MediaInfo_Desktop::Outcome Ui_Proc_MediaInfo_Desktop::answerNow()
{
    const size_t last = journal.size() - 1;
    const PendingWrite &pending = journal.back();
    if (!sendPending(last))
        return Outcome::Failed;
    Outcome outcome = Outcome::Failed;
    if (pending.kind == PendingWrite::Update)
        outcome = applyUpdate(pending);
    else if (sendRows(last, 1))
        outcome = Outcome::Done;
    if (outcome == Outcome::Failed)
        return outcome;
    applied = journal.size();
    if (outcome == Outcome::Done && pending.kind == PendingWrite::Update)
        groupRecords.insert(pending.record.uuid);
    return outcome;
}

Ui_Proc_MediaInfo_Desktop::Outcome Ui_Proc_MediaInfo_Desktop::applyUpdate(
        const PendingWrite &pending)
{
    Statements::FieldUpdate *update = statements->fieldUpdate(pending.fields);
    if (!update)
        return Outcome::Failed;
    const QVariantList values = valuesOf(pending.record);
    for (int i = 0; i < update->columns.size(); ++i)
        update->query.bindValue(i, values.at(update->columns.at(i)));
    update->query.bindValue(update->columns.size(), pending.record.uuid);
    update->query.bindValue(update->columns.size() + 1, statements->project);
    if (!run(update->query, "updating a record"))
        return Outcome::Failed;
    return update->query.numRowsAffected() > 0 ? Outcome::Done : Outcome::NoRecord;
}

// How many writes from the first the group does not hold go in one statement: on a server,
// stores or removals in a row, cut where a uuid comes again, as a statement may touch a
// record once; else one.
int Ui_Proc_MediaInfo_Desktop::rowsOfNextStatement(size_t end) const
{
    const PendingWrite::Kind kind = journal.at(applied).kind;
    if (kind == PendingWrite::Update || kind == PendingWrite::Picture || !statements->onServer)
        return 1;
    QSet<QString> uuids;
    size_t next = applied;
    for (; next < end && next - applied < size_t(kRowsPerStatement); ++next) {
        const PendingWrite &pending = journal.at(next);
        if (pending.kind != kind || uuids.contains(pending.record.uuid))
            break;
        uuids.insert(pending.record.uuid);
    }
    return int(next - applied);
}

// The writes from first on, all of one kind: an update alone; on SQLite, one write.
bool Ui_Proc_MediaInfo_Desktop::sendRows(size_t first, int rows)
{
    const PendingWrite &head = journal.at(first);
    if (head.kind == PendingWrite::Update)
        return applyUpdate(head) != Outcome::Failed;
    if (head.kind == PendingWrite::Picture)
        return sendPicture(head);
    const bool stores = head.kind == PendingWrite::Store;
    QSqlQuery &query = stores ? statements->upsert : statements->remove;
    const auto valuesOfRow = [&](size_t row) {
        const Module_Mediainfo &record = journal.at(row).record;
        return stores ? valuesOf(record) : QVariantList{record.uuid};
    };
    if (statements->onServer) {
        ColumnArrays arrays(stores ? columns().size() : 1);
        for (size_t row = first; row < first + size_t(rows); ++row)
            arrays.add(valuesOfRow(row));
        if (stores)
            query.bindValue(0, statements->project);
        const int next = arrays.bind(query, stores ? 1 : 0);
        if (!stores)
            query.bindValue(next, statements->project);
    } else {
        const QVariantList values = valuesOfRow(first);
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        query.bindValue(values.size(), statements->project);
    }
    return run(query, stores ? "storing records" : "deleting records");
}

bool Ui_Proc_MediaInfo_Desktop::sendPicture(const PendingWrite &pending)
{
    QSqlQuery &remove = statements->removePictures;
    remove.bindValue(0, pending.record.uuid);
    remove.bindValue(1, statements->project);
    if (!run(remove, "replacing a picture"))
        return false;
    QSqlQuery &insert = statements->insertPicture;
    for (const StoredPictureFile &file : pending.files) {
        insert.bindValue(0, file.name);
        insert.bindValue(1, file.bytes);
        insert.bindValue(2, pending.record.uuid);
        insert.bindValue(3, statements->project);
        if (!run(insert, "storing a picture"))
            return false;
    }
    return true;
}

// Sends the group the writes before end that it does not hold yet. False when one failed.
bool Ui_Proc_MediaInfo_Desktop::sendPending(size_t end)
{
    while (applied < end) {
        const int rows = rowsOfNextStatement(end);
        if (!sendRows(applied, rows))
            return false;
        applied += size_t(rows);
    }
    return true;
}

// The open group holds every write, so that a read sees them; false when they wait for the
// store instead.
bool Ui_Proc_MediaInfo_Desktop::holdsPending()
{
    if (sendPending(journal.size()))
        return true;
    recover(0);
    return !waiting;
}

// Writes the journal again into a new group, after a failed one was given up.
bool Ui_Proc_MediaInfo_Desktop::replay()
{
    if (!beginGroup())
        return false;
    if (sendPending(journal.size()))
        return true;
    giveUpGroup();
    return false;
}

// The journal written one write at a time into a group that is then given up: the index of
// the first write that fails, or the journal's size when none does.
size_t Ui_Proc_MediaInfo_Desktop::firstFailingWrite()
{
    if (!beginGroup())
        return journal.size();
    size_t at = 0;
    while (at < journal.size() && sendRows(at, 1))
        ++at;
    giveUpGroup();
    return at;
}

// A write that fails alone on a connection that answers is its own fault and leaves the
// journal; the last `refused` writes leave together, as their caller is told. True when they
// left.
bool Ui_Proc_MediaInfo_Desktop::dropWriteAtFault(size_t refused)
{
    const size_t atFault = firstFailingWrite();
    if (atFault == journal.size() || !stillAnswers(QSqlDatabase::database(connectionName, false)))
        return false;
    if (atFault + refused < journal.size()) {
        journal.erase(journal.begin() + std::ptrdiff_t(atFault));
        return false;
    }
    journal.resize(journal.size() - refused);
    return true;
}

// A statement of the group failed: the group is given up. A connection that still answers
// gets the journal again at once, as a failure may be the moment's (a deadlock with another
// console); when that fails too, the write at fault leaves the journal and the rest is
// written again. Otherwise, or when that fails as well, the writes wait for the store.
// refused: the writes at the journal's end whose caller waits for the answer. True when they
// left the journal.
bool Ui_Proc_MediaInfo_Desktop::recover(size_t refused)
{
    giveUpGroup();
    if (!stillAnswers(QSqlDatabase::database(connectionName, false))) {
        waitForStore();
        return false;
    }
    if (replay())
        return false;
    const bool refusedLeft = dropWriteAtFault(refused);
    if (!replay())
        waitForStore();
    return refusedLeft;
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
    if (!holdsPending())
        return false;
    endGroup();
    if (!QSqlDatabase::database(connectionName, false).commit()) {
        qWarning("media-info store: cannot commit: %s",
                 qPrintable(QSqlDatabase::database(connectionName, false).lastError().text()));
        waitForStore();
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
    if (!openDatabase() || waiting || !holdsPending())
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
    return !record.uuid.isEmpty() && write({PendingWrite::Store, record, {}, {}});
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
    return write({PendingWrite::Update, record, fields, {}});
}

bool Ui_Proc_MediaInfo_Desktop::delMediaInfo(const QString &uuid)
{
    Module_Mediainfo record;
    record.uuid = uuid;
    return write({PendingWrite::Remove, record, {}, {}});
}

QList<Module_Mediainfo> Ui_Proc_MediaInfo_Desktop::loadMediaObjlist()
{
    QList<Module_Mediainfo> records;
    loadMediaObjlist({}, columns(), std::numeric_limits<int>::max(),
                     [&records](QList<Module_Mediainfo> &&all) { records = std::move(all); });
    return records;
}

bool Ui_Proc_MediaInfo_Desktop::loadMediaObjlist(
        const QString &category, const QStringList &fields, int batchSize,
        const std::function<void(QList<Module_Mediainfo> &&)> &takeBatch)
{
    QVector<int> columnsRead;
    for (const QString &field : fields) {
        if (columns().contains(field))
            columnsRead << columns().indexOf(field);
    }
    if (columnsRead.isEmpty() || !openDatabase() || waiting || !holdsPending())
        return false;
    QStringList names;
    for (int column : qAsConst(columnsRead))
        names << columns().at(column);
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.setForwardOnly(true);
    const QString ofCategory = category.isNull() ? QString() : QStringLiteral(" AND category=?");
    query.prepare(QStringLiteral("SELECT %1 FROM mediainfo WHERE project=?%2 ORDER BY seq")
                          .arg(names.join(QLatin1Char(',')), ofCategory));
    query.bindValue(0, statements->project);
    if (!category.isNull())
        query.bindValue(1, category);
    if (!run(query, "loading the records"))
        return false;
    QList<Module_Mediainfo> batch;
    while (query.next()) {
        batch << recordAt(query, columnsRead);
        if (batch.size() == batchSize)
            takeBatch(std::exchange(batch, {}));
    }
    if (!batch.isEmpty())
        takeBatch(std::move(batch));
    return true;
}

bool Ui_Proc_MediaInfo_Desktop::keepsPictures()
{
    openDatabase();
    return location && !location->isSqlite();
}

bool Ui_Proc_MediaInfo_Desktop::storePicture(const QString &uuid,
                                             const QVector<StoredPictureFile> &files)
{
    if (uuid.isEmpty() || !keepsPictures())
        return false;
    Module_Mediainfo record;
    record.uuid = uuid;
    return write({PendingWrite::Picture, record, {}, files});
}

QHash<QString, QVector<StoredPictureFile>> Ui_Proc_MediaInfo_Desktop::loadPictures(
        const QStringList &uuids)
{
    QHash<QString, QVector<StoredPictureFile>> pictures;
    if (uuids.isEmpty() || !keepsPictures() || waiting || !statements || !holdsPending())
        return pictures;
    ColumnArrays array(1);
    for (const QString &uuid : uuids)
        array.add({uuid});
    QSqlQuery &query = statements->selectPictures;
    query.bindValue(array.bind(query, 0), statements->project);
    if (run(query, "reading pictures")) {
        while (query.next())
            pictures[query.value(0).toString()].append(
                    {query.value(1).toString(), query.value(2).toByteArray()});
    }
    query.finish();
    return pictures;
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
        journal.push_back({PendingWrite::Store, record, {}, {}});
    if (waiting || !statements) {
        waitForStore();
        return true;
    }
    const bool stored = beginGroup() && sendPending(journal.size());
    if (!stored && recover(size_t(records.size())))
        return false;
    return commit() || waiting;
}
