#pragma once

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QWidget>

#include <memory>

// The window's controls as a user finds them: by their names. A control
// that is not there ends the test with its name, rather than a crash later.
struct Ui
{
    explicit Ui(QWidget &window) : form(&window) {}

    template <typename T> T *find(const char *name) const
    {
        T *w = form->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("the window has no control %s", name);
        return w;
    }

    QWidget *form;
    QGroupBox *fComm = find<QGroupBox>("fComm");
    QComboBox *cboComm = find<QComboBox>("cboComm");
    QPushButton *cmdConnect = find<QPushButton>("cmdConnect");
    QLabel *lblPortInfo = find<QLabel>("lblPortInfo");
    QLabel *lblNotice = find<QLabel>("lblNotice");
    QGroupBox *fRGB = find<QGroupBox>("fRGB");
    QSlider *Slider_Red = find<QSlider>("Slider_Red");
    QSlider *Slider_Green = find<QSlider>("Slider_Green");
    QSlider *Slider_Blue = find<QSlider>("Slider_Blue");
    QLabel *lblRed = find<QLabel>("lblRed");
    QLabel *lblGreen = find<QLabel>("lblGreen");
    QLabel *lblBlue = find<QLabel>("lblBlue");
    QLabel *lblTxData = find<QLabel>("lblTxData");
    QPushButton *cmdSetColor = find<QPushButton>("cmdSetColor");
    QPushButton *cmdSaveColor = find<QPushButton>("cmdSaveColor");
    QComboBox *cboMemLoc = find<QComboBox>("cboMemLoc");
    QPushButton *cmdRetrieve = find<QPushButton>("cmdRetrieve");
    QPushButton *cmdSave = find<QPushButton>("cmdSave");
    QComboBox *cboFade = find<QComboBox>("cboFade");
    QComboBox *cboHold = find<QComboBox>("cboHold");
    QPushButton *cmdSetFade = find<QPushButton>("cmdSetFade");
    QPushButton *cmdSetHold = find<QPushButton>("cmdSetHold");
    QComboBox *cboMode = find<QComboBox>("cboMode");
    QPushButton *cmdSetMode = find<QPushButton>("cmdSetMode");
    QPushButton *cmdReadSettings = find<QPushButton>("cmdReadSettings");
    QPushButton *cmdLog = find<QPushButton>("cmdLog");
    QPushButton *cmdPorts = find<QPushButton>("cmdPorts");
    QPushButton *cmdStation = find<QPushButton>("cmdStation");
    QPushButton *cmdBackup = find<QPushButton>("cmdBackup");
    QPushButton *cmdRestore = find<QPushButton>("cmdRestore");

    // The colour the readouts show.
    std::tuple<int, int, int> readouts() const
    {
        return {lblRed->text().toInt(), lblGreen->text().toInt(), lblBlue->text().toInt()};
    }
};

// How many file descriptors of this process are open on `path`: the
// system's own account of whether a port is held.
inline int openDescriptorsOn(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget() == target)
            ++count;
    }
    return count;
}

// The colour a text is drawn in and the colour under it. A label's ground is
// what the window shows around its text (a group box's frame is a shade
// darker than the window): the commonest colour of its place in `shown`, a
// grab of its window.
inline std::pair<QColor, QColor> textAndGround(QWidget *w, const QImage &shown)
{
    const auto color = [](QWidget *of, QPalette::ColorRole role) {
        return of->palette().color(QPalette::Active, role);
    };
    if (qobject_cast<QPushButton *>(w) || qobject_cast<QComboBox *>(w))
        return {color(w, QPalette::ButtonText), color(w, QPalette::Button)};
    if (qobject_cast<QLabel *>(w)) {
        const qreal scale = shown.devicePixelRatio();
        const QRect place(w->mapTo(w->window(), QPoint()) * scale, w->size() * scale);
        QHash<QRgb, int> seen;
        for (int y = place.top(); y <= place.bottom(); ++y)
            for (int x = place.left(); x <= place.right(); ++x)
                ++seen[shown.pixel(x, y)];
        QRgb commonest = 0;
        for (auto i = seen.cbegin(); i != seen.cend(); ++i)
            if (i.value() > seen.value(commonest))
                commonest = i.key();
        return {color(w, w->foregroundRole()), QColor(commonest)};
    }
    QWidget *ground = w;
    while (!ground->autoFillBackground() && !ground->isWindow())
        ground = ground->parentWidget();
    return {color(w, w->foregroundRole()), color(ground, QPalette::Window)};
}

// A dark palette as a desktop's dark theme hands it to the window.
inline QPalette darkPalette(QColor window, QColor text)
{
    QPalette p(window);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, text);
    p.setColor(QPalette::Base, window.darker(120));
    p.setColor(QPalette::Button, window.lighter(115));
    return p;
}

// A data table of the palettes and the pictures saved of a window on each:
// Fusion's light one as NAME-light.png, a dark grey one as NAME-dark.png.
inline void addPaletteRows(const QString &name)
{
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<QString>("picture");
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    QTest::newRow("Fusion light") << fusion->standardPalette() << name + "-light.png";
    QTest::newRow("dark grey") << darkPalette(QColor(53, 53, 53), Qt::white) << name + "-dark.png";
}
