#pragma once

// Shared by the model tests: real folders on disk and a view of the tree.

#include "store/utility_commparam.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariantMap>

#include <functional>

// Creates each entry below root: names ending in "/" as folders, the others as empty files.
inline void makeEntries(const QString &root, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QString path = root + QLatin1Char('/') + entry;
        if (entry.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(path);
        } else {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile(path).open(QIODevice::WriteOnly);
        }
    }
}

inline QStringList rowNames(const QAbstractItemModel &model, const QModelIndex &parent = {})
{
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row)
        names << model.index(row, 0, parent).data(Qt::DisplayRole).toString();
    return names;
}

// The row of the given name under parent; invalid when there is none.
inline QModelIndex childNamed(const QAbstractItemModel &model, const QModelIndex &parent,
                              const QString &name)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        if (child.data(Qt::DisplayRole).toString() == name)
            return child;
    }
    return {};
}

// Every row below parent, depth first, as "folder/name", followed by its uuid when asked.
inline QStringList shownBelow(const QAbstractItemModel &model, const QModelIndex &parent,
                              bool uuids = false, const QString &prefix = {})
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        const QString name = prefix + child.data(Qt::DisplayRole).toString();
        const QString uuid = child.data(Qt::UserRole + 1).toMap().value("uuid").toString();
        rows << (uuids ? name + ' ' + uuid : name) << shownBelow(model, child, uuids, name + '/');
    }
    return rows;
}

// Runs the event loop until done() answers true, or for timeoutMs at most; unlike
// QTRY_VERIFY it does not sleep between passes, so that a long chain of steps is not slowed.
// The default is generous: under the sanitizers on a loaded machine, restoring a few thousand
// rows with the model tester watching took 40 s.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = 120000)
{
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.hasExpired(timeoutMs))
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    return done();
}

// Shows every event that reaches the object it is installed on, before the object sees it.
class EventFilter : public QObject
{
public:
    explicit EventFilter(std::function<void(QEvent *)> seen) : seen(std::move(seen)) { }
    bool eventFilter(QObject *, QEvent *event) override
    {
        seen(event);
        return false;
    }

private:
    std::function<void(QEvent *)> seen;
};

inline QVariantMap fileInfo(const QModelIndex &index)
{
    return index.data(Qt::UserRole + 1).toMap();
}

// Every row of the store's database file, read through a connection of the test's own.
inline QList<QVariantMap> storedRows(const QString &projectDir)
{
    QList<QVariantMap> rows;
    const QString name = "test-reader";
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(QDir(projectDir).filePath("mediainfo.db"));
        db.open();
        QSqlQuery query("SELECT * FROM mediainfo ORDER BY seq", db);
        while (query.next()) {
            QVariantMap row;
            for (int i = 0; i < query.record().count(); ++i)
                row.insert(query.record().fieldName(i), query.value(i));
            rows << row;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// A project directory of the test's own for every test function.
class ProjectDir
{
public:
    ProjectDir() { Utility_CommParam::getInstance()->setProjectPath(dir.path()); }
    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
};
