#pragma once

#include <QWidget>

namespace lumavera {

// The state of a station tile as a shape beside its words, for anyone who
// cannot tell the tiles' colours apart: a tick, a cross or a bar, drawn in
// the tile's text colour, or nothing.
class StateMark : public QWidget
{
public:
    enum class Shape { None, Tick, Cross, Bar };

    explicit StateMark(QWidget *parent = nullptr);

    void setShape(Shape shape);
    // The side of the square the shape is drawn in.
    void setSide(int pixels);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Shape shape_ = Shape::None;
};

} // namespace lumavera
