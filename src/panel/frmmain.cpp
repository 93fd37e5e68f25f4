#include "panel/frmmain.h"

#include "link/devicecheck.h"
#include "link/handoff.h"
#include "link/portmap.h"
#include "panel/accessible.h"
#include "panel/contrast.h"
#include "panel/fonts.h"
#include "panel/frmlog.h"
#include "panel/frmports.h"
#include "panel/trafficmodel.h"
#include "settings/ini.h"
#include "settings/settings.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QShortcut>
#include <QSlider>
#include <QTimer>

#include <type_traits>

namespace {

const char *const PortNotAvailable =
    QT_TRANSLATE_NOOP("frmMain", "Selected Com Port Not Available");

// The layout is measured in twips, 15 to the pixel at 96 dpi.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

// Creates one control of the layout: its parent, name, caption and place.
// Captions are source texts of the "frmMain" translation context.
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
    const QString text = caption ? QCoreApplication::translate("frmMain", caption) : QString();
    if constexpr (std::is_base_of_v<QGroupBox, W>)
        w->setTitle(text);
    else if constexpr (std::is_base_of_v<QLabel, W> || std::is_base_of_v<QPushButton, W>)
        w->setText(text);
    w->setGeometry(px(left), px(top), px(width), px(height));
    return w;
}

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

void fillNumbers(QComboBox *list, int first, int last)
{
    for (int i = first; i <= last; ++i)
        list->addItem(QString::number(i));
}

} // namespace

frmMain::frmMain(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(tr("RGB Lumavera R2.0"));
    setFont(PanelFont());
    setFixedSize(px(8355), px(5970));
    // Before any control exists: Qt keeps the first interface it makes.
    InstallAccessibleInterfaces();

    link = new ModuleLink(this);
    link->setObjectName(QStringLiteral("link"));
    link->setWaitPolicy(ModuleLink::WaitPolicy::OneTick);

    buildLayout();
    Form_Load();
    // Measured once the captions and the lists are in place.
    setFont(FittingFont(this, font()));
    connectHandlers();

    watcher = new QFileSystemWatcher(this);
    rescan = new QTimer(this);
    rescan->setSingleShot(true);
    rescan->setInterval(150);
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, &frmMain::watcher_Changed);
    connect(rescan, &QTimer::timeout, this, &frmMain::rescan_Timeout);

    control = new ControlServer(this, link, this);
    control->listen();

    // The log gathers from the start; its window is made when first opened.
    traffic = new TrafficModel(this);
    connect(link, &ModuleLink::traffic, traffic, &TrafficModel::append);
    auto *showLog = new QShortcut(QKeySequence(tr("Ctrl+L")), this);
    connect(showLog, &QShortcut::activated, this, &frmMain::cmdLog_Click);
}

frmMain::~frmMain()
{
    link->abortReplyWait();
}

void frmMain::buildLayout()
{
    // clang-format off
    //                                       parent  name               caption                                     left  top width height
    fComm           = place<QGroupBox>    (this,   "fComm",           QT_TR_NOOP("Select COM Port"),                120,  240, 1695,  855);
    cboComm         = place<QComboBox>    (fComm,  "cboComm",         nullptr,                                      360,  360,  975,  315);
    cmdConnect      = place<QPushButton>  (this,   "cmdConnect",      QT_TR_NOOP("Connect"),                       2160,  480, 1095,  375);
    lblPortInfo     = place<Readout>      (this,   "lblPortInfo",     nullptr,                                     3360,  540, 4800,  255);
    lblNotice       = place<Readout>      (this,   "lblNotice",       nullptr,                                     3360,  795, 4800,  405);
    fRGB            = place<QGroupBox>    (this,   "fRGB",            QT_TR_NOOP("RGB Settings"),                   120, 1200, 8055, 3375);
    Slider_Red      = place<QSlider>      (fRGB,   "Slider_Red",      nullptr,                                      240,  480, 2655,  255);
    Label1          = place<QLabel>       (fRGB,   "Label1",          QT_TR_NOOP("Red"),                           3120,  480,  375,  255);
    lblRed          = place<QLabel>       (fRGB,   "lblRed",          QT_TR_NOOP("0"),                             3600,  480,  495,  255);
    Slider_Green    = place<QSlider>      (fRGB,   "Slider_Green",    nullptr,                                      240,  840, 2655,  255);
    Slider_Blue     = place<QSlider>      (fRGB,   "Slider_Blue",     nullptr,                                      240, 1200, 2655,  255);
    Label2          = place<QLabel>       (fRGB,   "Label2",          QT_TR_NOOP("Green"),                         3120,  840,  495,  255);
    Label3          = place<QLabel>       (fRGB,   "Label3",          QT_TR_NOOP("Blue"),                          3120, 1200,  375,  255);
    lblGreen        = place<QLabel>       (fRGB,   "lblGreen",        QT_TR_NOOP("0"),                             3600,  840,  495,  255);
    lblBlue         = place<QLabel>       (fRGB,   "lblBlue",         QT_TR_NOOP("0"),                             3600, 1200,  495,  255);
    Frame1          = place<QGroupBox>    (this,   "Frame1",          QT_TR_NOOP("Communication Monitor ( HEX)"),   120, 4800, 6135,  975);
    Label4          = place<QLabel>       (Frame1, "Label4",          QT_TR_NOOP("Transmitted Bytes"),              120,  480, 1335,  255);
    lblTxData       = place<Readout>      (Frame1, "lblTxData",       nullptr,                                     1680,  480, 4215,  255);
    cmdSetColor     = place<QPushButton>  (fRGB,   "cmdSetColor",     QT_TR_NOOP("Set LED Color"),                  360, 1680, 2415,  255);
    cmdSaveColor    = place<QPushButton>  (fRGB,   "cmdSaveColor",    QT_TR_NOOP("Save Current Color on Memory"),   360, 2040, 2415,  255);
    cboMemLoc       = place<QComboBox>    (fRGB,   "cboMemLoc",       nullptr,                                      360, 2520,  615,  315);
    Label5          = place<QLabel>       (fRGB,   "Label5",          QT_TR_NOOP("Select Memory Slot"),            1200, 2520, 1695,  255);
    cmdRetrieve     = place<QPushButton>  (fRGB,   "cmdRetrieve",     QT_TR_NOOP("Retrieve Color"),                3000, 2520, 1695,  255);
    cmdSave         = place<QPushButton>  (fRGB,   "cmdSave",         QT_TR_NOOP("Save Settings on EEPROM"),       5520, 2520, 2175,  255);
    Label6          = place<QLabel>       (fRGB,   "Label6",          QT_TR_NOOP("Select Fade Speed"),             4440,  360, 1335,  255);
    cboFade         = place<QComboBox>    (fRGB,   "cboFade",         nullptr,                                     4440,  600,  735,  315);
    Label7          = place<QLabel>       (fRGB,   "Label7",          QT_TR_NOOP("Select Hold Time"),              6120,  360, 1575,  255);
    cboHold         = place<QComboBox>    (fRGB,   "cboHold",         nullptr,                                     6120,  600,  855,  315);
    cmdSetFade      = place<QPushButton>  (fRGB,   "cmdSetFade",      QT_TR_NOOP("Set"),                           4440, 1080,  735,  375);
    cmdSetHold      = place<QPushButton>  (fRGB,   "cmdSetHold",      QT_TR_NOOP("Set"),                           6120, 1080,  735,  375);
    Label8          = place<QLabel>       (fRGB,   "Label8",          QT_TR_NOOP("Select Mode"),                   4440, 1680,  975,  255);
    cboMode         = place<QComboBox>    (fRGB,   "cboMode",         nullptr,                                     4440, 1920,  855,  315);
    cmdSetMode      = place<QPushButton>  (fRGB,   "cmdSetMode",      QT_TR_NOOP("Set Mode"),                      6120, 1800,  855,  495);
    cmdReadSettings = place<QPushButton>  (fRGB,   "cmdReadSettings", QT_TR_NOOP("Read Module Settings"),          5520, 2880, 2175,  255);
    cmdPorts        = place<QPushButton>  (fComm,  "cmdPorts",        QT_TR_NOOP("\u2026"),                        1380,  360,  255,  315);
    cmdLog          = place<QPushButton>  (this,   "cmdLog",          QT_TR_NOOP("Log\u2026"),                      6375, 5250,  855,  315);
    lblPreview      = place<Readout>      (fRGB,   "lblPreview",      nullptr,                                     3000, 1680, 1095,  615);
    // clang-format on

    // Keyboard order follows the layout table.
    const QList<QWidget *> tabOrder = {
        cboComm,      cmdConnect, Slider_Red,  Slider_Green, Slider_Blue,    cmdSetColor,
        cmdSaveColor, cboMemLoc,  cmdRetrieve, cmdSave,      cboFade,        cboHold,
        cmdSetFade,   cmdSetHold, cboMode,     cmdSetMode,   cmdReadSettings};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    // Controls beyond the layout come after all of its own.
    setTabOrder(cmdReadSettings, cmdLog);
    setTabOrder(cmdLog, cmdPorts);

    fRGB->setEnabled(false);

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
    lblTxData->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblTxData->setIndent(3);

    lblPreview->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblPreview->setToolTip(tr("The colour the sliders mix"));
    updatePreview();

    // What a screen reader says for each control: the sliders by their
    // colour, the monitor and the swatch by what they show, each list by its
    // label, the label being its buddy.
    Slider_Red->setAccessibleName(tr("Red level"));
    Slider_Green->setAccessibleName(tr("Green level"));
    Slider_Blue->setAccessibleName(tr("Blue level"));
    cboComm->setAccessibleName(tr("Select COM Port"));
    for (auto [label, list] : {std::pair{Label5, cboMemLoc}, std::pair{Label6, cboFade},
                               std::pair{Label7, cboHold}, std::pair{Label8, cboMode}}) {
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
    lblTxData->installEventFilter(this);
    lblTxData->setToolTip(tr("The last frame sent. Double-click for the traffic log."));
    cmdPorts->setToolTip(tr("Give port numbers to devices"));
    cmdPorts->setAccessibleName(tr("Port numbers"));
    cmdLog->setToolTip(tr("Every byte sent and received, with times (Ctrl+L)"));
}

void frmMain::applyColors()
{
    // The captions and readouts of each level in its own colour; on a dark
    // palette in a lighter tint of it that stays readable.
    const QColor background = palette().color(QPalette::Window);
    for (auto [hue, caption, readout] : {std::tuple{QColor(255, 0, 0), Label1, lblRed},
                                         std::tuple{QColor(0, 255, 0), Label2, lblGreen},
                                         std::tuple{QColor(0, 0, 255), Label3, lblBlue}}) {
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

void frmMain::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        applyColors();
    QWidget::changeEvent(event);
}

void frmMain::connectHandlers()
{
    connect(cboComm, &QComboBox::currentIndexChanged, this, &frmMain::cboComm_Click);
    connect(cmdConnect, &QPushButton::clicked, this, &frmMain::cmdConnect_Click);
    connect(link, &ModuleLink::lost, this, &frmMain::MSComm1_Lost);
    connect(link, &ModuleLink::traffic, this, &frmMain::link_Traffic);
    connect(Slider_Red, &QSlider::valueChanged, this, &frmMain::Slider_Red_Change);
    connect(Slider_Green, &QSlider::valueChanged, this, &frmMain::Slider_Green_Change);
    connect(Slider_Blue, &QSlider::valueChanged, this, &frmMain::Slider_Blue_Change);
    connect(cmdSetColor, &QPushButton::clicked, this, &frmMain::cmdSetColor_Click);
    connect(cmdSetMode, &QPushButton::clicked, this, &frmMain::cmdSetMode_Click);
    connect(cmdSetFade, &QPushButton::clicked, this, &frmMain::cmdSetFade_Click);
    connect(cmdSetHold, &QPushButton::clicked, this, &frmMain::cmdSetHold_Click);
    connect(cmdSaveColor, &QPushButton::clicked, this, &frmMain::cmdSaveColor_Click);
    connect(cmdRetrieve, &QPushButton::clicked, this, &frmMain::cmdRetrieve_Click);
    connect(cmdReadSettings, &QPushButton::clicked, this, &frmMain::cmdReadSettings_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);
    connect(cmdLog, &QPushButton::clicked, this, &frmMain::cmdLog_Click);
    connect(cmdPorts, &QPushButton::clicked, this, &frmMain::cmdPorts_Click);
}

// ---- Start-up, port choice, connection, shut-down ----

void frmMain::Form_Load()
{
    for (int n = FirstPort; n <= LastPort; ++n)
        cboComm->addItem(QStringLiteral("COM%1").arg(n));
    fillNumbers(cboMemLoc, 1, SlotCount);
    fillNumbers(cboFade, 0, MaxFade);
    fillNumbers(cboHold, 0, MaxHold);
    fillNumbers(cboMode, 0, MaxMode);

    // The file is read once for all of start-up.
    const Settings settings = Settings::load(IniPath());
    if (!settings.problem.isEmpty())
        lblNotice->setText(settings.problem);
    // A missing, empty or foreign value (the very first run) starts on COM1.
    const int number = settings.commPort();

    // The port choice, as if the user had picked it. The system's port list
    // is looked at once the window shows, so that start-up does not wait.
    cboComm->setCurrentIndex(number - 1);
    CommPortSetting = QString::number(number);
    QTimer::singleShot(0, this, [this, settings] { refreshPortInfo(&settings); });

    cboMemLoc->setCurrentIndex(0);
    cboFade->setCurrentIndex(1);
    cboHold->setCurrentIndex(5);
    cboMode->setCurrentIndex(1);
}

void frmMain::cboComm_Click()
{
    const int position = cboComm->currentIndex();
    if (position < 0)
        return;
    CommPortSetting = QString::number(position + 1);
    // Another port chosen: the user takes over from a reconnect.
    stopAwaiting();
    showPortInfo();
}

void frmMain::cmdConnect_Click()
{
    stopAwaiting();
    if (!link->isOpen()) {
        const int number = CommPortSetting.toInt();
        const Settings settings = Settings::load(IniPath());
        const PortEntry entry =
            NumberPorts(settings.pins, SystemPortPaths())[std::size_t(number - 1)];
        if (entry.path.isEmpty()) {
            message(Severity::Warning, tr(PortNotAvailable),
                    tr("No device is assigned to COM%1.").arg(number));
            return;
        }
        if (entry.pinned && !entry.present) {
            message(Severity::Warning, tr(PortNotAvailable),
                    tr("COM%1 is %2, which is not plugged in.").arg(number).arg(entry.path));
            return;
        }
        link->setDevicePath(entry.path);
        if (!link->open()) {
            refreshPortInfo(&settings);
            message(Severity::Warning, tr(PortNotAvailable), link->openError());
            return;
        }
        if (!entry.pinned)
            pinStableName(number, entry.path);
        connectedSerial_ = DeviceSerialNumber(entry.path);
        showOpenState();
    } else {
        link->close();
        showClosedState();
    }
}

void frmMain::pinStableName(int number, const QString &path)
{
    // As Windows gives an adapter its COM number for good: a device with a
    // stable name keeps this number wherever it is plugged in.
    const QString stable = StableNameFor(path);
    if (!stable.isEmpty())
        noteWrite(WriteIniValues(PinEdits(number, stable)));
}

void frmMain::MSComm1_Lost()
{
    showClosedState();
    awaiting_ = link->devicePath();
    lostAtNs_ = WallClockNs();
    awaitingNumber_ = CommPortSetting.toInt();
    reconnectTries_ = 0;
    refreshPortInfo();
    lblNotice->setText(tr("COM%1 (%2) was unplugged or closed; it reconnects when it returns.")
                           .arg(awaitingNumber_)
                           .arg(awaiting_));
    lblNotice->setToolTip(lblNotice->text());
}

void frmMain::stopAwaiting()
{
    if (awaiting_.isEmpty())
        return;
    awaiting_.clear();
    lblNotice->clear();
}

void frmMain::watcher_Changed()
{
    // Devices come in bursts of events; one look after they settle.
    rescan->start();
}

void frmMain::rescan_Timeout()
{
    refreshPortInfo();
    if (awaiting_.isEmpty() || link->isOpen() || !CameBack(awaiting_, lostAtNs_, connectedSerial_))
        return;
    link->setDevicePath(awaiting_);
    if (!link->open()) {
        // The device node can appear before its rights are set: look again
        // shortly, a few times, then wait for the next event.
        if (++reconnectTries_ <= 5)
            rescan->start(300);
        return;
    }
    reconnectTries_ = 0;
    lblNotice->setText(tr("Reconnected to COM%1 (%2).").arg(awaitingNumber_).arg(awaiting_));
    lblNotice->setToolTip(lblNotice->text());
    awaiting_.clear();
    showOpenState();
}

void frmMain::Form_Unload()
{
    link->abortReplyWait();
    WriteIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort"), CommPortSetting);
    link->close();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmMain::showOpenState()
{
    cmdConnect->setText(tr("Disconnect"));
    fComm->setEnabled(false);
    fRGB->setEnabled(true);
}

void frmMain::showClosedState()
{
    cmdConnect->setText(tr("Connect"));
    fComm->setEnabled(true);
    fRGB->setEnabled(false);
}

void frmMain::refreshPortInfo(const Settings *known)
{
    const Settings loaded = known ? Settings() : Settings::load(IniPath());
    const Settings &settings = known ? *known : loaded;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    const PortTable table = NumberPorts(settings.pins, SystemPortPaths());
    QStringList present;
    for (const PortEntry &e : table) {
        if (e.present)
            present << e.path;
    }
    const QMap<QString, QString> holders = DeviceHolders(present);
    for (int i = 0; i < cboComm->count() && i < int(table.size()); ++i) {
        const PortEntry &e = table[std::size_t(i)];
        QString text = DescribeDevice(e.path, ports);
        if (e.pinned && !e.present)
            text += tr(" \u2014 missing");
        // The window's own port is not "in use" by anyone else.
        else if (holders.contains(e.path) && !(link->isOpen() && link->devicePath() == e.path))
            text += tr(" \u2014 in use by %1").arg(holders.value(e.path));
        cboComm->setItemData(i, text, Qt::ToolTipRole);
    }
    showPortInfo();

    // Watch where devices and pins come and go: the list follows events,
    // never a timer.
    QStringList folders{QStringLiteral("/dev"), QStringLiteral("/dev/serial"), StableNamesFolder(),
                        QFileInfo(IniPath()).absolutePath()};
    for (const QString &pin : settings.pins)
        folders << QFileInfo(pin).absolutePath();
    QStringList fresh;
    for (const QString &folder : folders) {
        if (QFileInfo(folder).isDir() && !watcher->directories().contains(folder) &&
            !fresh.contains(folder))
            fresh << folder;
    }
    if (!fresh.isEmpty())
        watcher->addPaths(fresh);
}

void frmMain::showPortInfo()
{
    const int position = cboComm->currentIndex();
    const QString info = position < 0
                             ? QString()
                             : QStringLiteral("COM%1: %2")
                                   .arg(position + 1)
                                   .arg(cboComm->itemData(position, Qt::ToolTipRole).toString());
    lblPortInfo->setText(info);
    lblPortInfo->setToolTip(info);
}

void frmMain::noteWrite(const WriteResult &result)
{
    if (result.ok)
        lblNotice->clear();
    else
        lblNotice->setText(tr("Settings could not be saved: %1.").arg(result.reason));
    lblNotice->setToolTip(lblNotice->text());
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lblTxData && event->type() == QEvent::MouseButtonDblClick) {
        cmdLog_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---- The monitor ----

void frmMain::link_Traffic(const TrafficEvent &event)
{
    if (event.kind != TrafficEvent::Kind::Sent)
        return;
    // The monitor shows the last frame sent, rebuilt one byte at a time.
    QString text;
    lblTxData->setText(text);
    for (char byte : event.bytes) {
        text += HexByte(std::uint8_t(byte));
        lblTxData->setText(text);
    }
}

void frmMain::cmdPorts_Click()
{
    frmPorts dialog(this);
    dialog.exec();
    refreshPortInfo();
}

void frmMain::cmdLog_Click()
{
    if (!log)
        log = new frmLog(traffic, this);
    log->show();
    log->raise();
    log->activateWindow();
}

// ---- Live colour and effects ----

void frmMain::Slider_Red_Change()
{
    CurrentRed = std::uint8_t(Slider_Red->value());
    lblRed->setText(QString::number(CurrentRed));
    updatePreview();
}

void frmMain::Slider_Green_Change()
{
    CurrentGreen = std::uint8_t(Slider_Green->value());
    lblGreen->setText(QString::number(CurrentGreen));
    updatePreview();
}

void frmMain::Slider_Blue_Change()
{
    CurrentBlue = std::uint8_t(Slider_Blue->value());
    lblBlue->setText(QString::number(CurrentBlue));
    updatePreview();
}

void frmMain::updatePreview()
{
    setBackground(lblPreview, QColor(CurrentRed, CurrentGreen, CurrentBlue));
    lblPreview->setSpokenValue(
        tr("red %1, green %2, blue %3").arg(CurrentRed).arg(CurrentGreen).arg(CurrentBlue));
}

void frmMain::cmdSetColor_Click()
{
    link->setFrameBody(SetColorBody(CurrentRed, CurrentGreen, CurrentBlue));
    link->SendCommandFrame();
}

void frmMain::cmdSetMode_Click()
{
    link->setFrameBody(SetModeBody(std::uint8_t(cboMode->currentIndex())));
    link->SendCommandFrame();
}

void frmMain::cmdSetFade_Click()
{
    link->setFrameBody(SetFadeBody(std::uint8_t(cboFade->currentIndex())));
    link->SendCommandFrame();
}

void frmMain::cmdSetHold_Click()
{
    link->setFrameBody(SetHoldBody(std::uint8_t(cboHold->currentIndex())));
    link->SendCommandFrame();
}

// ---- Memory slots ----

void frmMain::StoreSlotColor(int slot)
{
    noteWrite(WriteIniValues(SlotColorEdits(slot, {CurrentRed, CurrentGreen, CurrentBlue})));
}

void frmMain::cmdSaveColor_Click()
{
    const int slot = cboMemLoc->currentIndex();
    if (slot < 0)
        return;
    link->setFrameBody(StoreSlotBody(slot, CurrentRed, CurrentGreen, CurrentBlue));
    link->SendCommandFrame();
    StoreSlotColor(cboMemLoc->currentIndex());
}

void frmMain::cmdRetrieve_Click()
{
    const int slot = cboMemLoc->currentIndex();
    if (slot < 0)
        return;
    // Half a colour is worse than none: apply all three stored levels, or
    // leave the sliders when any is missing or not a level.
    const std::optional<Rgb> stored = Settings::load(IniPath()).slotColors[slot];
    if (!stored)
        return;
    Slider_Red->setValue(stored->red);
    Slider_Green->setValue(stored->green);
    Slider_Blue->setValue(stored->blue);
}

// ---- Module settings transfer ----

void frmMain::cmdReadSettings_Click()
{
    // One exchange at a time: two answers would run into each other.
    if (link->busy())
        return;
    const SettingsOutcome reply = ReadModuleSettings();
    if (reply.fault != ReplyFault::Aborted && !reply.ok())
        message(Severity::Warning, tr("Read Error"), reply.reason);
}

SettingsOutcome frmMain::ReadModuleSettings()
{
    const SettingsOutcome reply = link->ReadModuleSettings();
    if (!reply.ok())
        return reply;
    cboMode->setCurrentIndex(reply.settings.mode);
    cboFade->setCurrentIndex(reply.settings.fade);
    cboHold->setCurrentIndex(reply.settings.hold);
    for (int i = 0; i < SlotCount; ++i) {
        SlotRed[i] = reply.settings.slotColors[i].red;
        SlotGreen[i] = reply.settings.slotColors[i].green;
        SlotBlue[i] = reply.settings.slotColors[i].blue;
    }
    noteWrite(WriteIniValues(SlotTableEdits(SlotRed, SlotGreen, SlotBlue)));
    cboMemLoc->setCurrentIndex(0);
    Slider_Red->setValue(SlotRed[0]);
    Slider_Green->setValue(SlotGreen[0]);
    Slider_Blue->setValue(SlotBlue[0]);
    return reply;
}

void frmMain::cmdSave_Click()
{
    if (link->busy())
        return;
    QMessageBox ask(QMessageBox::Question, tr("Save Settings"),
                    tr("This will Save all Settings onto EEPROM"),
                    QMessageBox::Yes | QMessageBox::No, this);
    ask.setDefaultButton(QMessageBox::Yes);
    ask.setEscapeButton(QMessageBox::No);
    if (ask.exec() != QMessageBox::Yes || !link->isOpen())
        return;

    const SaveOutcome ack = SaveToEeprom();
    if (ack.fault == ReplyFault::NoAnswer || ack.fault == ReplyFault::Short)
        message(Severity::Warning, tr("No Module Found"), ack.reason);
    else if (ack.ok())
        message(Severity::Information, tr("Save Successful"));
}

SaveOutcome frmMain::SaveToEeprom()
{
    return link->SaveToEeprom();
}

// ---- Requests from the command line ----

QString frmMain::heldDevice() const
{
    return link->isOpen() ? RealDevicePath(link->devicePath()) : QString();
}

HandoffReply frmMain::carryOut(const HandoffRequest &request)
{
    HandoffReply reply;
    const auto mix = [&](const Rgb &c) {
        Slider_Red->setValue(c.red);
        Slider_Green->setValue(c.green);
        Slider_Blue->setValue(c.blue);
    };
    switch (request.op) {
    case HandoffRequest::Op::Probe:
        break;
    case HandoffRequest::Op::Color:
        mix(request.colour);
        cmdSetColor_Click();
        break;
    case HandoffRequest::Op::Mode:
        cboMode->setCurrentIndex(request.value);
        cmdSetMode_Click();
        break;
    case HandoffRequest::Op::Fade:
        cboFade->setCurrentIndex(request.value);
        cmdSetFade_Click();
        break;
    case HandoffRequest::Op::Hold:
        cboHold->setCurrentIndex(request.value);
        cmdSetHold_Click();
        break;
    case HandoffRequest::Op::Store:
        cboMemLoc->setCurrentIndex(request.slot);
        mix(request.colour);
        cmdSaveColor_Click();
        break;
    case HandoffRequest::Op::Read: {
        const SettingsOutcome read = ReadModuleSettings();
        reply.fault = read.fault;
        reply.reason = read.reason;
        reply.settings = read.settings;
        break;
    }
    case HandoffRequest::Op::Save: {
        // The command asked for it: no question.
        const SaveOutcome saved = SaveToEeprom();
        reply.fault = saved.fault;
        reply.reason = saved.reason;
        break;
    }
    }
    return reply;
}

void frmMain::message(Severity severity, const QString &text, const QString &details)
{
    QMessageBox box(severity == Severity::Warning ? QMessageBox::Warning : QMessageBox::Information,
                    tr("Lumavera"), text, QMessageBox::Ok, this);
    box.setInformativeText(details);
    box.exec();
}
