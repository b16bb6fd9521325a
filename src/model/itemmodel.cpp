#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "model/mediatypes.h"

#include <QFileInfo>
#include <QUrl>

// An item the walk has not placed yet has no parent either: the row must hold the root.
int FolderModel::rootRow(int id) const
{
    const ItemNode node = nodes.value(id);
    const bool isRoot = node.parentId == 0 && node.row >= 0 && node.row < roots.size()
                        && roots.at(node.row).rootId == id;
    return isRoot ? node.row : -1;
}

RootEntry *FolderModel::rootEntry(int rootId)
{
    const int row = rootRow(rootId);
    return row >= 0 ? &roots[row] : nullptr;
}

void FolderModel::attach(int id, int parentId, int row)
{
    ItemNode &node = nodes[id];
    node.parentId = parentId;
    node.row = row;
}

void FolderModel::insertChild(int parentId, int row, int id)
{
    const ChildListPtr siblings = childListOf(parentId);
    beginInsertRows(indexOfId(parentId), row, row);
    siblings->insert(row, id);
    attach(id, parentId, row);
    renumberRows(*siblings, row);
    endInsertRows();
}

// The rows from `from` on moved: their items learn where they stand now.
void FolderModel::renumberRows(const ChildList &siblings, int from)
{
    for (int row = from; row < siblings.size(); ++row)
        nodes[siblings.at(row)].row = row;
}

void FolderModel::renumberRoots(int from)
{
    for (int row = from; row < roots.size(); ++row)
        nodes[roots.at(row).rootId].row = row;
}

QModelIndex FolderModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column != 0)
        return {};
    if (!parent.isValid())
        return row < roots.size() ? createIndex(row, column, quintptr(roots.at(row).rootId))
                                  : QModelIndex();
    if (parent.column() != 0)
        return {};
    const ChildListPtr list = childListOf(int(parent.internalId()));
    if (!list || row >= list->size())
        return {};
    return createIndex(row, column, quintptr(list->at(row)));
}

QModelIndex FolderModel::indexOfId(int id) const
{
    const ItemNode node = nodes.value(id);
    return node.row >= 0 ? createIndex(node.row, 0, quintptr(id)) : QModelIndex();
}

QModelIndex FolderModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    const ItemNode node = nodes.value(int(child.internalId()));
    return node.parentId != 0 ? indexOfId(node.parentId) : QModelIndex();
}

int FolderModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return roots.size();
    if (parent.column() != 0)
        return 0;
    const ChildListPtr list = childListOf(int(parent.internalId()));
    return list ? list->size() : 0;
}

int FolderModel::columnCount(const QModelIndex &) const
{
    return 1;
}

int FolderModel::rootCount() const
{
    return roots.size();
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
    const QString path = pathOf(id);
    const QFileInfo file(path);
    QVariantMap item{{ItemField::fileIdx, id},
                     {ItemField::modelIdx, QVariant::fromValue(index)},
                     {ItemField::exists, file.exists()},
                     {ItemField::name, file.isRoot() ? path : file.fileName()},
                     {ItemField::uuid, uuidOf(id)},
                     {ItemField::asyncCompleted, true},
                     {ItemField::isValid, true},
                     {ItemField::transcodeProgress, -1},
                     {ItemField::isTranscoded, false}};

    const auto found = records.find(id);
    const bool hasRecord = found != records.end();
    if (hasRecord) {
        QVariantMap &record = *found;
        fillMissing(record, ItemField::transcodeProgress, -1);
        fillMissing(record, ItemField::asyncCompleted, false);
        fillMissing(record, ItemField::isValid, true);
        fillMissing(record, ItemField::isTranscoded, false);
        fillMissing(record, ItemField::uuid, uuidOf(id));
        fillMissing(record, ItemField::name, item.value(ItemField::name));
        record.insert(ItemField::modelIdx, QVariant::fromValue(index));
    }

    // A folder stays one when it is gone from disk, whatever its name says.
    if (file.isDir() || (!file.exists() && childListOf(id))) {
        item.insert(ItemField::type, ItemType::folder);
        item.insert(ItemField::isIcon, false);
        item.insert(ItemField::img, QUrl(BuiltinImage::folder));
        records.insert(id, item);
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
        records.insert(id, item);
    }
    if (!nodes.value(id).jobsAsked)
        requestJobs(id, index, jobs);
    return item;
}
