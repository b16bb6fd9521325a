#include "model/buildqueue.h"
#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "model/mediatypes.h"
#include "probe/itemprobes.h"

#include <QFileInfo>
#include <QUrl>

QModelIndex FolderModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column != 0)
        return {};
    if (!parent.isValid())
        return row < tree.rootCount() ? createIndex(row, column, quintptr(tree.rootAt(row).rootId))
                                      : QModelIndex();
    if (parent.column() != 0)
        return {};
    const ChildListPtr list = tree.childListOf(int(parent.internalId()));
    if (!list || row >= list->size())
        return {};
    return createIndex(row, column, quintptr(list->at(row)));
}

QModelIndex FolderModel::indexOfId(int id) const
{
    const ItemNode node = tree.node(id);
    return node.row >= 0 ? createIndex(node.row, 0, quintptr(id)) : QModelIndex();
}

QModelIndex FolderModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    const ItemNode node = tree.node(int(child.internalId()));
    return node.parentId != 0 ? indexOfId(node.parentId) : QModelIndex();
}

int FolderModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return tree.rootCount();
    if (parent.column() != 0)
        return 0;
    const ChildListPtr list = tree.childListOf(int(parent.internalId()));
    return list ? list->size() : 0;
}

int FolderModel::columnCount(const QModelIndex &) const
{
    return 1;
}

int FolderModel::rootCount() const
{
    return tree.rootCount();
}

QHash<int, QByteArray> FolderModel::roleNames() const
{
    return {{FileInfoRole, QByteArrayLiteral("fileInfo")}};
}

// Every call composes the item's map and keeps its record up to date, whatever the role:
// showing an item is what records it and starts its probing. Standard views and
// accessibility get the name for the display role and nothing for Qt's other roles.
QVariant FolderModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const ItemRecord item = const_cast<FolderModel *>(this)->showItem(index);
    if (role == Qt::DisplayRole)
        return item.name();
    if (role < Qt::UserRole)
        return {};
    return item.toMap(index);
}

// Any change to an item makes the view read it and its siblings again; the value is not
// used, the record holds the truth.
bool FolderModel::setData(const QModelIndex &index, const QVariant &, int role)
{
    announceRowsBeside(index, {role});
    return true;
}

void FolderModel::notify(const QModelIndex &index)
{
    if (index.isValid())
        setData(index, QVariant(), FileInfoRole);
}

void FolderModel::refreshRowsBeside(const QModelIndex &index)
{
    announceRowsBeside(index, {});
}

void FolderModel::announceRowsBeside(const QModelIndex &index, const QVector<int> &roles)
{
    const QModelIndex folder = parent(index);
    const int rows = rowCount(folder);
    if (rows > 0)
        emit dataChanged(this->index(0, 0, folder), this->index(rows - 1, 0, folder), roles);
}

void FolderModel::insertRow(int parentId, int row, int id)
{
    const ChildListPtr siblings = tree.childListOf(parentId);
    beginInsertRows(indexOfId(parentId), row, row);
    siblings->insert(row, id);
    tree.attach(id, parentId, row);
    tree.renumberRows(*siblings, row);
    endInsertRows();
}

void FolderModel::takeRow(int parentId, int row)
{
    const ChildListPtr siblings = tree.childListOf(parentId);
    beginRemoveRows(indexOfId(parentId), row, row);
    tree.nodeOf(siblings->at(row)).row = -1;
    siblings->remove(row);
    tree.renumberRows(*siblings, row);
    endRemoveRows();
}

void FolderModel::removeRow(int id)
{
    const ItemNode node = tree.node(id);
    takeRow(node.parentId, node.row);
    build->queue(id, Remove);
    build->scheduleBuild();
}

// Rows of a folder, or roots for the id 0, added after the last.
void FolderModel::beginAppendRows(int parentId, int count)
{
    const int first = parentId == 0 ? tree.rootCount() : tree.childListOf(parentId)->size();
    beginInsertRows(indexOfId(parentId), first, first + count - 1);
}

void FolderModel::endAppendRows()
{
    endInsertRows();
}

void FolderModel::beginResetTree()
{
    beginResetModel();
}

void FolderModel::endResetTree()
{
    endResetModel();
}

namespace {

// What a known item's record is given when it is shown and lacks it.
void fillMissing(ItemRecord &record, const QString &uuid, const QString &name)
{
    if (!record.has(ItemRecord::TranscodeProgress))
        record.setTranscodeProgress(-1);
    if (!record.has(ItemRecord::AsyncCompleted))
        record.setAsyncCompleted(false);
    if (!record.has(ItemRecord::IsValid))
        record.setIsValid(true);
    if (!record.has(ItemRecord::IsTranscoded))
        record.setIsTranscoded(false);
    if (!record.has(ItemRecord::Uuid))
        record.setUuid(uuid);
    if (!record.has(ItemRecord::Name))
        record.setName(name);
}

} // namespace

ItemRecord FolderModel::showItem(const QModelIndex &index)
{
    const int id = int(index.internalId());
    const QString path = tree.pathOf(id);
    const QFileInfo file(path);
    ItemRecord item;
    item.setFileIdx(id);
    item.markShown();
    item.setExists(file.exists());
    item.setName(file.isRoot() ? path : file.fileName());
    item.setUuid(tree.uuidOf(id));
    item.setAsyncCompleted(true);
    item.setIsValid(true);
    item.setTranscodeProgress(-1);
    item.setIsTranscoded(false);

    QMap<int, ItemRecord> &records = tree.itemRecords();
    const auto found = records.find(id);
    const ItemRecord *known = found != records.end() ? &*found : nullptr;
    if (known) {
        fillMissing(*found, tree.uuidOf(id), item.name());
        found->markShown();
    }

    // A folder stays one when it is gone from disk, whatever its name says.
    if (file.isDir() || (!file.exists() && tree.isFolder(id))) {
        item.setType(ItemType::folder);
        item.setIsIcon(false);
        item.setImg(QUrl(BuiltinImage::folder));
        records.insert(id, item);
        return item;
    }

    // A known item keeps its record's completion and validity, and these where its type has
    // them.
    bool keepsTranscode = false;
    QVector<FileTaskType> jobs; // what a new item asks for
    MediaClass shownAs = mediaClassOf(item.name());
    if (shownAs == MediaClass::Video && known && known->type() == ItemType::audio)
        shownAs = MediaClass::Audio; // its probe found nothing but sound
    switch (shownAs) {
    case MediaClass::Audio:
        item.setType(ItemType::audio);
        item.setIcon(IconGlyph::music);
        item.setIsIcon(false);
        item.setImg(QUrl(BuiltinImage::music));
        jobs = {AudioProbe};
        break;
    case MediaClass::Picture:
        item.setType(ItemType::picture);
        item.setIcon(IconGlyph::file);
        item.setImg(QUrl(withFileUrlPrefix(file.absoluteFilePath())));
        item.setIsIcon(false);
        jobs = {PictureLoad};
        break;
    case MediaClass::Video: {
        item.setType(ItemType::video);
        item.setIcon(IconGlyph::file);
        item.setIsIcon(false);
        const QString thumbnail = known ? known->img().toString() : QString();
        const bool hasThumbnail = !thumbnail.isEmpty() && QFileInfo::exists(thumbnail);
        item.setImg(QUrl(hasThumbnail ? withFileUrlPrefix(thumbnail) : BuiltinImage::dummy));
        keepsTranscode = true;
        jobs = {VideoThumbnail, VideoProbe};
        break;
    }
    case MediaClass::Office:
        item.setType(ItemType::office);
        item.setIcon(IconGlyph::presentation);
        item.setIsIcon(true);
        item.setImg(QUrl(BuiltinImage::dummy));
        jobs = {OfficeCapture};
        break;
    case MediaClass::None:
        return item;
    }

    if (known) {
        item.setAsyncCompleted(known->isAsyncCompleted());
        item.setIsValid(known->isValid());
        if (known->has(ItemRecord::Reason))
            item.setReason(known->reason());
        if (keepsTranscode) {
            item.setTranscodeProgress(known->transcodeProgress());
            item.setIsTranscoded(known->isTranscoded());
        }
    } else {
        // The first showing of a media file records it, and asks for its probing unless
        // its build did.
        item.setAsyncCompleted(false);
        records.insert(id, item);
    }
    if (!file.exists())
        item.setReason(ItemRecord::Flaw::Gone);
    if (!tree.node(id).jobsAsked)
        probes->requestJobs(id, index, jobs);
    else if (!item.isAsyncCompleted())
        probes->runner()->preferJobsOf(id);
    return item;
}
