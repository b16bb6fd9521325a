#include "model/itemrecord.h"

#include "model/itemfields.h"

#include <QtEndian>

namespace {

// In the order of ItemInfo's texts.
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
    QString texts[TextCount];
    for (int i = 0; i < TextCount; ++i) {
        const auto found = map.constFind(*kTextKeys[i]);
        if (found == map.constEnd())
            continue;
        texts[i] = found->toString();
        info.present |= textBit(Text(i));
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
    for (int i = 0; i < TextCount; ++i) {
        if (present & textBit(Text(i)))
            map.insert(*kTextKeys[i], text(Text(i)));
    }
    return map;
}

void ItemInfo::setFrameSize(int frameWidth, int frameHeight)
{
    width = frameWidth;
    height = frameHeight;
    present |= FrameWidth | FrameHeight;
}

void ItemInfo::packTexts(const QString (&from)[TextCount])
{
    int count = TextCount;
    while (count > 0 && from[count - 1].isEmpty())
        --count;
    present &= ~Coded;
    QByteArray block;
    for (int i = 0; i < count; ++i) {
        QByteArray bytes = from[i].toUtf8();
        if (i == DetailText && !holdsControlBytes(bytes)) {
            bytes = withFragmentCodes(bytes);
            present |= Coded;
        }
        const quint32 size = qToLittleEndian(quint32(bytes.size()));
        block.append(reinterpret_cast<const char *>(&size), sizeof size).append(bytes);
    }
    block.squeeze();
    texts = block;
}

// Only the detail info is decoded, and only when it is the text asked for.
QString ItemInfo::text(Text which) const
{
    int at = 0;
    for (int i = 0; at + int(sizeof(quint32)) <= texts.size(); ++i) {
        const int size = int(qFromLittleEndian<quint32>(texts.constData() + at));
        at += sizeof(quint32);
        if (i < which) {
            at += size;
            continue;
        }
        QByteArray bytes = texts.mid(at, size);
        if (which == DetailText && (present & Coded))
            bytes = withoutFragmentCodes(bytes);
        return QString::fromUtf8(bytes.constData(), bytes.size()); // zero characters included
    }
    return {};
}

QVariant ItemRecord::value(Field field) const
{
    if (!has(field))
        return {};
    switch (field) {
    case FileIdx:
        return fileIdx;
    case ModelIdx:
        break;
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
    case Reason:
        return flawText(flaw);
    }
    return {};
}

QString ItemRecord::flawText(Flaw flaw)
{
    switch (flaw) {
    case Flaw::None:
        break;
    case Flaw::NothingToShow:
        return QStringLiteral("no picture and no sound in the file");
    case Flaw::NoPictureSize:
        return QStringLiteral("the video's picture has no size");
    case Flaw::ToolFailed:
        return QStringLiteral("the tool crashed, hung or could not start");
    case Flaw::Undecodable:
        return QStringLiteral("cannot be decoded");
    case Flaw::NoReader:
        return QStringLiteral("no reader for this picture type is installed");
    case Flaw::NoSlides:
        return QStringLiteral("no slides came out of the presentation");
    case Flaw::Gone:
        return QStringLiteral("the file is gone");
    }
    return {};
}

QVariantMap ItemRecord::toMap(const QModelIndex &index) const
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
            {Reason, &ItemField::reason},
    };
    QVariantMap map;
    for (const auto &[field, key] : keys) {
        if (has(field))
            map.insert(*key, field == ModelIdx ? QVariant::fromValue(index) : value(field));
    }
    return map;
}
