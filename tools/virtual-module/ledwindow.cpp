#include "ledwindow.h"

#include "module.h"

#include <QPainter>

namespace lumavera {

LedWindow::LedWindow(const VirtualModule &module, QWidget *parent)
    : QWidget(parent), module_(module)
{
    setWindowTitle(QStringLiteral("Virtual LED module \u2014 %1").arg(module.devicePath()));
    setFixedSize(420, 300);
    connect(&module, &VirtualModule::changed, this, qOverload<>(&QWidget::update));
}

void LedWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(32, 32, 36));
    const Rgb c = module_.colour();
    const QColor led(c.red, c.green, c.blue);
    p.setPen(QColor(90, 90, 96));
    p.setBrush(led);
    p.drawRoundedRect(QRect(20, 20, 380, 160), 12, 12);

    const ModuleSettings &s = module_.state();
    p.setPen(Qt::white);
    p.drawText(QRect(20, 188, 380, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("colour %1, %2, %3   mode %4   fade %5   hold %6")
                   .arg(c.red)
                   .arg(c.green)
                   .arg(c.blue)
                   .arg(s.mode)
                   .arg(s.fade)
                   .arg(s.hold));
    for (int i = 0; i < SlotCount; ++i) {
        const QRect box(20 + i * 38, 220, 32, 32);
        const Rgb slot = s.slotColors[std::size_t(i)];
        p.setPen(QColor(90, 90, 96));
        p.setBrush(QColor(slot.red, slot.green, slot.blue));
        p.drawRect(box);
        p.setPen(Qt::white);
        p.drawText(QRect(box.left(), 256, 32, 16), Qt::AlignCenter, QString::number(i + 1));
    }
}

} // namespace lumavera
