#pragma once

#include <QJsonArray>
#include <QString>

// The tree of folderTreeJson() as a person reads it in a terminal: one line per item,
// indented by depth, with its type, length, frame size and a mark when it is invalid.
QString folderTreeText(const QJsonArray &roots);
