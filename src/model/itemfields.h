#pragma once

#include <QString>

// Keys of an item record and of its "info" map, the item types, and the built-in images
// and icon-font code points that the page shows for them.
namespace ItemField {
inline const QString fileIdx = QStringLiteral("fileIdx");
inline const QString modelIdx = QStringLiteral("modelIdx");
inline const QString exists = QStringLiteral("exists");
inline const QString name = QStringLiteral("name");
inline const QString uuid = QStringLiteral("uuid");
inline const QString type = QStringLiteral("type");
inline const QString icon = QStringLiteral("icon");
inline const QString isIcon = QStringLiteral("isIcon");
inline const QString img = QStringLiteral("img");
inline const QString asyncCompleted = QStringLiteral("asyncCompleted");
inline const QString isValid = QStringLiteral("isValid");
inline const QString transcodeProgress = QStringLiteral("transcodeProgress");
inline const QString isTranscoded = QStringLiteral("isTranscoded");
inline const QString info = QStringLiteral("info");
inline const QString reason = QStringLiteral("reason"); // why an item cannot be shown
} // namespace ItemField

namespace InfoField {
inline const QString frameWidth = QStringLiteral("frameWidth");
inline const QString frameHeight = QStringLiteral("frameHeight");
inline const QString timeLenMsec = QStringLiteral("timeLenMsec");
inline const QString duration = QStringLiteral("duration");
inline const QString fps = QStringLiteral("fps");
inline const QString detailInfo = QStringLiteral("detailInfo");
inline const QString pptPath = QStringLiteral("pptPath");
} // namespace InfoField

namespace ItemType {
inline const QString folder = QStringLiteral("folder");
inline const QString video = QStringLiteral("video");
inline const QString picture = QStringLiteral("picture");
inline const QString audio = QStringLiteral("audio");
inline const QString office = QStringLiteral("office");
} // namespace ItemType

namespace BuiltinImage {
inline const QString folder = QStringLiteral("qrc:/PICTS/Pics/folder.png");
inline const QString music = QStringLiteral("qrc:/PICTS/Pics/music.png");
inline const QString dummy = QStringLiteral("qrc:/PICTS/Pics/dummy.png");
inline const QString office = QStringLiteral("qrc:/PICTS/Pics/Office_signal.png");
} // namespace BuiltinImage

// Code points of the page's icon font.
namespace IconGlyph {
constexpr int file = 0xF15B; // videos and pictures
constexpr int music = 0xF58F;
constexpr int presentation = 0xF1C4;
} // namespace IconGlyph
