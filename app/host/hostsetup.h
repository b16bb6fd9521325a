#pragma once

#include <QString>

// Makes the facade known to QML as the singleton "CustomFolder" 1.0 of module CustomFolder,
// as the application's page imports it.
void registerCustomFolderTypes();

// The icon font the page draws type icons with; empty when it is not installed.
QString iconFontUrl();
