// The main window as its user works it, against the virtual module: what
// each control puts on the line, what each answer does to the window and
// the settings file, and what the window says when a port, a file or the
// line fails.

#include "link/modulesetup.h"
#include "panel/contrast.h"
#include "panel/window.h"
#include "settings/moduleconfig.h"
#include "settings/profile.h"
#include "settings/settings.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSerialPort>
#include <QStyleFactory>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <termios.h>
#include <unistd.h>

#include <sys/inotify.h>
#include <sys/socket.h>

using namespace lumavera;

Q_DECLARE_METATYPE(VirtualModule::Options)

namespace {

const QByteArray ReadFrame("\xFF\x3C\xFB\xFB\xFB");
const QByteArray SaveFrame("\xFF\x32\xFE\xFE\xFE");

QStringList items(QComboBox *list)
{
    QStringList all;
    for (int i = 0; i < list->count(); ++i)
        all << list->itemText(i);
    return all;
}

QStringList numbers(int first, int last, const char *prefix = "")
{
    QStringList all;
    for (int i = first; i <= last; ++i)
        all << QLatin1String(prefix) + QString::number(i);
    return all;
}

// The swatch the open memory-slot list draws beside slot `i`'s number, as
// #rrggbb; empty where it draws none.
QString swatch(QComboBox *list, int i)
{
    const QColor c = list->itemData(i, Qt::DecorationRole).value<QColor>();
    return c.isValid() && c.alpha() == 255 ? c.name() : QString();
}

// The window's state a failed action must leave alone.
QString state(const Ui &w)
{
    return QStringList{w.cboMode->currentText(), w.cboFade->currentText(),
                       w.cboHold->currentText(), w.cboMemLoc->currentText(),
                       w.lblRed->text(),         w.lblGreen->text(),
                       w.lblBlue->text()}
        .join(u' ');
}

// A descriptor of `device` this process has: the virtual module's own end
// of the line, or the window's (no other opener but root gets past the
// window's exclusive mode).
int lineDescriptor(const QString &device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            return fd.toInt();
    }
    return -1;
}

// The line's settings as the kernel holds them for every program on it,
// after `change` when one is given.
termios lineSettings(const QString &device, const std::function<void(termios &)> &change = {})
{
    const int fd = lineDescriptor(device);
    termios t{};
    ::tcgetattr(fd, &t);
    if (change) {
        change(t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    return t;
}

// Types `path` into the file dialog that opens next, as a user would.
void chooseFile(const QString &path)
{
    QTimer::singleShot(300, [path] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (QWidget *name = dialog ? dialog->focusWidget() : nullptr) {
            QTest::keyClicks(name, path);
            QTest::keyClick(name, Qt::Key_Return);
        }
        if (dialog && dialog->isVisible())
            QMetaObject::invokeMethod(dialog, "reject");
    });
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startup_data();
    void startup();
    void readableInEveryPalette_data();
    void readableInEveryPalette();
    void connectAndDisconnect();
    void failedOpenExplains_data();
    void failedOpenExplains();
    void silentBenchNeverHoldsTheWindow_data();
    void silentBenchNeverHoldsTheWindow();
    void buttonsPutTheirFrameOnTheLine();
    void retrieveTakesAllThreeOrNone_data();
    void retrieveTakesAllThreeOrNone();
    void readSettings_data();
    void readSettings();
    void save_data();
    void save();
    void duringTheWait_data();
    void duringTheWait();
    void saidBesideConnect();
    void backupAndRestoreAWholeModule();
    void reconnectsOnlyWhatItLost();
    void survivesRandomUse();
    void portNumbersFollowTheUser();
    void servesLumaveractl();
};

void WindowTest::startup_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("said"); // beside Connect, whole on hover
    QTest::newRow("CommPort=7") << QByteArray("[Settings]\r\nCommPort=7\r\n") << 7 << "";
    QTest::newRow("missing file") << QByteArray() << 1 << "";
    QTest::newRow("pinned") << QByteArray(
                                   "[Settings]\r\nCommPort=20\r\n[Ports]\r\nCOM20=/dev/null\r\n")
                            << 20 << "";
    QTest::newRow("CommPort=COM3") << QByteArray("[Settings]\r\nCommPort=COM3\r\n") << 3 << "";
    QTest::newRow("CommPort=25") << QByteArray("[Settings]\r\nCommPort=25\r\n") << 1
                                 << "CommPort=25 is not a port number 1..20, so COM1 is chosen";
    QTest::newRow("[Port]") << QByteArray(
                                   "[Settings]\r\nCommPort=2\r\n[Port]\r\nCOM2=/dev/null\r\n")
                            << 2 << "[Port] is not a section the tool reads; did you mean [Ports]?";
    QTest::newRow("COM25, COM01")
        << QByteArray("[Ports]\r\nCOM25=/dev/null\r\nCOM01=/dev/null\r\n") << 1
        << "[Ports] COM25 is not a port number (COM1..COM20); [Ports] COM01 is not a port number";
    QTest::newRow("long pinned path")
        << QByteArray("[Settings]\r\nCommPort=4\r\n[Ports]\r\nCOM4=/tmp/lumavera-a-clone-"
                      "with-a-long-name/build/and/deeper/folders/of/the/demo/module\r\n")
        << 4 << "";
}

// Whether a label of fixed size shows its text whole, or cut after a
// whole word with the whole text on hover and for a screen reader.
bool shownWhole(QLabel *label)
{
    const QString shown = label->text();
    const QString whole = label->toolTip();
    const QFontMetrics metrics(label->font());
    const QRect box = label->contentsRect();
    const QRect drawn = metrics.boundingRect(QRect(0, 0, box.width(), 1 << 20),
                                             label->wordWrap() ? Qt::TextWordWrap : 0, shown);
    if (drawn.width() > box.width() || drawn.height() > box.height())
        return false;
    if (shown == whole)
        return label->accessibleDescription().isEmpty();
    // Cut or shortened: it ends as the whole text does, or in an ellipsis
    // after a word of it.
    const QString last = shown.section(u' ', -1);
    return label->accessibleDescription() == whole &&
           (whole.endsWith(last) ||
            (last.endsWith(u'\u2026') && whole.contains(last.chopped(1) + u' ')));
}

void WindowTest::startup()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, port);
    QFETCH(QString, said);
    TempConfig config;
    if (!ini.isEmpty())
        config.write(ini);
    MainWindow window;
    const Ui w(window);
    QCOMPARE(w.cboComm->currentText(), QStringLiteral("COM%1").arg(port));
    QCOMPARE(window.windowTitle(), QStringLiteral("RGB Lumavera R2.0"));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QCOMPARE(items(w.cboComm), numbers(1, 20, "COM"));
    QCOMPARE(items(w.cboMemLoc), numbers(1, 10));
    QCOMPARE(items(w.cboFade), numbers(0, 2));
    QCOMPARE(items(w.cboHold), numbers(0, 240));
    QCOMPARE(items(w.cboMode), numbers(0, 11));
    for (QComboBox *list : window.findChildren<QComboBox *>())
        QVERIFY2(!list->isEditable(), qPrintable(list->objectName()));
    QCOMPARE(state(w), QStringLiteral("1 1 5 1 0 0 0"));
    QCOMPARE(w.lblTxData->text(), QString());
    QCOMPARE(w.cmdConnect->text(), QStringLiteral("Connect"));
    QVERIFY(w.fComm->isEnabled() && !w.fRGB->isEnabled());
    // Every item says which device it stands for, once the window has looked.
    window.show();
    QTRY_VERIFY(w.lblPortInfo->text().startsWith(QStringLiteral("COM%1: ").arg(port)));
    QVERIFY2(shownWhole(w.lblPortInfo), qPrintable(w.lblPortInfo->text()));
    if (ini.contains("/module"))
        QVERIFY2(w.lblPortInfo->toolTip().contains(
                     QLatin1String(profile::valueIn(ini, "Ports", "COM4"))),
                 qPrintable(w.lblPortInfo->toolTip()));
    QVERIFY2(said.isEmpty() ? w.lblNotice->text().isEmpty()
                            : w.lblNotice->toolTip().contains(said) && shownWhole(w.lblNotice),
             qPrintable(w.lblNotice->text() + u'|' + w.lblNotice->toolTip()));
    // Its drop-down shows the device beside a number that has one, and
    // nothing beside one that has none; the closed list keeps "COMn".
    w.cboComm->showPopup();
    QAccessibleInterface *drop = QAccessible::queryAccessibleInterface(w.cboComm->view());
    QTRY_VERIFY(drop && drop->childCount() == 20);
    QCOMPARE(drop->child(19)->text(QAccessible::Name), ini.contains("COM20=/dev/null")
                                                           ? QStringLiteral("COM20   null")
                                                           : QStringLiteral("COM20"));
    w.cboComm->hidePopup();
    QCOMPARE(w.cboComm->currentText(), QStringLiteral("COM%1").arg(port));
    // The hold list drops down as a list of about twenty, not a screenful.
    w.cboHold->showPopup();
    QTRY_VERIFY(w.cboHold->view()->isVisible());
    const int shown = w.cboHold->view()->height() / w.cboHold->view()->sizeHintForRow(0);
    QVERIFY2(shown >= 15 && shown <= 21, qPrintable(QString::number(shown)));
    w.cboHold->hidePopup();
    // Start-up reads but never writes the file.
    QCOMPARE(config.read(), ini);
}

// Every text readable on the palettes a desktop may hand the window, and
// the tab order the layout gives. (Names and values are read over AT-SPI
// by the screen-reader test.)
void WindowTest::readableInEveryPalette_data()
{
    addPaletteRows(QStringLiteral("window"));
    QTest::newRow("blue-grey") << darkPalette(QColor(40, 44, 52), QColor(171, 178, 191))
                               << "window-bluegrey.png";
}

void WindowTest::readableInEveryPalette()
{
    QFETCH(QPalette, palette);
    QFETCH(QString, picture);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const QPalette before = QApplication::palette();
    QApplication::setPalette(palette);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    Bench bench;
    QVERIFY(bench.connect());
    const Ui w = bench.ui();
    w.Slider_Green->setValue(128);
    bench.click(w.cmdSetColor);

    const QImage shown = bench.window->grab().toImage();
    int checked = 0;
    for (QWidget *c : bench.window->findChildren<QWidget *>()) {
        const auto *label = qobject_cast<QLabel *>(c);
        const bool hasText = (label && !label->text().isEmpty()) ||
                             qobject_cast<QPushButton *>(c) || qobject_cast<QComboBox *>(c) ||
                             qobject_cast<QGroupBox *>(c);
        if (!hasText || !c->isVisible())
            continue;
        const auto [text, ground] = textAndGround(c, shown);
        // A colour of the window's own choosing (the levels') keeps its
        // margin on what is really behind it, as the screen may draw it a
        // shade off.
        const bool tinted = text != palette.color(QPalette::WindowText) &&
                            text != palette.color(QPalette::ButtonText) &&
                            c->objectName() != QLatin1String("lblTxData");
        QVERIFY2(
            ContrastRatio(text, ground) >= (tinted ? ChosenContrast : ReadableContrast),
            qPrintable(
                QStringLiteral("%1: %2 on %3").arg(c->objectName(), text.name(), ground.name())));
        ++checked;
    }
    QVERIFY2(checked >= 25, qPrintable(QString::number(checked)));
    bench.window->grab().save(picture);
    // The open memory-slot list: each number whole beside its swatch.
    bench.click(w.cmdSaveColor);
    w.cboMemLoc->setCurrentIndex(5);
    w.Slider_Red->setValue(255);
    bench.click(w.cmdSaveColor);
    w.cboMemLoc->showPopup();
    QAbstractItemView *list = w.cboMemLoc->view();
    QVERIFY(QTest::qWaitForWindowExposed(list->window()));
    QVERIFY2(list->sizeHintForColumn(0) <= list->viewport()->width(),
             qPrintable(QStringLiteral("%1 px wanted, %2 px there")
                            .arg(list->sizeHintForColumn(0))
                            .arg(list->viewport()->width())));
    list->window()->grab().save(QStringLiteral("slots-") + picture);
    w.cboMemLoc->hidePopup();

    const QStringList expected = {"cboComm",        "cmdConnect",  "Slider_Red",   "Slider_Green",
                                  "Slider_Blue",    "cmdSetColor", "cmdSaveColor", "cboMemLoc",
                                  "cmdRetrieve",    "cmdSave",     "cboFade",      "cboHold",
                                  "cmdSetFade",     "cmdSetHold",  "cboMode",      "cmdSetMode",
                                  "cmdReadSettings"};
    QStringList order;
    QWidget *c = w.Slider_Red;
    for (qsizetype i = 2; i < expected.size(); ++i) {
        order << c->objectName();
        do
            c = c->nextInFocusChain();
        while (!(c->focusPolicy() & Qt::TabFocus) || c->objectName().isEmpty());
    }
    QCOMPARE(order, expected.mid(2));
}

void WindowTest::connectAndDisconnect()
{
    Bench bench;
    QByteArray &heard = bench.module->heard;
    // From settings the tool must change: 38400 baud, 7E2, cooked.
    lineSettings(bench.device, [](termios &t) {
        ::cfsetspeed(&t, B38400);
        t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
        t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN, t.c_oflag |= OPOST, t.c_iflag |= ICRNL | IXON;
    });
    QVERIFY(bench.isClosedState());
    QVERIFY(bench.connect());
    QVERIFY(bench.isOpenState());
    const termios t = lineSettings(bench.device);
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(cfgetispeed(&t), speed_t(B9600));
    QCOMPARE(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), tcflag_t(0));
    // Nothing is sent on connect; the last frame reaches the line on
    // Disconnect, and on close.
    QTest::qWait(100);
    QCOMPARE(heard, QByteArray());
    bench.click(bench.ui().cmdSetMode);
    bench.click(bench.ui().cmdConnect);
    QTRY_COMPARE(heard, QByteArray("\xFF\x28\x01\xFB\xFB", 5));
    QVERIFY(bench.isClosedState());
    QCOMPARE(bench.ui().lblTxData->text(), QStringLiteral("FF 28 01 FB FB "));
    QVERIFY(bench.connect());
    bench.ui().Slider_Red->setValue(9);
    bench.click(bench.ui().cmdSetColor);
    bench.window->close();
    QTRY_COMPARE(heard.mid(5), QByteArray("\xFF\x01\x09\x00\x00", 5));
    QVERIFY(!bench.portHeld());
}

void WindowTest::failedOpenExplains_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("holder"); // another program on COM1's line
    QTest::addColumn<QString>("reason");
    QTest::newRow("pinned, not plugged in")
        << 2 << ""
        << "COM2 is /dev/lumavera-no-such-port, which is not plugged in.\n\nGive COM2 "
           "a device in Port Numbers";
    QTest::newRow("no device numbered")
        << 20 << ""
        << "No device is assigned to COM20.\n\nGive COM20 a device in Port Numbers "
           "(the \u2026 button";
    QTest::newRow("not a serial device") << 3 << ""
                                         << "/dev/null could not be opened";
    QTest::newRow("locked by another program") << 1 << "qt"
                                               << "in use by another program";
    QTest::newRow("held by another program") << 1 << "sleep"
                                             << "in use by sleep (pid ";
}

void WindowTest::failedOpenExplains()
{
    QFETCH(int, port);
    QFETCH(QString, holder);
    QFETCH(QString, reason);
    Bench bench("COM2=/dev/lumavera-no-such-port\r\nCOM3=/dev/null\r\n");
    const Ui w = bench.ui();
    QSerialPort locked(bench.module->module->devicePath()); // it locks by the name it opens
    QProcess sleeper;
    if (holder == QLatin1String("qt"))
        QVERIFY(locked.open(QIODevice::ReadWrite));
    if (holder == QLatin1String("sleep")) {
        sleeper.setStandardInputFile(bench.device);
        sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(sleeper.waitForStarted());
    }
    const QString path = port == 3 ? QStringLiteral("/dev/null") : bench.device;
    const int heldBefore = openDescriptorsOn(path);
    w.cboComm->setCurrentIndex(port - 1);
    BoxAnswerer boxes;
    bench.click(w.cmdConnect);
    QCOMPARE(boxes.texts(), QStringList{"Selected Com Port Not Available"});
    QCOMPARE(boxes.seen[0].title, QStringLiteral("Lumavera"));
    QVERIFY2(boxes.seen[0].details.contains(reason), qPrintable(boxes.seen[0].details));
    QCOMPARE(w.cmdConnect->text(), QStringLiteral("Connect"));
    QVERIFY(w.fComm->isEnabled() && !w.fRGB->isEnabled());
    QCOMPARE(openDescriptorsOn(path), heldBefore);
    // Once the other program lets go, Connect works.
    locked.close();
    sleeper.kill();
    sleeper.waitForFinished();
    if (port == 1)
        QVERIFY(bench.connect());
}

void WindowTest::silentBenchNeverHoldsTheWindow_data()
{
    QTest::addColumn<bool>("calledOff");
    QTest::newRow("Connect again calls it off") << true;
    QTest::newRow("left to its timeout") << false;
}

// A line on another machine whose server takes the connection and never
// answers: the window goes on while it connects, says so, and a second
// Connect calls it off without a word coming after.
void WindowTest::silentBenchNeverHoldsTheWindow()
{
    QFETCH(bool, calledOff);
    // A socket that listens and never accepts: the system takes the
    // connection, and nobody answers on it.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto closeSilent = qScopeGuard([silent] { ::close(silent); });
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    QVERIFY(::bind(silent, reinterpret_cast<sockaddr *>(&at), sizeof at) == 0 &&
            ::listen(silent, 4) == 0 &&
            ::getsockname(silent, reinterpret_cast<sockaddr *>(&at), &size) == 0);
    const QString line = QStringLiteral("rfc2217://127.0.0.1:%1").arg(ntohs(at.sin_port));
    Bench bench("COM2=" + line.toLocal8Bit() + "\r\n");
    const Ui w = bench.ui();
    w.cboComm->setCurrentIndex(1);
    BoxAnswerer boxes;
    bench.click(w.cmdConnect);
    QCOMPARE(w.lblNotice->toolTip().isEmpty() ? w.lblNotice->text() : w.lblNotice->toolTip(),
             QStringLiteral("Connecting to %1\u2026 Connect again calls it off.").arg(line));
    QCOMPARE(boxes.texts(), QStringList());
    // Events are handled meanwhile, and the connection still waits.
    QTest::qWait(200);
    QVERIFY(w.lblNotice->text().startsWith(u"Connecting to"));
    QCOMPARE(boxes.texts(), QStringList());
    if (calledOff) {
        bench.click(w.cmdConnect);
        QCOMPARE(w.lblNotice->text(), QString());
        // Past the connection's own timeout, nothing more comes of it.
        QTest::qWait(2500);
        QCOMPARE(boxes.texts(), QStringList());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{"Selected Com Port Not Available"},
                                  5000);
        QVERIFY2(boxes.seen[0].details.contains(u"did not answer telnet's greeting in time"),
                 qPrintable(boxes.seen[0].details));
    }
    QVERIFY(bench.isClosedState());
}

void WindowTest::buttonsPutTheirFrameOnTheLine()
{
    Bench bench;
    const Ui w = bench.ui();
    QVERIFY(bench.connect());
    // Until a slider moves, its level is 0 whatever its thumb shows; moving
    // one sends nothing.
    QTest::keyClick(w.Slider_Blue, Qt::Key_PageUp);
    QTest::keyClick(w.Slider_Blue, Qt::Key_Right);
    QCOMPARE(w.readouts(), std::tuple(0, 0, 6));
    QByteArray &heard = bench.module->heard;
    QTest::qWait(50);
    QCOMPARE(heard, QByteArray());
    w.Slider_Blue->setValue(0);

    struct Row
    {
        std::function<void()> act;
        const char *wire; // five bytes, zeros included
    };
    const auto choose = [](QComboBox *list, int i) { list->setCurrentIndex(i); };
    const std::vector<Row> rows = {
        {[&] { bench.click(w.cmdSetColor); }, "\xFF\x01\x00\x00\x00"},
        {[&] {
             QTest::keyClick(w.Slider_Red, Qt::Key_End), w.Slider_Green->setValue(64),
                 bench.click(w.cmdSetColor);
         },
         "\xFF\x01\xFF\x40\x00"},
        {[&] { choose(w.cboMode, 11), bench.click(w.cmdSetMode); }, "\xFF\x28\x0B\xFB\xFB"},
        {[&] { choose(w.cboMode, 0), bench.click(w.cmdSetMode); }, "\xFF\x28\x00\xFB\xFB"},
        {[&] { bench.click(w.cmdSetFade); }, "\xFF\x14\x01\xFD\xFD"},
        {[&] { choose(w.cboFade, 2), bench.click(w.cmdSetFade); }, "\xFF\x14\x02\xFD\xFD"},
        {[&] { bench.click(w.cmdSetHold); }, "\xFF\x1E\x05\xFC\xFC"},
        {[&] { choose(w.cboHold, 240), bench.click(w.cmdSetHold); }, "\xFF\x1E\xF0\xFC\xFC"},
        {[&] { choose(w.cboMemLoc, 9), bench.click(w.cmdSaveColor); }, "\xFF\x0B\xFF\x40\x00"},
        {[&] { choose(w.cboMemLoc, 0), bench.click(w.cmdSaveColor); }, "\xFF\x02\xFF\x40\x00"},
        // Retrieving is the file's business only: nothing goes out.
        {[&] { w.Slider_Red->setValue(1), bench.click(w.cmdRetrieve); }, ""},
    };
    for (const Row &row : rows) {
        const QByteArray wire(row.wire, qsizetype(std::strlen(row.wire) ? 5 : 0));
        row.act();
        QTest::qWait(wire.isEmpty() ? 50 : 0);
        QTRY_COMPARE(heard, wire);
        heard.clear();
        // The monitor holds the last frame only, as 15 characters.
        if (!wire.isEmpty())
            QCOMPARE(w.lblTxData->text(), QString::fromLatin1(wire.toHex(' ').toUpper() + ' '));
    }
    QCOMPARE(w.readouts(), std::tuple(255, 64, 0));
    // The slots stored show their colours in the open list, the list's
    // texts as they were.
    QCOMPARE(swatch(w.cboMemLoc, 9), QStringLiteral("#ff4000"));
    QCOMPARE(items(w.cboMemLoc), numbers(1, 10));
    const QByteArray file = bench.config.read();
    for (const char *key : {"Red1", "Red10"})
        QCOMPARE(profile::valueIn(file, "Colors", key), QByteArray("255"));
    QCOMPARE(profile::valueIn(file, "Colors", "Green10"), QByteArray("64"));
    QCOMPARE(profile::valueIn(file, "Colors", "Blue1"), QByteArray("0"));
    // The user's own pin is still there.
    QCOMPARE(profile::valueIn(file, "Ports", "COM1"), bench.device.toLocal8Bit());
}

void WindowTest::retrieveTakesAllThreeOrNone_data()
{
    QTest::addColumn<QByteArray>("colors");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("swatch"); // slot 2's in the open list
    QTest::newRow("stored") << QByteArray("Red2=10\r\nGreen2=20\r\nBlue2=30\r\n") << "10 20 30"
                            << "#0a141e";
    QTest::newRow("fresh file") << QByteArray() << "100 101 102"
                                << "";
    QTest::newRow("one key missing") << QByteArray("Red2=10\r\nGreen2=20\r\n") << "100 101 102"
                                     << "";
}

void WindowTest::retrieveTakesAllThreeOrNone()
{
    QFETCH(QByteArray, colors);
    QFETCH(QString, after);
    QFETCH(QString, swatch);
    Bench bench(colors.isEmpty() ? QByteArray() : "[Colors]\r\n" + colors);
    const Ui w = bench.ui();
    QCOMPARE(::swatch(w.cboMemLoc, 1), swatch);
    QVERIFY(bench.connect());
    w.Slider_Red->setValue(100);
    w.Slider_Green->setValue(101);
    w.Slider_Blue->setValue(102);
    w.cboMemLoc->setCurrentIndex(1);
    bench.click(w.cmdRetrieve);
    QCOMPARE(state(w).section(u' ', 4), after);
    QCOMPARE(QStringLiteral("%1 %2 %3")
                 .arg(w.Slider_Red->value())
                 .arg(w.Slider_Green->value())
                 .arg(w.Slider_Blue->value()),
             after);
}

void WindowTest::readSettings_data()
{
    QTest::addColumn<VirtualModule::Options>("module");
    QTest::addColumn<QString>("why"); // empty: applied
    VirtualModule::Options silent, shortReply;
    silent.silent = true;
    shortReply.shortReply = true;
    QTest::newRow("a good reply") << VirtualModule::Options() << QString();
    QTest::newRow("no answer") << silent << "No answer came from the module within 500 ms";
    QTest::newRow("34 bytes") << shortReply << "Only 34 of 35";
}

// Backup… writes what the module read back; Restore… sends a file's every
// setting, reads back and says whether the module matches, listing every
// difference when it does not.
void WindowTest::backupAndRestoreAWholeModule()
{
    Bench bench({}, VirtualModule::Options{});
    const Ui w = bench.ui();
    TestModule &module = *bench.module;
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("module.ini"));
    chooseFile(path);
    bench.click(w.cmdBackup);
    QTRY_VERIFY(w.lblNotice->text().startsWith(QLatin1String("The module's settings are in")));
    QCOMPARE(module.heard, ReadFrame);
    const LoadedConfig saved = LoadModuleConfig(path);
    QVERIFY(saved);
    QCOMPARE(EncodeSettingsReply(saved.settings), EncodeSettingsReply(SampleSettings()));

    // Then a module that keeps nothing it is sent, and a file with hold 11.
    for (const bool same : {true, false}) {
        ModuleSettings file = SampleSettings();
        file.hold = same ? file.hold : 11;
        QVERIFY(SaveModuleConfig(path, file));
        QByteArray wire;
        for (const ModuleStep &step : SetupSteps(file))
            wire += QByteArray(1, char(StartMarker)) +
                    QByteArray(reinterpret_cast<const char *>(step.body().data()), 4);
        module.module->options().forget = !same;
        module.heard.clear();
        chooseFile(path);
        bench.click(w.cmdRestore);
        // What the module held is read and kept first.
        QTRY_COMPARE_WITH_TIMEOUT(module.heard.size(), wire.size() + 10, 5000);
        QTRY_VERIFY(same ? w.lblNotice->text().contains(QLatin1String("the module matches"))
                         : !boxes.seen.isEmpty());
        QCOMPARE(module.heard, ReadFrame + wire + ReadFrame);
        QVERIFY(bench.isOpenState());
        QCOMPARE(w.cboHold->currentIndex(), 10);
        if (same) {
            QCOMPARE(boxes.texts(), QStringList());
            const QString said = w.lblNotice->text();
            QVERIFY2(said.contains(QLatin1String("the module matches. Not saved to the EEPROM")),
                     qPrintable(said));
            const auto kept = LoadModuleConfig(
                w.lblNotice->toolTip().section(QLatin1String("kept in "), 1).chopped(1));
            QVERIFY2(kept, qPrintable(w.lblNotice->toolTip()));
            QCOMPARE(EncodeSettingsReply(kept.settings), EncodeSettingsReply(SampleSettings()));
            bench.window->grab().save(QStringLiteral("window-restored.png"));
            // The next step's line is its own.
            bench.click(w.cmdSetColor);
            QCOMPARE(w.lblNotice->text(), QString());
            QTRY_COMPARE(module.heard.size(), wire.size() + 15);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!boxes.seen.isEmpty(), 3000);
            QVERIFY2(boxes.texts().value(0).contains(QLatin1String("differs")),
                     qPrintable(boxes.texts().join(u' ')));
            QCOMPARE(boxes.seen[0].details, QStringLiteral("hold: file 11, module 10"));
        }
    }
}

void WindowTest::readSettings()
{
    QFETCH(VirtualModule::Options, module);
    QFETCH(QString, why);
    Bench bench("[Colors]\r\nRed1=1\r\n", module);
    const Ui w = bench.ui();
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    w.Slider_Red->setValue(50);
    w.cboMemLoc->setCurrentIndex(3);
    const QString before = state(w);
    const QByteArray fileBefore = bench.config.read();
    // The kernel's own account of what is renamed into the file's folder.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const auto unwatch = qScopeGuard([&] { ::close(watch); });
    ::inotify_add_watch(watch,
                        QFile::encodeName(QFileInfo(bench.config.iniPath()).path()).constData(),
                        IN_MOVED_TO);
    bench.click(w.cmdReadSettings);
    QCOMPARE(w.lblTxData->text(), QStringLiteral("FF 3C FB FB FB "));
    QTRY_COMPARE(bench.module->heard, ReadFrame);
    QVERIFY(bench.isOpenState());
    if (!why.isEmpty()) {
        QTRY_COMPARE(boxes.texts(), QStringList{"Read Error"});
        QVERIFY2(boxes.seen[0].details.contains(why), qPrintable(boxes.seen[0].details));
        QCOMPARE(state(w), before);
        QCOMPARE(bench.config.read(), fileBefore);
        return;
    }
    // The lists and sliders mirror the module, nothing goes back to it, and
    // the thirty colours land in one replace of the file.
    QTRY_VERIFY2(w.lblNotice->text().startsWith(QLatin1String("Read at ")) &&
                     w.lblNotice->text().endsWith(QLatin1String("mode 3, fade 1, hold 10.")),
                 qPrintable(w.lblNotice->text()));
    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(state(w), QStringLiteral("3 1 10 1 200 0 3"));
    alignas(inotify_event) char events[4096] = {};
    const ssize_t got = ::read(watch, events, sizeof events); // one rename: one event
    QCOMPARE(got, ssize_t(sizeof(inotify_event) + reinterpret_cast<inotify_event *>(events)->len));
    const Settings file = Settings::load(bench.config.iniPath());
    for (int i = 0; i < SlotCount; ++i) {
        const Rgb c = SampleSettings().slotColors[i];
        QCOMPARE(file.slotColors[i], std::optional(c));
        QCOMPARE(swatch(w.cboMemLoc, i), QColor(c.red, c.green, c.blue).name());
    }
    w.cboMemLoc->setCurrentIndex(9);
    bench.click(w.cmdRetrieve);
    QCOMPARE(w.readouts(), std::tuple(209, 180, 66));
}

void WindowTest::save_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<VirtualModule::Options>("module");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("notice");
    const int yes = QMessageBox::Yes;
    const auto answering = [](const QByteArray &bytes) {
        VirtualModule::Options o;
        o.answer = bytes;
        return o;
    };
    VirtualModule::Options badAck;
    badAck.badAck = true;
    QTest::newRow("FE AA") << yes << VirtualModule::Options() << QStringList{"Save Successful"}
                           << QString();
    QTest::newRow("nothing back") << yes << answering({}) << QStringList{"No Module Found"}
                                  << QString();
    QTest::newRow("one byte back")
        << yes << answering("\xFE") << QStringList{"No Module Found"} << QString();
    QTest::newRow("FE AB: no box") << yes << badAck << QStringList() << "FE AB instead of FE AA";
    QTest::newRow("a late settings reply: no box")
        << yes << answering(EncodeSettingsReply(SampleSettings())) << QStringList()
        << "late answer";
    QTest::newRow("answered No") << int(QMessageBox::No) << VirtualModule::Options()
                                 << QStringList() << QString();
}

void WindowTest::save()
{
    QFETCH(int, answer);
    QFETCH(VirtualModule::Options, module);
    QFETCH(QStringList, after);
    QFETCH(QString, notice);
    Bench bench({}, module);
    const Ui w = bench.ui();
    QVERIFY(bench.connect());
    bench.click(w.cmdSetMode);
    BoxAnswerer boxes;
    boxes.answer = answer;
    bench.click(w.cmdSave);
    QVERIFY(!boxes.seen.isEmpty());
    const BoxAnswerer::Seen ask = boxes.seen.takeFirst();
    QCOMPARE(ask.title, QStringLiteral("Save Settings"));
    QCOMPARE(ask.text, QStringLiteral("This will Save all Settings onto EEPROM"));
    QCOMPARE(ask.defaultButton, int(QMessageBox::Yes));
    QCOMPARE(ask.escapeButton, int(QMessageBox::No));
    QTRY_COMPARE(boxes.texts(), after);
    QTRY_VERIFY2(w.lblNotice->text().contains(notice), qPrintable(w.lblNotice->text()));
    QCOMPARE(boxes.texts(), after);
    const QByteArray mode("\xFF\x28\x01\xFB\xFB");
    QTRY_COMPARE(bench.module->heard, answer == QMessageBox::No ? mode : mode + SaveFrame);
    QCOMPARE(w.lblTxData->text(), answer == QMessageBox::No ? QStringLiteral("FF 28 01 FB FB ")
                                                            : QStringLiteral("FF 32 FE FE FE "));
}

// What the user does while Read Module Settings waits for its tick: the
// window stays responsive, runs one exchange at a time, and an ended
// connection or window (closed, or deleted outright) drops the answer
// without a box.
void WindowTest::duringTheWait_data()
{
    QTest::addColumn<QString>("action");
    for (const char *a : {"clicks", "Disconnect", "close", "unplug", "deleted"})
        QTest::newRow(a) << QString::fromLatin1(a);
}

void WindowTest::duringTheWait()
{
    QFETCH(QString, action);
    Bench bench({}, VirtualModule::Options{});
    const Ui w = bench.ui();
    BoxAnswerer boxes;
    QVERIFY2(bench.connect(), qPrintable(boxes.seen.value(0).details));
    QTimer::singleShot(100, this, [&] {
        if (action == QLatin1String("clicks")) {
            w.cmdReadSettings->click();
            w.cmdSave->click();
            w.Slider_Red->setValue(12);
            w.cmdSetColor->click();
        } else if (action == QLatin1String("Disconnect")) {
            w.cmdConnect->click();
        } else if (action == QLatin1String("close")) {
            w.form->close();
        } else if (action == QLatin1String("deleted")) {
            bench.window.reset();
        } else {
            bench.module->module->stop();
        }
    });
    bench.click(w.cmdReadSettings);
    if (action == QLatin1String("clicks")) {
        // One read, and the colour sent while it waited; no second exchange.
        QTRY_COMPARE(state(w), QStringLiteral("3 1 10 1 200 0 3"));
        QCOMPARE(bench.module->heard, ReadFrame + QByteArray("\xFF\x01\x0C\x00\x00", 5));
        QCOMPARE(boxes.texts(), QStringList());
        return;
    }
    const bool gone = action == QLatin1String("deleted");
    if (action == QLatin1String("close"))
        QTRY_VERIFY(!bench.portHeld() && !w.form->isVisible());
    else if (gone)
        QTRY_VERIFY(!bench.portHeld());
    else
        QTRY_VERIFY(bench.isClosedState());
    QCOMPARE(boxes.texts(), QStringList());
    if (!gone)
        QCOMPARE(state(w).section(u' ', 0, 2), QStringLiteral("1 1 5"));
    if (action == QLatin1String("unplug"))
        QVERIFY(w.lblNotice->text().contains(QLatin1String("unplugged or closed")));
    if (action == QLatin1String("close") || gone) {
        QCOMPARE(profile::valueIn(bench.config.read(), "Settings", "CommPort"), QByteArray("1"));
        bench.window = std::make_unique<MainWindow>();
    }
    if (action != QLatin1String("unplug")) {
        // The same line opens again and answers.
        QVERIFY(bench.connect());
        bench.click(bench.ui().cmdReadSettings);
        QTRY_COMPARE(bench.ui().cboHold->currentText(), QStringLiteral("10"));
    }
}

// Trouble that is not the module's answer is said on the line beside
// Connect, never in a box: a settings file that cannot be read or written,
// and a frame the line did not take.
void WindowTest::saidBesideConnect()
{
    {
        TempConfig config;
        const QByteArray huge = QByteArray(IniFile::MaxSize + 1, ';');
        config.write(huge);
        MainWindow form;
        const Ui w(form);
        QVERIFY2(w.lblNotice->text().contains(QLatin1String("larger than 1 MiB")),
                 qPrintable(w.lblNotice->text()));
        form.close();
        QCOMPARE(config.read(), huge);
    }
    Bench bench;
    const Ui w = bench.ui();
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    QCOMPARE(w.lblNotice->text(), QString());
    const QByteArray before = bench.config.read();
    QFile::remove(bench.config.iniPath());
    QVERIFY(QDir().mkpath(bench.config.iniPath()));
    w.Slider_Red->setValue(3);
    bench.click(w.cmdSaveColor);
    QTRY_COMPARE(bench.module->heard, QByteArray("\xFF\x02\x03\x00\x00", 5));
    QVERIFY2(w.lblNotice->text().startsWith(QLatin1String("Settings could not be saved: ")),
             qPrintable(w.lblNotice->text()));
    // Once the file can be written again, the notice goes.
    QVERIFY(QDir().rmdir(bench.config.iniPath()));
    bench.config.write(before);
    bench.click(w.cmdSaveColor);
    QCOMPARE(w.lblNotice->text(), QString());
    QCOMPARE(profile::valueIn(bench.config.read(), "Colors", "Red1"), QByteArray("3"));

    // A line that takes nothing; the file is not told of a colour the
    // module never got.
    ::tcflow(lineDescriptor(bench.device), TCOOFF);
    w.Slider_Red->setValue(9);
    for (QPushButton *button : {w.cmdSetColor, w.cmdSaveColor, w.cmdReadSettings}) {
        bench.click(button);
        QVERIFY2(w.lblNotice->text().startsWith(QLatin1String("The frame did not go out: ")),
                 qPrintable(w.lblNotice->text()));
        w.lblNotice->clear();
    }
    QCOMPARE(profile::valueIn(bench.config.read(), "Colors", "Red1"), QByteArray("3"));
    QCOMPARE(boxes.seen.size(), 0);
    QVERIFY(bench.isOpenState());
}

// The virtual module unplugged and plugged back under its name: the
// window reconnects to what it lost, and never undoes the user's own
// Disconnect or choice.
void WindowTest::reconnectsOnlyWhatItLost()
{
    Bench bench;
    const Ui w = bench.ui();
    VirtualModule &module = *bench.module->module;
    BoxAnswerer boxes;
    QString error;
    QVERIFY(bench.connect());

    module.stop();
    QTRY_VERIFY_WITH_TIMEOUT(bench.isClosedState(), 3000);
    QVERIFY2(w.lblNotice->text().contains(bench.device), qPrintable(w.lblNotice->text()));
    QTRY_VERIFY(w.lblPortInfo->text().contains(QLatin1String("missing")));
    bench.window->grab().save(QStringLiteral("window-waiting-for-device.png"));
    QVERIFY2(module.start(&error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(bench.isOpenState(), 3000);
    QVERIFY(w.lblNotice->text().startsWith(QLatin1String("Reconnected")));
    w.Slider_Blue->setValue(77);
    bench.click(w.cmdSetColor);
    QTRY_VERIFY(bench.module->heard.endsWith(QByteArray("\xFF\x01\x00\x00\x4D", 5)));

    // Disconnected by the user, then gone and back: stays disconnected.
    bench.click(w.cmdConnect);
    module.stop();
    QVERIFY(module.start(&error));
    QTest::qWait(600);
    QVERIFY(bench.isClosedState());
    // Lost, then Connect pressed while it is away: the user's turn ends the
    // wait, and a later return changes nothing.
    bench.click(w.cmdConnect);
    module.stop();
    QTRY_VERIFY_WITH_TIMEOUT(bench.isClosedState(), 3000);
    bench.click(w.cmdConnect);
    QCOMPARE(boxes.texts(), QStringList{"Selected Com Port Not Available"});
    QVERIFY(module.start(&error));
    QTest::qWait(600);
    QVERIFY(bench.isClosedState());
}

// Random use with a fixed seed: every control clicked, lists chosen,
// sliders moved, the module unplugged and plugged back, boxes answered
// either way. After every step the window is in one of its two states and
// its monitor shows a whole frame; the module hears nothing but frames.
void WindowTest::survivesRandomUse()
{
    const int actions = 3000;
    Bench bench;
    const Ui w = bench.ui();
    VirtualModule &module = *bench.module->module;
    QStringList unknown;
    connect(&module, &VirtualModule::printed, this, [&](const QString &line) {
        if (line.startsWith(QLatin1String("Unknown")))
            unknown << line;
    });
    BoxAnswerer boxes;
    QRandomGenerator random(20261207);
    const QRegularExpression frame(QStringLiteral("^(FF ([0-9A-F]{2} ){4})?$"));
    const auto pick = [&](QComboBox *list) {
        if (list->isEnabled())
            list->setCurrentIndex(int(random.bounded(list->count())));
    };
    QSlider *const sliders[] = {w.Slider_Red, w.Slider_Green, w.Slider_Blue};
    QString error;
    const std::vector<std::pair<int, std::function<void()>>> table = {
        {6, [&] { bench.click(w.cmdConnect); }},
        {20, [&] { sliders[random.bounded(3)]->setValue(int(random.bounded(256))); }},
        {10, [&] { bench.click(w.cmdSetColor); }},
        {5, [&] { pick(w.cboMode), bench.click(w.cmdSetMode); }},
        {5, [&] { pick(w.cboHold), bench.click(w.cmdSetHold); }},
        {8, [&] { pick(w.cboMemLoc), bench.click(w.cmdSaveColor); }},
        {8, [&] { pick(w.cboMemLoc), bench.click(w.cmdRetrieve); }},
        {1, [&] { bench.click(w.cmdReadSettings); }},
        {1,
         [&] {
             boxes.answer = random.bounded(2) ? QMessageBox::Yes : QMessageBox::No;
             bench.click(w.cmdSave);
         }},
        {1, [&] { module.stop(); }},
        {2, [&] { module.running() || module.start(&error); }},
    };
    for (int step = 0; step < actions; ++step) {
        int roll = int(random.bounded(80));
        for (const auto &[weight, run] : table) {
            if (roll < weight) {
                run();
                break;
            }
            roll -= weight;
        }
        QCoreApplication::processEvents();
        const QString where = QStringLiteral("step %1").arg(step);
        QVERIFY2(frame.match(w.lblTxData->text()).hasMatch(),
                 qPrintable(where + ": monitor " + w.lblTxData->text()));
        const bool open = w.cmdConnect->text() == QLatin1String("Disconnect");
        QVERIFY2(open == w.fRGB->isEnabled() && open != w.fComm->isEnabled(), qPrintable(where));
        QVERIFY2(open || !bench.portHeld(), qPrintable(where));
        QCOMPARE(w.lblRed->text(), QString::number(w.Slider_Red->value()));
    }
    QCOMPARE(unknown, QStringList());
    // The window was connected often enough to have been tried.
    QVERIFY(bench.module->heard.size() / 5 > actions / 20);
}

// Port numbers as the user gives them: a stable name pinned once on
// Connect, numbers pinned and unpinned in the dialog, and the choice saved
// at shut-down.
void WindowTest::portNumbersFollowTheUser()
{
    Pty adapter;
    QTemporaryDir byId;
    const QString stable = byId.filePath(QStringLiteral("usb-Lumavera_LED_A1B2-if00-port0"));
    QVERIFY(QFile::link(adapter.slavePath(), stable));
    qputenv("LUMAVERA_SERIAL_BY_ID", QFile::encodeName(byId.path()));
    const auto unset = qScopeGuard([] { qunsetenv("LUMAVERA_SERIAL_BY_ID"); });
    TempConfig config;
    config.write("; mine\r\n[Settings]\r\nCommPort=3\r\n[Ports]\r\nCOM20=/dev/pts/999\r\n");
    BoxAnswerer boxes;
    MainWindow form;
    form.show();
    const Ui w(form);
    QTRY_VERIFY(w.lblPortInfo->text().startsWith(QLatin1String("COM3: ")));

    Pty pty;
    QStringList seen;
    QTimer::singleShot(200, this, [&] {
        auto *dialog = form.findChild<QDialog *>(QStringLiteral("frmPorts"));
        auto *list = dialog->findChild<QTableWidget *>(QStringLiteral("lstPorts"));
        auto *device = dialog->findChild<QComboBox *>(QStringLiteral("cboDevice"));
        const auto press = [&](const char *name) {
            QTest::mouseClick(dialog->findChild<QPushButton *>(QLatin1String(name)),
                              Qt::LeftButton);
        };
        list->selectRow(5);
        device->setEditText(QStringLiteral("/dev/rfcomm7"));
        press("cmdPin");
        press("cmdUnpin");
        seen << list->item(5, 1)->text();
        list->selectRow(1);
        device->setEditText(pty.slavePath());
        press("cmdPin");
        seen << list->item(1, 0)->text() + ' ' + list->item(1, 1)->text();
        dialog->grab().save(QStringLiteral("port-numbers.png"));
        dialog->reject();
    });
    QTest::mouseClick(w.cmdPorts, Qt::LeftButton);
    QCOMPARE(seen.size(), 2);
    QVERIFY(!seen[0].contains(QLatin1String("rfcomm7")));
    QCOMPARE(seen[1], "COM2 " + pty.slavePath() + QStringLiteral(" \u2014 pinned"));

    // The adapter with a stable name: pinned under it on Connect, once.
    w.cboComm->setCurrentIndex(0);
    QVERIFY2(w.lblPortInfo->text().startsWith("COM1: " + adapter.slavePath()),
             qPrintable(w.lblPortInfo->text()));
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    QVERIFY(!w.cmdPorts->isEnabled());
    const QByteArray pinned = config.read();
    QCOMPARE(profile::valueIn(pinned, "Ports", "COM1"), QFile::encodeName(stable));
    QCOMPARE(profile::valueIn(pinned, "Ports", "COM2"), QFile::encodeName(pty.slavePath()));
    QCOMPARE(profile::valueIn(pinned, "Ports", "COM6"), QByteArray());
    QCOMPARE(profile::valueIn(pinned, "Ports", "COM20"), QByteArray("/dev/pts/999"));
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    QCOMPARE(config.read(), pinned);

    // The choice is saved at shut-down, and only then; Ctrl+Q quits.
    QTest::mouseClick(w.cmdConnect, Qt::LeftButton);
    w.cboComm->setCurrentIndex(11);
    QCOMPARE(config.read(), pinned);
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!form.isVisible());
    QCOMPARE(config.read(), QByteArray(pinned).replace("CommPort=3", "CommPort=12"));
    QCOMPARE(boxes.texts(), QStringList());
}

// lumaveractl beside the window (its steps, and strangers on the socket, are
// in its transcripts): a second window leaves the first one's socket alone,
// and a command that comes during the window's own read waits its turn.
void WindowTest::servesLumaveractl()
{
    Bench bench({}, VirtualModule::Options{});
    const Ui w = bench.ui();
    BoxAnswerer boxes;
    QVERIFY(bench.connect());
    {
        MainWindow second;
        second.show();
        const Ui s(second);
        QTRY_VERIFY2(s.lblNotice->text().contains(QLatin1String("Another Lumavera window")),
                     qPrintable(s.lblNotice->text()));
    }
    QProcess during;
    bool started = false;
    QTimer::singleShot(100, [&] {
        during.start(QStringLiteral(LUMAVERACTL), {"--port", bench.device, "read"});
        started = true;
    });
    bench.click(w.cmdReadSettings);
    QTRY_VERIFY(started);
    QTRY_COMPARE_WITH_TIMEOUT(during.state(), QProcess::NotRunning, 10000);
    QVERIFY2(during.exitCode() == 0, during.readAllStandardError().constData());
    const QByteArray printed = during.readAllStandardOutput();
    QVERIFY2(printed.startsWith("mode 3\nfade 1\nhold 10\nslot 1 200 0 3\n"), printed.constData());
    QCOMPARE(boxes.seen.size(), 0);
    QCOMPARE(w.cboHold->currentText(), QStringLiteral("10"));
    QCOMPARE(bench.module->heard, ReadFrame + ReadFrame);
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
