#pragma once

#include "link/commandframe.h"
#include "link/modulestep.h"
#include "link/task.h"
#include "settings/writeresult.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class Ui_MainWindow;

namespace lumavera {

class ControlServer;
class Readout;
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
// for the whole run; every step goes through its module session. Its
// controls are laid out in mainwindow.ui.
class MainWindow : public QWidget
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
    // The form's controls, under names that say what they are.
    void takeControls(const Ui_MainWindow &form);
    // What the form cannot say: styles, delegates, colours, filters.
    void finishControls();
    void connectHandlers();

    // The level captions in their colours, readable on what is drawn behind them.
    void applyColors();
    // The swatch shows the mixed colour.
    void showMix(int red, int green, int blue);
    // The monitor: the frame's bytes in hex, the text set anew after each.
    void showFrame(const QByteArray &frame);
    // Connect's caption and which group can be used.
    void showConnected(bool open);
    // The line beside Connect, said without a box; `toolTip` holds it in
    // full where the line has less room (by default the text itself).
    void notice(const QString &text, const QString &toolTip = {});
    // The chosen port and its device, as its list item's tooltip says.
    void showPortInfo(int position);

    void load();
    void onShown();
    void unload();
    void choosePort();
    Detached toggleConnection();
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

    std::unique_ptr<Ui_MainWindow> form;
    QGroupBox *portGroup;
    QComboBox *portList;
    QPushButton *connectButton;
    QPushButton *portNumbersButton;
    Readout *portInfo;
    Readout *noticeLine;
    QGroupBox *settingsGroup;
    QSlider *redSlider;
    QSlider *greenSlider;
    QSlider *blueSlider;
    QLabel *redCaption;
    QLabel *greenCaption;
    QLabel *blueCaption;
    QLabel *redReadout;
    QLabel *greenReadout;
    QLabel *blueReadout;
    Readout *preview;
    QPushButton *setColourButton;
    QPushButton *storeColourButton;
    QComboBox *slotList;
    QPushButton *retrieveButton;
    QPushButton *backupButton;
    QPushButton *restoreButton;
    QComboBox *fadeList;
    QComboBox *holdList;
    QPushButton *setFadeButton;
    QPushButton *setHoldButton;
    QComboBox *modeList;
    QPushButton *setModeButton;
    QPushButton *readButton;
    QPushButton *saveButton;
    QGroupBox *monitorGroup;
    Readout *sentBytes;
    QPushButton *logButton;
    QPushButton *stationButton;

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

} // namespace lumavera
