#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "model/mediatypes.h"
#include "store/recordmapping.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QFileInfo>

// One build entry per step.
void FolderModel::buildStep()
{
    if (buildQueue.empty())
        return;
    const BuildEntry entry = buildQueue.front();
    buildQueue.pop_front();
    switch (entry.flag) {
    case Add:
        buildItem(entry.id);
        break;
    case Save:
        saveItem(entry.id);
        break;
    case Remove:
        forgetItem(entry.id);
        break;
    }
    if (!buildQueue.empty())
        post(BuildStep);
}

void FolderModel::buildItem(int id)
{
    storeFirstRecord(id);
    const QString path = pathOf(id);
    const auto typeAs = [&](const QString &type) {
        records[id].insert(ItemField::type, type);
    };
    if (isVideo(path)) {
        typeAs(ItemType::video);
        post(VideoThumbnail, id);
        post(VideoProbe, id);
    } else if (isAudio(path)) {
        typeAs(ItemType::audio);
        post(AudioProbe, id);
    } else if (isOffice(path)) {
        typeAs(ItemType::office);
        post(OfficeCapture, id);
    } else if (isPicture(path)) {
        typeAs(ItemType::picture);
        post(PictureLoad, id);
    } else if (id == lastFileId) {
        // A folder ends the load; so does one that vanished since the walk listed it.
        post(LoadEndCheck);
    }
}

void FolderModel::storeFirstRecord(int id)
{
    int rootOrdinal = 0;
    const QString path = splitItemKey(keyOf(id), &rootOrdinal);
    const Module_Mediainfo record = newItemRecord(uuidOf(id), path, rootOrdinal);
    if (store->getMediaInfo(record.uuid).uuid.isEmpty())
        store->addMediaInfo(record);
    else
        store->updateMediaInfo(record);
}

// Writes what the jobs learnt about an item back to its stored record.
void FolderModel::saveItem(int id)
{
    if (!records.contains(id) || !idToKey.contains(id))
        return;
    Module_Mediainfo stored = store->getMediaInfo(uuidOf(id));
    if (!stored.uuid.isEmpty()) {
        fillFromItem(stored, records.value(id), QFileInfo(pathOf(id)).size());
        store->updateMediaInfo(stored);
    }
    if (id == lastFileId)
        post(LoadEndCheck);
}
