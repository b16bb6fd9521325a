#include "store/dbworker.h"

#include "store/ui_proc_mediainfo_desktop.h"

#include <QTimer>

namespace {

constexpr int kFlushIntervalMs = 1000; // at most one store write a second

} // namespace

DBWorker::DBWorker(QObject *parent)
    : QObject(parent), timer(new QTimer(this)), store(new Ui_Proc_MediaInfo_Desktop(this))
{
    timer->setInterval(kFlushIntervalMs);
    connect(timer, &QTimer::timeout, this, &DBWorker::flush);
    timer->start();
}

DBWorker::~DBWorker()
{
    if (!pending.isEmpty())
        writePending();
}

void DBWorker::enqueue(const Module_Mediainfo &record)
{
    pending.insert(record.uuid, record);
}

void DBWorker::onAddingFolder(bool adding)
{
    addingFolder = adding;
}

void DBWorker::flush()
{
    if (addingFolder || pending.isEmpty())
        return;
    writePending();
}

void DBWorker::writePending()
{
    store->addMediaInfoList(pending.values());
    pending.clear();
}
