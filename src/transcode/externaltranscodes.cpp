#include "store/ui_proc_mediainfo_desktop.h"
#include "transcode/transcoderequests.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

void TranscodeRequests::onRegisterExternalTranscodeFile(const QString &file, const QString &uuid)
{
    externalTranscodes.insert(file, {uuid, false});
}

bool TranscodeRequests::checkExternalTranscoding(const QString &path) const
{
    return externalTranscodes.value(path).active;
}

// The host lists the files of its signal list; the output of the last completed path job,
// once listed, marks the listed file's stored record as transcoded.
void TranscodeRequests::onMonitoringSignalList(const QString &json)
{
    if (watchedOutputPath.isEmpty())
        return;
    const QJsonObject entry = QJsonDocument::fromJson(json.toUtf8()).object();
    const QString filePath = entry.value(QStringLiteral("FilePath")).toString();
    const QFileInfo file(filePath);
    if (filePath.isEmpty() || !file.baseName().startsWith(QStringLiteral("VEK_"))
        || file.absoluteFilePath() != watchedOutputPath)
        return;
    watchedOutputPath.clear();
    Module_Mediainfo record = store->getMediaInfo(entry.value(QStringLiteral("FileID")).toString());
    if (record.uuid.isEmpty())
        return;
    record.isTranscoded = true;
    store->updateMediaInfo(record);
}

void TranscodeRequests::onCheckTranscodeMark(const QString &uuid)
{
    const Module_Mediainfo record = store->getMediaInfo(uuid);
    emit transcodeMarkFound(uuid, !record.uuid.isEmpty() && record.isTranscoded);
}
