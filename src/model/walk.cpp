#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/mediatypes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

namespace {

// Entries are keyed by the absolute paths that listings return, so the root is made to look
// the same: a trailing separator or backslashes would leave its entries unattached.
QString cleanRootPath(const QString &path)
{
    const QString local = QDir::fromNativeSeparators(withoutFileUrlPrefix(path));
    return QDir::cleanPath(QDir(local).absolutePath());
}

int depthBelow(const QString &root, const QString &path)
{
    QString below = path.mid(root.size());
    if (root.endsWith(QLatin1Char('/')) && !below.isEmpty())
        below.prepend(QLatin1Char('/')); // a file-system root keeps its separator
    return below.count(QLatin1Char('/')) + below.count(QLatin1Char('\\'));
}

} // namespace

void FolderModel::addFolders(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    addFolder(paths.first());
    pendingFolders.insert(pendingFolders.end(), paths.begin() + 1, paths.end());
}

void FolderModel::addNextPendingFolder()
{
    if (pendingFolders.empty())
        return;
    const QString path = pendingFolders.front();
    addFolder(path);
    pendingFolders.pop_front();
}

void FolderModel::addFolder(const QString &path)
{
    if (!walkStack.empty()) {
        emit errorOccured(AddWhileWalking);
        return;
    }
    const QString root = cleanRootPath(path);
    ++rootOrdinal;
    beginResetModel();
    const int rootId = fileIndex(itemKey(root, rootOrdinal));
    roots.append({rootId, {{rootId, ChildListPtr::create()}}});
    attach(rootId, 0, roots.size() - 1);
    walkRootId = rootId;
    walkStack.push_back({root, rootId, 0, QFileInfo(root).isDir()});
    currentRootPath = root;
    post(WalkStep);
    endResetModel();
    emit loadFolderBegan();
    lastFileId = -1;
}

// Directories one after another for a few milliseconds a step. The tree fills without row
// notifications; the view learns of it from the reset when the walk ends.
void FolderModel::walkStep()
{
    RootEntry *root = rootEntry(walkRootId);
    if (walkStack.empty() || !root)
        return;
    QElapsedTimer clock;
    clock.start();
    QString lastPath;
    while (!walkStack.empty() && clock.nsecsElapsed() < kStepBudgetNs) {
        const WalkEntry entry = walkStack.back();
        walkStack.pop_back();
        walkEntry(entry, root->childLists);
        lastPath = entry.path;
    }
    if (!walkStack.empty())
        post(WalkStep);
    else
        finishWalk(lastPath);
}

// A folder is listed and built; every path joins its parent's rows.
void FolderModel::walkEntry(const WalkEntry &entry, ChildLists &childLists)
{
    if (entry.isDir) {
        childLists.insert(entry.id, ChildListPtr::create());
        buildQueue.push_back({entry.id, Add});
        if (depthBelow(currentRootPath, entry.path) >= kMaxWalkDepth)
            depthExceeded = true;
        else
            listDirectory(entry.path, entry.id);
    }
    const ChildListPtr siblings = childLists.value(entry.parentId);
    if (siblings) {
        attach(entry.id, entry.parentId, siblings->size());
        siblings->append(entry.id);
    }
}

// Entries are pushed in name order and taken from the back, so a folder's rows end up in
// descending name order.
void FolderModel::listDirectory(const QString &path, int id)
{
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                           QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        if (!isAcceptedEntry(entry))
            continue;
        const QString entryPath = entry.absoluteFilePath();
        const int entryId = fileIndex(itemKey(entryPath, rootOrdinal));
        walkStack.push_back({entryPath, entryId, id, entry.isDir()});
        if (!entry.isDir())
            lastFileId = entryId;
        buildQueue.push_back({entryId, Add});
    }
}

void FolderModel::finishWalk(const QString &lastPath)
{
    beginResetModel();
    endResetModel();
    if (depthExceeded) {
        depthExceeded = false;
        emit errorOccured(DepthLimitMet);
    }
    if (!pendingFolders.empty())
        QTimer::singleShot(0, this, &FolderModel::addNextPendingFolder);
    if (lastFileId == -1) {
        lastFileId = idOfKey(itemKey(lastPath, rootOrdinal));
        // A root that is not a directory has nothing to build; its load ends here rather
        // than never.
        if (!QFileInfo(lastPath).isDir())
            post(LoadEndCheck);
    }
    scheduleBuild();
}
