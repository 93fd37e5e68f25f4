#pragma once

#include "panel/frmmain.h"
#include "support/pty.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <memory>

// A settings folder whose "Ports" section sends COM1 to a fresh pty, and a
// window started on it: the setting-up every window test begins with.
struct Bench
{
    TempConfig config;
    Pty pty;
    std::unique_ptr<frmMain> window;

    explicit Bench(const QByteArray &extraIni = {})
    {
        config.write("[Settings]\r\nCommPort=1\r\n[Ports]\r\nCOM1=" +
                     pty.slavePath().toLocal8Bit() + "\r\n" + extraIni);
        window = std::make_unique<frmMain>();
        window->show();
    }

    void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    bool connect()
    {
        click(window->cmdConnect);
        return window->cmdConnect->text() == QLatin1String("Disconnect");
    }

    bool isClosedState() const
    {
        return window->cmdConnect->text() == QLatin1String("Connect") &&
               window->fComm->isEnabled() && !window->fRGB->isEnabled() &&
               !window->MSComm1->portOpen();
    }

    bool isOpenState() const
    {
        return window->cmdConnect->text() == QLatin1String("Disconnect") &&
               !window->fComm->isEnabled() && window->fRGB->isEnabled() &&
               window->MSComm1->portOpen();
    }
};
