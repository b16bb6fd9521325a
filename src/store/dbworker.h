#pragma once

#include "store/module_mediainfo.h"

#include <QMap>
#include <QObject>

class QTimer;
class Ui_Proc_MediaInfo_Desktop;

// Collects media-info records and writes them in one list, at most once a second, through a
// store connection of its own. While a folder is being added it holds the records back;
// whatever is pending when it is destroyed is written then.
class DBWorker : public QObject
{
    Q_OBJECT
public:
    explicit DBWorker(QObject *parent);
    ~DBWorker() override;

    // Files a record for the next write; a later record under the same uuid replaces it.
    void enqueue(const Module_Mediainfo &record);

public slots:
    void onAddingFolder(bool adding);

private slots:
    void flush();

private:
    void writePending();

    bool addingFolder = false;
    QTimer *timer;
    Ui_Proc_MediaInfo_Desktop *store;
    QMap<QString, Module_Mediainfo> pending; // by uuid, written in ascending key order
};
