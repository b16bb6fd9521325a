#include "model/foldermodel.h"
#include "store/recordmapping.h"
#include "store/ui_proc_mediainfo_desktop.h"

#include <QFileInfo>

namespace {

RestoreGroup &groupOf(QVector<RestoreGroup> &groups, int rootOrdinal)
{
    for (RestoreGroup &group : groups) {
        if (group.rootOrdinal == rootOrdinal)
            return group;
    }
    groups.append(RestoreGroup{rootOrdinal, {}});
    return groups.last();
}

} // namespace

// The host's store is ready: the folders of the earlier run come back from their records,
// grouped by the root they were found under.
void FolderModel::restoreFromStore()
{
    // The view must not hold indexes into roots that are gone while the rebuild waits, and a
    // walk under way has no root left to fill.
    beginResetModel();
    roots.clear();
    walkStack.clear();
    endResetModel();

    bool kept = false;
    const QList<Module_Mediainfo> stored = store->loadMediaObjlist();
    for (const Module_Mediainfo &record : stored) {
        QString path = record.path;
        if (record.category != kFolderPageCategory || path.isEmpty())
            continue;
        if (path.endsWith(QLatin1Char('/')) && !QFileInfo(path).isRoot())
            path.chop(1);
        groupOf(restoreGroups, record.rootIndex.toInt()).entries.append({path, record});
        kept = true;
    }
    if (!kept)
        emit folderTabNeedClose();
    post(RebuildFromStore);
}
