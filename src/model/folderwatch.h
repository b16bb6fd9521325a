#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>

class QFileSystemWatcher;
class QTimer;

constexpr int kQuietMs = 300; // a folder is looked at once it has been quiet this long
constexpr int kRootPollMs = 1000; // how soon a root that went away or came back is seen

// Watches the directories of the folders that the tree shows, by folder id, and tells which
// of them changed once they have been quiet for a while, so that a copy of many files is
// handled as one change rather than as one per file. Whether each root is there is looked
// at now and then: a directory's watch does not see the directory itself renamed, and one
// that does not exist cannot be watched.
class FolderWatch : public QObject
{
    Q_OBJECT
public:
    enum Outcome {
        Watched,
        Missing, // the directory is not there
        Refused, // the system allows no more watches
    };

    explicit FolderWatch(QObject *parent);

    Outcome watch(int folderId, const QString &path);
    void unwatch(int folderId);
    void unwatchAll();
    // Looked at again after the quiet time, as if its directory had changed.
    void lookAgain(int folderId);
    void lookAfterRoot(int rootId, const QString &path);
    // Changes have come that are not handed on yet.
    bool hasChangesWaiting() const { return !changedAt.isEmpty(); }

signals:
    void foldersChanged(const QVector<int> &folderIds);
    void rootVanished(int rootId);
    void rootReturned(int rootId);

private:
    void onDirectoryChanged(const QString &path);
    void handOnQuietFolders();
    void lookAtRoots();

    QFileSystemWatcher *watcher;
    QHash<QString, QVector<int>> foldersOfPath; // one watch for a directory under several roots
    QHash<int, QString> pathOfFolder;
    QHash<int, qint64> changedAt; // folders that changed, with the time of their last change
    QElapsedTimer clock;
    QTimer *quietTimer;
    struct Root
    {
        QString path;
        bool isThere = false;
    };
    QHash<int, Root> roots;
    QTimer *rootTimer;
    bool refusing = false; // the last watch was refused; tried again once one is freed
};
