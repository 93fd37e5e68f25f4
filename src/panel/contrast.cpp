#include "panel/contrast.h"

#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace lumavera {

namespace {

double channel(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
           0.0722 * channel(rgb.blueF());
}

// The hue moved `share` of the way to `target` (white or black).
QColor toward(const QColor &c, double target, double share)
{
    const QColor rgb = c.toRgb();
    auto mix = [target, share](double v) { return v + (target - v) * share; };
    return QColor::fromRgbF(float(mix(rgb.redF())), float(mix(rgb.greenF())),
                            float(mix(rgb.blueF())));
}

} // namespace

double ContrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor TextColorOn(const QColor &hue, const QColor &background)
{
    // Lighten on a dark background, darken on a light one, in small steps:
    // white or black itself always reads.
    const bool dark = background.lightnessF() < 0.5;
    for (int step = 0; step <= 100; ++step) {
        const QColor shade = toward(hue, dark ? 1.0 : 0.0, step / 100.0);
        if (ContrastRatio(shade, background) >= ChosenContrast)
            return shade;
    }
    return dark ? QColor(Qt::white) : QColor(Qt::black);
}

QColor BlackOrWhiteOn(const QColor &background)
{
    return ContrastRatio(Qt::white, background) >= ContrastRatio(Qt::black, background)
               ? QColor(Qt::white)
               : QColor(Qt::black);
}

QColor ColourBehind(QWidget *w)
{
    QWidget *parent = w->parentWidget();
    const QRect place = w->geometry();
    QImage drawn(place.size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(parent->palette().color(QPalette::Window));
    parent->render(&drawn, QPoint(), QRegion(place), QWidget::DrawWindowBackground);
    return drawn.pixelColor(place.width() / 2, place.height() / 2);
}

} // namespace lumavera
