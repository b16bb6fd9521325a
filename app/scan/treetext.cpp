#include "treetext.h"

#include <QJsonObject>
#include <QStringList>
#include <QVector>

namespace {

constexpr int kIndent = 2; // spaces per level
constexpr int kMaxNameColumn = 60; // longer names push their line's details to the right

struct Line
{
    QString name; // indented
    QStringList details;
};

QString lengthText(const QJsonObject &info)
{
    const qint64 msec = qint64(info.value(QStringLiteral("timeLenMsec")).toDouble());
    if (msec <= 0)
        return {};
    const qint64 seconds = (msec + 500) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString sizeText(const QJsonObject &info)
{
    const int width = info.value(QStringLiteral("frameWidth")).toInt();
    const int height = info.value(QStringLiteral("frameHeight")).toInt();
    return width > 0 && height > 0 ? QStringLiteral("%1x%2").arg(width).arg(height) : QString();
}

void collect(const QJsonObject &node, int depth, QVector<Line> &lines)
{
    const QString type = node.value(QStringLiteral("type")).toString();
    const bool isFolder = type == QLatin1String("folder");
    const QJsonObject info = node.value(QStringLiteral("info")).toObject();
    Line line{QString(depth * kIndent, QLatin1Char(' '))
                      + node.value(QStringLiteral("name")).toString()
                      + (isFolder ? QStringLiteral("/") : QString()),
              {type, lengthText(info), sizeText(info)}};
    if (!node.value(QStringLiteral("isValid")).toBool(true))
        line.details << QStringLiteral("[invalid]");
    line.details.removeAll(QString());
    lines << line;
    for (const QJsonValue child : node.value(QStringLiteral("children")).toArray())
        collect(child.toObject(), depth + 1, lines);
}

} // namespace

QString folderTreeText(const QJsonArray &roots)
{
    QVector<Line> lines;
    for (const QJsonValue root : roots)
        collect(root.toObject(), 0, lines);
    int nameColumn = 0;
    for (const Line &line : qAsConst(lines))
        nameColumn = qMax(nameColumn, qMin(int(line.name.size()), kMaxNameColumn));
    QString text;
    for (const Line &line : qAsConst(lines)) {
        text += line.details.isEmpty() ? line.name
                                       : line.name.leftJustified(nameColumn) + QStringLiteral("  ")
                                                 + line.details.join(QStringLiteral("  "));
        text += QLatin1Char('\n');
    }
    return text;
}
