#include "panel/statemark.h"

#include <QPainter>
#include <QPainterPath>

namespace lumavera {

StateMark::StateMark(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("stationMark"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSide(40);
}

void StateMark::setShape(Shape shape)
{
    shape_ = shape;
    setVisible(shape != Shape::None);
    update();
}

void StateMark::setSide(int pixels)
{
    setFixedSize(pixels, pixels);
}

void StateMark::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    const qreal stroke = qMax<qreal>(3, side / 7);
    QPen pen(palette().color(QPalette::WindowText), stroke, Qt::SolidLine, Qt::RoundCap,
             Qt::RoundJoin);
    p.setPen(pen);
    const auto at = [side](qreal x, qreal y) { return QPointF(x * side, y * side); };
    switch (shape_) {
    case Shape::None:
        break;
    case Shape::Tick: {
        QPainterPath tick(at(0.14, 0.55));
        tick.lineTo(at(0.40, 0.80));
        tick.lineTo(at(0.88, 0.22));
        p.drawPath(tick);
        break;
    }
    case Shape::Cross:
        p.drawLine(at(0.18, 0.18), at(0.82, 0.82));
        p.drawLine(at(0.82, 0.18), at(0.18, 0.82));
        break;
    case Shape::Bar:
        // A no-entry bar: the port is someone else's.
        p.setPen(Qt::NoPen);
        p.setBrush(pen.color());
        p.drawRoundedRect(QRectF(at(0.08, 0.38), at(0.92, 0.62)), stroke / 3, stroke / 3);
        break;
    }
}

} // namespace lumavera
