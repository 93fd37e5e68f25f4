#include "app/unixsignals.h"
#include "panel/frmmain.h"

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

    frmMain window;
    window.show();

    // Logging out or Ctrl+C in the terminal closes the window the ordinary
    // way, so the chosen port is saved and queued bytes still go out.
    OnUnixSignals({SIGTERM, SIGINT, SIGHUP}, &window, [&window] { window.close(); });
    return app.exec();
}
