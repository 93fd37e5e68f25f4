#include "panel/frmmain.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumavera"));
    QApplication::setApplicationVersion(QStringLiteral(LUMAVERA_VERSION));
    // The pixel layout was drawn for one look; Fusion is the same everywhere.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    frmMain window;
    window.show();
    return app.exec();
}
