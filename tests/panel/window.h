#pragma once

#include "panel/mainwindow.h"
#include "support/pty.h"
#include "support/ui.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <memory>

using namespace lumavera;

// A settings folder whose "Ports" section sends COM1 to the virtual module,
// and a window started on it: the setting-up every window test begins with.
struct Bench
{
    TempConfig config;
    std::unique_ptr<TestModule> module;
    QString device;
    int heldBefore; // the module's own hold on its line
    std::unique_ptr<MainWindow> window;

    explicit Bench(const QByteArray &extraIni = {}, const VirtualModule::Options &playing = {},
                   const ModuleSettings &eeprom = SampleSettings())
        : module(std::make_unique<TestModule>(playing, eeprom)), device(module->device()),
          heldBefore(openDescriptorsOn(device))
    {
        config.write("[Settings]\r\nCommPort=1\r\n[Ports]\r\nCOM1=" + device.toLocal8Bit() +
                     "\r\n" + extraIni);
        window = std::make_unique<MainWindow>();
        window->show();
        settle();
    }

    // Lets the window take its first look at the system's ports, which it
    // does once it is shown.
    void settle() const
    {
        QElapsedTimer clock;
        clock.start();
        while (ui().lblPortInfo->text().isEmpty() && clock.elapsed() < 3000)
            QTest::qWait(5);
    }

    Ui ui() const { return Ui(*window); }

    void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    bool connect()
    {
        click(ui().cmdConnect);
        return ui().cmdConnect->text() == QLatin1String("Disconnect");
    }

    // Whether the window holds the pty open.
    bool portHeld() const { return openDescriptorsOn(device) > heldBefore; }

    bool isClosedState() const
    {
        const Ui w = ui();
        return w.cmdConnect->text() == QLatin1String("Connect") && w.fComm->isEnabled() &&
               !w.fRGB->isEnabled() && !portHeld();
    }

    bool isOpenState() const
    {
        const Ui w = ui();
        return w.cmdConnect->text() == QLatin1String("Disconnect") && !w.fComm->isEnabled() &&
               w.fRGB->isEnabled() && portHeld();
    }
};
