#include "model/diskfollower.h"
#include "model/filestamp.h"
#include "model/fileurl.h"
#include "model/itemfields.h"
#include "model/mediatypes.h"
#include "model/modelhooks.h"
#include "probe/itemprobes.h"
#include "probe/picturedirectory.h"
#include "probe/stillinfo.h"
#include "store/storerestore.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace {

constexpr int kRowsPerInsert = 256; // rows announced together; a few per step

} // namespace

// Stored roots come back one after another, each folder's rows in blocks, so that the
// first rows show at once and no step holds the GUI thread for long. A chain of a restore
// that was superseded ends.
void StoreRestore::rebuildStep()
{
    if (readingStore)
        return;
    if (restoreAsked) {
        startRestore();
        return;
    }
    if (tree.growIdTablesAhead()) {
        steps.post(RebuildFromStore);
        return;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < kStepBudgetNs) {
        if (!storedRoot && !startNextStoredRoot()) {
            runDeferredOperations();
            return;
        }
        restoreRows();
    }
    steps.post(RebuildFromStore);
}

bool StoreRestore::startNextStoredRoot()
{
    if (restoreGroups.isEmpty())
        return false;
    storedRoot = std::make_unique<StoredRoot>();
    StoredRoot &root = *storedRoot;
    root.group = restoreGroups.takeFirst();
    // A root keeps its stored ordinal, so that its records never join those of a root added
    // later; new roots take higher ones.
    root.ordinal = root.group.rootOrdinal;
    tree.keepRootOrdinal(root.ordinal);
    const RestoreEntry &entry = root.group.entries.at(root.group.root);
    root.rootId = ItemTree::newId();
    tree.registerItem(root.rootId, ItemTree::itemKey(entry.path, root.ordinal), entry.uuid);

    RootEntry restored{root.rootId, {}};
    if (entry.isFolder)
        restored.childLists.insert(root.rootId, ChildListPtr::create());
    edits.beginAppendRows(0, 1);
    tree.appendRoot(restored);
    edits.endAppendRows();
    if (entry.isFolder)
        follower->followRestoredFolder(root.rootId, entry.path);
    root.folders.push_back({root.group.root, root.rootId});
    return true;
}

// The next block of rows of the folder at the front; once all are back, the records that
// found no place go.
void StoreRestore::restoreRows()
{
    StoredRoot &root = *storedRoot;
    RootEntry *entry = tree.rootEntry(root.rootId);
    if (!entry || root.folders.empty()) {
        forgetUnplacedEntries();
        return;
    }
    const auto [folder, folderId] = root.folders.front();
    const QVector<int> &children = root.group.children.at(folder);
    const ChildListPtr list = entry->childLists.value(folderId);
    const int count = list ? qMin(kRowsPerInsert, children.size() - root.nextChild) : 0;
    if (count > 0) {
        edits.beginAppendRows(folderId, count);
        for (int i = root.nextChild; i < root.nextChild + count; ++i) {
            const int id = restoreItem(children.at(i), entry->childLists);
            tree.attach(id, folderId, list->size());
            list->append(id);
            const QString path = tree.pathOf(id);
            if (entry->childLists.contains(id) && follower->isFollowable(id, path))
                follower->followRestoredFolder(id, path);
        }
        edits.endAppendRows();
        root.nextChild += count;
    }
    if (!list || root.nextChild >= children.size()) {
        root.folders.pop_front();
        root.nextChild = 0;
    }
}

// Records that no folder of their group holds, such as those left by a removal that a
// crash cut short, can never be shown: they leave the store, with the pictures they name.
void StoreRestore::forgetUnplacedEntries()
{
    QVector<RestoreEntry> &unplaced = storedRoot->group.unplaced;
    const int count = qMin(kRowsPerInsert, unplaced.size());
    for (int i = 0; i < count; ++i) {
        store->delMediaInfo(unplaced.at(i).uuid);
        removeMadePicture(withoutFileUrlPrefix(unplaced.at(i).img));
    }
    unplaced.remove(0, count);
    if (unplaced.isEmpty())
        storedRoot.reset();
}

namespace {

const QString kVideoDetails = QStringLiteral("\"Video\"");
const QString kSoundDetails = QStringLiteral("\"Audio\"");
constexpr int kSoundSide = 400; // as a sound's layer, which its record keeps as its frame

QVariantMap storedMedia(const RestoreEntry &entry)
{
    return {{InfoField::duration, entry.duration},
            {InfoField::fps,
             entry.fps > 0 ? QString::number(entry.fps) + QStringLiteral(" fps") : QString()},
            {InfoField::timeLenMsec, entry.timeLenMsec},
            {InfoField::frameWidth, entry.frameWidth},
            {InfoField::frameHeight, entry.frameHeight},
            {InfoField::detailInfo, entry.detailInfo}};
}

// What the store kept of media that could be shown: a video's size and stream, a sound's
// stream (a video file may hold nothing else), a picture's size. A record that describes
// nothing showable was of a file found invalid, and one of a video file that may have been
// either (a sound's frame beside a stream that may be its cover) is not told apart: both are
// probed again.
QString storedType(const RestoreEntry &entry, const QString &typeByName)
{
    const bool hasSize = entry.frameWidth > 0 && entry.frameHeight > 0;
    const bool hasVideo = entry.detailInfo.contains(kVideoDetails);
    const bool hasSound = entry.detailInfo.contains(kSoundDetails);
    const bool isSoundSized = entry.frameWidth == kSoundSide && entry.frameHeight == kSoundSide;
    if (typeByName == ItemType::audio && hasSound) // a song's cover is a video stream too
        return ItemType::audio;
    if (typeByName == ItemType::video && hasSize && hasVideo && !isSoundSized)
        return ItemType::video;
    if (typeByName == ItemType::video && hasSound && !hasVideo)
        return ItemType::audio;
    if (typeByName == ItemType::picture && hasSize)
        return ItemType::picture;
    return {};
}

} // namespace

// The item is what the store says it was, its jobs not run again; a picture that the store
// names but that is gone is made again.
bool StoreRestore::restoreLearnt(int id, const RestoreEntry &entry, const QString &typeByName)
{
    const QString type = storedType(entry, typeByName);
    if (type.isEmpty())
        return false;
    ItemRecord &record = tree.record(id);
    record.setType(type);
    record.setInfo(ItemInfo::fromMap(type == ItemType::picture
                                             ? pictureInfo(entry.frameWidth, entry.frameHeight)
                                             : storedMedia(entry)));
    if (type == ItemType::audio) {
        ItemInfo info = record.info();
        info.setFrameSize(kSoundSide, kSoundSide);
        record.setInfo(info);
        record.drop(ItemRecord::Img);
    }
    record.setIsValid(true);
    record.setAsyncCompleted(true);
    ItemNode &node = tree.nodeOf(id);
    node.size = entry.fileSize;
    node.modified = entry.fileModified;
    const bool lacksPicture
            = type != ItemType::audio && !QFileInfo::exists(record.img().toString());
    if (lacksPicture)
        record.drop(ItemRecord::Img);
    const QVector<FileTaskType> remake{type == ItemType::video ? VideoThumbnail : PictureLoad};
    probes->requestJobs(id, {}, lacksPicture ? remake : QVector<FileTaskType>{});
    return true;
}

// A picture whose read gave nothing to show, unchanged since, would give nothing again; only
// a read stores a picture's time.
bool StoreRestore::restoreUnread(int id, const RestoreEntry &entry)
{
    if (entry.fileModified <= 0 || (entry.frameWidth > 0 && entry.frameHeight > 0))
        return false;
    tree.record(id).setInfo(ItemInfo::fromMap(pictureInfo(entry.frameWidth, entry.frameHeight)));
    probes->restoreUnreadable(id);
    return true;
}

// Besides its path and uuid an item takes from its record only what its type needs. A file
// that has not changed since its media were stored comes back as it was stored and runs no
// job. Otherwise videos keep their thumbnails and are probed again (a changed one has its
// thumbnail made again), pictures read again, presentations come back complete; a video or
// presentation whose picture was never stored has it made now.
int StoreRestore::restoreItem(int position, ChildLists &childLists)
{
    StoredRoot &root = *storedRoot;
    const RestoreEntry &entry = root.group.entries.at(position);
    const int id = ItemTree::newId();
    tree.registerItem(id, ItemTree::itemKey(entry.path, root.ordinal), entry.uuid);
    if (entry.isFolder) {
        childLists.insert(id, ChildListPtr::create());
        root.folders.push_back({position, id});
        return id;
    }
    QString img = withoutFileUrlPrefix(entry.img);
    ItemRecord &record = tree.record(id);
    // The file as it was when its media were stored: what was learnt of it holds. A record
    // of an earlier version knows no time, and its file is not looked at here.
    const FileStamp stamp = entry.fileModified > 0 ? fileStampOf(entry.path) : FileStamp{-1, -1};
    const bool unchanged = stamp == FileStamp{entry.fileSize, entry.fileModified};
    const bool changed = stamp.second >= 0 && !unchanged;
    if (changed && isVideo(entry.path)) {
        removeMadePicture(img); // of the file as it was
        img.clear();
    }
    if (isVideo(entry.path)) {
        record.setType(ItemType::video);
        record.setIsTranscoded(entry.isTranscoded);
        record.setImg(img);
        if (unchanged && restoreLearnt(id, entry, ItemType::video))
            return id;
        if (img.isEmpty())
            probes->requestJobs(id, {}, {VideoThumbnail, VideoProbe});
        else
            probes->requestJobs(id, {}, {VideoProbe});
    } else if (isOffice(entry.path)) {
        record.setType(ItemType::office);
        if (img.isEmpty()) {
            probes->requestJobs(id, {}, {OfficeCapture});
            return id;
        }
        record.setInfo(ItemInfo::fromMap(presentationInfo(img)));
        record.setAsyncCompleted(true);
        probes->requestJobs(id, {}, {});
    } else if (isAudio(entry.path)) {
        record.setType(ItemType::audio);
        if (!unchanged || !restoreLearnt(id, entry, ItemType::audio))
            probes->requestJobs(id, {}, {AudioProbe});
    } else {
        record.setType(ItemType::picture);
        record.setImg(img);
        if (!unchanged
            || !(restoreLearnt(id, entry, ItemType::picture) || restoreUnread(id, entry)))
            probes->requestJobs(id, {}, {PictureLoad});
    }
    return id;
}
