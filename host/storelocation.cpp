#include "storelocation.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace {

const QString kSqliteDriver = QStringLiteral("QSQLITE");
const QString kPostgresDriver = QStringLiteral("QPSQL");
const QString kDefaultFileName = QStringLiteral("mediainfo.db");
// A server that does not answer must not hold the caller for long; the store retries.
const QString kConnectTimeout = QStringLiteral("connect_timeout=3");

bool isPostgresUrl(const QString &configured)
{
    return configured.startsWith(QLatin1String("postgresql://"))
           || configured.startsWith(QLatin1String("postgres://"));
}

// postgresql://[user[:password]@][host][:port][/database][?key=value&...]; the query's host,
// port, user, password and dbname stand for those parts, the other keys go to libpq.
StoreLocation postgresLocation(const QString &configured)
{
    StoreLocation location;
    location.driver = kPostgresDriver;
    const QUrl url(configured, QUrl::StrictMode);
    if (!url.isValid()) {
        location.problem = QStringLiteral("not a valid URL: %1").arg(url.errorString());
        return location;
    }
    location.userName = url.userName(QUrl::FullyDecoded);
    location.password = url.password(QUrl::FullyDecoded);
    location.hostName = url.host(QUrl::FullyDecoded);
    location.port = url.port(-1);
    location.databaseName = url.path(QUrl::FullyDecoded).mid(1);
    QStringList options;
    bool timeoutGiven = false;
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto &[key, value] : items) {
        if (key == QLatin1String("host"))
            location.hostName = value;
        else if (key == QLatin1String("port"))
            location.port = value.toInt();
        else if (key == QLatin1String("user"))
            location.userName = value;
        else if (key == QLatin1String("password"))
            location.password = value;
        else if (key == QLatin1String("dbname"))
            location.databaseName = value;
        else
            options << key + QLatin1Char('=') + value;
        timeoutGiven = timeoutGiven || key == QLatin1String("connect_timeout");
    }
    if (!timeoutGiven)
        options << kConnectTimeout;
    location.connectOptions = options.join(QLatin1Char(';'));
    if (location.databaseName.isEmpty()) // libpq's default
        location.databaseName = location.userName;
    if (location.databaseName.isEmpty())
        location.problem = QStringLiteral("the URL names no database");
    return location;
}

} // namespace

bool StoreLocation::isSqlite() const
{
    return driver == kSqliteDriver;
}

QString StoreLocation::display() const
{
    if (isSqlite())
        return QDir::toNativeSeparators(databaseName);
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(userName);
    url.setPath(QLatin1Char('/') + databaseName);
    if (hostName.startsWith(QLatin1Char('/')))
        url.setQuery(QStringLiteral("host=") + hostName);
    else
        url.setHost(hostName);
    url.setPort(port);
    return url.toString();
}

QString StoreLocation::key() const
{
    return QStringList{driver,   databaseName, hostName,       QString::number(port),
                       userName, password,     connectOptions, project}
            .join(QChar(0));
}

QSqlDatabase StoreLocation::addConnection(const QString &connectionName) const
{
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, connectionName);
    db.setDatabaseName(databaseName);
    db.setHostName(hostName);
    db.setPort(port);
    db.setUserName(userName);
    db.setPassword(password);
    db.setConnectOptions(connectOptions);
    return db;
}

StoreLocation storeLocation(const QString &configured, const QString &projectDir)
{
    StoreLocation location;
    if (isPostgresUrl(configured)) {
        location = postgresLocation(configured);
    } else {
        location.driver = kSqliteDriver;
        location.databaseName = configured.isEmpty() ? QDir(projectDir).filePath(kDefaultFileName)
                                                     : QFileInfo(configured).absoluteFilePath();
    }
    // Never null: a null text would be bound as NULL, which matches no project.
    location.project = configured.isEmpty() ? QStringLiteral("") : QDir(projectDir).dirName();
    if (location.problem.isEmpty() && !configured.isEmpty() && location.project.isEmpty())
        location.problem = QStringLiteral("a shared store needs a named project directory");
    return location;
}
