#include "model/itemtree.h"

#include <QUuid>

namespace {

// Ids come from one counter for the whole process and are never reused, not even across
// models or after a model was emptied: a posted step that names a forgotten id can never
// act on a new item by mistake.
qint64 fileIdxCounter = 0;

} // namespace

// Made to its exact size: every item keeps its key for as long as it lives.
QString ItemTree::itemKey(const QString &path, int rootOrdinal)
{
    const QString ordinal = QString::number(rootOrdinal);
    QString key;
    key.reserve(path.size() + 1 + ordinal.size());
    return key.append(path).append(QLatin1Char(':')).append(ordinal);
}

// Cut at the last ":" so that a drive letter's colon stays in the path.
QString ItemTree::splitItemKey(const QString &key, int *rootOrdinal)
{
    const int colon = key.lastIndexOf(QLatin1Char(':'));
    if (rootOrdinal)
        *rootOrdinal = key.midRef(colon + 1).toInt();
    return key.left(colon);
}

int ItemTree::newId()
{
    return int(++fileIdxCounter);
}

int ItemTree::fileIndex(const QString &key)
{
    const auto known = keyToId.constFind(key);
    if (known != keyToId.constEnd())
        return *known;
    const int id = newId();
    keyToId.insert(key, id);
    idToKey.insert(id, key);
    idToUuid.insert(id, QUuid::createUuid());
    return id;
}

QString ItemTree::pathOf(int id) const
{
    const QString key = keyOf(id);
    return key.isEmpty() ? QString() : splitItemKey(key);
}

int ItemTree::rootOrdinalOf(int id) const
{
    int ordinal = 0;
    splitItemKey(keyOf(id), &ordinal);
    return ordinal;
}

// When several roots hold the id, the last one wins.
ChildListPtr ItemTree::childListOf(int id) const
{
    for (auto root = roots.crbegin(); root != roots.crend(); ++root) {
        const ChildListPtr list = root->childLists.value(id);
        if (list)
            return list;
    }
    return {};
}

void ItemTree::registerItem(int id, const QString &key, const QString &uuid)
{
    keyToId.insert(key, id);
    idToKey.insert(id, key);
    const QUuid compact(uuid);
    idToUuid.insert(id, compact);
    if (compact.toString() != uuid)
        uuidTexts.insert(id, uuid);
}

void ItemTree::rekey(int id, const QString &key)
{
    const auto known = idToKey.find(id);
    if (known == idToKey.end())
        return;
    keyToId.remove(*known);
    keyToId.insert(key, id);
    *known = key;
}

QString ItemTree::uuidOf(int id) const
{
    const auto compact = idToUuid.constFind(id);
    if (compact == idToUuid.constEnd())
        return {};
    const auto text = uuidTexts.constFind(id);
    return text != uuidTexts.constEnd() ? *text : compact->toString();
}

int ItemTree::forgetKey(const QString &key)
{
    const auto known = keyToId.find(key);
    if (known == keyToId.end())
        return -1;
    const int id = *known;
    if (!idToKey.contains(id))
        return -1;
    keyToId.erase(known);
    idToKey.remove(id);
    uuidTexts.remove(id);
    return idToUuid.remove(id) ? id : -1;
}

// A hash table grows by placing everything it holds anew at once: for a large library the
// four tables of ids, growing together, would hold the GUI thread for several frames. A step
// that hands out ids first grows the one table that is nearly full, if any, and leaves the rest
// of its time to the next step.
bool ItemTree::growIdTablesAhead()
{
    const int needed = keyToId.size() + kIdsPerStepAtMost;
    const auto grow = [needed](auto &table) {
        if (table.capacity() >= needed)
            return false;
        table.reserve(qMax(needed, table.capacity() * 2));
        return true;
    };
    return grow(keyToId) || grow(idToKey) || grow(idToUuid) || grow(nodes);
}

void ItemTree::attach(int id, int parentId, int row)
{
    ItemNode &node = nodes[id];
    node.parentId = parentId;
    node.row = row;
}

// The rows from `from` on moved: their items learn where they stand now.
void ItemTree::renumberRows(const ChildList &siblings, int from)
{
    for (int row = from; row < siblings.size(); ++row)
        nodes[siblings.at(row)].row = row;
}

void ItemTree::renumberRoots(int from)
{
    for (int row = from; row < roots.size(); ++row)
        nodes[roots.at(row).rootId].row = row;
}

// Whether the item is shown: it and every folder above it up to a root still have rows.
bool ItemTree::isInTree(int id) const
{
    for (ItemNode node = nodes.value(id); node.row >= 0; node = nodes.value(node.parentId)) {
        if (node.parentId == 0)
            return true;
    }
    return false;
}

int ItemTree::rootOf(int id) const
{
    int rootId = id;
    for (ItemNode node = nodes.value(id); node.parentId != 0; node = nodes.value(node.parentId))
        rootId = node.parentId;
    return rootId;
}

// An item the walk has not placed yet has no parent either: the row must hold the root.
int ItemTree::rootRow(int id) const
{
    const ItemNode node = nodes.value(id);
    const bool isRoot = node.parentId == 0 && node.row >= 0 && node.row < roots.size()
                        && roots.at(node.row).rootId == id;
    return isRoot ? node.row : -1;
}

RootEntry *ItemTree::rootEntry(int rootId)
{
    const int row = rootRow(rootId);
    return row >= 0 ? &roots[row] : nullptr;
}

QVector<int> ItemTree::rootIds() const
{
    QVector<int> ids;
    for (const RootEntry &root : roots)
        ids << root.rootId;
    return ids;
}

int ItemTree::appendRoot(const RootEntry &root)
{
    roots.append(root);
    attach(root.rootId, 0, roots.size() - 1);
    return roots.size() - 1;
}

void ItemTree::removeRootAt(int row)
{
    nodes[roots.at(row).rootId].row = -1;
    roots.remove(row);
    renumberRoots(row);
}

void ItemTree::forgetFolder(int id)
{
    for (RootEntry &root : roots)
        root.childLists.remove(id);
}

void ItemTree::clear()
{
    roots.clear();
    nodes.clear();
    records.clear();
    picturesToStore.clear();
    idToKey.clear();
    keyToId.clear();
    idToUuid.clear();
    uuidTexts.clear();
    rootOrdinal = -1;
}
