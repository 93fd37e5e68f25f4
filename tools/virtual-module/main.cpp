// lumavera-virtual-module: an LED module on a pseudo-terminal, for trying
// and testing the tool without hardware.

#include "app/unixsignals.h"
#include "ledwindow.h"
#include "module.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

using namespace lumavera;

namespace {

void say(const QString &line)
{
    std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

int usageError(const QString &message)
{
    std::fprintf(stderr, "lumavera-virtual-module: %s\nTry --help.\n",
                 message.toLocal8Bit().constData());
    return 2;
}

const char *const Description =
    R"(An LED controller module on a pseudo-terminal, for trying and testing Lumavera
without hardware. It prints the device path, then one line for every frame the
tool sends, for example:
  SetColor r=128 g=64 b=0
  StoreSlot slot=10 r=255 g=7 b=10
  SetMode 3
  ReadModuleSettings -> 35 bytes
  SaveToEeprom -> FE AA
It keeps the module's colour, mode (0..11), fade (0..2), hold (0..240) and ten
memory slots, answers Read Module Settings with them, and on Save Settings on
EEPROM copies them into its EEPROM (a file, with --eeprom) and acknowledges.
It answers at the line's real speed, 9600 baud, as a module would: a read
takes 41.7 ms from the command to the last byte of the answer; --fast answers
at once.
Point the tool at it through the "Ports" section of lumavera.ini:
  [Ports]
  COM1=/path/given/to/--link
With --count N it plays N modules, each on its own pseudo-terminal linked as
module-1 .. module-N in the folder --link names, each keeping its EEPROM in
the folder --eeprom names (module-K.eeprom). Lines then start with the
module's name. With --cycle UP:DOWN each module stays plugged in for UP ms,
is pulled out for DOWN ms (its pseudo-terminal and link go), comes back with
the settings of its EEPROM, and so on; several modules take turns. Pointing
LUMAVERA_SERIAL_BY_ID at the folder makes the links stand for the system's
stable device names, for lumaveractl station and find. With --attach UP:DOWN
the pseudo-terminal stays, as a USB-serial cable does, and the module on it
answers for UP ms, then nothing for DOWN ms (taken off the cable), and comes
back with the settings of its EEPROM.
Stop it with Ctrl+C; the links are removed on exit.)";

// Parses "UP:DOWN" in milliseconds.
std::optional<std::pair<int, int>> cycleTimes(const QString &text)
{
    const QStringList parts = text.split(u':');
    bool upOk = false;
    bool downOk = false;
    const int up = parts.value(0).toInt(&upOk);
    const int down = parts.value(1).toInt(&downOk);
    if (parts.size() != 2 || !upOk || !downOk || up < 10 || down < 10 || up > 3600000 ||
        down > 3600000)
        return std::nullopt;
    return std::pair(up, down);
}

} // namespace

int main(int argc, char *argv[])
{
    // A window needs a display; decide before the application object exists.
    bool wantWindow = false;
    for (int i = 1; i < argc; ++i)
        wantWindow = wantWindow || QByteArray(argv[i]) == "--window";
    const bool haveDisplay = qEnvironmentVariableIsSet("DISPLAY") ||
                             qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                             qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    std::unique_ptr<QCoreApplication> app;
    if (wantWindow && haveDisplay)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumavera-virtual-module"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption link("link", "Also make a symbolic link <path> to the device.",
                                  "path");
    const QCommandLineOption eeprom("eeprom",
                                    "Keep the EEPROM in <file>: loaded at start, written on "
                                    "every Save Settings on EEPROM.",
                                    "file");
    const QCommandLineOption silent("silent", "Never answer (a module that is not there).");
    const QCommandLineOption delay("delay", "Answer <ms> milliseconds late.", "ms");
    const QCommandLineOption shortReply("short", "Send a 34-byte settings reply, one too few.");
    const QCommandLineOption badAck("bad-ack", "Acknowledge a save with FE AB instead of FE AA.");
    const QCommandLineOption noise("noise", "Send three bytes of line noise before each answer.");
    const QCommandLineOption forget("forget", "Keep no setting it is sent (a broken memory).");
    const QCommandLineOption answer("answer",
                                    "Answer a read and a save alike with <hex> bytes (FE AA, a "
                                    "settings reply, anything) instead of its own.",
                                    "hex");
    const QCommandLineOption window("window", "Show the LED in a window (needs a display).");
    const QCommandLineOption fast("fast", "Answer at once, not at the line's speed.");
    const QCommandLineOption count("count", "Play <n> modules (1..32); --link names a folder.",
                                   "n");
    const QCommandLineOption attach(
        "attach", "On a cable that stays: attached for <up> ms, detached for <down> ms, again.",
        "up:down");
    const QCommandLineOption cycle("cycle", "Plug in for <up> ms, pull out for <down> ms, again.",
                                   "up:down");
    parser.addOptions({help, link, eeprom, silent, delay, shortReply, badAck, noise, window, fast,
                       count, cycle, attach, forget, answer});

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    VirtualModule::Options options;
    options.link = parser.value(link);
    options.eepromFile = parser.value(eeprom);
    options.silent = parser.isSet(silent);
    options.shortReply = parser.isSet(shortReply);
    options.badAck = parser.isSet(badAck);
    options.noise = parser.isSet(noise);
    options.forget = parser.isSet(forget);
    options.paced = !parser.isSet(fast);
    if (parser.isSet(answer)) {
        const QByteArray hex = parser.value(answer).remove(u' ').toLatin1();
        options.answer = QByteArray::fromHex(hex);
        if (options.answer->toHex().toUpper() != hex.toUpper())
            return usageError(
                QStringLiteral("--answer takes bytes in hex, such as 'FE AA', not '%1'")
                    .arg(parser.value(answer)));
    }
    if (parser.isSet(delay)) {
        bool ok = false;
        options.delayMs = parser.value(delay).toInt(&ok);
        if (!ok || options.delayMs < 0 || options.delayMs > 60000)
            return usageError(QStringLiteral("--delay takes milliseconds from 0 to 60000, not '%1'")
                                  .arg(parser.value(delay)));
    }

    int modules = 1;
    if (parser.isSet(count)) {
        bool ok = false;
        modules = parser.value(count).toInt(&ok);
        if (!ok || modules < 1 || modules > 32)
            return usageError(QStringLiteral("--count takes a number from 1 to 32, not '%1'")
                                  .arg(parser.value(count)));
        if (options.link.isEmpty())
            return usageError(QStringLiteral("--count needs --link FOLDER"));
    }
    std::optional<std::pair<int, int>> upDown;
    if (parser.isSet(cycle) && !(upDown = cycleTimes(parser.value(cycle))))
        return usageError(QStringLiteral("--cycle takes UP:DOWN, each 10..3600000 ms, not '%1'")
                              .arg(parser.value(cycle)));

    std::optional<std::pair<int, int>> attachedDetached;
    if (parser.isSet(attach) && !(attachedDetached = cycleTimes(parser.value(attach))))
        return usageError(QStringLiteral("--attach takes UP:DOWN, each 10..3600000 ms, not '%1'")
                              .arg(parser.value(attach)));

    std::vector<std::unique_ptr<VirtualModule>> all;
    for (int k = 1; k <= modules; ++k) {
        VirtualModule::Options own = options;
        QString prefix;
        if (parser.isSet(count)) {
            prefix = QStringLiteral("module-%1").arg(k);
            QDir().mkpath(options.link);
            own.link = QDir(options.link).filePath(prefix);
            if (!options.eepromFile.isEmpty()) {
                QDir().mkpath(options.eepromFile);
                own.eepromFile = QDir(options.eepromFile).filePath(prefix + ".eeprom");
            }
            prefix += u' ';
        }
        auto module = std::make_unique<VirtualModule>(own);
        VirtualModule *m = module.get();
        const auto plugIn = [m, prefix, own] {
            QString error;
            if (!m->start(&error)) {
                std::fprintf(stderr, "lumavera-virtual-module: %s\n",
                             error.toLocal8Bit().constData());
                return false;
            }
            say(prefix + QStringLiteral("device %1").arg(m->devicePath()));
            if (!own.link.isEmpty())
                say(prefix + QStringLiteral("link %1").arg(own.link));
            return true;
        };
        if (!plugIn())
            return 1;
        QObject::connect(m, &VirtualModule::printed, [prefix](const QString &line) {
            say(prefix.isEmpty() ? line : prefix.trimmed() + QStringLiteral(": ") + line);
        });
        if (upDown) {
            // Module K leaves K/N of a cycle after the first, so that they
            // come and go one after another.
            const int up = upDown->first;
            const int down = upDown->second;
            auto *timer = new QTimer(m);
            timer->setSingleShot(true);
            QObject::connect(timer, &QTimer::timeout, m, [m, timer, plugIn, prefix, up, down] {
                if (m->running()) {
                    m->stop();
                    say(prefix + QStringLiteral("unplugged"));
                    timer->start(down);
                } else {
                    plugIn();
                    timer->start(up);
                }
            });
            timer->start(up + (k - 1) * (up + down) / modules);
        }
        if (attachedDetached) {
            const int up = attachedDetached->first;
            const int down = attachedDetached->second;
            auto *timer = new QTimer(m);
            timer->setSingleShot(true);
            QObject::connect(timer, &QTimer::timeout, m, [m, timer, prefix, up, down] {
                m->setAttached(!m->attached());
                say(prefix +
                    (m->attached() ? QStringLiteral("attached") : QStringLiteral("detached")));
                timer->start(m->attached() ? up : down);
            });
            timer->start(up);
        }
        all.push_back(std::move(module));
    }

    // SIGINT and SIGTERM end the event loop, so the link is removed on the way out.
    OnUnixSignals({SIGINT, SIGTERM}, app.get(), &QCoreApplication::quit);

    std::unique_ptr<LedWindow> led;
    if (wantWindow) {
        if (qobject_cast<QApplication *>(app.get())) {
            led = std::make_unique<LedWindow>(*all.front());
            led->show();
        } else {
            std::fprintf(stderr, "lumavera-virtual-module: no display, running without a window\n");
        }
    }
    return app->exec();
}
