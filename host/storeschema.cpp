#include "storeschema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// 1: no project column and no version table; 2: records carry their project; 3: and when
// each file was modified.
constexpr int kSchemaVersion = 3;
// Any number that no other user of a shared database takes for its own schema lock.
constexpr qint64 kSchemaLockId = 0x63666f6c64;

enum class Kind { Key, Text, Int32, Int64, Real, Flag };

struct Column
{
    const char *name;
    Kind kind;
};

// In the order of the record's fields.
constexpr Column kColumns[]
        = {{"uuid", Kind::Key},          {"path", Kind::Text},         {"category", Kind::Text},
           {"img", Kind::Text},          {"frameHeight", Kind::Int32}, {"frameWidth", Kind::Int32},
           {"fps", Kind::Real},          {"resolution", Kind::Text},   {"duration", Kind::Text},
           {"timeLenMsec", Kind::Int32}, {"fileSize", Kind::Int64},    {"detailInfo", Kind::Text},
           {"filePath", Kind::Text},     {"rootIndex", Kind::Text},    {"isTranscoded", Kind::Flag},
           {"fileModified", Kind::Int64}};

// The pictures made for a server's records, a row a file. Consoles of an earlier version
// never read it, so that it comes without a version step, which would lock them out.
const QString kPictureTable = QStringLiteral(
        "CREATE TABLE mediapicture (project TEXT NOT NULL, uuid TEXT NOT NULL, "
        "name TEXT NOT NULL, data BYTEA NOT NULL, PRIMARY KEY (project, uuid, name), "
        "FOREIGN KEY (project, uuid) REFERENCES mediainfo (project, uuid) ON DELETE CASCADE)");

bool isSqlite(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QSQLITE");
}

QString typeName(Kind kind, bool sqlite)
{
    switch (kind) {
    case Kind::Key:
    case Kind::Text:
        return QStringLiteral("TEXT");
    case Kind::Real:
        return sqlite ? QStringLiteral("REAL") : QStringLiteral("DOUBLE PRECISION");
    case Kind::Int64:
        return sqlite ? QStringLiteral("INTEGER") : QStringLiteral("BIGINT");
    case Kind::Int32:
    case Kind::Flag:
        break;
    }
    return QStringLiteral("INTEGER");
}

// seq grows with every new row, so ordering by it is the order in which records were first
// added; an upsert of a stored uuid keeps its row and so its place.
QString createTable(bool sqlite)
{
    QStringList definitions{sqlite ? QStringLiteral("seq INTEGER PRIMARY KEY")
                                   : QStringLiteral("seq BIGINT GENERATED ALWAYS AS IDENTITY "
                                                    "PRIMARY KEY"),
                            QStringLiteral("project TEXT NOT NULL DEFAULT ''")};
    for (const Column &column : kColumns)
        definitions << QLatin1String(column.name) + QLatin1Char(' ') + typeName(column.kind, sqlite)
                               + (column.kind == Kind::Key ? QStringLiteral(" NOT NULL")
                                                           : QString());
    return QStringLiteral("CREATE TABLE mediainfo (%1)")
            .arg(definitions.join(QStringLiteral(", ")));
}

QString runAll(QSqlDatabase db, const QStringList &statements)
{
    QSqlQuery query(db);
    for (const QString &statement : statements) {
        if (!query.exec(statement))
            return query.lastError().text();
    }
    return {};
}

// The stored version: 0 for an empty database, 1 for a table made before versions were kept,
// -1 when it cannot be read.
int storedVersion(QSqlDatabase db)
{
    QSqlQuery query(db);
    if (!db.tables().contains(QStringLiteral("storeversion")))
        return db.tables().contains(QStringLiteral("mediainfo")) ? 1 : 0;
    if (!query.exec(QStringLiteral("SELECT version FROM storeversion")))
        return -1;
    return query.next() ? query.value(0).toInt() : 0;
}

// Each step brings a store of one version to the next; a new one is made whole at once.
QStringList upgradeFrom(int version, bool sqlite)
{
    // A record is its project's uuid; a project's records are loaded in order.
    const QString key
            = QStringLiteral("CREATE UNIQUE INDEX mediainfo_record ON mediainfo (project, uuid)");
    const QString order
            = QStringLiteral("CREATE INDEX mediainfo_order ON mediainfo (project, seq)");
    const QString record
            = QStringLiteral("INSERT INTO storeversion (version) VALUES (%1)").arg(kSchemaVersion);
    const QString versionTable = QStringLiteral("CREATE TABLE storeversion (version INTEGER)");
    if (version == 0)
        return {createTable(sqlite), key, order, versionTable, record};
    QStringList steps;
    // A file of the project directory: its records are the project's, which goes unnamed.
    if (version < 2)
        steps << QStringLiteral("ALTER TABLE mediainfo ADD COLUMN project TEXT NOT NULL DEFAULT ''")
              << key << order << versionTable
              << QStringLiteral("INSERT INTO storeversion (version) VALUES (2)");
    // A record stored before knows no time: 0, which no file has.
    steps << QStringLiteral("ALTER TABLE mediainfo ADD COLUMN fileModified %1")
                     .arg(typeName(Kind::Int64, sqlite))
          << QStringLiteral("UPDATE storeversion SET version = %1").arg(kSchemaVersion);
    return steps;
}

QString versionProblem(int version)
{
    if (version < 0)
        return QStringLiteral("its version cannot be read");
    if (version > kSchemaVersion)
        return QStringLiteral("it was made by a later version (%1)").arg(version);
    return {};
}

} // namespace

const QStringList &recordColumns()
{
    static const QStringList names = [] {
        QStringList all;
        for (const Column &column : kColumns)
            all << QLatin1String(column.name);
        return all;
    }();
    return names;
}

const QStringList &recordServerTypes()
{
    static const QStringList types = [] {
        QStringList all;
        for (const Column &column : kColumns)
            all << typeName(column.kind, false);
        return all;
    }();
    return types;
}

QString prepareSchema(QSqlDatabase db)
{
    const bool sqlite = isSqlite(db);
    if (!db.transaction())
        return db.lastError().text();
    QString problem;
    if (!sqlite) // consoles that open a new database at once make its schema once
        problem = runAll(db,
                         {QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockId)});
    const int version = problem.isEmpty() ? storedVersion(db) : -1;
    if (problem.isEmpty())
        problem = versionProblem(version);
    if (problem.isEmpty() && version < kSchemaVersion)
        problem = runAll(db, upgradeFrom(version, sqlite));
    if (problem.isEmpty() && !sqlite && !db.tables().contains(QStringLiteral("mediapicture")))
        problem = runAll(db, {kPictureTable});
    if (problem.isEmpty() && db.commit())
        return {};
    if (problem.isEmpty())
        problem = db.lastError().text();
    db.rollback();
    return problem;
}

QString checkSchema(QSqlDatabase db)
{
    const int version = storedVersion(db);
    if (version >= 0 && version < kSchemaVersion)
        return QStringLiteral("it was made by an earlier version and cannot be brought up to date");
    return versionProblem(version);
}
