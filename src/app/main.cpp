#include "app/unixsignals.h"
#include "app/windowoptions.h"
#include "ctl/options.h"
#include "ctl/station.h"
#include "panel/mainwindow.h"
#include "panel/stationwindow.h"
#include "settings/ini.h"
#include "settings/moduleconfig.h"
#include "station/descriptors.h"
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

int main(int argc, char *argv[])
{
    // --help, --version and a mistyped option are answered on the terminal,
    // before any display is needed.
    RaiseDescriptorLimit();
    const WindowCommandLine line = CheckWindowCommandLine(argc, argv);
    if (!line.answer.isEmpty()) {
        std::fputs(qPrintable(line.answer), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!line.refusal.isEmpty()) {
        std::fprintf(stderr, "lumavera: %s\nTry 'lumavera --help' for more.\n",
                     qPrintable(line.refusal));
        return 2;
    }
    // --station FILE and what follows it are a station command line, taken
    // as lumaveractl takes one, and refused before any display is needed.
    // --operator among them is the window's own: the operator view.
    std::optional<CtlOptions> station;
    bool operatorView = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) != "--station")
            continue;
        QStringList words{QStringLiteral("station")};
        for (int j = i + 1; j < argc; ++j) {
            if (std::string_view(argv[j]) == "--operator")
                operatorView = true;
            else
                words << QString::fromLocal8Bit(argv[j]);
        }
        const auto parsed = ParseCtlArguments(words);
        if (const QString *problem = std::get_if<QString>(&parsed)) {
            std::fprintf(stderr, "lumavera: %s\nTry 'lumavera --help' for more.\n",
                         qPrintable(*problem));
            return 2;
        }
        station = std::get<CtlOptions>(parsed);
        // The golden file too, whole, as lumaveractl station checks it.
        if (const LoadedConfig golden = LoadModuleConfig(station->file); !golden) {
            std::fprintf(stderr, "lumavera: %s\n",
                         qPrintable(QString(golden.reason).replace(u'\n', "\nlumavera: ")));
            return 2;
        }
        argc = i; // what follows is not Qt's
        break;
    }
    // Reading the system's font configuration and cache takes a few
    // milliseconds the window's first caption would wait for; it runs while
    // the application connects to the display.
    std::thread fonts([] { FcInit(); });
    std::optional<DisplayCheck> display(std::in_place);
    QApplication app(argc, argv);
    display.reset();
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
        window.setOperatorView(operatorView);
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
    // A station window opened from this one ends with the program: its
    // modules in progress finish, as its Stop does, and a second signal
    // stops them at once.
    OnUnixSignals({SIGTERM, SIGINT, SIGHUP}, &window, [&window] {
        if (window.isVisible())
            window.close();
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (auto *station = qobject_cast<StationWindow *>(top))
                station->finishAndClose();
        }
    });
    return app.exec();
}
