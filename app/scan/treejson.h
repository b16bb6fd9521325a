#pragma once

#include <QJsonArray>

class UI_Proc_SignalCustomFolder_Desktop;

// The folder tree as the page's tree view sees it: an array of roots, each node with its
// record values, its media information and its children in row order.
QJsonArray folderTreeJson(UI_Proc_SignalCustomFolder_Desktop &facade);
