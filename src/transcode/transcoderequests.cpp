#include "transcode/transcoderequests.h"

#include "model/itemfields.h"
#include "model/itemtree.h"
#include "model/modelhooks.h"
#include "transcode/outputname.h"
#include "transcode/transcodeparams.h"
#include "transcode/ui_proc_transcodingtool_desktop.h"

namespace {

// The target format by name, in any letter case; an unknown name leaves the codec out.
QVariantMap requestParams(const QString &type, int w, int h, bool fromFolder)
{
    QVariantMap params{{TranscodeParam::width, w},
                       {TranscodeParam::height, h},
                       {TranscodeParam::isFromFolder, fromFolder}};
    const QString format = type.toUpper();
    if (format == QLatin1String("HAP"))
        params.insert(TranscodeParam::codec, int(UI_Proc_TranscodingTool_Desktop::Hap));
    else if (format == QLatin1String("H264"))
        params.insert(TranscodeParam::codec, int(UI_Proc_TranscodingTool_Desktop::H264));
    return params;
}

} // namespace

TranscodeRequests::TranscodeRequests(ItemTree &tree, TreeEdits &edits, ModelSteps &steps,
                                     ProbeRunner *runner, BuildQueue *build,
                                     Ui_Proc_MediaInfo_Desktop *store, QObject *parent)
    : QObject(parent)
    , tree(tree)
    , edits(edits)
    , steps(steps)
    , runner(runner)
    , build(build)
    , store(store)
    , tool(new UI_Proc_TranscodingTool_Desktop(this, 1))
{
    connect(runner, &ProbeRunner::transcodeDue, this, &TranscodeRequests::startTranscodeJob);
}

// Transcodes wait in the one job queue like any probe, and start on a later pass of the event
// loop at the earliest.
void TranscodeRequests::queueTranscode(int idx, const QModelIndex &index, const QVariantMap &params)
{
    const Job job = Job::create(Transcode, idx, index);
    job->params = params;
    runner->enqueue(job);
}

// A transcode of a tree item.
void TranscodeRequests::onTranscode(int idx, const QString &type, int w, int h)
{
    if (!tree.isIndexed(idx))
        return;
    ItemRecord &record = tree.record(idx);
    const QModelIndex index = record.modelIdx();
    record.setTranscodeProgress(0);
    edits.notify(index);
    queueTranscode(idx, index, requestParams(type, w, h, true));
}

// A transcode of a file outside the tree, registered by path beforehand.
void TranscodeRequests::onTranscode(const QString &path, const QString &type, int w, int h)
{
    ExternalTranscode &file = externalTranscodes[path];
    QVariantMap params = requestParams(type, w, h, false);
    params.insert(TranscodeParam::externalPath, path);
    params.insert(TranscodeParam::externalUuid, file.uuid);
    file.active = true;
    watchedOutputPath.clear();
    emit beginVideoFileTranscoding(file.uuid);
    queueTranscode(0, {}, params);
}

void TranscodeRequests::startTranscodeJob(const Job &job)
{
    FileTask &task = *job;
    transcoding = true;
    QString source;
    QString jobId;
    if (task.params.value(TranscodeParam::isFromFolder).toBool()) {
        source = tree.pathOf(task.fileIdx);
        jobId = tree.uuidOf(task.fileIdx);
    } else {
        source = task.params.value(TranscodeParam::externalPath).toString();
        jobId = task.params.value(TranscodeParam::externalUuid).toString();
    }
    const QString output = transcodeOutputPath(source);
    task.params.insert(TranscodeParam::outputPath, output);
    runningTranscodeUuid = jobId;
    tool->transcodeOne(jobId, source, output, task.params.value(TranscodeParam::codec).toInt(),
                       task.params.value(TranscodeParam::width).toInt(),
                       task.params.value(TranscodeParam::height).toInt(), -1, -1, -1);
}

bool TranscodeRequests::isOutputUnderWay(const QString &path) const
{
    const Job running = runner->runningTranscode();
    return running && running->params.value(TranscodeParam::outputPath).toString() == path;
}
