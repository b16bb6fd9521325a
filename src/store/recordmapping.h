#pragma once

#include "model/itemrecord.h"
#include "store/module_mediainfo.h"

// How an item of the folder tree becomes a media-info record of the store.

// The category of every record that the folder page writes, and the only one it restores.
inline const QString kFolderPageCategory = QStringLiteral("folder");

// The first record of a newly built item: where it is, nothing about its media yet.
Module_Mediainfo newItemRecord(const QString &uuid, const QString &path, int rootOrdinal);

// Overwrites what the item knows about its media; the record keeps everything else.
void fillFromItem(Module_Mediainfo &record, const ItemRecord &item, qint64 fileSize,
                  qint64 fileModified);
// The fields that fillFromItem() overwrites for an item of the type.
const QStringList &filledFields(const QString &type);
