#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "model/mediatypes.h"
#include "probe/stillinfo.h"

#include <QFileInfo>

namespace {

bool isMediaFile(const QString &path)
{
    return isPicture(path) || isVideo(path) || isAudio(path) || isOffice(path);
}

} // namespace

// Replaces the tree by the roots stored in an earlier run.
void FolderModel::rebuildFromStore()
{
    for (int id : rootIds())
        removeItem(id);
    idToKey.clear();
    keyToId.clear();
    idToUuid.clear();
    rootOrdinal = -1;
    while (!restoreGroups.isEmpty())
        rebuildRoot(restoreGroups.takeFirst().entries);
    beginResetModel();
    endResetModel();
}

// One stored root. Items keep the uuids they were stored under; rows come in ascending
// path order. Videos keep their thumbnails and are probed again, pictures read again,
// presentations come back complete.
void FolderModel::rebuildRoot(QVector<RestoreEntry> entries)
{
    ++rootOrdinal;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const RestoreEntry &a, const RestoreEntry &b) { return a.path < b.path; });
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const RestoreEntry &a, const RestoreEntry &b) {
                                  return a.path == b.path;
                              }),
                  entries.end());
    if (entries.isEmpty())
        return;

    const int rootId = fileIndex(itemKey(entries.first().path, rootOrdinal));
    roots.append(RootEntry{rootId, {}});
    ChildLists &folders = roots.last().childLists;
    for (const RestoreEntry &entry : qAsConst(entries)) {
        const int id = fileIndex(itemKey(entry.path, rootOrdinal));
        idToUuid.insert(id, entry.record.uuid);
        if (!isMediaFile(entry.path))
            folders.insert(id, ChildListPtr::create());
    }

    for (const RestoreEntry &entry : qAsConst(entries)) {
        const QFileInfo file(entry.path);
        if (file.isRoot())
            continue;
        const int id = idOfKey(itemKey(entry.path, rootOrdinal));
        const ChildListPtr siblings
                = folders.value(idOfKey(itemKey(file.absolutePath(), rootOrdinal)));
        if (!siblings)
            continue; // the root itself, or a path outside this root's folders
        siblings->append(id);
        const QString img = withoutFileUrlPrefix(entry.record.img);
        QVariantMap &record = records[id];
        if (isVideo(entry.path)) {
            record.insert(ItemField::type, ItemType::video);
            record.insert(ItemField::isTranscoded, entry.record.isTranscoded);
            record.insert(ItemField::img, img);
            post(VideoProbe, id);
        } else if (isOffice(entry.path)) {
            record.insert(ItemField::type, ItemType::office);
            record.insert(ItemField::info, presentationInfo(img));
            record.insert(ItemField::asyncCompleted, true);
        } else if (isAudio(entry.path)) {
            record.insert(ItemField::type, ItemType::audio);
            post(AudioProbe, id);
        } else if (isPicture(entry.path)) {
            record.insert(ItemField::type, ItemType::picture);
            record.insert(ItemField::img, img);
            post(PictureLoad, id);
        }
    }
}
