#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "model/mediatypes.h"
#include "store/recordmapping.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QElapsedTimer>
#include <QFileInfo>

// Build entries one after another for a few milliseconds a step.
void FolderModel::buildStep()
{
    buildPosted = false;
    QElapsedTimer clock;
    clock.start();
    while (!buildQueue.empty() && clock.nsecsElapsed() < kStepBudgetNs) {
        const BuildEntry entry = buildQueue.front();
        buildQueue.pop_front();
        buildEntry(entry);
    }
    scheduleBuild();
}

void FolderModel::buildEntry(const BuildEntry &entry)
{
    switch (entry.flag) {
    case Add:
        buildItem(entry.id);
        progress->onItemBuilt();
        break;
    case Save:
        saveItem(entry.id);
        break;
    case Remove:
        forgetItem(entry.id);
        break;
    case ReAdd:
        prepareAddingFolders();
        break;
    }
}

// A folder is never typed by its name: "Holiday.mp4" may well be one.
void FolderModel::buildItem(int id)
{
    if (!idToKey.contains(id))
        return;
    const bool isFolder = childListOf(id) != nullptr;
    storeFirstRecord(id, isFolder);
    if (isFolder)
        return;
    const QString path = pathOf(id);
    const auto typeAs = [&](const QString &type, const QVector<FileTaskType> &jobs) {
        records[id].insert(ItemField::type, type);
        if (!nodes.value(id).jobsAsked)
            requestJobs(id, {}, jobs);
    };
    if (isVideo(path))
        typeAs(ItemType::video, {VideoThumbnail, VideoProbe});
    else if (isAudio(path))
        typeAs(ItemType::audio, {AudioProbe});
    else if (isOffice(path))
        typeAs(ItemType::office, {OfficeCapture});
    else if (isPicture(path))
        typeAs(ItemType::picture, {PictureLoad});
}

// The model issued the item's uuid itself, so there is nothing to look up first. A folder's
// path ends with "/", which tells it from a file when the tree comes back.
void FolderModel::storeFirstRecord(int id, bool isFolder)
{
    int rootOrdinal = 0;
    QString path = splitItemKey(keyOf(id), &rootOrdinal);
    if (isFolder && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    store->replaceMediaInfo(newItemRecord(uuidOf(id), path, rootOrdinal));
}

// Writes what the jobs learnt about an item over its stored record, which keeps its other
// fields. A record that is not stored stays so.
void FolderModel::saveItem(int id)
{
    const auto record = records.constFind(id);
    if (record == records.constEnd() || !idToKey.contains(id))
        return;
    Module_Mediainfo learnt;
    learnt.uuid = uuidOf(id);
    fillFromItem(learnt, *record, QFileInfo(pathOf(id)).size());
    store->updateMediaInfoFields(learnt, filledFields(record->value(ItemField::type).toString()));
    unsavedPictures.remove(id);
}
