#include "relinks.h"

#include "transcodes.h"

#include "facade/ui_proc_signalcustomfolder_desktop.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QTextStream>

namespace {

int rootAt(UI_Proc_SignalCustomFolder_Desktop &facade, const QString &path)
{
    const QAbstractItemModel *model = facade.folderModel();
    const int fileInfoRole = model->roleNames().key(QByteArrayLiteral("fileInfo"));
    for (int row = 0; row < model->rowCount(); ++row) {
        const int id = model->index(row, 0)
                               .data(fileInfoRole)
                               .toMap()
                               .value(QStringLiteral("fileIdx"))
                               .toInt();
        if (facade.itemPath(id) == path)
            return id;
    }
    return -1;
}

// A path may hold "=" itself; the old one is as it was shown, so the first "=" that ends a
// shown root's path divides the two.
bool relink(UI_Proc_SignalCustomFolder_Desktop &facade, const QString &request)
{
    for (int equals = request.indexOf(QLatin1Char('=')); equals > 0;
         equals = request.indexOf(QLatin1Char('='), equals + 1)) {
        const QString old = QDir::cleanPath(QDir(request.left(equals)).absolutePath());
        const int rootId = rootAt(facade, old);
        if (rootId != -1)
            return facade.relinkFolder(rootId, QDir(request.mid(equals + 1)).absolutePath());
    }
    QTextStream(stderr) << "No folder on the page is at the old path of " << request << Qt::endl;
    return false;
}

} // namespace

bool runRelinks(UI_Proc_SignalCustomFolder_Desktop &facade, const QStringList &requests)
{
    bool allMoved = true;
    for (const QString &request : requests)
        allMoved = relink(facade, request) && allMoved;
    waitUntilIdle(facade);
    return allMoved;
}
