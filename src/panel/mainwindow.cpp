#include "panel/mainwindow.h"
#include "panel/messagebox.h"

#include "link/modulesession.h"
#include "link/portmap.h"
#include "panel/accessible.h"
#include "panel/controlserver.h"
#include "panel/fonts.h"
#include "panel/modulefiles.h"
#include "panel/portnumbersdialog.h"
#include "panel/portstatus.h"
#include "panel/stationwindow.h"
#include "panel/trafficlogwindow.h"
#include "panel/trafficmodel.h"
#include "settings/ini.h"
#include "settings/settings.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QTime>
#include <QTimer>

#include "ui_mainwindow.h"

namespace lumavera {

namespace {

const char *const PortNotAvailable =
    QT_TRANSLATE_NOOP("MainWindow", "Selected Com Port Not Available");

void fillNumbers(QComboBox *list, int first, int last)
{
    // All at once: one insertion into the list's model, not one per item.
    QStringList numbers;
    for (int i = first; i <= last; ++i)
        numbers << QString::number(i);
    list->addItems(numbers);
}

// The settings file, its path computed afresh on every use.
SettingsStore store()
{
    return SettingsStore(IniPath());
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QWidget(parent)
{
    setFont(PanelFont());
    // Before any control exists: Qt keeps the first interface it makes.
    InstallAccessibleInterfaces();
    // The form was drawn in twips; its places are those at 96 dpi, 15 twips
    // to the pixel, rounded: px = (twips + 7) / 15.
    form = std::make_unique<Ui_MainWindow>();
    form->setupUi(this);
    takeControls(*form);
    finishControls();

    link = new ModuleLink(this);
    session = std::make_unique<ModuleSession>(*link, ReplyWaitRule::oneTick());
    files = std::make_unique<ModuleFiles>(
        this, *link,
        ModuleFiles::Hooks{
            [this](const ModuleStep &step) { return sendStep(step); },
            [this](const ModuleSettings &s) { return showModuleSettings(s); },
            [this](const QString &text, const QString &toolTip) { notice(text, toolTip); },
            [this](bool restoring) { settingsGroup->setEnabled(!restoring && link->isOpen()); }});
    portStatus = new PortStatus(
        portList, link, [this] { return commPort_; }, this);
    connect(portStatus, &PortStatus::said, this, [this](const QString &text) { notice(text); });
    connect(portStatus, &PortStatus::connectionShown, this, &MainWindow::showConnected);
    connect(portStatus, &PortStatus::refreshed, this,
            [this] { showPortInfo(portList->currentIndex()); });

    load();
    // Measured once the captions and the lists are in place.
    setFont(FittingFont(this, font()));
    connectHandlers();
    control = new ControlServer(session.get(), this);

    // The log gathers from the start; its window is made when first opened.
    traffic = new TrafficModel(this);
    connect(link, &ModuleLink::traffic, traffic, &TrafficModel::append);
    connect(new QShortcut(QKeySequence(tr("Ctrl+L")), this), &QShortcut::activated, this,
            &MainWindow::showTrafficLog);
    // Ctrl+Q quits the ordinary way, so the port is saved.
    connect(new QShortcut(QKeySequence(tr("Ctrl+Q")), this), &QShortcut::activated, this,
            &QWidget::close);
}

MainWindow::~MainWindow()
{
    // Whatever waits on the line goes on to its end now, while the window
    // it may still speak to is whole.
    link->endWaits();
}

void MainWindow::connectPort()
{
    if (!link->isOpen())
        toggleConnection();
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        applyColors();
    QWidget::changeEvent(event);
}

void MainWindow::connectHandlers()
{
    connect(portList, &QComboBox::currentIndexChanged, this, &MainWindow::choosePort);
    connect(connectButton, &QPushButton::clicked, this, &MainWindow::toggleConnection);
    connect(link, &ModuleLink::traffic, this, [this](const TrafficEvent &event) {
        if (event.kind == TrafficEvent::Kind::Sent)
            showFrame(event.bytes);
    });
    for (QSlider *slider : {redSlider, greenSlider, blueSlider})
        connect(slider, &QSlider::valueChanged, this, &MainWindow::updateMix);
    connect(setColourButton, &QPushButton::clicked, this, &MainWindow::sendColour);
    connect(setModeButton, &QPushButton::clicked, this, &MainWindow::sendMode);
    connect(setFadeButton, &QPushButton::clicked, this, &MainWindow::sendFade);
    connect(setHoldButton, &QPushButton::clicked, this, &MainWindow::sendHold);
    connect(storeColourButton, &QPushButton::clicked, this, &MainWindow::storeColour);
    connect(retrieveButton, &QPushButton::clicked, this, &MainWindow::retrieveColour);
    connect(readButton, &QPushButton::clicked, this, &MainWindow::readModuleSettings);
    connect(saveButton, &QPushButton::clicked, this, &MainWindow::saveToEeprom);
    connect(backupButton, &QPushButton::clicked, this, [this] { files->backup(); });
    connect(restoreButton, &QPushButton::clicked, this, [this] { files->restore(); });
    connect(logButton, &QPushButton::clicked, this, &MainWindow::showTrafficLog);
    connect(stationButton, &QPushButton::clicked, this, &MainWindow::showStation);
    connect(portNumbersButton, &QPushButton::clicked, this, &MainWindow::editPortNumbers);
}

// ---- Start-up, port choice, connection, shut-down ----

void MainWindow::load()
{
    for (int n = FirstPort; n <= LastPort; ++n)
        portList->addItem(QStringLiteral("COM%1").arg(n));
    fillNumbers(slotList, 1, SlotCount);
    // The open list is as wide as a swatch and a number need; the closed
    // one keeps its place in the layout.
    slotList->view()->setMinimumWidth(slotList->view()->sizeHintForColumn(0) +
                                      2 * slotList->view()->frameWidth());
    fillNumbers(fadeList, 0, MaxFade);
    fillNumbers(holdList, 0, MaxHold);
    fillNumbers(modeList, 0, MaxMode);

    // The file is read once for all of start-up.
    const Settings settings = store().load();
    if (!settings.usable)
        notice(settings.usable.reason);
    else if (!settings.ignored.isEmpty())
        notice(QStringLiteral("%1: %2").arg(QFileInfo(store().path()).fileName(),
                                            settings.ignored.join(u"; ")));
    showSlotColours(settings.slotColors);
    // A missing, empty or foreign value (the very first run) starts on COM1.
    const int number = settings.commPort();

    // The port choice, as if the user had picked it. The system's port list
    // is looked at once the window is on the screen (onShown).
    portList->setCurrentIndex(number - 1);
    commPort_ = QString::number(number);

    slotList->setCurrentIndex(0);
    fadeList->setCurrentIndex(1);
    holdList->setCurrentIndex(5);
    modeList->setCurrentIndex(1);
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    // A first paint comes only once the window is mapped and its first frame
    // asked for: what the window needs only once it is seen waits for that,
    // so that start-up is building and showing the window and nothing else.
    if (!shown) {
        shown = true;
        QTimer::singleShot(0, this, &MainWindow::onShown);
    }
}

void MainWindow::onShown()
{
    portStatus->refresh();
    if (const HandoffResult listening = control->listen(); !listening)
        notice(listening.reason);
}

void MainWindow::choosePort()
{
    const int position = portList->currentIndex();
    if (position < 0)
        return;
    commPort_ = QString::number(position + 1);
    // Another port chosen: the user takes over from a reconnect.
    portStatus->stopReconnect();
    showPortInfo(portList->currentIndex());
}

Detached MainWindow::toggleConnection()
{
    portStatus->stopReconnect();
    // Pressed again while a line on another machine connects: called off.
    if (link->opening()) {
        link->close();
        co_return;
    }
    if (!link->isOpen()) {
        const Settings settings = store().load();
        const ResolvedPort port = ResolvePort({}, commPort_.toInt(), settings.pins);
        if (!port) {
            // The way forward, as the command line names it: the dialog behind
            // the button beside the list gives a number its device.
            const QString next =
                tr("Give COM%1 a device in Port Numbers (the \u2026 button beside the port list).")
                    .arg(port.number);
            ShowMessage(this, QMessageBox::Warning, tr(PortNotAvailable),
                        port.reason + QStringLiteral("\n\n") + next);
            co_return;
        }
        link->setDevicePath(port.path);
        if (link->isNetwork())
            notice(tr("Connecting to %1\u2026 Connect again calls it off.").arg(port.path));
        const OpenResult opened = co_await link->open();
        // Called off, by the user or by the window's end (its controls are
        // still there then).
        notice({});
        if (opened.fault == OpenFault::Stopped)
            co_return;
        if (!opened) {
            portStatus->refresh();
            ShowMessage(this, QMessageBox::Warning, tr(PortNotAvailable), opened.reason);
            co_return;
        }
        portStatus->opened(port.path);
        // As Windows gives an adapter its COM number for good: a device with
        // a stable name keeps this number wherever it is plugged in.
        if (const QString stable = StableNameFor(port.path); !port.pinned && !stable.isEmpty())
            notice(WriteProblem(store().pin(port.number, stable)));
        showConnected(true);
    } else {
        link->close();
        showConnected(false);
        notice({});
    }
}

void MainWindow::unload()
{
    link->abortReplyWait();
    // The window is going: a port that cannot be saved is said where a
    // desktop session's log keeps it.
    const WriteResult saved = store().saveCommPort(commPort_);
    if (!saved.ok())
        qWarning("lumavera: the port could not be saved: %s", qUtf8Printable(saved.reason));
    link->close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == sentBytes && event->type() == QEvent::MouseButtonDblClick) {
        showTrafficLog();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---- The monitor, the traffic log and the port numbers ----

void MainWindow::editPortNumbers()
{
    PortNumbersDialog dialog(this);
    dialog.exec();
    portStatus->refresh();
}

void MainWindow::showTrafficLog()
{
    if (!log)
        log = new TrafficLogWindow(traffic, this);
    log->show();
    log->raise();
    log->activateWindow();
}

void MainWindow::showStation()
{
    // A window of its own, which stays when this one closes: the station
    // runs on without the main window.
    if (!station) {
        station = new StationWindow;
        station->setAttribute(Qt::WA_DeleteOnClose);
    }
    station->show();
    station->raise();
    station->activateWindow();
}

// ---- Live colour and effects ----

void MainWindow::updateMix()
{
    red_ = std::uint8_t(redSlider->value());
    green_ = std::uint8_t(greenSlider->value());
    blue_ = std::uint8_t(blueSlider->value());
    redReadout->setText(QString::number(red_));
    greenReadout->setText(QString::number(green_));
    blueReadout->setText(QString::number(blue_));
    showMix(red_, green_, blue_);
}

Task<StepOutcome> MainWindow::sendStep(ModuleStep step)
{
    // The line beside Connect tells of this step from now on, never of one
    // before it.
    notice({});
    const StepOutcome out = co_await session->run(step);
    if (out.fault == ReplyFault::SendFailed)
        notice(tr("The frame did not go out: %1").arg(out.reason));
    co_return out;
}

Detached MainWindow::sendColour()
{
    co_await sendStep(ModuleStep::color({red_, green_, blue_}));
}

Detached MainWindow::sendMode()
{
    co_await sendStep(ModuleStep::mode(modeList->currentIndex()));
}

Detached MainWindow::sendFade()
{
    co_await sendStep(ModuleStep::fade(fadeList->currentIndex()));
}

Detached MainWindow::sendHold()
{
    co_await sendStep(ModuleStep::hold(holdList->currentIndex()));
}

// ---- Memory slots ----

Detached MainWindow::storeColour()
{
    const int slot = slotList->currentIndex();
    if (slot < 0)
        co_return;
    // A frame that did not go out ends the action, as an error would: the
    // file is not told of a colour the module never got.
    if (!(co_await sendStep(ModuleStep::store(slot, {red_, green_, blue_}))).ok())
        co_return;
    const Rgb colour{red_, green_, blue_};
    const WriteResult kept = store().saveSlot(slot, colour);
    notice(WriteProblem(kept));
    if (kept.ok())
        showSlotColour(slot, colour);
}

void MainWindow::retrieveColour()
{
    const int slot = slotList->currentIndex();
    if (slot < 0)
        return;
    // Half a colour is worse than none: apply all three stored levels, or
    // leave the sliders when any is missing or not a level.
    const std::optional<Rgb> stored = store().load().slotColors[slot];
    if (!stored)
        return;
    redSlider->setValue(stored->red);
    greenSlider->setValue(stored->green);
    blueSlider->setValue(stored->blue);
}

// ---- Module settings transfer ----

Detached MainWindow::readModuleSettings()
{
    // One exchange at a time: two answers would run into each other.
    if (link->busy())
        co_return;
    const StepOutcome reply = co_await sendStep(ModuleStep::read());
    if (reply.fault == ReplyFault::Aborted || reply.fault == ReplyFault::SendFailed ||
        reply.fault == ReplyFault::Unplugged)
        co_return;
    if (!reply.ok()) {
        ShowMessage(this, QMessageBox::Warning, tr("Read Error"), reply.reason);
        co_return;
    }
    const WriteResult kept = showModuleSettings(reply.settings);
    // A read that worked says so, without a box.
    const auto n = [](int v) { return QString::number(v); };
    notice(kept.ok()
               ? tr("Read at %1: mode %2, fade %3, hold %4.")
                     .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
                          n(reply.settings.mode), n(reply.settings.fade), n(reply.settings.hold))
               : WriteProblem(kept));
}

WriteResult MainWindow::showModuleSettings(const ModuleSettings &settings)
{
    modeList->setCurrentIndex(settings.mode);
    fadeList->setCurrentIndex(settings.fade);
    holdList->setCurrentIndex(settings.hold);
    const WriteResult kept = store().saveSlots(settings.slotColors);
    for (int slot = 0; kept.ok() && slot < SlotCount; ++slot)
        showSlotColour(slot, settings.slotColors[std::size_t(slot)]);
    slotList->setCurrentIndex(0);
    redSlider->setValue(settings.slotColors[0].red);
    greenSlider->setValue(settings.slotColors[0].green);
    blueSlider->setValue(settings.slotColors[0].blue);
    return kept;
}

Detached MainWindow::saveToEeprom()
{
    if (link->busy())
        co_return;
    QMessageBox ask(QMessageBox::Question, tr("Save Settings"),
                    tr("This will Save all Settings onto EEPROM"),
                    QMessageBox::Yes | QMessageBox::No, this);
    ask.setDefaultButton(QMessageBox::Yes);
    ask.setEscapeButton(QMessageBox::No);
    if (ask.exec() != QMessageBox::Yes || !link->isOpen())
        co_return;

    const StepOutcome ack = co_await sendStep(ModuleStep::save());
    if (ack.fault == ReplyFault::NoAnswer || ack.fault == ReplyFault::Short)
        ShowMessage(this, QMessageBox::Warning, tr("No Module Found"), ack.reason);
    else if (ack.ok())
        ShowMessage(this, QMessageBox::Information, tr("Save Successful"));
    // A wrong or late acknowledgement ends without a box; the line beside
    // Connect says what came back.
    else if (ack.fault != ReplyFault::Aborted && ack.fault != ReplyFault::SendFailed &&
             ack.fault != ReplyFault::Unplugged)
        notice(ack.reason);
}

} // namespace lumavera
