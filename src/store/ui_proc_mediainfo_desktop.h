#pragma once

#include "store/module_mediainfo.h"

#include <QFuture>
#include <QList>
#include <QObject>

#include <memory>

class QTimer;

// The host's media-info store: one record per item, keyed by uuid, kept in a SQLite file in
// the project directory. Each instance has its own connection to that file, so several
// instances may work on it side by side. A file that cannot be opened or written gives one
// warning and false or an empty result; callers go on without persistence.
//
// Writes are grouped: they go into one open transaction that is committed shortly after the
// first of them, by commit(), before the store moves to another project directory and when
// it is destroyed. A crash of the host loses at most the group that was still open; a power
// cut, at most the writes since the last checkpoint. Reads on an instance see its own pending
// writes; other connections see them once they are committed.
class Ui_Proc_MediaInfo_Desktop : public QObject
{
    Q_OBJECT
public:
    explicit Ui_Proc_MediaInfo_Desktop(QObject *parent);
    ~Ui_Proc_MediaInfo_Desktop() override;

    // The stored record, or one with an empty uuid when nothing is stored under uuid.
    Module_Mediainfo getMediaInfo(const QString &uuid);
    // Both store the record whether or not its uuid is stored; a stored record keeps its
    // place in the load order.
    bool addMediaInfo(const Module_Mediainfo &record);
    bool replaceMediaInfo(const Module_Mediainfo &record);
    // False when no record is stored under the record's uuid.
    bool updateMediaInfo(const Module_Mediainfo &record);
    // Overwrites only the named fields of the record stored under the record's uuid; the
    // others keep their stored values. False when no record is stored under the uuid.
    bool updateMediaInfoFields(const Module_Mediainfo &record, const QStringList &fields);
    bool delMediaInfo(const QString &uuid);
    // Every stored record, in the order in which they were first added.
    QList<Module_Mediainfo> loadMediaObjlist();
    // The same with only the named fields read; the others keep their defaults.
    QList<Module_Mediainfo> loadMediaObjlist(const QStringList &fields);
    // Stores the whole list or none of it, and commits it together with the pending writes
    // before it returns.
    bool addMediaInfoList(const QList<Module_Mediainfo> &records);

    // Makes the pending writes durable. True when nothing was pending or the commit worked.
    bool commit();
    // Opens the project's database file now rather than at the first call, which may come
    // while the page is busy: opening takes longer than a frame.
    bool open();
    // The database can be read but not written, as on a read-only medium: it is restored
    // from, and changes are not kept.
    bool isReadOnly();

    static QString databaseFileName();

signals:
    // A group of writes is durable.
    void committed();

private:
    struct Statements;

    bool openDatabase();
    void closeDatabase();
    bool beginGroup();
    void endGroup();

    const QString connectionName;
    QString openProjectDir; // the project directory of openFile
    QString openFile; // database file the connection is open on; empty while closed
    QString failedFile; // last file that could not be opened; warned about once
    std::unique_ptr<Statements> statements; // prepared on the open connection; null while closed
    QTimer *groupTimer;
    bool groupOpen = false; // a transaction holds writes that are not yet committed
    bool readOnly = false; // the open file could only be opened for reading
    int groupsSinceCheckpoint = 0;
    QFuture<void> checkpointing;
};
