#include "store/recordmapping.h"

#include "model/fileurl.h"
#include "model/itemfields.h"

namespace {

// The probe writes the frame rate as "25 fps"; the record wants the number.
double framesPerSecond(const QString &fpsText)
{
    QString number = fpsText;
    number.remove(QStringLiteral("fps"));
    return number.trimmed().toDouble();
}

} // namespace

Module_Mediainfo newItemRecord(const QString &uuid, const QString &path, int rootOrdinal)
{
    Module_Mediainfo record;
    record.uuid = uuid;
    record.path = path;
    record.category = kFolderPageCategory;
    record.filePath = path;
    record.rootIndex = QString::number(rootOrdinal);
    return record;
}

const QStringList &filledFields(const QString &type)
{
    static const QStringList still{QStringLiteral("fileSize"),    QStringLiteral("img"),
                                   QStringLiteral("frameHeight"), QStringLiteral("frameWidth"),
                                   QStringLiteral("timeLenMsec"), QStringLiteral("resolution")};
    static const QStringList sound
            = still + QStringList{QStringLiteral("detailInfo"), QStringLiteral("duration")};
    static const QStringList video
            = sound + QStringList{QStringLiteral("isTranscoded"), QStringLiteral("fps")};
    return type == ItemType::video ? video : type == ItemType::audio ? sound : still;
}

void fillFromItem(Module_Mediainfo &record, const QVariantMap &item, qint64 fileSize)
{
    const QVariantMap info = item.value(ItemField::info).toMap();
    const QString type = item.value(ItemField::type).toString();

    record.fileSize = fileSize;
    record.img = withFileUrlPrefix(item.value(ItemField::img).toString());
    record.frameHeight = info.value(InfoField::frameHeight).toInt();
    record.frameWidth = info.value(InfoField::frameWidth).toInt();
    record.timeLenMsec = info.value(InfoField::timeLenMsec).toInt();
    record.resolution = QStringLiteral("%1 X %2").arg(record.frameWidth).arg(record.frameHeight);
    if (type == ItemType::video || type == ItemType::audio) {
        record.detailInfo = info.value(InfoField::detailInfo).toString();
        record.duration = info.value(InfoField::duration).toString();
    }
    if (type == ItemType::video) {
        record.isTranscoded = item.value(ItemField::isTranscoded).toBool();
        record.fps = framesPerSecond(info.value(InfoField::fps).toString());
    } else if (type == ItemType::audio) {
        record.img.clear();
    } else if (type == ItemType::office) {
        record.img = withFileUrlPrefix(info.value(InfoField::pptPath).toString());
    }
}
