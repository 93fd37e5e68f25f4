#pragma once

#include "link/commandframe.h"
#include "link/modulelink.h"
#include "link/reply.h"
#include "panel/controlserver.h"

#include <QWidget>

#include <array>
#include <cstdint>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class frmLog;
class TrafficModel;
class QFileSystemWatcher;
class QTimer;
class Readout;
struct Settings;
struct WriteResult;

// The tool's one window: the port choice and Connect button, the "RGB
// Settings" group that talks to the module, and the communication monitor.
// It owns the module link (and with it the serial port and the reply timer)
// for the whole run.
class frmMain : public QWidget, private RemoteHandler
{
    Q_OBJECT

public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void applyColors();
    void connectHandlers();

    void Form_Load();
    void Form_Unload();
    void cboComm_Click();
    void cmdConnect_Click();
    void MSComm1_Lost();
    void Slider_Red_Change();
    void Slider_Green_Change();
    void Slider_Blue_Change();
    void cmdSetColor_Click();
    void cmdSetMode_Click();
    void cmdSetFade_Click();
    void cmdSetHold_Click();
    void cmdSaveColor_Click();
    void cmdRetrieve_Click();
    void cmdReadSettings_Click();
    void cmdSave_Click();
    void link_Traffic(const TrafficEvent &event);
    void cmdLog_Click();
    void cmdPorts_Click();

    // The two exchanges with an answer, applied to the window as their
    // buttons do; the buttons add the messages.
    SettingsOutcome ReadModuleSettings();
    SaveOutcome SaveToEeprom();

    // Requests from lumaveractl, carried out as if the user had made them.
    QString heldDevice() const override;
    HandoffReply carryOut(const HandoffRequest &request) override;

    void watcher_Changed();
    void rescan_Timeout();
    void pinStableName(int number, const QString &path);
    void stopAwaiting();
    void showPortInfo();

    void StoreSlotColor(int slot);
    void showClosedState();
    void showOpenState();
    void refreshPortInfo(const Settings *known = nullptr);
    void updatePreview();
    void noteWrite(const WriteResult &result);
    enum class Severity { Information, Warning };
    void message(Severity severity, const QString &text, const QString &details = {});

    // The controls, named as in the layout.
    QGroupBox *fComm;
    QComboBox *cboComm;
    QPushButton *cmdConnect;
    Readout *lblPortInfo;
    Readout *lblNotice;
    QGroupBox *fRGB;
    QSlider *Slider_Red;
    QLabel *Label1;
    QLabel *lblRed;
    QSlider *Slider_Green;
    QSlider *Slider_Blue;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *lblGreen;
    QLabel *lblBlue;
    Readout *lblPreview;
    QGroupBox *Frame1;
    QLabel *Label4;
    Readout *lblTxData;
    QPushButton *cmdSetColor;
    QPushButton *cmdSaveColor;
    QComboBox *cboMemLoc;
    QLabel *Label5;
    QPushButton *cmdRetrieve;
    QPushButton *cmdSave;
    QLabel *Label6;
    QComboBox *cboFade;
    QLabel *Label7;
    QComboBox *cboHold;
    QPushButton *cmdSetFade;
    QPushButton *cmdSetHold;
    QLabel *Label8;
    QComboBox *cboMode;
    QPushButton *cmdSetMode;
    QPushButton *cmdReadSettings;

    QPushButton *cmdLog;
    QPushButton *cmdPorts;

    ModuleLink *link;
    ControlServer *control;
    TrafficModel *traffic;
    frmLog *log = nullptr;
    QFileSystemWatcher *watcher;
    QTimer *rescan;

    // The device lost without the user's Disconnect, awaited back.
    QString awaiting_;
    int awaitingNumber_ = 0;
    int reconnectTries_ = 0;
    qint64 lostAtNs_ = 0;
    QString connectedSerial_; // of the device connected to, where it has one

    // The window's state.
    QString CommPortSetting;
    std::uint8_t CurrentRed = 0;
    std::uint8_t CurrentGreen = 0;
    std::uint8_t CurrentBlue = 0;
    std::array<std::uint8_t, SlotCount> SlotRed{};
    std::array<std::uint8_t, SlotCount> SlotGreen{};
    std::array<std::uint8_t, SlotCount> SlotBlue{};
};
