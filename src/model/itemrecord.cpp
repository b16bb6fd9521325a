#include "model/itemrecord.h"

#include "model/itemfields.h"

ItemInfo ItemInfo::fromMap(const QVariantMap &map)
{
    ItemInfo info;
    const auto take = [&](const QString &key, Key bit, auto &member, auto convert) {
        const auto found = map.constFind(key);
        if (found == map.constEnd())
            return;
        member = convert(*found);
        info.present |= bit;
    };
    const auto toInt = [](const QVariant &value) {
        return value.toInt();
    };
    const auto toText = [](const QVariant &value) {
        return value.toString();
    };
    take(InfoField::frameWidth, FrameWidth, info.width, toInt);
    take(InfoField::frameHeight, FrameHeight, info.height, toInt);
    take(InfoField::timeLenMsec, TimeLenMsec, info.lengthMsec, toInt);
    take(InfoField::duration, Duration, info.durationText, toText);
    take(InfoField::fps, Fps, info.fpsText, toText);
    take(InfoField::detailInfo, DetailInfo, info.detail,
         [](const QVariant &value) { return value.toString().toUtf8(); });
    take(InfoField::pptPath, PptPath, info.slides, toText);
    return info;
}

QVariantMap ItemInfo::toMap() const
{
    QVariantMap map;
    const auto give = [&](const QString &key, Key bit, const QVariant &value) {
        if (present & bit)
            map.insert(key, value);
    };
    give(InfoField::frameWidth, FrameWidth, width);
    give(InfoField::frameHeight, FrameHeight, height);
    give(InfoField::timeLenMsec, TimeLenMsec, lengthMsec);
    give(InfoField::duration, Duration, durationText);
    give(InfoField::fps, Fps, fpsText);
    if (present & DetailInfo)
        map.insert(InfoField::detailInfo, QString::fromUtf8(detail));
    give(InfoField::pptPath, PptPath, slides);
    return map;
}

void ItemInfo::setFrameSize(int frameWidth, int frameHeight)
{
    width = frameWidth;
    height = frameHeight;
    present |= FrameWidth | FrameHeight;
}

QVariant ItemRecord::value(Field field) const
{
    if (!has(field))
        return {};
    switch (field) {
    case FileIdx:
        return fileIdx;
    case ModelIdx:
        return QVariant::fromValue(index);
    case Exists:
        return onDisk;
    case Name:
        return itemName;
    case Uuid:
        return itemUuid;
    case Type:
        return itemType;
    case Icon:
        return icon;
    case IsIcon:
        return iconOnly;
    case Img:
        return image;
    case AsyncCompleted:
        return completed;
    case IsValid:
        return valid;
    case TranscodeProgress:
        return progress;
    case IsTranscoded:
        return transcoded;
    case Info:
        return details.toMap();
    }
    return {};
}

QVariantMap ItemRecord::toMap() const
{
    static const std::pair<Field, const QString *> keys[] = {
            {FileIdx, &ItemField::fileIdx},
            {ModelIdx, &ItemField::modelIdx},
            {Exists, &ItemField::exists},
            {Name, &ItemField::name},
            {Uuid, &ItemField::uuid},
            {Type, &ItemField::type},
            {Icon, &ItemField::icon},
            {IsIcon, &ItemField::isIcon},
            {Img, &ItemField::img},
            {AsyncCompleted, &ItemField::asyncCompleted},
            {IsValid, &ItemField::isValid},
            {TranscodeProgress, &ItemField::transcodeProgress},
            {IsTranscoded, &ItemField::isTranscoded},
            {Info, &ItemField::info},
    };
    QVariantMap map;
    for (const auto &[field, key] : keys) {
        if (has(field))
            map.insert(*key, value(field));
    }
    return map;
}

void ItemRecord::copyFrom(const ItemRecord &other, quint16 fields)
{
    for (quint16 bit = FileIdx; bit <= Info; bit <<= 1) {
        if (!(fields & bit))
            continue;
        if (other.has(Field(bit)))
            take(Field(bit), other);
        else
            drop(Field(bit));
    }
}

void ItemRecord::take(Field field, const ItemRecord &other)
{
    switch (field) {
    case FileIdx:
        fileIdx = other.fileIdx;
        break;
    case ModelIdx:
        index = other.index;
        break;
    case Exists:
        onDisk = other.onDisk;
        break;
    case Name:
        itemName = other.itemName;
        break;
    case Uuid:
        itemUuid = other.itemUuid;
        break;
    case Type:
        itemType = other.itemType;
        break;
    case Icon:
        icon = other.icon;
        break;
    case IsIcon:
        iconOnly = other.iconOnly;
        break;
    case Img:
        image = other.image;
        break;
    case AsyncCompleted:
        completed = other.completed;
        break;
    case IsValid:
        valid = other.valid;
        break;
    case TranscodeProgress:
        progress = other.progress;
        break;
    case IsTranscoded:
        transcoded = other.transcoded;
        break;
    case Info:
        details = other.details;
        break;
    }
    present |= field;
}
