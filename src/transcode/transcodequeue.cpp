// The transcodes waiting and running, as the page lists them and as the next start finds
// them: the queue is kept in the project directory whenever it changes, and put back once
// the stored tree is.

#include "model/itemtree.h"
#include "model/modelhooks.h"
#include "store/utility_commparam.h"
#include "transcode/outputname.h"
#include "transcode/transcodeparams.h"
#include "transcode/transcoderequests.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

const QString kQueueFile = QStringLiteral("/transcodequeue.json");
const QString kUuid = QStringLiteral("uuid"); // of a tree item's job
constexpr double kMsecPerSecond = 1000.0;

QString queueFilePath()
{
    return Utility_CommParam::getInstance()->getProjectPath() + kQueueFile;
}

} // namespace

QVector<Job> TranscodeRequests::queuedJobs() const
{
    QVector<Job> jobs = runner->waitingTranscodes();
    if (const Job running = runner->runningTranscode())
        jobs.prepend(running);
    return jobs;
}

// Running first, then in the order they will run. The time left comes from the rate at
// which the running transcode has come so far.
QVariantList TranscodeRequests::queueEntries() const
{
    QVariantList entries;
    const QVector<Job> jobs = queuedJobs();
    for (const Job &job : qAsConst(jobs)) {
        const bool isRunning = job == runner->runningTranscode();
        const bool ofTree = belongsToTree(job->params);
        const QString path = ofTree ? tree.pathOf(job->fileIdx)
                                    : job->params.value(TranscodeParam::externalPath).toString();
        QVariantMap entry{{QStringLiteral("fileIdx"), ofTree ? job->fileIdx : -1},
                          {QStringLiteral("path"), path},
                          {QStringLiteral("type"),
                           codecOfType().key(job->params.value(TranscodeParam::codec).toInt())},
                          {QStringLiteral("running"), isRunning},
                          {QStringLiteral("progress"), isRunning ? runningPercent : 0},
                          {QStringLiteral("secondsLeft"), -1}};
        if (isRunning && runningPercent > 0)
            entry.insert(QStringLiteral("secondsLeft"),
                         qRound(runningClock.elapsed() / kMsecPerSecond * (100 - runningPercent)
                                / runningPercent));
        entries << entry;
    }
    return entries;
}

void TranscodeRequests::queueChanged()
{
    emit transcodeQueueChanged();
    QJsonArray stored;
    const QVector<Job> jobs = queuedJobs();
    for (const Job &job : qAsConst(jobs)) {
        QJsonObject entry = QJsonObject::fromVariantMap(job->params);
        entry.remove(TranscodeParam::outputPath);
        entry.remove(TranscodeParam::partialPath);
        if (belongsToTree(job->params))
            entry.insert(kUuid, tree.uuidOf(job->fileIdx));
        stored.append(entry);
    }
    QSaveFile file(queueFilePath());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(stored).toJson(QJsonDocument::Compact));
        file.commit();
    }
}

// Jobs of items that are no longer there are dropped; one that was running starts over, its
// partial output removed when it starts.
void TranscodeRequests::resumeStoredQueue()
{
    QFile file(queueFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonArray stored = QJsonDocument::fromJson(file.readAll()).array();
    file.close();
    QHash<QString, int> idOfUuid;
    for (auto record = tree.itemRecords().cbegin(); record != tree.itemRecords().cend(); ++record)
        idOfUuid.insert(tree.uuidOf(record.key()), record.key());
    QVector<int> requested;
    for (const QJsonValue &value : stored) {
        QJsonObject entry = value.toObject();
        const QString uuid = entry.take(kUuid).toString();
        QVariantMap params = entry.toVariantMap();
        if (!belongsToTree(params)) {
            const QString path = params.value(TranscodeParam::externalPath).toString();
            externalTranscodes.insert(
                    path, {params.value(TranscodeParam::externalUuid).toString(), true});
            queueTranscode(0, {}, params);
            continue;
        }
        const int id = idOfUuid.value(uuid, -1);
        if (id != -1) {
            requestItemTranscode(id, params);
            requested << id;
        }
    }
    notifyRowsOf(requested);
    queueChanged();
}
