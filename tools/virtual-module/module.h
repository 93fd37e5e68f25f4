#pragma once

#include "framefinder.h"
#include "link/reply.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <optional>

class QSocketNotifier;
class QTimer;

namespace lumavera {

// The far end of the serial line: an LED module that keeps its colour, mode,
// fade, hold and ten memory slots, and answers the two commands that expect
// an answer. It sits on a pseudo-terminal the tool can open as its port.
class VirtualModule : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString link;       // a symbolic link to the device, made and removed here
        QString eepromFile; // where the "EEPROM" is kept across runs
        bool silent = false;
        int delayMs = 0;
        bool shortReply = false;
        bool badAck = false;
        bool noise = false;
        bool forget = false; // keeps no setting it is sent
        // Answers at the line's own speed, 9600 baud: each byte 1.04 ms after
        // the one before, starting once the command's last byte would have
        // arrived. Off, answers go out at once.
        bool paced = true;
        // Answers both commands that expect an answer with these bytes
        // instead of its own, to try what the tool makes of an odd answer.
        std::optional<QByteArray> answer;
    };

    explicit VirtualModule(const Options &options, QObject *parent = nullptr);
    ~VirtualModule() override;

    // Creates the pseudo-terminal (and the link); false with a message on failure.
    bool start(QString *error);
    // Takes the pseudo-terminal and the link away, as pulling the cable
    // would; start() plugs it in again, with the settings of its EEPROM as
    // after a power cycle.
    void stop();
    bool running() const { return master_ >= 0; }
    // A module on a cable that stays plugged in: detached, the line is there
    // but nothing reads it, so every frame goes unanswered; attached again,
    // it is a module just powered up, with the settings of its EEPROM.
    void setAttached(bool attached);
    bool attached() const { return attached_; }
    QString devicePath() const { return devicePath_; }

    // How it answers; it may change while the module runs, as a bench
    // module's switches would.
    Options &options() { return options_; }

    Rgb colour() const { return colour_; }
    const ModuleSettings &state() const { return state_; }

    // One frame in, the line it prints and the bytes it answers with.
    struct Outcome
    {
        QString line;
        QByteArray answer;
    };
    Outcome handle(const Frame &frame);

    // Puts bytes on the line, at the line's speed when paced, as the
    // module's own answers go.
    void send(const QByteArray &bytes);

signals:
    void printed(const QString &line);
    void changed();
    // Bytes from the tool as they arrive, while it is on the cable.
    void heard(const QByteArray &bytes);

private:
    void onReadable();
    void drain();
    void loadEeprom();
    bool saveEeprom();

    Options options_;
    int master_ = -1;
    int slave_ = -1;
    QString devicePath_;
    QSocketNotifier *notifier_ = nullptr;
    FrameFinder finder_;
    QElapsedTimer clock_;
    Rgb colour_;
    ModuleSettings state_;
    bool linked_ = false;
    bool attached_ = true;
    QByteArray outgoing_; // paced bytes not yet on the line
    qint64 nextByteNs_ = 0;
    QTimer *pacer_ = nullptr;
};

} // namespace lumavera
