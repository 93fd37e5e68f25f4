#include "panel/frmmain.h"

#include "link/portmap.h"
#include "panel/fonts.h"
#include "settings/ini.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSlider>
#include <QTimer>

#include <type_traits>

namespace {

const QString AppTitle = QStringLiteral("Lumavera");
const QString PortNotAvailable = QStringLiteral("Selected Com Port Not Available");
const QString Connect = QStringLiteral("Connect");
const QString Disconnect = QStringLiteral("Disconnect");

// The layout is measured in twips, 15 to the pixel at 96 dpi.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

// Creates one control of the layout: its parent, name, caption and place.
template <typename W>
W *place(QWidget *parent, const char *name, const QString &text, int left, int top, int width,
         int height)
{
    W *w;
    if constexpr (std::is_same_v<W, QSlider>)
        w = new QSlider(Qt::Horizontal, parent);
    else
        w = new W(parent);
    w->setObjectName(QLatin1String(name));
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

// A stored colour level, or -1 when the text is not a whole number 0..255.
int level(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 && value <= 255 ? value : -1;
}

} // namespace

frmMain::frmMain(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("RGB Lumavera R2.0"));
    setFont(PanelFont());
    setFixedSize(px(8355), px(5970));

    MSComm1 = new SerialPort(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    Timer1->setTimerType(Qt::PreciseTimer);

    buildLayout();
    Form_Load();
    connectHandlers();
}

frmMain::~frmMain()
{
    abortReplyWait();
}

void frmMain::buildLayout()
{
    // clang-format off
    //                                    parent  name               caption                           left   top  width height
    fComm           = place<QGroupBox>  (this,  "fComm",           "Select COM Port",                 120,  240, 1695,  855);
    cboComm         = place<QComboBox>  (fComm, "cboComm",         {},                                360,  360,  975,  315);
    cmdConnect      = place<QPushButton>(this,  "cmdConnect",      Connect,                          2160,  480, 1095,  375);
    lblPortInfo     = place<QLabel>     (this,  "lblPortInfo",     {},                               3360,  540, 4800,  255);
    fRGB            = place<QGroupBox>  (this,  "fRGB",            "RGB Settings",                    120, 1200, 8055, 3375);
    Slider_Red      = place<QSlider>    (fRGB,  "Slider_Red",      {},                                240,  480, 2655,  255);
    Label1          = place<QLabel>     (fRGB,  "Label1",          "Red",                            3120,  480,  375,  255);
    lblRed          = place<QLabel>     (fRGB,  "lblRed",          "0",                              3600,  480,  495,  255);
    Slider_Green    = place<QSlider>    (fRGB,  "Slider_Green",    {},                                240,  840, 2655,  255);
    Slider_Blue     = place<QSlider>    (fRGB,  "Slider_Blue",     {},                                240, 1200, 2655,  255);
    Label2          = place<QLabel>     (fRGB,  "Label2",          "Green",                          3120,  840,  495,  255);
    Label3          = place<QLabel>     (fRGB,  "Label3",          "Blue",                           3120, 1200,  375,  255);
    lblGreen        = place<QLabel>     (fRGB,  "lblGreen",        "0",                              3600,  840,  495,  255);
    lblBlue         = place<QLabel>     (fRGB,  "lblBlue",         "0",                              3600, 1200,  495,  255);
    Frame1          = place<QGroupBox>  (this,  "Frame1",          "Communication Monitor ( HEX)",    120, 4800, 6135,  975);
    Label4          = place<QLabel>     (Frame1, "Label4",         "Transmitted Bytes",               120,  480, 1335,  255);
    lblTxData       = place<QLabel>     (Frame1, "lblTxData",      {},                               1680,  480, 4215,  255);
    cmdSetColor     = place<QPushButton>(fRGB,  "cmdSetColor",     "Set LED Color",                   360, 1680, 2415,  255);
    cmdSaveColor    = place<QPushButton>(fRGB,  "cmdSaveColor",    "Save Current Color on Memory",    360, 2040, 2415,  255);
    cboMemLoc       = place<QComboBox>  (fRGB,  "cboMemLoc",       {},                                360, 2520,  615,  315);
    Label5          = place<QLabel>     (fRGB,  "Label5",          "Select Memory Slot",             1200, 2520, 1695,  255);
    cmdRetrieve     = place<QPushButton>(fRGB,  "cmdRetrieve",     "Retrieve Color",                 3000, 2520, 1695,  255);
    cmdSave         = place<QPushButton>(fRGB,  "cmdSave",         "Save Settings on EEPROM",        5520, 2520, 2175,  255);
    Label6          = place<QLabel>     (fRGB,  "Label6",          "Select Fade Speed",              4440,  360, 1335,  255);
    cboFade         = place<QComboBox>  (fRGB,  "cboFade",         {},                               4440,  600,  735,  315);
    Label7          = place<QLabel>     (fRGB,  "Label7",          "Select Hold Time",               6120,  360, 1575,  255);
    cboHold         = place<QComboBox>  (fRGB,  "cboHold",         {},                               6120,  600,  855,  315);
    cmdSetFade      = place<QPushButton>(fRGB,  "cmdSetFade",      "Set",                            4440, 1080,  735,  375);
    cmdSetHold      = place<QPushButton>(fRGB,  "cmdSetHold",      "Set",                            6120, 1080,  735,  375);
    Label8          = place<QLabel>     (fRGB,  "Label8",          "Select Mode",                    4440, 1680,  975,  255);
    cboMode         = place<QComboBox>  (fRGB,  "cboMode",         {},                               4440, 1920,  855,  315);
    cmdSetMode      = place<QPushButton>(fRGB,  "cmdSetMode",      "Set Mode",                       6120, 1800,  855,  495);
    cmdReadSettings = place<QPushButton>(fRGB,  "cmdReadSettings", "Read Module Settings",           5520, 2880, 2175,  255);
    lblPreview      = place<QLabel>     (fRGB,  "lblPreview",      {},                               3000, 1680, 1095,  615);
    // clang-format on

    // Keyboard order follows the layout table.
    const QList<QWidget *> tabOrder = {
        cboComm,      cmdConnect, Slider_Red,  Slider_Green, Slider_Blue,    cmdSetColor,
        cmdSaveColor, cboMemLoc,  cmdRetrieve, cmdSave,      cboFade,        cboHold,
        cmdSetFade,   cmdSetHold, cboMode,     cmdSetMode,   cmdReadSettings};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    fRGB->setEnabled(false);

    for (QSlider *slider : {Slider_Red, Slider_Green, Slider_Blue}) {
        slider->setRange(0, 255);
        slider->setSingleStep(1);
        slider->setPageStep(5);
        slider->setTracking(true);
    }
    setTextColor(Label1, QColor(255, 0, 0));
    setTextColor(lblRed, QColor(255, 0, 0));
    setTextColor(Label2, QColor(0, 255, 0));
    setTextColor(lblGreen, QColor(0, 255, 0));
    setTextColor(Label3, QColor(0, 0, 255));
    setTextColor(lblBlue, QColor(0, 0, 255));
    for (QLabel *readout : {lblRed, lblGreen, lblBlue})
        readout->setAlignment(Qt::AlignCenter);

    setBackground(lblTxData, QColor(255, 255, 192));
    lblTxData->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblTxData->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblTxData->setIndent(3);

    lblPreview->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblPreview->setToolTip(tr("The colour the sliders mix"));
    updatePreview();

    lblPortInfo->setTextFormat(Qt::PlainText);
    cboComm->installEventFilter(this);
}

void frmMain::connectHandlers()
{
    connect(cboComm, &QComboBox::currentIndexChanged, this, &frmMain::cboComm_Click);
    connect(cmdConnect, &QPushButton::clicked, this, &frmMain::cmdConnect_Click);
    connect(MSComm1, &SerialPort::lost, this, &frmMain::MSComm1_Lost);
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
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
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

    CommPortSetting = ReadIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort"));
    bool ok = false;
    int number = CommPortSetting.toInt(&ok);
    // A missing, empty or foreign value (the very first run) starts on COM1.
    if (!ok || number < FirstPort || number > LastPort)
        number = FirstPort;
    MSComm1->setCommPort(number);
    MSComm1->setInputMode(SerialPort::InputMode::Binary);

    cboComm->setCurrentIndex(number - 1);
    cboComm_Click();

    cboMemLoc->setCurrentIndex(0);
    cboFade->setCurrentIndex(1);
    cboHold->setCurrentIndex(5);
    cboMode->setCurrentIndex(1);

    CommandFrame[0] = StartMarker;
}

void frmMain::cboComm_Click()
{
    const int position = cboComm->currentIndex();
    if (position < 0)
        return;
    CommPortSetting = QString::number(position + 1);
    MSComm1->setCommPort(position + 1);
    refreshPortInfo();
}

void frmMain::cmdConnect_Click()
{
    if (cmdConnect->text() == Connect) {
        if (!MSComm1->setPortOpen(true)) {
            refreshPortInfo();
            message(PortNotAvailable, MSComm1->openError());
            return;
        }
        showOpenState();
    } else {
        abortReplyWait();
        MSComm1->setPortOpen(false);
        showClosedState();
    }
}

void frmMain::MSComm1_Lost()
{
    abortReplyWait();
    showClosedState();
    refreshPortInfo();
    message(PortNotAvailable,
            tr("The connection to %1 was lost: the device was unplugged or closed.")
                .arg(MSComm1->devicePath()));
}

void frmMain::Form_Unload()
{
    abortReplyWait();
    WriteIniValue(QStringLiteral("Settings"), QStringLiteral("CommPort"), CommPortSetting);
    MSComm1->setPortOpen(false);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmMain::showOpenState()
{
    cmdConnect->setText(Disconnect);
    fComm->setEnabled(false);
    fRGB->setEnabled(true);
}

void frmMain::showClosedState()
{
    cmdConnect->setText(Connect);
    fComm->setEnabled(true);
    fRGB->setEnabled(false);
}

void frmMain::refreshPortInfo()
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    QStringList system;
    for (const QSerialPortInfo &info : ports)
        system << info.systemLocation();
    for (int i = 0; i < cboComm->count(); ++i)
        cboComm->setItemData(i, DescribeDevice(DevicePathFor(i + 1, system), ports),
                             Qt::ToolTipRole);
    const int position = cboComm->currentIndex();
    const QString info = position < 0
                             ? QString()
                             : QStringLiteral("COM%1: %2")
                                   .arg(position + 1)
                                   .arg(cboComm->itemData(position, Qt::ToolTipRole).toString());
    lblPortInfo->setText(info);
    lblPortInfo->setToolTip(info);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    // Adapters come and go: look again just before the user opens the list.
    if (watched == cboComm &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        refreshPortInfo();
    return QWidget::eventFilter(watched, event);
}

// ---- Frame transmitter ----

void frmMain::setFrameBody(const FrameBody &body)
{
    std::copy(body.begin(), body.end(), CommandFrame.begin() + 1);
}

void frmMain::SendCommandFrame()
{
    MSComm1->output(QByteArray(reinterpret_cast<const char *>(CommandFrame.data()),
                               qsizetype(CommandFrame.size())));
    QString text;
    lblTxData->setText(text);
    for (std::uint8_t byte : CommandFrame) {
        text += HexByte(byte);
        lblTxData->setText(text);
    }
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
}

void frmMain::cmdSetColor_Click()
{
    setFrameBody(SetColorBody(CurrentRed, CurrentGreen, CurrentBlue));
    SendCommandFrame();
}

void frmMain::cmdSetMode_Click()
{
    setFrameBody(SetModeBody(std::uint8_t(cboMode->currentIndex())));
    SendCommandFrame();
}

void frmMain::cmdSetFade_Click()
{
    setFrameBody(SetFadeBody(std::uint8_t(cboFade->currentIndex())));
    SendCommandFrame();
}

void frmMain::cmdSetHold_Click()
{
    setFrameBody(SetHoldBody(std::uint8_t(cboHold->currentIndex())));
    SendCommandFrame();
}

// ---- Memory slots ----

void frmMain::StoreSlotColor(int slot)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    const QString n = QString::number(slot + 1);
    const QString colors = QStringLiteral("Colors");
    WriteIniValue(colors, QStringLiteral("Red") + n, QString::number(CurrentRed));
    WriteIniValue(colors, QStringLiteral("Green") + n, QString::number(CurrentGreen));
    WriteIniValue(colors, QStringLiteral("Blue") + n, QString::number(CurrentBlue));
}

void frmMain::cmdSaveColor_Click()
{
    const int slot = cboMemLoc->currentIndex();
    if (slot < 0)
        return;
    setFrameBody(StoreSlotBody(slot, CurrentRed, CurrentGreen, CurrentBlue));
    SendCommandFrame();
    StoreSlotColor(cboMemLoc->currentIndex());
}

void frmMain::cmdRetrieve_Click()
{
    const int slot = cboMemLoc->currentIndex();
    if (slot < 0)
        return;
    const QString n = QString::number(slot + 1);
    const QString colors = QStringLiteral("Colors");
    const int red = level(ReadIniValue(colors, QStringLiteral("Red") + n));
    const int green = level(ReadIniValue(colors, QStringLiteral("Green") + n));
    const int blue = level(ReadIniValue(colors, QStringLiteral("Blue") + n));
    // Half a colour is worse than none: apply all three or leave the sliders.
    if (red < 0 || green < 0 || blue < 0)
        return;
    Slider_Red->setValue(red);
    Slider_Green->setValue(green);
    Slider_Blue->setValue(blue);
}

// ---- Answers from the module ----

void frmMain::Timer1_Timer()
{
    ++TickCount;
    if (waitLoop_)
        waitLoop_->quit();
}

bool frmMain::ReplyWait()
{
    QPointer<frmMain> self(this);
    QEventLoop loop;
    TickCount = 0;
    waitAborted_ = false;
    waitLoop_ = &loop;
    Timer1->start();
    // Sleeps until an event comes; every click, redraw and the tick itself
    // are handled in here. Only the tick or an abort ends it.
    loop.exec();
    if (!self)
        return false;
    Timer1->stop();
    waitLoop_ = nullptr;
    return TickCount >= 1 && !waitAborted_ && MSComm1->portOpen();
}

void frmMain::abortReplyWait()
{
    if (!waitLoop_)
        return;
    waitAborted_ = true;
    Timer1->stop();
    waitLoop_->quit();
}

void frmMain::cmdReadSettings_Click()
{
    // One exchange at a time: two answers would run into each other.
    if (waiting())
        return;
    // Leftovers from earlier traffic would shift the answer.
    MSComm1->discardInput();
    setFrameBody(ReadModuleSettingsBody());
    SendCommandFrame();
    if (!ReplyWait())
        return;

    const QString readError = QStringLiteral("Read Error");
    const int count = MSComm1->inBufferCount();
    if (!SettingsReplyCountOk(count)) {
        message(readError,
                count == 0
                    ? tr("No answer came from the module within 500 ms.")
                    : tr("Only %1 of %2 bytes came back.").arg(count).arg(SettingsReplyLength));
        return;
    }
    const QByteArray reply = MSComm1->input();
    if (!SettingsReplyContentOk(reply)) {
        message(readError, tr("The answer does not start like a settings reply."));
        return;
    }
    const std::optional<ModuleSettings> settings = DecodeSettingsReply(reply);
    if (!settings) {
        message(readError, tr("The answer holds mode %1, fade %2 and hold %3; the lists go up to "
                              "%4, %5 and %6.")
                               .arg(std::uint8_t(reply[1]))
                               .arg(std::uint8_t(reply[2]))
                               .arg(std::uint8_t(reply[3]))
                               .arg(MaxMode)
                               .arg(MaxFade)
                               .arg(MaxHold));
        return;
    }

    cboMode->setCurrentIndex(settings->mode);
    cboFade->setCurrentIndex(settings->fade);
    cboHold->setCurrentIndex(settings->hold);
    for (int i = 0; i < SlotCount; ++i) {
        SlotRed[i] = settings->slotColors[i].red;
        SlotGreen[i] = settings->slotColors[i].green;
        SlotBlue[i] = settings->slotColors[i].blue;
    }
    const QString colors = QStringLiteral("Colors");
    const auto writeTable = [&](const QString &name, const auto &table) {
        for (int i = 0; i < SlotCount; ++i)
            WriteIniValue(colors, name + QString::number(i + 1), QString::number(table[i]));
    };
    writeTable(QStringLiteral("Red"), SlotRed);
    writeTable(QStringLiteral("Green"), SlotGreen);
    writeTable(QStringLiteral("Blue"), SlotBlue);
    cboMemLoc->setCurrentIndex(0);
    Slider_Red->setValue(SlotRed[0]);
    Slider_Green->setValue(SlotGreen[0]);
    Slider_Blue->setValue(SlotBlue[0]);
}

void frmMain::cmdSave_Click()
{
    if (waiting())
        return;
    QMessageBox ask(QMessageBox::Question, QStringLiteral("Save Settings"),
                    QStringLiteral("This will Save all Settings onto EEPROM"),
                    QMessageBox::Yes | QMessageBox::No, this);
    ask.setDefaultButton(QMessageBox::Yes);
    ask.setEscapeButton(QMessageBox::No);
    if (ask.exec() != QMessageBox::Yes || !MSComm1->portOpen())
        return;

    MSComm1->discardInput();
    setFrameBody(SaveToEepromBody());
    SendCommandFrame();
    if (!ReplyWait())
        return;
    if (!SaveAckCountOk(MSComm1->inBufferCount())) {
        message(QStringLiteral("No Module Found"));
        return;
    }
    if (SaveAckOk(MSComm1->input()))
        message(QStringLiteral("Save Successful"));
}

void frmMain::message(const QString &text, const QString &details)
{
    QMessageBox box(QMessageBox::NoIcon, AppTitle, text, QMessageBox::Ok, this);
    box.setInformativeText(details);
    box.exec();
}
