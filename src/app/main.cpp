#include "app/unixsignals.h"
#include "panel/frmmain.h"
#include "settings/ini.h"

#include <QApplication>
#include <QStyleFactory>

#include <fontconfig/fontconfig.h>

#include <csignal>
#include <thread>

int main(int argc, char *argv[])
{
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

    frmMain window;
    window.show();
    if (connect)
        window.connectPort();

    // Logging out or Ctrl+C in the terminal closes the window the ordinary
    // way, so the chosen port is saved and queued bytes still go out.
    OnUnixSignals({SIGTERM, SIGINT, SIGHUP}, &window, [&window] { window.close(); });
    return app.exec();
}
