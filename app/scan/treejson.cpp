#include "treejson.h"

#include "facade/ui_proc_signalcustomfolder_desktop.h"

#include <QAbstractItemModel>
#include <QJsonObject>
#include <QUrl>

namespace {

// Files as plain paths, built-in images as their resource URLs.
QString imageText(const QVariant &img)
{
    return img.toUrl().toDisplayString(QUrl::PreferLocalFile);
}

QJsonObject nodeJson(UI_Proc_SignalCustomFolder_Desktop &facade, const QModelIndex &index,
                     int fileInfoRole)
{
    const QAbstractItemModel *model = index.model();
    const QVariantMap item = model->data(index, fileInfoRole).toMap();
    const int id = item.value(QStringLiteral("fileIdx")).toInt();
    QJsonObject node{{QStringLiteral("name"), item.value(QStringLiteral("name")).toString()},
                     {QStringLiteral("type"), item.value(QStringLiteral("type")).toString()},
                     {QStringLiteral("path"), facade.itemPath(id)},
                     {QStringLiteral("fileIdx"), id},
                     {QStringLiteral("uuid"), item.value(QStringLiteral("uuid")).toString()},
                     {QStringLiteral("isValid"), item.value(QStringLiteral("isValid")).toBool()},
                     {QStringLiteral("asyncCompleted"),
                      item.value(QStringLiteral("asyncCompleted")).toBool()},
                     {QStringLiteral("img"), imageText(item.value(QStringLiteral("img")))}};
    const QVariant reason = item.value(QStringLiteral("reason"));
    if (reason.isValid())
        node.insert(QStringLiteral("reason"), reason.toString());
    const QVariant info = facade.itemProperty(id, QStringLiteral("info"));
    if (info.isValid())
        node.insert(QStringLiteral("info"), QJsonObject::fromVariantMap(info.toMap()));
    QJsonArray children;
    for (int row = 0; row < model->rowCount(index); ++row)
        children.append(nodeJson(facade, model->index(row, 0, index), fileInfoRole));
    node.insert(QStringLiteral("children"), children);
    return node;
}

} // namespace

QJsonArray folderTreeJson(UI_Proc_SignalCustomFolder_Desktop &facade)
{
    const QAbstractItemModel *model = facade.folderModel();
    const int fileInfoRole = model->roleNames().key(QByteArrayLiteral("fileInfo"));
    QJsonArray roots;
    for (int row = 0; row < model->rowCount(); ++row)
        roots.append(nodeJson(facade, model->index(row, 0), fileInfoRole));
    return roots;
}
