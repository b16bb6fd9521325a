#include "store/restoregroups.h"

#include "model/mediatypes.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <utility>

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
// store keeps: a view of the path, a file-system root ("/", "C:/") being its own parent. A
// relative path, which the store should not hold, is resolved into `resolved`.
QStringView parentPath(const QString &path, QString &resolved)
{
    if (!isStoredAbsolutePath(path)) {
        resolved = QFileInfo(path).absolutePath();
        return resolved;
    }
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QStringView parent = QStringView(path).left(slash);
    return parent.isEmpty() || parent.endsWith(QLatin1Char(':')) ? QStringView(path).left(slash + 1)
                                                                 : parent;
}

// The folder entry that holds the path, -1 when it has not come or none can: a file-system
// root has no folder.
int folderOf(const QHash<QStringView, int> &folderAt, const QString &path)
{
    QString resolved;
    const QStringView parent = parentPath(path, resolved);
    return parent == path ? -1 : folderAt.value(parent, -1);
}

// Places the entry among its folder's children, which stay in ascending path order (row
// order), a path's first record only: a later record of a path is left out, so that no folder
// reaches it. Only the children of one folder are compared, not the whole group: their paths
// differ in the last name alone, and they mostly come in row order already.
void placeChild(RestoreGroup &group, int folder, int entry)
{
    const auto pathOf = [&group](int at) -> const QString & {
        return group.entries.at(at).path;
    };
    QVector<int> &children = group.children[folder];
    const QString &path = pathOf(entry);
    if (children.isEmpty() || pathOf(children.constLast()) < path) {
        children.append(entry);
        return;
    }
    const auto at = std::lower_bound(
            children.begin(), children.end(), path,
            [&pathOf](int child, const QString &path) { return pathOf(child) < path; });
    if (at != children.end() && pathOf(*at) == path)
        *at = std::min(*at, entry);
    else
        children.insert(at, entry);
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
    return {QStringLiteral("uuid"),         QStringLiteral("path"),
            QStringLiteral("rootIndex"),    QStringLiteral("img"),
            QStringLiteral("isTranscoded"), QStringLiteral("fileSize"),
            QStringLiteral("fileModified"), QStringLiteral("frameWidth"),
            QStringLiteral("frameHeight"),  QStringLiteral("timeLenMsec"),
            QStringLiteral("fps"),          QStringLiteral("duration"),
            QStringLiteral("detailInfo")};
}

void RestoreGrouping::add(const Module_Mediainfo &record)
{
    QString path = record.path;
    if (path.isEmpty())
        return;
    const bool isMarkedFolder = path.endsWith(QLatin1Char('/'));
    QString resolved;
    if (isMarkedFolder && parentPath(path, resolved) != path)
        path.chop(1);
    const int ordinal = record.rootIndex.toInt(); // 0 when it is not a number
    auto at = groupOfOrdinal.constFind(ordinal);
    if (at == groupOfOrdinal.constEnd()) {
        at = groupOfOrdinal.insert(ordinal, groups.size());
        groups.append(RestoreGroup{ordinal, {}, 0, {}, {}});
        linkings.append(Linking());
    }
    RestoreGroup &group = groups[*at];
    const bool isFolder = isMarkedFolder || !isMediaFile(path);
    group.entries.append({path, record.uuid, record.img, record.isTranscoded, isFolder,
                          record.fileSize, record.fileModified, record.frameWidth,
                          record.frameHeight, record.timeLenMsec, record.fps, record.duration,
                          record.detailInfo});
    group.children.resize(group.entries.size());
    const int entry = group.entries.size() - 1;
    if (group.entries.at(entry).path < group.entries.at(group.root).path)
        group.root = entry; // the first record of the smallest path
    link(group, linkings[*at], entry);
}

void RestoreGrouping::link(RestoreGroup &group, Linking &linking, int entry)
{
    const RestoreEntry &added = group.entries.at(entry);
    if (added.isFolder && !linking.folderAt.contains(added.path))
        linking.folderAt.insert(added.path, entry);
    const int folder = folderOf(linking.folderAt, added.path);
    if (folder >= 0)
        placeChild(group, folder, entry);
    else
        linking.unlinked.append(entry);
}

void RestoreGrouping::settle(RestoreGroup &group, Linking &linking)
{
    // The root holds the others whatever its name; stores written before folders were
    // marked name a root "Holiday.mp4" like a file. Its path's later records hold nothing.
    RestoreEntry &root = group.entries[group.root];
    if (!root.isFolder
        && std::any_of(group.entries.cbegin(), group.entries.cend(),
                       [&root](const RestoreEntry &e) { return e.path != root.path; })) {
        root.isFolder = true;
        const int holder = linking.folderAt.value(root.path, -1);
        if (holder >= 0)
            group.children[group.root] = std::exchange(group.children[holder], {});
        linking.folderAt.insert(root.path, group.root);
    }
    for (int entry : qAsConst(linking.unlinked)) {
        const int folder = folderOf(linking.folderAt, group.entries.at(entry).path);
        if (folder >= 0)
            placeChild(group, folder, entry);
    }
    setApartUnreached(group);
}

QVector<RestoreGroup> RestoreGrouping::takeGroups()
{
    for (int i = 0; i < groups.size(); ++i)
        settle(groups[i], linkings[i]);
    linkings.clear();
    groupOfOrdinal.clear();
    return std::exchange(groups, {});
}
