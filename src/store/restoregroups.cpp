#include "store/restoregroups.h"

#include "model/mediatypes.h"
#include "store/recordmapping.h"

#include <QFileInfo>
#include <QHash>

namespace {

// Sorted by path, one entry per path, each folder with its children.
void arrange(RestoreGroup &group)
{
    QVector<RestoreEntry> &entries = group.entries;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const RestoreEntry &a, const RestoreEntry &b) { return a.path < b.path; });
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const RestoreEntry &a, const RestoreEntry &b) {
                                  return a.path == b.path;
                              }),
                  entries.end());

    group.isFolder.resize(entries.size());
    group.children.resize(entries.size());
    QHash<QString, int> folderAt;
    for (int i = 0; i < entries.size(); ++i) {
        group.isFolder[i] = !isMediaFile(entries.at(i).path);
        if (group.isFolder.at(i))
            folderAt.insert(entries.at(i).path, i);
    }
    for (int i = 0; i < entries.size(); ++i) {
        const QFileInfo file(entries.at(i).path);
        if (file.isRoot())
            continue;
        const int parent = folderAt.value(file.absolutePath(), -1);
        if (parent >= 0 && parent != i)
            group.children[parent].append(i);
    }
}

} // namespace

QVector<RestoreGroup> groupStoredRecords(const QList<Module_Mediainfo> &records)
{
    QVector<RestoreGroup> groups;
    QHash<int, int> groupOfOrdinal;
    for (const Module_Mediainfo &record : records) {
        QString path = record.path;
        if (record.category != kFolderPageCategory || path.isEmpty())
            continue;
        if (path.endsWith(QLatin1Char('/')) && !QFileInfo(path).isRoot())
            path.chop(1);
        const int ordinal = record.rootIndex.toInt(); // 0 when it is not a number
        auto group = groupOfOrdinal.constFind(ordinal);
        if (group == groupOfOrdinal.constEnd()) {
            group = groupOfOrdinal.insert(ordinal, groups.size());
            groups.append(RestoreGroup{ordinal, {}, {}, {}});
        }
        groups[*group].entries.append({path, record});
    }
    for (RestoreGroup &group : groups)
        arrange(group);
    return groups;
}
