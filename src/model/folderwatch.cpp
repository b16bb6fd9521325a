#include "model/folderwatch.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

FolderWatch::FolderWatch(QObject *parent)
    : QObject(parent)
    , watcher(new QFileSystemWatcher(this))
    , quietTimer(new QTimer(this))
    , rootTimer(new QTimer(this))
{
    clock.start();
    quietTimer->setSingleShot(true);
    rootTimer->setInterval(kRootPollMs);
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, &FolderWatch::onDirectoryChanged);
    connect(quietTimer, &QTimer::timeout, this, &FolderWatch::handOnQuietFolders);
    connect(rootTimer, &QTimer::timeout, this, &FolderWatch::lookAtRoots);
}

// A refused watch is not tried again until one is freed: the system would refuse the next
// one too, and says so on standard error each time.
FolderWatch::Outcome FolderWatch::watch(int folderId, const QString &path)
{
    if (pathOfFolder.contains(folderId))
        return Watched;
    auto known = foldersOfPath.find(path);
    if (known == foldersOfPath.end()) {
        if (!QFileInfo(path).isDir())
            return Missing;
        if (refusing || !watcher->addPath(path)) {
            // An unreadable directory cannot be watched either, and is no sign of the limit.
            refusing = QDir(path).isReadable();
            return refusing ? Refused : Missing;
        }
        known = foldersOfPath.insert(path, {});
    }
    known->append(folderId);
    pathOfFolder.insert(folderId, path);
    return Watched;
}

void FolderWatch::unwatch(int folderId)
{
    roots.remove(folderId);
    changedAt.remove(folderId);
    const QString path = pathOfFolder.take(folderId);
    auto known = foldersOfPath.find(path);
    if (known == foldersOfPath.end())
        return;
    known->removeOne(folderId);
    if (known->isEmpty()) {
        foldersOfPath.erase(known);
        watcher->removePath(path);
        refusing = false;
    }
}

void FolderWatch::unwatchAll()
{
    if (!foldersOfPath.isEmpty())
        watcher->removePaths(foldersOfPath.keys());
    foldersOfPath.clear();
    pathOfFolder.clear();
    changedAt.clear();
    roots.clear();
    rootTimer->stop();
    refusing = false;
}

void FolderWatch::lookAgain(int folderId)
{
    changedAt.insert(folderId, clock.elapsed());
    if (!quietTimer->isActive())
        quietTimer->start(kQuietMs);
}

// A directory that was removed or renamed is no longer watched by the system; its folder
// is looked at all the same, and watched again should it come back.
void FolderWatch::onDirectoryChanged(const QString &path)
{
    const QVector<int> folders = foldersOfPath.value(path);
    if (!QFileInfo(path).isDir()) {
        foldersOfPath.remove(path);
        for (int folderId : folders)
            pathOfFolder.remove(folderId);
    }
    for (int folderId : folders)
        lookAgain(folderId);
}

void FolderWatch::handOnQuietFolders()
{
    const qint64 now = clock.elapsed();
    QVector<int> quiet;
    qint64 nextDue = -1;
    for (auto folder = changedAt.begin(); folder != changedAt.end();) {
        const qint64 due = *folder + kQuietMs;
        if (due <= now) {
            quiet << folder.key();
            folder = changedAt.erase(folder);
        } else {
            nextDue = nextDue < 0 ? due : qMin(nextDue, due);
            ++folder;
        }
    }
    if (nextDue >= 0)
        quietTimer->start(int(nextDue - now));
    if (!quiet.isEmpty())
        emit foldersChanged(quiet);
}

void FolderWatch::lookAfterRoot(int rootId, const QString &path)
{
    roots.insert(rootId, {path, QFileInfo(path).isDir()});
    if (!rootTimer->isActive())
        rootTimer->start();
}

void FolderWatch::lookAtRoots()
{
    QVector<int> vanished;
    QVector<int> returned;
    for (auto root = roots.begin(); root != roots.end(); ++root) {
        const bool isThere = QFileInfo(root->path).isDir();
        if (isThere != std::exchange(root->isThere, isThere))
            (isThere ? returned : vanished) << root.key();
    }
    if (roots.isEmpty())
        rootTimer->stop();
    for (int rootId : qAsConst(vanished))
        emit rootVanished(rootId);
    for (int rootId : qAsConst(returned))
        emit rootReturned(rootId);
}
