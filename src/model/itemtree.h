#pragma once

#include "model/itemrecord.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QUuid>
#include <QVector>

// A folder's children, in row order. Shared so that look-ups hand it out without copying.
using ChildList = QVector<int>;
using ChildListPtr = QSharedPointer<ChildList>;
using ChildLists = QHash<int, ChildListPtr>; // folder id -> its children

struct RootEntry
{
    int rootId = 0;
    ChildLists childLists; // every folder below the root, the root itself included
};

// Where an item stands in the tree, kept beside its id so that rows and parents are found
// without searching. The flag shares the row's word, which keeps a node of the table in the
// allocator's next smaller size; compilers pack bit fields only of types of one size.
struct ItemNode
{
    qint64 size = -1; // of a file as last probed; -1 when not known, as after a restore
    qint64 modified = -1; // likewise, in milliseconds since the epoch
    int parentId = 0; // 0 for a root
    int row : 31; // -1 while the item is not in the tree
    unsigned jobsAsked : 1; // its probing was asked for, by the build or by a view

    ItemNode() : row(-1), jobsAsked(0) { }
};
static_assert(sizeof(ItemNode) == 24, "a node is kept for every item");

constexpr int kIdsPerStepAtMost = 16384; // far more than a step has the time to hand out

// The added folders and their files as ids: the index that gives each item its key (path and
// root ordinal) and uuid, where each item stands, the roots with their folders' child lists,
// and one property map (record) per item. Items are known by ids that are never reused; the
// tree itself is only lists of ids. Plain data: announcing a change to views is the model's.
class ItemTree
{
public:
    static QString itemKey(const QString &path, int rootOrdinal);
    static QString splitItemKey(const QString &key, int *rootOrdinal = nullptr);
    static int newId();

    // Look-ups. None fails: unknown ids give -1, empty texts or no list.
    int fileIndex(const QString &key); // issues an id, a key and a uuid when the key is new
    int idOfKey(const QString &key) const { return keyToId.value(key, -1); }
    bool isIndexed(int id) const { return idToKey.contains(id); }
    QString keyOf(int id) const { return idToKey.value(id); }
    QString pathOf(int id) const;
    QString uuidOf(int id) const;
    int rootOrdinalOf(int id) const;
    ChildListPtr childListOf(int id) const;
    bool isFolder(int id) const { return childListOf(id) != nullptr; }

    void registerItem(int id, const QString &key, const QString &uuid);
    // The item is found under another key from now on; its id and uuid stay.
    void rekey(int id, const QString &key);
    int nextRootOrdinal() { return ++rootOrdinal; }
    // A restored root keeps its stored ordinal; roots added later take higher ones.
    void keepRootOrdinal(int ordinal) { rootOrdinal = qMax(rootOrdinal, ordinal); }
    // The id whose key, key and uuid were forgotten; -1 when the key named no whole entry.
    int forgetKey(const QString &key);
    bool isIndexEmpty() const
    {
        return keyToId.isEmpty() && idToKey.isEmpty() && idToUuid.isEmpty();
    }
    bool growIdTablesAhead();

    ItemNode node(int id) const { return nodes.value(id); }
    ItemNode &nodeOf(int id) { return nodes[id]; }
    void forgetNode(int id) { nodes.remove(id); }
    void attach(int id, int parentId, int row);
    void renumberRows(const ChildList &siblings, int from);
    bool isInTree(int id) const;
    int rootOf(int id) const;

    int rootCount() const { return roots.size(); }
    const RootEntry &rootAt(int row) const { return roots.at(row); }
    int rootRow(int id) const;
    RootEntry *rootEntry(int rootId);
    QVector<int> rootIds() const;
    int appendRoot(const RootEntry &root); // its row
    void removeRootAt(int row);
    void forgetFolder(int id); // its child list goes from every root

    ItemRecord &record(int id) { return records[id]; }
    const QMap<int, ItemRecord> &itemRecords() const { return records; }
    QMap<int, ItemRecord> &itemRecords() { return records; }
    // Items whose made picture the store does not name yet.
    QSet<int> &unsavedPictures() { return picturesToStore; }

    void clear();

private:
    void renumberRoots(int from);

    QHash<QString, int> keyToId;
    QHash<int, QString> idToKey;
    // Made when the id is issued; names the stored record. Kept as its 16 bytes; a stored text
    // that would not come back the same from them is kept as it is.
    QHash<int, QUuid> idToUuid;
    QHash<int, QString> uuidTexts;
    QHash<int, ItemNode> nodes; // every item in the tree
    int rootOrdinal = -1; // the highest ordinal given to a root; part of every item key
    QVector<RootEntry> roots; // top-level rows, in the order added
    QMap<int, ItemRecord> records; // ordered: queries list items by id
    QSet<int> picturesToStore;
};
