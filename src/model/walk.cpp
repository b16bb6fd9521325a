#include "model/fileurl.h"
#include "model/foldermodel.h"
#include "model/mediatypes.h"

#include <QDir>
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
    walkStack.push_back(root);
    currentRootPath = root;
    post(WalkStep);
    endResetModel();
    emit loadFolderBegan();
    lastFileId = -1;
}

// One directory per step. The tree fills without row notifications; the view learns of it
// from the reset when the walk ends.
void FolderModel::walkStep(int maxDepth)
{
    if (walkStack.empty())
        return;
    const QString path = walkStack.back();
    walkStack.pop_back();
    ChildLists &childLists = roots.last().childLists;

    if (QFileInfo(path).isDir()) {
        const int id = fileIndex(itemKey(path, rootOrdinal));
        childLists.insert(id, ChildListPtr::create());
        buildQueue.push_back({id, Add});
        if (depthBelow(currentRootPath, path) >= maxDepth)
            depthExceeded = true;
        else
            listDirectory(path);
    }
    attachToParent(path, childLists);

    if (!walkStack.empty())
        post(WalkStep);
    else
        finishWalk(path);
}

// Entries are pushed in name order and taken from the back, so a folder's rows end up in
// descending name order.
void FolderModel::listDirectory(const QString &path)
{
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                           QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        if (!isAcceptedEntry(entry))
            continue;
        const QString entryPath = entry.absoluteFilePath();
        walkStack.push_back(entryPath);
        const int id = fileIndex(itemKey(entryPath, rootOrdinal));
        if (!entry.isDir())
            lastFileId = id;
        buildQueue.push_back({id, Add});
    }
}

void FolderModel::attachToParent(const QString &path, ChildLists &childLists)
{
    const QFileInfo file(path);
    if (file.isRoot())
        return;
    const int parentId = idOfKey(itemKey(file.absolutePath(), rootOrdinal));
    const ChildListPtr siblings = childLists.value(parentId);
    if (siblings)
        siblings->append(fileIndex(itemKey(path, rootOrdinal)));
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
    post(BuildStep);
}
