#include "panel/ui_mainwindow.h"

#include "link/commandframe.h"
#include "panel/accessible.h"
#include "panel/contrast.h"
#include "panel/fonts.h"
#include "panel/portlist.h"
#include "settings/inifile.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
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
    //                                     parent         name               caption                                      left  top width height
    portGroup         = place<QGroupBox>  (self,          "fComm",           QT_TR_NOOP("Select COM Port"),                120,  240, 1695,  855);
    portList          = place<QComboBox>  (portGroup,     "cboComm",         nullptr,                                      360,  360,  975,  315);
    connectButton     = place<QPushButton>(self,          "cmdConnect",      QT_TR_NOOP("Connect"),                       2160,  480, 1095,  375);
    portInfo          = place<Readout>    (self,          "lblPortInfo",     nullptr,                                     3360,  540, 4800,  255);
    noticeLine        = place<Readout>    (self,          "lblNotice",       nullptr,                                     3360,  795, 4800,  405);
    settingsGroup     = place<QGroupBox>  (self,          "fRGB",            QT_TR_NOOP("RGB Settings"),                   120, 1200, 8055, 3375);
    redSlider         = place<QSlider>    (settingsGroup, "Slider_Red",      nullptr,                                      240,  480, 2655,  255);
    redCaption        = place<QLabel>     (settingsGroup, "Label1",          QT_TR_NOOP("Red"),                           3120,  480,  375,  255);
    redReadout        = place<QLabel>     (settingsGroup, "lblRed",          QT_TR_NOOP("0"),                             3600,  480,  495,  255);
    greenSlider       = place<QSlider>    (settingsGroup, "Slider_Green",    nullptr,                                      240,  840, 2655,  255);
    blueSlider        = place<QSlider>    (settingsGroup, "Slider_Blue",     nullptr,                                      240, 1200, 2655,  255);
    greenCaption      = place<QLabel>     (settingsGroup, "Label2",          QT_TR_NOOP("Green"),                         3120,  840,  495,  255);
    blueCaption       = place<QLabel>     (settingsGroup, "Label3",          QT_TR_NOOP("Blue"),                          3120, 1200,  375,  255);
    greenReadout      = place<QLabel>     (settingsGroup, "lblGreen",        QT_TR_NOOP("0"),                             3600,  840,  495,  255);
    blueReadout       = place<QLabel>     (settingsGroup, "lblBlue",         QT_TR_NOOP("0"),                             3600, 1200,  495,  255);
    monitorGroup      = place<QGroupBox>  (self,          "Frame1",          QT_TR_NOOP("Communication Monitor ( HEX)"),   120, 4800, 6135,  975);
    monitorCaption    = place<QLabel>     (monitorGroup,  "Label4",          QT_TR_NOOP("Transmitted Bytes"),              120,  480, 1335,  255);
    sentBytes         = place<Readout>    (monitorGroup,  "lblTxData",       nullptr,                                     1680,  480, 4215,  255);
    setColourButton   = place<QPushButton>(settingsGroup, "cmdSetColor",     QT_TR_NOOP("Set LED Color"),                  360, 1680, 2415,  255);
    storeColourButton = place<QPushButton>(settingsGroup, "cmdSaveColor",    QT_TR_NOOP("Save Current Color on Memory"),   360, 2040, 2415,  255);
    slotList          = place<QComboBox>  (settingsGroup, "cboMemLoc",       nullptr,                                      360, 2520,  615,  315);
    slotCaption       = place<QLabel>     (settingsGroup, "Label5",          QT_TR_NOOP("Select Memory Slot"),            1200, 2520, 1695,  255);
    retrieveButton    = place<QPushButton>(settingsGroup, "cmdRetrieve",     QT_TR_NOOP("Retrieve Color"),                3000, 2520, 1695,  255);
    saveButton        = place<QPushButton>(settingsGroup, "cmdSave",         QT_TR_NOOP("Save Settings on EEPROM"),       5520, 2520, 2175,  255);
    fadeCaption       = place<QLabel>     (settingsGroup, "Label6",          QT_TR_NOOP("Select Fade Speed"),             4440,  360, 1335,  255);
    fadeList          = place<QComboBox>  (settingsGroup, "cboFade",         nullptr,                                     4440,  600,  735,  315);
    holdCaption       = place<QLabel>     (settingsGroup, "Label7",          QT_TR_NOOP("Select Hold Time"),              6120,  360, 1575,  255);
    holdList          = place<QComboBox>  (settingsGroup, "cboHold",         nullptr,                                     6120,  600,  855,  315);
    setFadeButton     = place<QPushButton>(settingsGroup, "cmdSetFade",      QT_TR_NOOP("Set"),                           4440, 1080,  735,  375);
    setHoldButton     = place<QPushButton>(settingsGroup, "cmdSetHold",      QT_TR_NOOP("Set"),                           6120, 1080,  735,  375);
    modeCaption       = place<QLabel>     (settingsGroup, "Label8",          QT_TR_NOOP("Select Mode"),                   4440, 1680,  975,  255);
    modeList          = place<QComboBox>  (settingsGroup, "cboMode",         nullptr,                                     4440, 1920,  855,  315);
    setModeButton     = place<QPushButton>(settingsGroup, "cmdSetMode",      QT_TR_NOOP("Set Mode"),                      6120, 1800,  855,  495);
    readButton        = place<QPushButton>(settingsGroup, "cmdReadSettings", QT_TR_NOOP("Read Module Settings"),          5520, 2880, 2175,  255);
    portNumbersButton = place<QPushButton>(portGroup,     "cmdPorts",        QT_TR_NOOP("\u2026"),                        1380,  360,  255,  315);
    logButton         = place<QPushButton>(self,          "cmdLog",          QT_TR_NOOP("Log\u2026"),                      6375, 5250,  855,  315);
    stationButton     = place<QPushButton>(self,          "cmdStation",      QT_TR_NOOP("Station\u2026"),                  6375, 4875,  855,  315);
    backupButton      = place<QPushButton>(settingsGroup, "cmdBackup",       QT_TR_NOOP("Backup\u2026"),                   3000, 2880, 1215,  255);
    restoreButton     = place<QPushButton>(settingsGroup, "cmdRestore",      QT_TR_NOOP("Restore\u2026"),                  4320, 2880, 1095,  255);
    preview           = place<Readout>    (settingsGroup, "lblPreview",      nullptr,                                     3000, 1680, 1095,  615);
    // clang-format on

    // Keyboard order follows the layout table.
    const QList<QWidget *> tabOrder = {
        portList,        connectButton,     redSlider,     greenSlider,    blueSlider,
        setColourButton, storeColourButton, slotList,      retrieveButton, saveButton,
        fadeList,        holdList,          setFadeButton, setHoldButton,  modeList,
        setModeButton,   readButton};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    // Controls beyond the layout come after all of its own.
    QWidget::setTabOrder(readButton, backupButton);
    QWidget::setTabOrder(backupButton, restoreButton);
    QWidget::setTabOrder(restoreButton, logButton);
    QWidget::setTabOrder(logButton, portNumbersButton);
    QWidget::setTabOrder(portNumbersButton, stationButton);

    settingsGroup->setEnabled(false);
    // The hold list's 241 items scroll in a list of twenty, not a popup as
    // tall as the screen; typing a number still picks one.
    holdList->setStyle(new ListPopupStyle(holdList));
    holdList->setMaxVisibleItems(20);

    for (QSlider *slider : {redSlider, greenSlider, blueSlider}) {
        slider->setRange(0, 255);
        slider->setSingleStep(1);
        slider->setPageStep(5);
        slider->setTracking(true);
    }
    applyColors();
    for (QLabel *readout : {redReadout, greenReadout, blueReadout})
        readout->setAlignment(Qt::AlignCenter);

    sentBytes->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // A double-click on the monitor opens the traffic log.
    sentBytes->installEventFilter(window);
    sentBytes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    sentBytes->setIndent(3);

    preview->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    preview->setToolTip(tr("The colour the sliders mix"));
    showMix(0, 0, 0);

    // What a screen reader says for each control: the sliders by their
    // colour, the monitor and the swatch by what they show, each list by its
    // label, the label being its buddy.
    redSlider->setAccessibleName(tr("Red level"));
    greenSlider->setAccessibleName(tr("Green level"));
    blueSlider->setAccessibleName(tr("Blue level"));
    portList->setAccessibleName(tr("Select COM Port"));
    portList->setItemDelegate(new PortItemDelegate(portList));
    for (auto [label, list] :
         {std::pair{slotCaption, slotList}, std::pair{fadeCaption, fadeList},
          std::pair{holdCaption, holdList}, std::pair{modeCaption, modeList}}) {
        label->setBuddy(list);
        list->setAccessibleName(label->text());
    }
    setFadeButton->setAccessibleName(tr("Set fade speed"));
    setHoldButton->setAccessibleName(tr("Set hold time"));
    sentBytes->setAccessibleName(tr("Transmitted bytes"));
    preview->setAccessibleName(tr("Mixed colour"));
    portInfo->setAccessibleName(tr("Port"));
    noticeLine->setAccessibleName(tr("Notice"));

    portInfo->setTextFormat(Qt::PlainText);
    // Two lines fit between the port line and the "RGB Settings" group.
    noticeLine->setTextFormat(Qt::PlainText);
    noticeLine->setWordWrap(true);
    noticeLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    sentBytes->setToolTip(tr("The last frame sent. Double-click for the traffic log."));
    portNumbersButton->setToolTip(tr("Give port numbers to devices"));
    portNumbersButton->setAccessibleName(tr("Port numbers"));
    logButton->setToolTip(tr("Every byte sent and received, with times (Ctrl+L)"));
    backupButton->setToolTip(tr("Read the module and save its settings to a file"));
    restoreButton->setToolTip(tr("Send a file's settings to the module and read them back"));
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
    for (auto [hue, caption, readout] : {std::tuple{QColor(255, 0, 0), redCaption, redReadout},
                                         std::tuple{QColor(0, 255, 0), greenCaption, greenReadout},
                                         std::tuple{QColor(0, 0, 255), blueCaption, blueReadout}}) {
        const QColor text = TextColorOn(hue, background);
        setTextColor(caption, text);
        setTextColor(readout, text);
    }
    // The monitor keeps its light yellow in every palette, so its text is
    // always dark.
    setBackground(sentBytes, QColor(255, 255, 192));
    setTextColor(sentBytes, QColor(0, 0, 0));
    QPalette monitor = sentBytes->palette();
    monitor.setColor(QPalette::Text, QColor(0, 0, 0));
    sentBytes->setPalette(monitor);
}

void Ui_MainWindow::showMix(int red, int green, int blue)
{
    setBackground(preview, QColor(red, green, blue));
    preview->setSpokenValue(
        Ui_MainWindow::tr("red %1, green %2, blue %3").arg(red).arg(green).arg(blue));
}

void Ui_MainWindow::showFrame(const QByteArray &frame)
{
    QString text;
    sentBytes->setText(text);
    for (char byte : frame) {
        text += HexByte(std::uint8_t(byte));
        sentBytes->setText(text);
    }
}

void Ui_MainWindow::showConnected(bool open)
{
    connectButton->setText(open ? tr("Disconnect") : tr("Connect"));
    portGroup->setEnabled(!open);
    settingsGroup->setEnabled(open);
}

void Ui_MainWindow::notice(const QString &text)
{
    noticeLine->setText(text);
    noticeLine->setToolTip(text);
}

void Ui_MainWindow::showPortInfo(int position)
{
    const QString info = position < 0
                             ? QString()
                             : QStringLiteral("COM%1: %2")
                                   .arg(position + 1)
                                   .arg(portList->itemData(position, Qt::ToolTipRole).toString());
    portInfo->setText(info);
    portInfo->setToolTip(info);
}

QString Ui_MainWindow::WriteProblem(const WriteResult &result)
{
    return result.ok() ? QString()
                       : Ui_MainWindow::tr("Settings could not be saved: %1.").arg(result.reason);
}
