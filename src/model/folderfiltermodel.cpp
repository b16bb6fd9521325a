#include "model/folderfiltermodel.h"

#include "model/foldermodel.h"
#include "model/itemfields.h"
#include "model/mediatypes.h"

// The filter reads the model's records and paths, never its data(): showing an item is what
// starts its probing, and a search must not probe a whole library.
FolderFilterModel::FolderFilterModel(FolderModel *folders, QObject *parent)
    : QSortFilterProxyModel(parent), folders(folders)
{
    setRecursiveFilteringEnabled(true);
    // A role that no change of the model names: an item's change never moves its row, which
    // would cost a sort of its folder each time, since the order comes from what does not
    // change (names), or changes only with a reset or a new row (type, length).
    setSortRole(kSortRole);
    setSourceModel(folders);
    sort(0);
    // Jobs find items invalid without a change that the view hears of, unless it shows them.
    connect(folders, &FolderModel::loadFolderEnded, this, [this] {
        if (onlyInvalid)
            invalidateFilter();
    });
}

void FolderFilterModel::setText(const QString &text)
{
    if (text == filterText)
        return;
    filterText = text;
    refilter();
}

void FolderFilterModel::setTypes(const QStringList &types)
{
    if (types == filterTypes)
        return;
    filterTypes = types;
    refilter();
}

void FolderFilterModel::setInvalidOnly(bool invalidOnly)
{
    if (invalidOnly == onlyInvalid)
        return;
    onlyInvalid = invalidOnly;
    refilter();
}

void FolderFilterModel::setSortKey(const QString &sortKey)
{
    if (sortKey == key)
        return;
    key = sortKey;
    invalidate();
    emit sortKeyChanged();
}

// By the model's keys and records, never its data(), like the filter.
bool FolderFilterModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    if (!left.parent().isValid())
        return left.row() < right.row();
    const int a = int(left.internalId());
    const int b = int(right.internalId());
    const bool isFolderA = folders->childListOf(a) != nullptr;
    const bool isFolderB = folders->childListOf(b) != nullptr;
    if (isFolderA != isFolderB)
        return isFolderA;
    if (key == QLatin1String("type")) {
        const int byType = QString::compare(typeOf(a), typeOf(b));
        if (byType != 0)
            return byType < 0;
    } else if (key == QLatin1String("length")) {
        const int lengthA = lengthOf(a);
        const int lengthB = lengthOf(b);
        if (lengthA != lengthB)
            return lengthA < lengthB;
    }
    // Siblings' keys differ in their names alone: the folder before, the ordinal after.
    const QString keyA = folders->keyOf(a);
    const QString keyB = folders->keyOf(b);
    const QStringRef nameA = keyA.leftRef(keyA.lastIndexOf(QLatin1Char(':')));
    const QStringRef nameB = keyB.leftRef(keyB.lastIndexOf(QLatin1Char(':')));
    const int byName = nameA.compare(nameB, Qt::CaseInsensitive);
    return byName != 0 ? byName < 0 : nameA.compare(nameB, Qt::CaseSensitive) < 0;
}

int FolderFilterModel::lengthOf(int id) const
{
    const auto record = folders->itemRecords().constFind(id);
    return record != folders->itemRecords().constEnd() ? record->info().timeLenMsec() : 0;
}

bool FolderFilterModel::isFiltering() const
{
    return !filterText.isEmpty() || !filterTypes.isEmpty() || onlyInvalid;
}

QModelIndex FolderFilterModel::indexOfId(int id) const
{
    return mapFromSource(folders->indexOfId(id));
}

void FolderFilterModel::refilter()
{
    invalidateFilter();
    emit filterChanged();
}

bool FolderFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (!isFiltering())
        return true;
    const int id = int(folders->index(sourceRow, 0, sourceParent).internalId());
    return accepts(id, rootNameStart(folders->rootOf(id)));
}

// The path from the root's name on holds the names of the item and of the folders above it.
bool FolderFilterModel::accepts(int id, int rootNameStart) const
{
    if (!folders->pathOf(id).midRef(rootNameStart).contains(filterText, Qt::CaseInsensitive))
        return false;
    if (!filterTypes.isEmpty() && !filterTypes.contains(typeOf(id)))
        return false;
    const QVariant valid = folders->itemRecords().value(id).value(ItemRecord::IsValid);
    return !onlyInvalid || (valid.isValid() && !valid.toBool());
}

int FolderFilterModel::rootNameStart(int rootId) const
{
    return folders->pathOf(rootId).lastIndexOf(QLatin1Char('/'), -2) + 1; // "C:/" is a name
}

int FolderFilterModel::matchCount() const
{
    int count = 0;
    for (int row = 0; row < folders->rowCount(); ++row) {
        const int rootId = int(folders->index(row, 0).internalId());
        count += matchesBelow(rootId, rootNameStart(rootId));
    }
    return count;
}

int FolderFilterModel::matchesBelow(int folderId, int rootNameStart) const
{
    const ChildListPtr rows = folders->childListOf(folderId);
    if (!rows)
        return 0;
    int count = 0;
    for (int id : qAsConst(*rows)) {
        if (folders->childListOf(id))
            count += matchesBelow(id, rootNameStart);
        else
            count += int(accepts(id, rootNameStart));
    }
    return count;
}

// As the view shows it: by the record once the item has one, else by the name.
QString FolderFilterModel::typeOf(int id) const
{
    const QString recorded = folders->itemRecords().value(id).type();
    if (!recorded.isEmpty())
        return recorded;
    if (folders->childListOf(id))
        return ItemType::folder;
    const QString types[] = {{},
                             ItemType::audio,
                             ItemType::picture,
                             ItemType::video,
                             ItemType::office}; // by MediaClass
    return types[int(mediaClassOf(folders->pathOf(id)))];
}
