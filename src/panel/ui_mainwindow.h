#pragma once

#include "settings/writeresult.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

class QComboBox;

class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QWidget;
class Readout;

// The main window's controls, laid out in twips as drawn, with their
// captions, tab order, accessible names and colours: what uic would make of
// the window's form.
struct Ui_MainWindow
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    QGroupBox *fComm;
    QComboBox *cboComm;
    QPushButton *cmdConnect;
    Readout *lblPortInfo;
    Readout *lblNotice;
    QGroupBox *fRGB;
    QSlider *Slider_Red;
    QLabel *redCaption;
    QLabel *lblRed;
    QSlider *Slider_Green;
    QSlider *Slider_Blue;
    QLabel *greenCaption;
    QLabel *blueCaption;
    QLabel *lblGreen;
    QLabel *lblBlue;
    Readout *lblPreview;
    QGroupBox *Frame1;
    QLabel *monitorCaption;
    Readout *lblTxData;
    QPushButton *cmdSetColor;
    QPushButton *cmdSaveColor;
    QComboBox *cboMemLoc;
    QLabel *slotCaption;
    QPushButton *cmdRetrieve;
    QPushButton *cmdSave;
    QLabel *fadeCaption;
    QComboBox *cboFade;
    QLabel *holdCaption;
    QComboBox *cboHold;
    QPushButton *cmdSetFade;
    QPushButton *cmdSetHold;
    QLabel *modeCaption;
    QComboBox *cboMode;
    QPushButton *cmdSetMode;
    QPushButton *cmdReadSettings;
    QPushButton *cmdLog;
    QPushButton *cmdStation;
    QPushButton *cmdPorts;
    QPushButton *cmdBackup;
    QPushButton *cmdRestore;

    // Names, sizes and fills the window and makes its controls.
    void setupUi(QWidget *window);
    // The level captions in their colours, readable on what is drawn behind them.
    void applyColors();
    // The swatch shows the mixed colour.
    void showMix(int red, int green, int blue);
    // The monitor: the frame's bytes in hex, the text set anew after each.
    void showFrame(const QByteArray &frame);
    // Connect's caption and which group can be used.
    void showConnected(bool open);
    // The line beside Connect, said without a box.
    void notice(const QString &text);
    // What the line says after a settings write: why it failed, or nothing.
    static QString WriteProblem(const WriteResult &result);
    // The chosen port and its device, as its list item's tooltip says.
    void showPortInfo(int position);
    // A modal box titled with the program's name, with an OK button.
    static void message(QWidget *owner, int icon, const QString &text, const QString &details = {});
};
