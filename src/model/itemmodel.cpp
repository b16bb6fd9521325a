#include "model/buildqueue.h"
#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "model/itemprobes.h"
#include "model/mediatypes.h"

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
    const QVariantMap item = const_cast<FolderModel *>(this)->showItem(index);
    if (role == Qt::DisplayRole)
        return item.value(ItemField::name);
    if (role < Qt::UserRole)
        return {};
    return item;
}

// Any change to an item makes the view read it and its siblings again; the value is not
// used, the record holds the truth.
bool FolderModel::setData(const QModelIndex &index, const QVariant &, int role)
{
    const QModelIndex parentIndex = parent(index);
    const int rows = rowCount(parentIndex);
    if (rows > 0)
        emit dataChanged(this->index(0, 0, parentIndex), this->index(rows - 1, 0, parentIndex),
                         {role});
    return true;
}

void FolderModel::notify(const QModelIndex &index)
{
    if (index.isValid())
        setData(index, QVariant(), FileInfoRole);
}

void FolderModel::refreshRowsBeside(const QModelIndex &index)
{
    const QModelIndex folder = parent(index);
    const int rows = rowCount(folder);
    if (rows > 0)
        emit dataChanged(this->index(0, 0, folder), this->index(rows - 1, 0, folder));
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

void fillMissing(QVariantMap &record, const QString &key, const QVariant &value)
{
    if (!record.contains(key))
        record.insert(key, value);
}

void copyFrom(const QVariantMap &record, QVariantMap &item, const QStringList &keys)
{
    for (const QString &key : keys)
        item.insert(key, record.value(key));
}

} // namespace

QVariantMap FolderModel::showItem(const QModelIndex &index)
{
    const int id = int(index.internalId());
    const QString path = tree.pathOf(id);
    const QFileInfo file(path);
    QVariantMap item{{ItemField::fileIdx, id},
                     {ItemField::modelIdx, QVariant::fromValue(index)},
                     {ItemField::exists, file.exists()},
                     {ItemField::name, file.isRoot() ? path : file.fileName()},
                     {ItemField::uuid, tree.uuidOf(id)},
                     {ItemField::asyncCompleted, true},
                     {ItemField::isValid, true},
                     {ItemField::transcodeProgress, -1},
                     {ItemField::isTranscoded, false}};

    const auto found = tree.itemRecords().find(id);
    const bool hasRecord = found != tree.itemRecords().end();
    if (hasRecord) {
        QVariantMap &record = *found;
        fillMissing(record, ItemField::transcodeProgress, -1);
        fillMissing(record, ItemField::asyncCompleted, false);
        fillMissing(record, ItemField::isValid, true);
        fillMissing(record, ItemField::isTranscoded, false);
        fillMissing(record, ItemField::uuid, tree.uuidOf(id));
        fillMissing(record, ItemField::name, item.value(ItemField::name));
        record.insert(ItemField::modelIdx, QVariant::fromValue(index));
    }

    // A folder stays one when it is gone from disk, whatever its name says.
    if (file.isDir() || (!file.exists() && tree.childListOf(id))) {
        item.insert(ItemField::type, ItemType::folder);
        item.insert(ItemField::isIcon, false);
        item.insert(ItemField::img, QUrl(BuiltinImage::folder));
        tree.itemRecords().insert(id, item);
        return item;
    }

    const QVariantMap record = hasRecord ? *found : QVariantMap();
    QStringList kept; // what a known item keeps from its record
    QVector<FileTaskType> jobs; // what a new item asks for
    switch (mediaClassOf(item.value(ItemField::name).toString())) {
    case MediaClass::Audio:
        item.insert(ItemField::type, ItemType::audio);
        item.insert(ItemField::icon, IconGlyph::music);
        item.insert(ItemField::isIcon, false);
        item.insert(ItemField::img, QUrl(BuiltinImage::music));
        kept = QStringList{ItemField::asyncCompleted, ItemField::isValid};
        jobs = {AudioProbe};
        break;
    case MediaClass::Picture:
        item.insert(ItemField::type, ItemType::picture);
        item.insert(ItemField::icon, IconGlyph::file);
        item.insert(ItemField::img, QUrl(withFileUrlPrefix(file.absoluteFilePath())));
        item.insert(ItemField::isIcon, false);
        kept = QStringList{ItemField::asyncCompleted, ItemField::isValid};
        jobs = {PictureLoad};
        break;
    case MediaClass::Video: {
        item.insert(ItemField::type, ItemType::video);
        item.insert(ItemField::icon, IconGlyph::file);
        item.insert(ItemField::isIcon, false);
        const QString thumbnail = record.value(ItemField::img).toString();
        const bool hasThumbnail = !thumbnail.isEmpty() && QFileInfo::exists(thumbnail);
        item.insert(ItemField::img,
                    QUrl(hasThumbnail ? withFileUrlPrefix(thumbnail) : BuiltinImage::dummy));
        kept = QStringList{ItemField::asyncCompleted, ItemField::isValid,
                           ItemField::transcodeProgress, ItemField::isTranscoded};
        jobs = {VideoThumbnail, VideoProbe};
        break;
    }
    case MediaClass::Office:
        item.insert(ItemField::type, ItemType::office);
        item.insert(ItemField::icon, IconGlyph::presentation);
        item.insert(ItemField::isIcon, true);
        item.insert(ItemField::img, QUrl(BuiltinImage::dummy));
        kept = QStringList{ItemField::asyncCompleted};
        jobs = {OfficeCapture};
        break;
    case MediaClass::None:
        return item;
    }

    if (hasRecord) {
        copyFrom(record, item, kept);
    } else {
        // The first showing of a media file records it, and asks for its probing unless
        // its build did.
        item.insert(ItemField::asyncCompleted, false);
        tree.itemRecords().insert(id, item);
    }
    if (!tree.node(id).jobsAsked)
        probes->requestJobs(id, index, jobs);
    return item;
}
