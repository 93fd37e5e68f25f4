#pragma once

#include "link/modulelink.h"

#include <QWidget>

class QComboBox;
class QPushButton;
class QTableView;

namespace lumavera {

class TrafficModel;

// The traffic log: every frame sent, every byte read as an answer or thrown
// away, and every connect, disconnect and loss, newest at the bottom. A
// window of its own beside the main window, never modal.
class TrafficLogWindow : public QWidget
{
    Q_OBJECT

public:
    // Shows `model`, which gathers the events whether the window is open or
    // not.
    TrafficLogWindow(TrafficModel *model, QWidget *owner);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void saveLog();
    void clearLog();
    void chooseTimeFormat();
    void copySelection();
    void followNewest();

    TrafficModel *model;
    QTableView *lstTraffic;
    QComboBox *cboTime;
    QPushButton *cmdSave;
    QPushButton *cmdClear;
};

} // namespace lumavera
