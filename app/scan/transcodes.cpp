#include "transcodes.h"

#include "facade/ui_proc_signalcustomfolder_desktop.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMap>
#include <QTextStream>
#include <QTimer>

namespace {

struct Request
{
    QString path;
    QString type;
    int width = 0;
    int height = 0;
};

// The path may hold colons itself (a drive letter): type and size are the last two parts.
bool parseRequest(const QString &text, Request *request)
{
    const int sizeColon = text.lastIndexOf(QLatin1Char(':'));
    const int typeColon = text.lastIndexOf(QLatin1Char(':'), sizeColon - 1);
    if (typeColon <= 0)
        return false;
    const QStringList size = text.mid(sizeColon + 1).split(QLatin1Char('x'));
    bool widthOk = false;
    bool heightOk = false;
    request->path = QFileInfo(text.left(typeColon)).absoluteFilePath();
    request->type = text.mid(typeColon + 1, sizeColon - typeColon - 1);
    request->width = size.value(0).toInt(&widthOk);
    request->height = size.value(1).toInt(&heightOk);
    return widthOk && heightOk && size.size() == 2;
}

int idOf(const QModelIndex &index)
{
    const int fileInfoRole = index.model()->roleNames().key(QByteArrayLiteral("fileInfo"));
    return index.data(fileInfoRole).toMap().value(QStringLiteral("fileIdx")).toInt();
}

QModelIndex findItem(UI_Proc_SignalCustomFolder_Desktop &facade, const QModelIndex &parent,
                     const QString &path)
{
    const QAbstractItemModel *model = facade.folderModel();
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (facade.itemPath(idOf(index)) == path)
            return index;
        const QModelIndex below = findItem(facade, index, path);
        if (below.isValid())
            return below;
    }
    return {};
}

// The item, or for a folder the videos below it that the request queued.
QVector<int> requestedItems(UI_Proc_SignalCustomFolder_Desktop &facade, const QModelIndex &item)
{
    const QAbstractItemModel *model = facade.folderModel();
    const int id = idOf(item);
    if (facade.itemProperty(id, QStringLiteral("type")).toString() != QLatin1String("folder"))
        return {id};
    QVector<int> requested;
    for (int row = 0; row < model->rowCount(item); ++row) {
        const QModelIndex child = model->index(row, 0, item);
        const QVariant progress
                = facade.itemProperty(idOf(child), QStringLiteral("transcodeProgress"));
        if (model->hasChildren(child))
            requested << requestedItems(facade, child);
        else if (progress.toInt() == 0)
            requested << idOf(child);
    }
    return requested;
}

} // namespace

void waitUntilIdle(UI_Proc_SignalCustomFolder_Desktop &facade, int timeoutMs)
{
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        bool busy = true;
        QMetaObject::invokeMethod(facade.folderModel(), "isBusy", Q_RETURN_ARG(bool, busy));
        if ((!busy && !facade.checkIfTranscoding())
            || (timeoutMs >= 0 && waited.hasExpired(timeoutMs)))
            loop.quit();
    });
    poll.start(50);
    loop.exec();
}

bool runTranscodes(UI_Proc_SignalCustomFolder_Desktop &facade, const QStringList &requests)
{
    QTextStream err(stderr);
    bool allDone = true;
    QMap<int, QString> progressLines; // item id -> last line printed for it
    for (const QString &text : requests) {
        Request request;
        const QModelIndex item
                = parseRequest(text, &request) ? findItem(facade, {}, request.path) : QModelIndex();
        if (!item.isValid()) {
            err << "Not a transcode request for an item of the tree: " << text << Qt::endl;
            allDone = false;
            continue;
        }
        emit facade.transcode(idOf(item), request.type, request.width, request.height);
        for (int id : requestedItems(facade, item))
            progressLines.insert(id, QString());
    }

    const auto printProgress = [&] {
        for (auto line = progressLines.begin(); line != progressLines.end(); ++line) {
            const int percent
                    = facade.itemProperty(line.key(), QStringLiteral("transcodeProgress")).toInt();
            const QString text
                    = QStringLiteral("%1: %2%").arg(facade.itemPath(line.key())).arg(percent);
            if (text != *line)
                err << (*line = text) << Qt::endl;
        }
    };
    const QMetaObject::Connection progress = QObject::connect(
            facade.folderModel(), &QAbstractItemModel::dataChanged, &facade, printProgress);
    QObject::connect(&facade, &UI_Proc_SignalCustomFolder_Desktop::transcodeFailed,
                     [&allDone] { allDone = false; });
    waitUntilIdle(facade);
    QObject::disconnect(progress);
    printProgress();
    return allDone;
}
