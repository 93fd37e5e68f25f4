// A bare Qt Widgets window the size of Lumavera's, for comparing start-up.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(557, 398);
    window.show();
    return app.exec();
}
