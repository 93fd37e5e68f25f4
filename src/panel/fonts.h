#pragma once

#include <QFont>

// The window's font: Tahoma 8.25 pt, the face its layout was measured for.
// Where the system has no Tahoma, the Tahoma-metric face Debian ships with
// Wine is loaded from its file; failing that, the narrowest sans at hand.
QFont PanelFont();
