#include "panel/fittedtext.h"
#include "panel/mainwindow.h"

#include "panel/accessible.h"
#include "panel/contrast.h"
#include "panel/portlist.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>

#include "ui_mainwindow.h"

namespace lumavera {

// How the main window shows its state: its controls as the form makes
// them, their colours, the swatch, the monitor and the lines of text.

namespace {

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

void MainWindow::takeControls(const Ui_MainWindow &form)
{
    portGroup = form.fComm;
    portList = form.cboComm;
    connectButton = form.cmdConnect;
    portInfo = form.lblPortInfo;
    noticeLine = form.lblNotice;
    settingsGroup = form.fRGB;
    redSlider = form.Slider_Red;
    redCaption = form.Label1;
    redReadout = form.lblRed;
    greenSlider = form.Slider_Green;
    blueSlider = form.Slider_Blue;
    greenCaption = form.Label2;
    blueCaption = form.Label3;
    greenReadout = form.lblGreen;
    blueReadout = form.lblBlue;
    monitorGroup = form.Frame1;
    sentBytes = form.lblTxData;
    setColourButton = form.cmdSetColor;
    storeColourButton = form.cmdSaveColor;
    slotList = form.cboMemLoc;
    retrieveButton = form.cmdRetrieve;
    saveButton = form.cmdSave;
    fadeList = form.cboFade;
    holdList = form.cboHold;
    setFadeButton = form.cmdSetFade;
    setHoldButton = form.cmdSetHold;
    modeList = form.cboMode;
    setModeButton = form.cmdSetMode;
    readButton = form.cmdReadSettings;
    portNumbersButton = form.cmdPorts;
    logButton = form.cmdLog;
    stationButton = form.cmdStation;
    backupButton = form.cmdBackup;
    restoreButton = form.cmdRestore;
    preview = form.lblPreview;
}

void MainWindow::finishControls()
{
    // The hold list's 241 items scroll in a list of twenty, not a popup as
    // tall as the screen; typing a number still picks one.
    holdList->setStyle(new ListPopupStyle(holdList));
    portList->setItemDelegate(new PortItemDelegate(portList));
    applyColors();
    // A double-click on the monitor opens the traffic log.
    sentBytes->installEventFilter(this);
    showMix(0, 0, 0);
}

void MainWindow::showSlotColours(const std::array<std::optional<Rgb>, SlotCount> &colours)
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (const std::optional<Rgb> &c = colours[std::size_t(slot)])
            showSlotColour(slot, *c);
        else
            // Room for a swatch, so that every number stands at one place.
            slotList->setItemData(slot, QColor(Qt::transparent), Qt::DecorationRole);
    }
}

void MainWindow::showSlotColour(int slot, const Rgb &colour)
{
    // A colour as the item's decoration is drawn as a swatch in the open
    // list; the closed list, too narrow for one, shows the number alone.
    slotList->setItemData(slot, QColor(colour.red, colour.green, colour.blue), Qt::DecorationRole);
}

void MainWindow::applyColors()
{
    // The captions and readouts of each level in its own colour, lightened on
    // a dark palette and darkened on a light one as far as it takes to read
    // on what is drawn behind them: the group's frame, a shade darker than
    // the window.
    const QColor background = ColourBehind(redCaption);
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

void MainWindow::showMix(int red, int green, int blue)
{
    setBackground(preview, QColor(red, green, blue));
    preview->setSpokenValue(tr("red %1, green %2, blue %3").arg(red).arg(green).arg(blue));
}

void MainWindow::showFrame(const QByteArray &frame)
{
    QString text;
    sentBytes->setText(text);
    for (char byte : frame) {
        text += HexByte(std::uint8_t(byte));
        sentBytes->setText(text);
    }
}

void MainWindow::showConnected(bool open)
{
    connectButton->setText(open ? tr("Disconnect") : tr("Connect"));
    portGroup->setEnabled(!open);
    settingsGroup->setEnabled(open);
}

void MainWindow::notice(const QString &text, const QString &toolTip)
{
    ShowFitted(noticeLine, text, toolTip);
}

void MainWindow::showPortInfo(int position)
{
    const QString info = position < 0
                             ? QString()
                             : QStringLiteral("COM%1: %2")
                                   .arg(position + 1)
                                   .arg(portList->itemData(position, Qt::ToolTipRole).toString());
    ShowFitted(portInfo, info);
}

} // namespace lumavera
