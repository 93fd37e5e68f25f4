#include "app/unixsignals.h"
#include "ctl/options.h"
#include "ctl/station.h"
#include "panel/mainwindow.h"
#include "panel/stationwindow.h"
#include "settings/ini.h"
#include "station/options.h"

#include <QApplication>
#include <QStyleFactory>

#include <fontconfig/fontconfig.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string_view>
#include <thread>

using namespace lumavera;

namespace {

// --help and --version answer on the terminal, before any display is
// needed, as the man page's options say.
bool answeredAlone(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--help" || word == "-h") {
            std::fputs(
                "Usage: lumavera [--connect] [--settings FILE] [Qt options]\n"
                "       lumavera --station FILE [station options]\n"
                "Sets up an RGB LED controller module on a serial port.\n"
                "\n"
                "  --connect        connect to the port the window last used as it opens\n"
                "  --settings FILE  use FILE as the settings file (as LUMAVERA_SETTINGS)\n"
                "  --station FILE   open the station window and start it: every module\n"
                "                   plugged in is set up from FILE. It takes the options of\n"
                "                   'lumaveractl station' (--port, given again for more\n"
                "                   ports, --match, --all, --cable, --save, --gap, --log)\n"
                "  -h, --help       print this and exit\n"
                "  --version        print the version and exit\n"
                "\n"
                "It also takes the options of every Qt program (-platform NAME, -style\n"
                "NAME, ...). lumaveractl drives the module from the shell; see\n"
                "'man lumavera' and 'lumaveractl --help'.\n",
                stdout);
            return true;
        }
        if (word == "--version") {
            std::fputs("lumavera " LUMAVERA_VERSION "\n", stdout);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (answeredAlone(argc, argv))
        return std::fflush(stdout) == 0 ? 0 : 1;
    // --station FILE and what follows it are a station command line, taken
    // as lumaveractl takes one, and refused before any display is needed.
    std::optional<CtlOptions> station;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) != "--station")
            continue;
        QStringList words{QStringLiteral("station")};
        for (int j = i + 1; j < argc; ++j)
            words << QString::fromLocal8Bit(argv[j]);
        const auto parsed = ParseCtlArguments(words);
        if (const QString *problem = std::get_if<QString>(&parsed)) {
            std::fprintf(stderr, "lumavera: %s\nTry 'lumavera --help' for more.\n",
                         qPrintable(*problem));
            return 2;
        }
        station = std::get<CtlOptions>(parsed);
        argc = i; // what follows is not Qt's
        break;
    }
    // Reading the system's font configuration and cache takes a few
    // milliseconds the window's first caption would wait for; it runs while
    // the application connects to the display.
    std::thread fonts([] { FcInit(); });
    QApplication app(argc, argv);
    fonts.join();
    QApplication::setApplicationName(QStringLiteral("Lumavera"));
    QApplication::setApplicationVersion(QStringLiteral(LUMAVERA_VERSION));
    // The pixel layout was drawn for one look; Fusion is the same everywhere.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    // --settings FILE names the settings file, as it does for lumaveractl;
    // --connect starts on the port, as a bench that sets up module after
    // module wants it.
    const QStringList arguments = QApplication::arguments();
    bool connect = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--connect"))
            connect = true;
        else if (arguments[i] == QLatin1String("--settings") && i + 1 < arguments.size())
            UseIniPath(arguments[++i]);
        else if (arguments[i].startsWith(QLatin1String("--settings=")))
            UseIniPath(arguments[i].section(u'=', 1));
    }

    if (station) {
        if (!station->settings.isEmpty())
            UseIniPath(station->settings);
        StationWindow window;
        window.setOptions(StationOptionsFrom(*station));
        window.show();
        window.start();
        // Ctrl+C or a logout lets the modules in progress finish, then
        // closes; a second one stops them at once.
        OnUnixSignals({SIGTERM, SIGINT, SIGHUP}, &window, [&window] { window.finishAndClose(); });
        return app.exec();
    }

    MainWindow window;
    window.show();
    if (connect)
        window.connectPort();

    // Logging out or Ctrl+C in the terminal closes the window the ordinary
    // way, so the chosen port is saved and queued bytes still go out.
    OnUnixSignals({SIGTERM, SIGINT, SIGHUP}, &window, [&window] { window.close(); });
    return app.exec();
}
