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
    static const QStringList still{QStringLiteral("fileSize"),   QStringLiteral("fileModified"),
                                   QStringLiteral("img"),        QStringLiteral("frameHeight"),
                                   QStringLiteral("frameWidth"), QStringLiteral("timeLenMsec"),
                                   QStringLiteral("resolution")};
    static const QStringList sound
            = still + QStringList{QStringLiteral("detailInfo"), QStringLiteral("duration")};
    static const QStringList video
            = sound + QStringList{QStringLiteral("isTranscoded"), QStringLiteral("fps")};
    return type == ItemType::video ? video : type == ItemType::audio ? sound : still;
}

void fillFromItem(Module_Mediainfo &record, const ItemRecord &item, qint64 fileSize,
                  qint64 fileModified)
{
    const ItemInfo &info = item.info();
    const QString type = item.type();

    record.fileSize = fileSize;
    record.fileModified = fileModified;
    record.img = withFileUrlPrefix(item.img().toString());
    record.frameHeight = info.frameHeight();
    record.frameWidth = info.frameWidth();
    record.timeLenMsec = info.timeLenMsec();
    record.resolution = QStringLiteral("%1 X %2").arg(record.frameWidth).arg(record.frameHeight);
    if (type == ItemType::video || type == ItemType::audio) {
        record.detailInfo = info.detailInfo();
        record.duration = info.duration();
    }
    if (type == ItemType::video) {
        record.isTranscoded = item.isTranscoded();
        record.fps = framesPerSecond(info.fps());
    } else if (type == ItemType::audio) {
        record.img.clear();
    } else if (type == ItemType::office) {
        record.img = withFileUrlPrefix(info.pptPath());
    }
}
