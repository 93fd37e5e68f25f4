#pragma once

#include "link/commandframe.h"
#include "link/modulestep.h"
#include "link/task.h"
#include "panel/ui_mainwindow.h"
#include "settings/writeresult.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>

class ControlServer;
class ModuleLink;
class ModuleSession;
class PortStatus;
class SettingsStore;
class TrafficModel;
class ModuleFiles;
class TrafficLogWindow;
class StationWindow;
struct TrafficEvent;

// The tool's one window: the port choice and Connect button, the "RGB
// Settings" group that talks to the module, and the communication monitor.
// It owns the module link (and with it the serial port and the reply timer)
// for the whole run; every step goes through its module session.
class MainWindow : public QWidget, private Ui_MainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Connects to the chosen port, as pressing Connect does; nothing when
    // connected already.
    void connectPort();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectHandlers();

    void load();
    void onShown();
    void unload();
    void choosePort();
    void toggleConnection();
    void updateMix();
    Detached sendColour();
    Detached sendMode();
    Detached sendFade();
    Detached sendHold();
    Detached storeColour();
    void retrieveColour();
    Detached readModuleSettings();
    Detached saveToEeprom();
    void showTrafficLog();
    void showStation();
    void editPortNumbers();

    // Carries out one step; a frame that did not go out is said beside
    // Connect, without a box.
    Task<StepOutcome> sendStep(ModuleStep step);
    // Shows settings the module sent in the lists and on the sliders and
    // keeps its slot colours; how that write went.
    WriteResult showModuleSettings(const ModuleSettings &settings);
    // Shows the slot colours the settings file holds beside the slots'
    // numbers in the memory-slot list.
    void showSlotColours(const std::array<std::optional<Rgb>, SlotCount> &colours);
    void showSlotColour(int slot, const Rgb &colour);

    ModuleLink *link;
    std::unique_ptr<ModuleSession> session;
    PortStatus *portStatus;
    ControlServer *control;
    TrafficModel *traffic;
    TrafficLogWindow *log = nullptr;
    QPointer<StationWindow> station;
    std::unique_ptr<ModuleFiles> files;
    bool shown = false;

    // The window's state.
    QString commPort_;
    std::uint8_t red_ = 0;
    std::uint8_t green_ = 0;
    std::uint8_t blue_ = 0;
};
