#include "store/restoregroups.h"

#include "model/mediatypes.h"
#include "store/recordmapping.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace {

// The store keeps absolute paths with forward slashes: "/…", "C:/…" or "//server/…". Told
// from the first characters, as asking QDir makes a QFileInfo of each path.
bool isStoredAbsolutePath(const QString &path)
{
    return path.startsWith(QLatin1Char('/'))
           || (path.size() >= 3 && path.at(0).isLetter() && path.at(1) == QLatin1Char(':')
               && path.at(2) == QLatin1Char('/'));
}

// What QFileInfo::absolutePath() gives, without its cost, for the absolute paths that the
// store keeps; a file-system root ("/", "C:/") is its own parent.
QString parentPath(const QString &path)
{
    if (!isStoredAbsolutePath(path))
        return QFileInfo(path).absolutePath();
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString parent = path.left(slash);
    return parent.isEmpty() || parent.endsWith(QLatin1Char(':')) ? path.left(slash + 1) : parent;
}

// The first record of the smallest path.
int rootOf(const QVector<RestoreEntry> &entries)
{
    int root = 0;
    for (int i = 1; i < entries.size(); ++i) {
        if (entries.at(i).path < entries.at(root).path)
            root = i;
    }
    return root;
}

// Each folder's children in ascending path order. Only the children of one folder are
// compared, not the whole group: their paths differ in the last name alone. The first record
// of each path counts: a folder's later records hold nothing, and a later record of a path
// is left out of its folder's children, so that no folder reaches it.
void linkChildren(RestoreGroup &group)
{
    const QVector<RestoreEntry> &entries = group.entries;
    group.children.resize(entries.size());
    QHash<QString, int> folderAt;
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).isFolder && !folderAt.contains(entries.at(i).path))
            folderAt.insert(entries.at(i).path, i);
    }
    for (int i = 0; i < entries.size(); ++i) {
        const QString parent = parentPath(entries.at(i).path);
        if (parent == entries.at(i).path)
            continue; // a file-system root
        const int folder = folderAt.value(parent, -1);
        if (folder >= 0)
            group.children[folder].append(i);
    }
    const auto pathOf = [&entries](int at) -> const QString & {
        return entries.at(at).path;
    };
    for (QVector<int> &children : group.children) {
        std::stable_sort(children.begin(), children.end(),
                         [&pathOf](int a, int b) { return pathOf(a) < pathOf(b); });
        children.erase(std::unique(children.begin(), children.end(),
                                   [&pathOf](int a, int b) { return pathOf(a) == pathOf(b); }),
                       children.end());
    }
}

// What the root's folders do not reach, directly or through other folders, is set apart.
void setApartUnreached(RestoreGroup &group)
{
    QVector<bool> reached(group.entries.size());
    QVector<int> folders{group.root};
    reached[group.root] = true;
    while (!folders.isEmpty()) {
        for (int child : group.children.at(folders.takeLast())) {
            reached[child] = true;
            folders.append(child);
        }
    }
    for (int i = 0; i < group.entries.size(); ++i) {
        if (!reached.at(i))
            group.unplaced.append(group.entries.at(i));
    }
}

} // namespace

QStringList restoredFields()
{
    return {QStringLiteral("uuid"),        QStringLiteral("path"),
            QStringLiteral("category"),    QStringLiteral("rootIndex"),
            QStringLiteral("img"),         QStringLiteral("isTranscoded"),
            QStringLiteral("fileSize"),    QStringLiteral("fileModified"),
            QStringLiteral("frameWidth"),  QStringLiteral("frameHeight"),
            QStringLiteral("timeLenMsec"), QStringLiteral("fps"),
            QStringLiteral("duration"),    QStringLiteral("detailInfo")};
}

QVector<RestoreGroup> groupStoredRecords(const QList<Module_Mediainfo> &records)
{
    QVector<RestoreGroup> groups;
    QHash<int, int> groupOfOrdinal;
    for (const Module_Mediainfo &record : records) {
        QString path = record.path;
        if (record.category != kFolderPageCategory || path.isEmpty())
            continue;
        const bool isMarkedFolder = path.endsWith(QLatin1Char('/'));
        if (isMarkedFolder && parentPath(path) != path)
            path.chop(1);
        const int ordinal = record.rootIndex.toInt(); // 0 when it is not a number
        auto group = groupOfOrdinal.constFind(ordinal);
        if (group == groupOfOrdinal.constEnd()) {
            group = groupOfOrdinal.insert(ordinal, groups.size());
            groups.append(RestoreGroup{ordinal, {}, 0, {}, {}});
        }
        const bool isFolder = isMarkedFolder || !isMediaFile(path);
        groups[*group].entries.append({path, record.uuid, record.img, record.isTranscoded, isFolder,
                                       record.fileSize, record.fileModified, record.frameWidth,
                                       record.frameHeight, record.timeLenMsec, record.fps,
                                       record.duration, record.detailInfo});
    }
    for (RestoreGroup &group : groups) {
        group.root = rootOf(group.entries);
        // The root holds the others whatever its name; stores written before folders were
        // marked name a root "Holiday.mp4" like a file.
        RestoreEntry &root = group.entries[group.root];
        root.isFolder
                |= std::any_of(group.entries.cbegin(), group.entries.cend(),
                               [&root](const RestoreEntry &e) { return e.path != root.path; });
        linkChildren(group);
        setApartUnreached(group);
    }
    return groups;
}
