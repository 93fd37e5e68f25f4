#include "panel/ui_mainwindow.h"

#include "link/commandframe.h"
#include "panel/accessible.h"
#include "panel/contrast.h"
#include "panel/fonts.h"
#include "panel/portlist.h"
#include "settings/inifile.h"

#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>

#include <type_traits>

namespace {

// The layout is measured in twips, 15 to the pixel at 96 dpi.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

// Creates one control of the layout: its parent, name, caption and place.
// Captions are source texts of the "MainWindow" translation context.
template <typename W>
W *place(QWidget *parent, const char *name, const char *caption, int left, int top, int width,
         int height)
{
    W *w;
    if constexpr (std::is_same_v<W, QSlider>)
        w = new QSlider(Qt::Horizontal, parent);
    else
        w = new W(parent);
    w->setObjectName(QLatin1String(name));
    const QString text = caption ? Ui_MainWindow::tr(caption) : QString();
    if constexpr (std::is_base_of_v<QGroupBox, W>)
        w->setTitle(text);
    else if constexpr (std::is_base_of_v<QLabel, W> || std::is_base_of_v<QPushButton, W>)
        w->setText(text);
    w->setGeometry(px(left), px(top), px(width), px(height));
    return w;
}

// The window's style, but for a list that drops down as a list: a style
// that pops lists up over themselves shows every item at once.
class ListPopupStyle : public QProxyStyle
{
public:
    explicit ListPopupStyle(QObject *owner) : QProxyStyle(QStringLiteral("Fusion"))
    {
        setParent(owner);
    }
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        return hint == SH_ComboBox_Popup ? 0
                                         : QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

void setTextColor(QWidget *w, const QColor &color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, color);
    w->setPalette(p);
}

void setBackground(QLabel *w, const QColor &color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, color);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

} // namespace

void Ui_MainWindow::setupUi(QWidget *window)
{
    window->setObjectName(QStringLiteral("frmMain"));
    window->setWindowTitle(tr("RGB Lumavera R2.0"));
    window->setFont(PanelFont());
    window->setFixedSize(px(8355), px(5970));
    // Before any control exists: Qt keeps the first interface it makes.
    InstallAccessibleInterfaces();
    QWidget *const self = window;
    // clang-format off
    //                                       parent  name               caption                                     left  top width height
    fComm           = place<QGroupBox>    (self,   "fComm",           QT_TR_NOOP("Select COM Port"),                120,  240, 1695,  855);
    cboComm         = place<QComboBox>    (fComm,  "cboComm",         nullptr,                                      360,  360,  975,  315);
    cmdConnect      = place<QPushButton>  (self,   "cmdConnect",      QT_TR_NOOP("Connect"),                       2160,  480, 1095,  375);
    lblPortInfo     = place<Readout>      (self,   "lblPortInfo",     nullptr,                                     3360,  540, 4800,  255);
    lblNotice       = place<Readout>      (self,   "lblNotice",       nullptr,                                     3360,  795, 4800,  405);
    fRGB            = place<QGroupBox>    (self,   "fRGB",            QT_TR_NOOP("RGB Settings"),                   120, 1200, 8055, 3375);
    Slider_Red      = place<QSlider>      (fRGB,   "Slider_Red",      nullptr,                                      240,  480, 2655,  255);
    redCaption      = place<QLabel>       (fRGB,   "Label1",          QT_TR_NOOP("Red"),                           3120,  480,  375,  255);
    lblRed          = place<QLabel>       (fRGB,   "lblRed",          QT_TR_NOOP("0"),                             3600,  480,  495,  255);
    Slider_Green    = place<QSlider>      (fRGB,   "Slider_Green",    nullptr,                                      240,  840, 2655,  255);
    Slider_Blue     = place<QSlider>      (fRGB,   "Slider_Blue",     nullptr,                                      240, 1200, 2655,  255);
    greenCaption    = place<QLabel>       (fRGB,   "Label2",          QT_TR_NOOP("Green"),                         3120,  840,  495,  255);
    blueCaption     = place<QLabel>       (fRGB,   "Label3",          QT_TR_NOOP("Blue"),                          3120, 1200,  375,  255);
    lblGreen        = place<QLabel>       (fRGB,   "lblGreen",        QT_TR_NOOP("0"),                             3600,  840,  495,  255);
    lblBlue         = place<QLabel>       (fRGB,   "lblBlue",         QT_TR_NOOP("0"),                             3600, 1200,  495,  255);
    Frame1          = place<QGroupBox>    (self,   "Frame1",          QT_TR_NOOP("Communication Monitor ( HEX)"),   120, 4800, 6135,  975);
    monitorCaption  = place<QLabel>       (Frame1, "Label4",          QT_TR_NOOP("Transmitted Bytes"),              120,  480, 1335,  255);
    lblTxData       = place<Readout>      (Frame1, "lblTxData",       nullptr,                                     1680,  480, 4215,  255);
    cmdSetColor     = place<QPushButton>  (fRGB,   "cmdSetColor",     QT_TR_NOOP("Set LED Color"),                  360, 1680, 2415,  255);
    cmdSaveColor    = place<QPushButton>  (fRGB,   "cmdSaveColor",    QT_TR_NOOP("Save Current Color on Memory"),   360, 2040, 2415,  255);
    cboMemLoc       = place<QComboBox>    (fRGB,   "cboMemLoc",       nullptr,                                      360, 2520,  615,  315);
    slotCaption     = place<QLabel>       (fRGB,   "Label5",          QT_TR_NOOP("Select Memory Slot"),            1200, 2520, 1695,  255);
    cmdRetrieve     = place<QPushButton>  (fRGB,   "cmdRetrieve",     QT_TR_NOOP("Retrieve Color"),                3000, 2520, 1695,  255);
    cmdSave         = place<QPushButton>  (fRGB,   "cmdSave",         QT_TR_NOOP("Save Settings on EEPROM"),       5520, 2520, 2175,  255);
    fadeCaption     = place<QLabel>       (fRGB,   "Label6",          QT_TR_NOOP("Select Fade Speed"),             4440,  360, 1335,  255);
    cboFade         = place<QComboBox>    (fRGB,   "cboFade",         nullptr,                                     4440,  600,  735,  315);
    holdCaption     = place<QLabel>       (fRGB,   "Label7",          QT_TR_NOOP("Select Hold Time"),              6120,  360, 1575,  255);
    cboHold         = place<QComboBox>    (fRGB,   "cboHold",         nullptr,                                     6120,  600,  855,  315);
    cmdSetFade      = place<QPushButton>  (fRGB,   "cmdSetFade",      QT_TR_NOOP("Set"),                           4440, 1080,  735,  375);
    cmdSetHold      = place<QPushButton>  (fRGB,   "cmdSetHold",      QT_TR_NOOP("Set"),                           6120, 1080,  735,  375);
    modeCaption     = place<QLabel>       (fRGB,   "Label8",          QT_TR_NOOP("Select Mode"),                   4440, 1680,  975,  255);
    cboMode         = place<QComboBox>    (fRGB,   "cboMode",         nullptr,                                     4440, 1920,  855,  315);
    cmdSetMode      = place<QPushButton>  (fRGB,   "cmdSetMode",      QT_TR_NOOP("Set Mode"),                      6120, 1800,  855,  495);
    cmdReadSettings = place<QPushButton>  (fRGB,   "cmdReadSettings", QT_TR_NOOP("Read Module Settings"),          5520, 2880, 2175,  255);
    cmdPorts        = place<QPushButton>  (fComm,  "cmdPorts",        QT_TR_NOOP("\u2026"),                        1380,  360,  255,  315);
    cmdLog          = place<QPushButton>  (self,   "cmdLog",          QT_TR_NOOP("Log\u2026"),                      6375, 5250,  855,  315);
    cmdStation      = place<QPushButton>  (self,   "cmdStation",      QT_TR_NOOP("Station\u2026"),                  6375, 4875,  855,  315);
    cmdBackup       = place<QPushButton>  (fRGB,   "cmdBackup",       QT_TR_NOOP("Backup\u2026"),                   3000, 2880, 1215,  255);
    cmdRestore      = place<QPushButton>  (fRGB,   "cmdRestore",      QT_TR_NOOP("Restore\u2026"),                  4320, 2880, 1095,  255);
    lblPreview      = place<Readout>      (fRGB,   "lblPreview",      nullptr,                                     3000, 1680, 1095,  615);
    // clang-format on

    // Keyboard order follows the layout table.
    const QList<QWidget *> tabOrder = {
        cboComm,      cmdConnect, Slider_Red,  Slider_Green, Slider_Blue,    cmdSetColor,
        cmdSaveColor, cboMemLoc,  cmdRetrieve, cmdSave,      cboFade,        cboHold,
        cmdSetFade,   cmdSetHold, cboMode,     cmdSetMode,   cmdReadSettings};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    // Controls beyond the layout come after all of its own.
    QWidget::setTabOrder(cmdReadSettings, cmdBackup);
    QWidget::setTabOrder(cmdBackup, cmdRestore);
    QWidget::setTabOrder(cmdRestore, cmdLog);
    QWidget::setTabOrder(cmdLog, cmdPorts);
    QWidget::setTabOrder(cmdPorts, cmdStation);

    fRGB->setEnabled(false);
    // The hold list's 241 items scroll in a list of twenty, not a popup as
    // tall as the screen; typing a number still picks one.
    cboHold->setStyle(new ListPopupStyle(cboHold));
    cboHold->setMaxVisibleItems(20);

    for (QSlider *slider : {Slider_Red, Slider_Green, Slider_Blue}) {
        slider->setRange(0, 255);
        slider->setSingleStep(1);
        slider->setPageStep(5);
        slider->setTracking(true);
    }
    applyColors();
    for (QLabel *readout : {lblRed, lblGreen, lblBlue})
        readout->setAlignment(Qt::AlignCenter);

    lblTxData->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // A double-click on the monitor opens the traffic log.
    lblTxData->installEventFilter(window);
    lblTxData->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblTxData->setIndent(3);

    lblPreview->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblPreview->setToolTip(tr("The colour the sliders mix"));
    showMix(0, 0, 0);

    // What a screen reader says for each control: the sliders by their
    // colour, the monitor and the swatch by what they show, each list by its
    // label, the label being its buddy.
    Slider_Red->setAccessibleName(tr("Red level"));
    Slider_Green->setAccessibleName(tr("Green level"));
    Slider_Blue->setAccessibleName(tr("Blue level"));
    cboComm->setAccessibleName(tr("Select COM Port"));
    cboComm->setItemDelegate(new PortItemDelegate(cboComm));
    for (auto [label, list] : {std::pair{slotCaption, cboMemLoc}, std::pair{fadeCaption, cboFade},
                               std::pair{holdCaption, cboHold}, std::pair{modeCaption, cboMode}}) {
        label->setBuddy(list);
        list->setAccessibleName(label->text());
    }
    cmdSetFade->setAccessibleName(tr("Set fade speed"));
    cmdSetHold->setAccessibleName(tr("Set hold time"));
    lblTxData->setAccessibleName(tr("Transmitted bytes"));
    lblPreview->setAccessibleName(tr("Mixed colour"));
    lblPortInfo->setAccessibleName(tr("Port"));
    lblNotice->setAccessibleName(tr("Notice"));

    lblPortInfo->setTextFormat(Qt::PlainText);
    // Two lines fit between the port line and the "RGB Settings" group.
    lblNotice->setTextFormat(Qt::PlainText);
    lblNotice->setWordWrap(true);
    lblNotice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblTxData->setToolTip(tr("The last frame sent. Double-click for the traffic log."));
    cmdPorts->setToolTip(tr("Give port numbers to devices"));
    cmdPorts->setAccessibleName(tr("Port numbers"));
    cmdLog->setToolTip(tr("Every byte sent and received, with times (Ctrl+L)"));
    cmdBackup->setToolTip(tr("Read the module and save its settings to a file"));
    cmdRestore->setToolTip(tr("Send a file's settings to the module and read them back"));
}

namespace {

// The colour the style draws behind `w`: its parent's background and frame
// at its place, without any control on them.
QColor groundBehind(QWidget *w)
{
    QWidget *parent = w->parentWidget();
    const QRect place = w->geometry();
    QImage drawn(place.size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(parent->palette().color(QPalette::Window));
    parent->render(&drawn, QPoint(), QRegion(place), QWidget::DrawWindowBackground);
    return drawn.pixelColor(place.width() / 2, place.height() / 2);
}

} // namespace

void Ui_MainWindow::applyColors()
{
    // The captions and readouts of each level in its own colour, lightened on
    // a dark palette and darkened on a light one as far as it takes to read
    // on what is drawn behind them: the group's frame, a shade darker than
    // the window.
    const QColor background = groundBehind(redCaption);
    for (auto [hue, caption, readout] : {std::tuple{QColor(255, 0, 0), redCaption, lblRed},
                                         std::tuple{QColor(0, 255, 0), greenCaption, lblGreen},
                                         std::tuple{QColor(0, 0, 255), blueCaption, lblBlue}}) {
        const QColor text = TextColorOn(hue, background);
        setTextColor(caption, text);
        setTextColor(readout, text);
    }
    // The monitor keeps its light yellow in every palette, so its text is
    // always dark.
    setBackground(lblTxData, QColor(255, 255, 192));
    setTextColor(lblTxData, QColor(0, 0, 0));
    QPalette monitor = lblTxData->palette();
    monitor.setColor(QPalette::Text, QColor(0, 0, 0));
    lblTxData->setPalette(monitor);
}

void Ui_MainWindow::showMix(int red, int green, int blue)
{
    setBackground(lblPreview, QColor(red, green, blue));
    lblPreview->setSpokenValue(
        Ui_MainWindow::tr("red %1, green %2, blue %3").arg(red).arg(green).arg(blue));
}

void Ui_MainWindow::showFrame(const QByteArray &frame)
{
    QString text;
    lblTxData->setText(text);
    for (char byte : frame) {
        text += HexByte(std::uint8_t(byte));
        lblTxData->setText(text);
    }
}

void Ui_MainWindow::showConnected(bool open)
{
    cmdConnect->setText(open ? tr("Disconnect") : tr("Connect"));
    fComm->setEnabled(!open);
    fRGB->setEnabled(open);
}

void Ui_MainWindow::notice(const QString &text)
{
    lblNotice->setText(text);
    lblNotice->setToolTip(text);
}

void Ui_MainWindow::showPortInfo(int position)
{
    const QString info = position < 0
                             ? QString()
                             : QStringLiteral("COM%1: %2")
                                   .arg(position + 1)
                                   .arg(cboComm->itemData(position, Qt::ToolTipRole).toString());
    lblPortInfo->setText(info);
    lblPortInfo->setToolTip(info);
}

namespace {

constexpr QChar WordJoiner(0x2060);

// A path is read whole: a line breaks after a slash, so "/dev/" and
// "ttyS0" would land on two lines. A word joiner after each slash of a word
// that starts with one keeps it on one line.
QString unbroken(const QString &text)
{
    static const QRegularExpression path(QStringLiteral("(?<![^\\s\"(])/\\S+"));
    QString out = text;
    for (auto m = path.globalMatch(text); m.hasNext();) {
        const QRegularExpressionMatch found = m.next();
        QString joined = found.captured();
        joined.replace(u'/', QStringLiteral("/") + WordJoiner);
        out.replace(found.captured(), joined);
    }
    return out;
}

// A box whose copied text is what it says, without the joiners.
class MessageBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        QMessageBox::keyPressEvent(event);
        if (event == QKeySequence::Copy) {
            if (QClipboard *clipboard = QGuiApplication::clipboard())
                clipboard->setText(clipboard->text().remove(WordJoiner));
        }
    }
};

} // namespace

void Ui_MainWindow::message(QWidget *owner, int icon, const QString &text, const QString &details)
{
    MessageBox box(QMessageBox::Icon(icon), Ui_MainWindow::tr("Lumavera"), unbroken(text),
                   QMessageBox::Ok, owner);
    box.setInformativeText(unbroken(details));
    box.exec();
}

QString Ui_MainWindow::WriteProblem(const WriteResult &result)
{
    return result.ok() ? QString()
                       : Ui_MainWindow::tr("Settings could not be saved: %1.").arg(result.reason);
}
