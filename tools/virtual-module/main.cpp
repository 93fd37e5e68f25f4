// lumavera-virtual-module: an LED module on a pseudo-terminal, for trying
// and testing the tool without hardware.

#include "app/unixsignals.h"
#include "ledwindow.h"
#include "module.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

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
Point the tool at it through the "Ports" section of lumavera.ini:
  [Ports]
  COM1=/path/given/to/--link
Stop it with Ctrl+C; the link is removed on exit.)";

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
    const QCommandLineOption window("window", "Show the LED in a window (needs a display).");
    parser.addOptions({help, link, eeprom, silent, delay, shortReply, badAck, noise, window});

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
    if (parser.isSet(delay)) {
        bool ok = false;
        options.delayMs = parser.value(delay).toInt(&ok);
        if (!ok || options.delayMs < 0 || options.delayMs > 60000)
            return usageError(QStringLiteral("--delay takes milliseconds from 0 to 60000, not '%1'")
                                  .arg(parser.value(delay)));
    }

    VirtualModule module(options);
    QString error;
    if (!module.start(&error)) {
        std::fprintf(stderr, "lumavera-virtual-module: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    QObject::connect(&module, &VirtualModule::printed, &say);
    say(QStringLiteral("device %1").arg(module.devicePath()));
    if (!options.link.isEmpty())
        say(QStringLiteral("link %1").arg(options.link));

    // SIGINT and SIGTERM end the event loop, so the link is removed on the way out.
    OnUnixSignals({SIGINT, SIGTERM}, app.get(), &QCoreApplication::quit);

    std::unique_ptr<LedWindow> led;
    if (wantWindow) {
        if (qobject_cast<QApplication *>(app.get())) {
            led = std::make_unique<LedWindow>(module);
            led->show();
        } else {
            std::fprintf(stderr, "lumavera-virtual-module: no display, running without a window\n");
        }
    }
    return app->exec();
}
