#include "model/rootrelink.h"

#include "model/diskfollower.h"
#include "model/fileurl.h"
#include "model/itemtree.h"
#include "model/modelhooks.h"
#include "store/recordmapping.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace {

const QStringList kPathFields{QStringLiteral("path"), QStringLiteral("filePath")};

} // namespace

RootRelink::RootRelink(ItemTree &tree, TreeEdits &edits, ModelSteps &steps, DiskFollower *follower,
                       Ui_Proc_MediaInfo_Desktop *store, QObject *parent)
    : QObject(parent), tree(tree), edits(edits), steps(steps), follower(follower), store(store)
{ }

// Nothing changes unless the whole root can move: a folder that is not there would leave
// every item missing, and one already shown would show its items twice.
QString RootRelink::refusal(int rootId, const QString &newPath) const
{
    if (!tree.rootEntry(rootId))
        return tr("Only a folder added to the page can be relinked.");
    const QString name = tree.pathOf(rootId);
    if (movingRoot != 0 || steps.isFilling(rootId))
        return tr("%1 is still being loaded; relink it once the load has ended.").arg(name);
    if (!QFileInfo(newPath).isDir())
        return tr("%1 cannot be relinked to %2: there is no such folder.").arg(name, newPath);
    for (int id : tree.rootIds()) {
        if (tree.pathOf(id) == newPath)
            return tr("%1 cannot be relinked to %2: that folder is already on the page.")
                    .arg(name, newPath);
    }
    return {};
}

void RootRelink::start(int rootId, const QString &newPath)
{
    movingRoot = rootId;
    from = tree.pathOf(rootId);
    to = newPath;
    const ChildLists &folders = tree.rootEntry(rootId)->childLists;
    idsToMove = {rootId};
    for (auto list = folders.cbegin(); list != folders.cend(); ++list)
        idsToMove << **list;
    nextId = 0;
    follower->forgetFoldersOf(rootId);
    step();
}

void RootRelink::step()
{
    QElapsedTimer clock;
    clock.start();
    while (nextId < idsToMove.size() && clock.nsecsElapsed() < kStepBudgetNs)
        moveItem(idsToMove.at(nextId++));
    if (nextId < idsToMove.size()) {
        QMetaObject::invokeMethod(this, &RootRelink::step, Qt::QueuedConnection);
        return;
    }
    finish();
}

// An item removed meanwhile has no key left to move.
void RootRelink::moveItem(int id)
{
    int ordinal = 0;
    const QString key = tree.keyOf(id);
    if (key.isEmpty())
        return;
    const QString path = movedPath(ItemTree::splitItemKey(key, &ordinal));
    tree.rekey(id, ItemTree::itemKey(path, ordinal));
    const bool isFolder = tree.isFolder(id);
    Module_Mediainfo moved = newItemRecord(
            tree.uuidOf(id),
            isFolder && !path.endsWith(QLatin1Char('/')) ? path + QLatin1Char('/') : path, ordinal);
    store->updateMediaInfoFields(moved, kPathFields);
}

// "/" and "C:/" end in a separator of their own.
QString RootRelink::movedPath(const QString &path) const
{
    QStringRef rest = path.midRef(from.size());
    if (rest.startsWith(QLatin1Char('/')))
        rest = rest.mid(1);
    if (rest.isEmpty())
        return to;
    return to.endsWith(QLatin1Char('/')) ? to + rest : to + QLatin1Char('/') + rest;
}

void RootRelink::finish()
{
    const int rootId = std::exchange(movingRoot, 0);
    idsToMove.clear();
    if (tree.rootEntry(rootId)) {
        edits.refreshRowsBeside(edits.indexOfId(rootId));
        follower->followMovedRoot(rootId, to);
    }
    steps.whenIdle();
}
