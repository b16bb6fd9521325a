#pragma once

#include <QVariantMap>

// Keys of the parameters that a transcode request carries.
namespace TranscodeParam {
inline const QString width = QStringLiteral("w");
inline const QString height = QStringLiteral("h");
inline const QString isFromFolder = QStringLiteral("isFromFolder");
inline const QString codec = QStringLiteral("t");
inline const QString externalPath = QStringLiteral("externalPath");
inline const QString externalUuid = QStringLiteral("externalUuid");
inline const QString outputPath = QStringLiteral("outputPath");
inline const QString partialPath = QStringLiteral("partialPath"); // written until it succeeded
} // namespace TranscodeParam

// Transcodes of files outside the tree carry "isFromFolder" false; every other job belongs to
// an item of the tree.
inline bool belongsToTree(const QVariantMap &params)
{
    return params.value(TranscodeParam::isFromFolder, true).toBool();
}
