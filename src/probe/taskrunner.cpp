#include "model/foldermodel.h"
#include "model/itemfields.h"

void FolderModel::runNextTask()
{
    if (taskQueue.empty())
        return;
    const QSharedPointer<FileTask> head = taskQueue.front();
    const bool fromFolder = head->params.value(QStringLiteral("isFromFolder"), true).toBool();
    if (fromFolder && !idToKey.contains(head->fileIdx)) {
        taskQueue.pop_front(); // removed while it waited
        if (!taskQueue.empty())
            post(RunNextTask);
        return;
    }
    // No tool is wired yet: every job ends at once, as a run that wrote nothing.
    finishJob(*takeHeadTask());
}

// The end of a job that a tool ran: its results go into the item's record and the store.
void FolderModel::finishJob(const FileTask &task)
{
    const int id = task.fileIdx;
    if (idToKey.contains(id)) {
        QVariantMap &record = records[id];
        switch (task.taskType()) {
        case AudioProbe: {
            QVariantMap info = record.value(ItemField::info).toMap();
            info.insert(InfoField::frameWidth, 400);
            info.insert(InfoField::frameHeight, 400);
            record.insert(ItemField::info, info);
        }
            Q_FALLTHROUGH();
        case VideoProbe:
        case PictureLoad:
            record.insert(ItemField::isValid, false); // nothing to read
            buildQueue.push_back({id, Save});
            break;
        case OfficeCapture:
            record.insert(ItemField::asyncCompleted, true);
            buildQueue.push_back({id, Save});
            break;
        default:
            break;
        }
        notify(record.value(ItemField::modelIdx).toModelIndex());
    }
    advanceAfterJob();
}

void FolderModel::advanceAfterJob()
{
    if (!buildQueue.empty())
        post(BuildStep);
    if (!taskQueue.empty())
        post(RunNextTask);
}
