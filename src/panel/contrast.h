#pragma once

#include <QColor>

class QWidget;

namespace lumavera {

// Contrast of text against its background, as WCAG 2 measures it: from 1
// (none) to 21 (black on white).
double ContrastRatio(const QColor &a, const QColor &b);

// The least contrast WCAG AA asks of ordinary text.
inline constexpr double ReadableContrast = 4.5;
// What a tint is chosen for: a margin over that least, since the colour as
// drawn on screen can come out a shade off the one asked for.
inline constexpr double ChosenContrast = 4.6;

// The colour to draw text of the given hue in on the given background: the
// hue itself where it reads at ChosenContrast, else the least lightened (on a
// dark background) or darkened (on a light one) shade of it that does.
QColor TextColorOn(const QColor &hue, const QColor &background);

// Black or white, whichever reads better on `background`.
QColor BlackOrWhiteOn(const QColor &background);

// The colour the style draws behind `w`: its parent's background and frame
// at its place, without any control on them.
QColor ColourBehind(QWidget *w);

} // namespace lumavera
