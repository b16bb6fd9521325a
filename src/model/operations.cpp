#include "model/buildqueue.h"
#include "model/diskfollower.h"
#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/folderwalk.h"
#include "model/rootrelink.h"
#include "store/storerestore.h"

#include <QDir>
#include <QFileInfo>

// Adding, removing, refreshing and clearing wait while the stored tree is put back, and then
// apply to all of it, in the order they came.

void FolderModel::addFolders(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    if (restore->deferUntilRestored([this, paths] {
            for (const QString &path : paths) {
                if (!isInsideARoot(path))
                    walk->addOrWait(path);
            }
        }))
        return;
    QStringList added;
    for (const QString &path : paths) {
        if (!isInsideARoot(path))
            added << path;
    }
    if (!added.isEmpty())
        walk->addFolders(added);
}

// A folder offered while others wait for their turn waits behind them.
void FolderModel::addFolder(const QString &path)
{
    if (restore->deferUntilRestored([this, path] {
            if (!isInsideARoot(path))
                walk->addOrWait(path);
        }))
        return;
    if (!isInsideARoot(path))
        walk->addFolder(path);
}

// A folder below a shown root would show its items twice, under two uuids each; the operator
// hears why it is not added. The same folder once more is a root of its own, as it always was.
bool FolderModel::isInsideARoot(const QString &path)
{
    const QString folder = cleanFolderPath(path);
    for (int rootId : tree.rootIds()) {
        QString root = pathOf(rootId);
        if (!root.endsWith(QLatin1Char('/')))
            root += QLatin1Char('/');
        if (folder.startsWith(root) && folder.size() > root.size() && QFileInfo(folder).isDir()) {
            emit problemReported(tr("%1 is not added: it is inside %2, which the page shows "
                                    "already, and its items would show twice.")
                                         .arg(QDir::toNativeSeparators(folder),
                                              QDir::toNativeSeparators(pathOf(rootId))));
            return true;
        }
    }
    return false;
}

// A row deleted on the page stays away while its file is there, whatever changes beside it.
void FolderModel::removeItem(int id)
{
    if (restore->deferUntilRestored([this, id] { removeItem(id); }))
        return;
    const int parentId = tree.node(id).parentId;
    if (parentId != 0 && tree.isInTree(id) && QFileInfo::exists(pathOf(id)))
        follower->dismissRow(parentId, keyOf(id));
    removeFromTree(id);
}

void FolderModel::removeFromTree(int id)
{
    if (!tree.isInTree(id))
        return;
    const ItemNode node = tree.node(id);
    if (node.parentId != 0)
        removeRow(id);
    else
        removeRoot(id, node.row);
}

// Every id of the root, folders and files alike, is forgotten like a file: its child lists
// leave with the root entry. Its items are out of the tree with the root's own row. A walk
// under way in it stops, and what it listed but had not reached yet goes too.
void FolderModel::removeRoot(int id, int position)
{
    QVector<int> ids;
    const ChildLists &childLists = tree.rootAt(position).childLists;
    for (auto list = childLists.cbegin(); list != childLists.cend(); ++list)
        ids << list.key() << **list;
    const bool isWalked = walk->isWalkingRoot(id);
    if (isWalked)
        ids << walk->idsAhead();
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());

    beginResetModel();
    tree.removeRootAt(position);
    for (int each : qAsConst(ids))
        build->queue(each, Remove);
    if (isWalked)
        walk->stop();
    endResetModel();
    build->scheduleBuild();
}

// Folders still waiting to be added, or to come back from a refresh, go as well.
void FolderModel::onClearAll()
{
    if (restore->deferUntilRestored([this] { onClearAll(); }))
        return;
    walk->forgetWaitingFolders();
    for (int id : tree.rootIds())
        removeFromTree(id);
    emit folderTabNeedClose();
}

// The new roots take new ordinals, so their keys never meet those of the items still being
// removed, and their records never join the old ones.
void FolderModel::refreshTree()
{
    if (restore->deferUntilRestored([this] { refreshTree(); }))
        return;
    const QVector<int> ids = tree.rootIds();
    QStringList paths;
    for (int id : ids)
        paths << pathOf(id);
    walk->addAgainLater(paths);
    for (int id : ids)
        removeFromTree(id);
    build->queue(0, ReAdd);
    build->scheduleBuild();
}

// A relink asked for during the restore is looked at once the stored tree is back.
bool FolderModel::relinkFolder(int rootId, const QString &newPath)
{
    const QString path = cleanFolderPath(newPath);
    if (restore->deferUntilRestored([this, rootId, path] { relinkFolder(rootId, path); }))
        return true;
    const QString refusal = relink->refusal(rootId, path);
    if (!refusal.isEmpty()) {
        emit problemReported(refusal);
        return false;
    }
    relink->start(rootId, path);
    return true;
}

// Runs when a refresh's removals are done, or the index has become empty.
void FolderModel::prepareAddingFolders()
{
    walk->addAgainNow();
}

void FolderModel::onLoadFolder(const QVariantMap &) { }
