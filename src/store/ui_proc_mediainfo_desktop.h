#pragma once

#include "module_mediainfo.h" // relative, as in every header a host gets

#include <QByteArray>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

class QTimer;
template<typename T>
class QFutureWatcher;
struct StoreLocation;

// A file of a picture that the system made for an item, named as in the project's picture
// directory: "{…}.jpg", or "{…}/3.png" for a slide of a presentation.
struct StoredPictureFile
{
    QString name;
    QByteArray bytes;
};

// The host's media-info store: one record per item, keyed by uuid. By default the records
// are kept in a SQLite file in the project directory; the host's configuration may name a
// store that several consoles share instead (kMediaInfoStoreKey), a PostgreSQL database or
// a SQLite file, which keeps each project's records apart by the project directory's name.
// Each instance has its own connection, so several instances, in one process or in several,
// may work on one store side by side; the last write of a record wins. A store that cannot
// be opened gives one warning and false or an empty result; callers go on without
// persistence.
//
// Writes are grouped: they go into one open transaction that is committed shortly after the
// first of them, by commit(), before the store moves to another project or store and when it
// is destroyed. Within the group they wait to be sent many in one statement, until a few
// hundred wait, the group is committed, the instance reads, or an update asks whether its
// record is stored. A crash of the host loses at most the group that was still open; a power
// cut, at most the writes since the last checkpoint. Reads on an instance see its own pending
// writes; other connections see them once they are committed.
//
// Writes that the store cannot take, because its server went away or a commit failed, are
// kept in memory, in order, and written again every few seconds until they are committed;
// reads give nothing meanwhile. Only writes still waiting when the instance is destroyed are
// lost.
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
    // Every stored record of the project, in the order in which they were first added.
    QList<Module_Mediainfo> loadMediaObjlist();
    // The same of one category, or of all when it is null, with only the named fields read, the
    // others keeping their defaults, handed over in batches as they are read, so that the
    // caller may work on one while the next is read. False when the records could not be read.
    bool loadMediaObjlist(const QString &category, const QStringList &fields, int batchSize,
                          const std::function<void(QList<Module_Mediainfo> &&)> &takeBatch);
    // Stores the whole list or none of it, and commits it together with the pending writes
    // before it returns.
    bool addMediaInfoList(const QList<Module_Mediainfo> &records);

    // True when the store keeps the pictures made for its records beside them, as a server
    // that consoles share does: a console that lacks one takes it from there. A SQLite file
    // leaves them to each project directory.
    bool keepsPictures();
    // Stores the item's picture in place of the one it had, as one more pending write; it
    // is stored only while the item's record is, and goes with it. False when the store
    // keeps no pictures.
    bool storePicture(const QString &uuid, const QVector<StoredPictureFile> &files);
    // The stored picture of each of those uuids that has one.
    QHash<QString, QVector<StoredPictureFile>> loadPictures(const QStringList &uuids);

    // Makes the pending writes durable. True when nothing is left waiting.
    bool commit();
    // Opens the project's store now rather than at the first call, which may come while the
    // page is busy: opening takes longer than a frame.
    bool open();
    // The database can be read but not written, as on a read-only medium: it is restored
    // from, and changes are not kept.
    bool isReadOnly();

    static QString databaseFileName();

signals:
    // A group of writes is durable.
    void committed();
    // Writes wait in memory for the store to take them again; once until they are written.
    void writesWaiting();

private:
    struct Statements;
    // A write as it was asked for, kept until its group is committed.
    struct PendingWrite
    {
        enum Kind { Store, Update, Remove, Picture } kind;
        Module_Mediainfo record; // of a picture, only the uuid
        QStringList fields; // of an update
        QVector<StoredPictureFile> files; // of a picture
    };
    enum class Outcome { Done, NoRecord, Failed };

    bool openDatabase();
    bool openStore(const StoreLocation &wanted);
    void closeDatabase();
    bool beginGroup();
    void endGroup();
    void giveUpGroup();
    bool write(PendingWrite &&pending);
    Outcome take();
    Outcome answerNow();
    Outcome applyUpdate(const PendingWrite &pending);
    int rowsOfNextStatement(size_t end) const;
    bool sendRows(size_t first, int rows);
    bool sendPicture(const PendingWrite &pending);
    bool sendPending(size_t end);
    bool holdsPending();
    bool replay();
    size_t firstFailingWrite();
    bool dropWriteAtFault(size_t refused);
    bool recover(size_t refused);
    void waitForStore();
    void tryAgain();
    void onReachabilityKnown();

    const QString connectionName;
    std::unique_ptr<StoreLocation> location; // of the connection, open or waited for; or null
    QString openProjectDir; // the project directory and configured store of location
    QString openConfigured;
    QString failedKey; // the last store that could not be opened; warned about once
    std::unique_ptr<Statements> statements; // prepared on the open connection; null while closed
    std::vector<PendingWrite> journal; // every write since the last commit, in order
    size_t applied = 0; // the writes at the journal's start that the open group holds
    // Records that the open group stores, or found stored, and has not removed since: an
    // update finds them, as the group writes in order and holds the locks of what it wrote.
    QSet<QString> groupRecords;
    QTimer *groupTimer;
    QTimer *retryTimer;
    QFutureWatcher<bool> *reachability; // whether the waited-for store answers, asked off thread
    bool groupOpen = false; // a transaction holds writes that are not yet committed
    bool readOnly = false; // the open file could only be opened for reading
    bool waiting = false; // the store did not take the journal; it is tried again later
    int groupsSinceCheckpoint = 0;
    QFuture<void> checkpointing;
};
