#pragma once

#include <QString>

class QSqlDatabase;

// Where the media-info store keeps its records, read from the host's configuration: the
// SQLite file in the project directory by default, or a store that several consoles share,
// a PostgreSQL database named by a URL in libpq's form or a SQLite file named by its path.
struct StoreLocation
{
    QString driver; // the QtSql driver
    QString databaseName; // SQLite: the file; PostgreSQL: the database
    QString hostName; // a name, an address or the directory of a Unix socket; empty: libpq's
    int port = -1;
    QString userName;
    QString password;
    QString connectOptions; // the driver's, "key=value" joined by ";"
    // The project in the store. A file in the project directory holds that project alone and
    // it goes unnamed; a shared store names each by the project directory's name, so that
    // consoles whose project directories have the same name show the same tree.
    QString project;
    QString problem; // why the configured value cannot be used; empty when it can

    bool isShared() const { return !project.isEmpty(); }
    bool isSqlite() const;
    // Names the store in messages; never shows the password.
    QString display() const;
    // Equal keys name the same store and project.
    QString key() const;
    // A new connection of that name to the store, not yet open.
    QSqlDatabase addConnection(const QString &connectionName) const;
};

// configured: the host's configuration value; projectDir: the project directory.
StoreLocation storeLocation(const QString &configured, const QString &projectDir);
