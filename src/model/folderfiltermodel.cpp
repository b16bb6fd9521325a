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
    setSourceModel(folders);
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
    const QString path = folders->pathOf(id);
    const int nameStart = path.lastIndexOf(QLatin1Char('/'), -2) + 1; // "C:/" is its own name
    if (!path.midRef(nameStart).contains(filterText, Qt::CaseInsensitive))
        return false;
    if (!filterTypes.isEmpty() && !filterTypes.contains(typeOf(id)))
        return false;
    const QVariant valid = folders->itemRecords().value(id).value(ItemRecord::IsValid);
    return !onlyInvalid || (valid.isValid() && !valid.toBool());
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
