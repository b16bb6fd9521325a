#pragma once

#include "store/module_mediainfo.h"

#include <QList>
#include <QObject>

// The host's media-info store: one record per item, keyed by uuid, kept in a SQLite file in
// the project directory. Each instance has its own connection to that file, so several
// instances may work on it side by side. A file that cannot be opened or written gives one
// warning and false or an empty result; callers go on without persistence.
class Ui_Proc_MediaInfo_Desktop : public QObject
{
    Q_OBJECT
public:
    explicit Ui_Proc_MediaInfo_Desktop(QObject *parent);
    ~Ui_Proc_MediaInfo_Desktop() override;

    // The stored record, or one with an empty uuid when nothing is stored under uuid.
    Module_Mediainfo getMediaInfo(const QString &uuid);
    bool addMediaInfo(const Module_Mediainfo &record);
    bool updateMediaInfo(const Module_Mediainfo &record);
    bool delMediaInfo(const QString &uuid);
    // Every stored record, in the order in which they were first added.
    QList<Module_Mediainfo> loadMediaObjlist();
    bool addMediaInfoList(const QList<Module_Mediainfo> &records);
    bool replaceMediaInfo(const Module_Mediainfo &record);
    bool commit();

    static QString databaseFileName();

private:
    bool openDatabase();
    void closeDatabase();

    const QString connectionName;
    QString openFile; // database file the connection is open on; empty while closed
    QString failedFile; // last file that could not be opened; warned about once
};
