#pragma once

#include <QFont>

class QWidget;

namespace lumavera {

// The window's font: Tahoma 8.25 pt, the face its layout was measured for.
// Where the system has no Tahoma, the Tahoma-metric face Debian ships with
// Wine is loaded from its file; failing that, the narrowest sans at hand.
QFont PanelFont();

// The largest pixel size, up to the font's own, at which every caption of the
// window's fixed layout fits its control: the font it then draws them in.
// With a Tahoma-metric face that is the font unchanged; with any other face
// the captions shrink a little rather than being cut.
QFont FittingFont(const QWidget *window, QFont font);

} // namespace lumavera
