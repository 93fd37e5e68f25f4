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
    QGroupBox *portGroup;
    QComboBox *portList;
    QPushButton *connectButton;
    Readout *portInfo;
    Readout *noticeLine;
    QGroupBox *settingsGroup;
    QSlider *redSlider;
    QLabel *redCaption;
    QLabel *redReadout;
    QSlider *greenSlider;
    QSlider *blueSlider;
    QLabel *greenCaption;
    QLabel *blueCaption;
    QLabel *greenReadout;
    QLabel *blueReadout;
    Readout *preview;
    QGroupBox *monitorGroup;
    QLabel *monitorCaption;
    Readout *sentBytes;
    QPushButton *setColourButton;
    QPushButton *storeColourButton;
    QComboBox *slotList;
    QLabel *slotCaption;
    QPushButton *retrieveButton;
    QPushButton *saveButton;
    QLabel *fadeCaption;
    QComboBox *fadeList;
    QLabel *holdCaption;
    QComboBox *holdList;
    QPushButton *setFadeButton;
    QPushButton *setHoldButton;
    QLabel *modeCaption;
    QComboBox *modeList;
    QPushButton *setModeButton;
    QPushButton *readButton;
    QPushButton *logButton;
    QPushButton *stationButton;
    QPushButton *portNumbersButton;
    QPushButton *backupButton;
    QPushButton *restoreButton;

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
};
