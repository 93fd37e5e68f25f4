#pragma once

#include <QWidget>

namespace lumavera {

class VirtualModule;

// What the virtual module's LED shows: a large swatch in its current colour,
// its mode, fade and hold, and the ten memory slots as a row of swatches.
class LedWindow : public QWidget
{
    Q_OBJECT

public:
    explicit LedWindow(const VirtualModule &module, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const VirtualModule &module_;
};

} // namespace lumavera
