#pragma once

#include <QStringList>

class UI_Proc_SignalCustomFolder_Desktop;

// Moves the root shown at OLD to NEW for each "OLD=NEW", as the page's relink does, and waits
// until the moved roots are compared with their new places. False when a request names no
// root or was refused.
bool runRelinks(UI_Proc_SignalCustomFolder_Desktop &facade, const QStringList &requests);
