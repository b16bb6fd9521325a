#include "model/itemrecord.h"

#include "model/itemfields.h"

#include <QtEndian>

namespace {

const QString *const kTextKeys[]
        = {&InfoField::duration, &InfoField::fps, &InfoField::detailInfo, &InfoField::pptPath};

// The detail-info JSON is the parser's, compact, with its keys in order: most of its bytes are
// the same names and punctuation in every item. Each of these fragments is kept as one control
// byte, which compact JSON never holds (it escapes them), so the text comes back exactly.
const char *const kDetailFragments[] = {"{\"Audio\":{\"bitrate\":\"",
                                        "{\"Metadata\":{\"",
                                        "{\"Video\":{\"bitrate\":\"",
                                        "\"},\"Metadata\":{\"",
                                        "\"},\"Video\":{\"bitrate\":\"",
                                        "\"},\"bitrate\":\"",
                                        "\",\"duration\":\"",
                                        "\",\"encoding\":\"",
                                        "\",\"fps\":\"",
                                        "\",\"pixelFormats\":\"",
                                        "\",\"resolution\":\"",
                                        "\",\"sampleFormat\":\"",
                                        "\",\"sampleRate\":\"",
                                        "\",\"soundTrack\":\"",
                                        "compatible_brands\":\"",
                                        "creation_time\":\"",
                                        "\",\"encoder\":\"",
                                        "\",\"major_brand\":\"",
                                        "\",\"minor_version\":\"",
                                        "\"}}",
                                        "(progressive)",
                                        " [SAR 1:1 DAR ",
                                        " kb/s",
                                        " Hz",
                                        " fps",
                                        "yuv420p",
                                        "stereo",
                                        "fltp",
                                        "Lavf",
                                        "00:00:"};
static_assert(std::size(kDetailFragments) < 0x20, "a fragment's code is a control byte");

bool holdsControlBytes(const QByteArray &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](char c) { return uchar(c) < 0x20; });
}

QByteArray withFragmentCodes(QByteArray text)
{
    for (int code = 0; code < int(std::size(kDetailFragments)); ++code)
        text.replace(kDetailFragments[code], QByteArray(1, char(code + 1)));
    return text;
}

QByteArray withoutFragmentCodes(const QByteArray &packed)
{
    QByteArray text;
    text.reserve(packed.size() * 3);
    for (char c : packed) {
        if (uchar(c) >= 1 && uchar(c) <= std::size(kDetailFragments))
            text.append(kDetailFragments[uchar(c) - 1]);
        else
            text.append(c);
    }
    return text;
}

} // namespace

ItemInfo ItemInfo::fromMap(const QVariantMap &map)
{
    ItemInfo info;
    const auto takeInt = [&](const QString &key, Key bit, int &member) {
        const auto found = map.constFind(key);
        if (found == map.constEnd())
            return;
        member = found->toInt();
        info.present |= bit;
    };
    takeInt(InfoField::frameWidth, FrameWidth, info.width);
    takeInt(InfoField::frameHeight, FrameHeight, info.height);
    takeInt(InfoField::timeLenMsec, TimeLenMsec, info.lengthMsec);
    QString texts[kTexts];
    const Key textBits[kTexts] = {Duration, Fps, DetailInfo, PptPath};
    for (int i = 0; i < kTexts; ++i) {
        const auto found = map.constFind(*kTextKeys[i]);
        if (found == map.constEnd())
            continue;
        texts[i] = found->toString();
        info.present |= textBits[i];
    }
    info.packTexts(texts);
    return info;
}

QVariantMap ItemInfo::toMap() const
{
    QVariantMap map;
    const auto giveInt = [&](const QString &key, Key bit, int value) {
        if (present & bit)
            map.insert(key, value);
    };
    giveInt(InfoField::frameWidth, FrameWidth, width);
    giveInt(InfoField::frameHeight, FrameHeight, height);
    giveInt(InfoField::timeLenMsec, TimeLenMsec, lengthMsec);
    QString texts[kTexts];
    unpackTexts(texts);
    const Key textBits[kTexts] = {Duration, Fps, DetailInfo, PptPath};
    for (int i = 0; i < kTexts; ++i) {
        if (present & textBits[i])
            map.insert(*kTextKeys[i], texts[i]);
    }
    return map;
}

QString ItemInfo::pptPath() const
{
    QString texts[kTexts];
    unpackTexts(texts);
    return texts[kTexts - 1];
}

void ItemInfo::setFrameSize(int frameWidth, int frameHeight)
{
    width = frameWidth;
    height = frameHeight;
    present |= FrameWidth | FrameHeight;
}

// Each text as its length and its UTF-8 bytes; empty ones at the end are left out.
void ItemInfo::packTexts(const QString (&from)[kTexts])
{
    int count = kTexts;
    while (count > 0 && from[count - 1].isEmpty())
        --count;
    present &= ~Coded;
    QByteArray block;
    for (int i = 0; i < count; ++i) {
        QByteArray bytes = from[i].toUtf8();
        if (i == kDetailText && !holdsControlBytes(bytes)) {
            bytes = withFragmentCodes(bytes);
            present |= Coded;
        }
        const quint32 size = qToLittleEndian(quint32(bytes.size()));
        block.append(reinterpret_cast<const char *>(&size), sizeof size).append(bytes);
    }
    block.squeeze();
    texts = block;
}

void ItemInfo::unpackTexts(QString (&to)[kTexts]) const
{
    int at = 0;
    for (int i = 0; i < kTexts; ++i) {
        if (at + int(sizeof(quint32)) > texts.size())
            return;
        const int size = int(qFromLittleEndian<quint32>(texts.constData() + at));
        at += sizeof(quint32);
        const QByteArray bytes = texts.mid(at, size);
        at += size;
        const QByteArray text
                = i == kDetailText && (present & Coded) ? withoutFragmentCodes(bytes) : bytes;
        to[i] = QString::fromUtf8(text.constData(), text.size()); // zero characters included
    }
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
