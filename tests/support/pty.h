#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include "link/reply.h"
#include "module.h"

#include <memory>

using namespace lumavera;

// A bare pseudo-terminal: a device that comes and goes with this object,
// hung up (as if unplugged) by closeMaster().
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;
    QString slavePath() const { return slavePath_; }
    void closeMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

// A module's settings for scripted replies: mode 3, fade 1, hold 10, and
// slot i coloured (200 + i, 20 i, 7 i + 3).
ModuleSettings SampleSettings();

// The virtual module on a pty of its own, answering at once, switched on
// with `eeprom` in its EEPROM; every byte the tool sends is gathered. Its
// device is a link to the pty, made anew each time it is plugged in, as
// udev makes a device's stable name.
struct TestModule
{
    explicit TestModule(VirtualModule::Options options = {},
                        const ModuleSettings &eeprom = SampleSettings());
    QString device() const { return module->options().link; }
    QTemporaryDir folder;
    std::unique_ptr<VirtualModule> module;
    QByteArray heard;
};

// Answers the message boxes a handler opens: records each one's title, text
// and details, and presses `answer` (or the box's escape/OK button).
class BoxAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        QString title;
        QString text;
        QString details;
        int defaultButton; // QMessageBox::StandardButton
        int escapeButton;
    };

    explicit BoxAnswerer(QObject *parent = nullptr);
    int answer; // a QMessageBox::StandardButton; 0 presses the default
    QList<Seen> seen;
    QStringList texts() const;

private:
    void poll();
};

// A fresh settings folder for this process: XDG_CONFIG_HOME points into a
// temporary directory that lives as long as this object.
class TempConfig
{
public:
    TempConfig();
    ~TempConfig();
    QString iniPath() const;
    void write(const QByteArray &content) const;
    QByteArray read() const;

private:
    QString root_;
};
