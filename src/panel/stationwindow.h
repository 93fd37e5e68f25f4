#pragma once

#include "station/options.h"
#include "station/tally.h"

#include <QElapsedTimer>
#include <QHash>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTimer;

namespace lumavera {

class StationEngine;
class StationTile;
struct StationNews;
struct StationReport;

// The station for a production technician: the golden file and what it
// sets, one tile per port with its state and last verdict, the shift's
// counters, Start and Stop. It runs the station engine lumaveractl's station
// runs, with the same CSV file and history.
class StationWindow : public QWidget
{
    Q_OBJECT

public:
    explicit StationWindow(QWidget *parent = nullptr);
    ~StationWindow() override;

    // Fills the fields from a station command line (ports as given: COMn,
    // paths, network lines).
    void setOptions(const StationOptions &options);

    // Starts the run from the fields; false, after saying why in a box, when
    // the file or a port will not do.
    bool start();
    // The first stop lets the modules in progress finish; a second stops
    // them at once.
    void stop();
    // Stops as stop() does and closes once the modules in progress are
    // done, without asking: for a signal from the terminal or the session.
    void finishAndClose();
    // The view for the line: full screen, the run's form hidden, the tiles
    // laid out to fill the screen with verdicts read from across the room.
    void setOperatorView(bool on);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showGolden();
    void setRunning(bool running);
    void news(const QString &port, const StationNews &news);
    void reported(const StationReport &report, const QString &logFault);
    void finished();
    void showCounters();
    StationTile *tileFor(const QString &port);
    // Puts the tiles in their columns: three, or in the operator view as
    // many as fill the screen best.
    void layTiles();
    // The unit id typed or scanned: for the next module found.
    void takeUnit();
    void showWaitingUnits();
    // The ports a unit id may be for, from the Ports field.
    void fillUnitPorts();
    void retest(const QString &port);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLineEdit *file_;
    QLineEdit *ports_;
    QLineEdit *match_;
    QLineEdit *log_;
    QCheckBox *cable_;
    QCheckBox *all_;
    QCheckBox *save_;
    QCheckBox *sound_;
    QList<QWidget *> fields_; // locked while the run goes
    QPushButton *startButton_;
    QPushButton *stopButton_;
    QPushButton *newShift_;
    QLineEdit *unit_;
    QLabel *waitingUnits_;
    QComboBox *unitPort_; // which port an id is for, or the next module found
    // Typed before Start, given to the run: the port as named (empty: any)
    // and the id.
    QList<std::pair<QString, QString>> unitsBeforeStart_;
    QLabel *goldenName_;
    QLabel *goldenSettings_;
    QList<QLabel *> swatches_;
    QLabel *counters_;
    QLabel *yield_;
    StationTally tally_; // the shift's, over every run until New shift
    QLabel *csv_;
    QLabel *elapsed_;
    QLabel *status_;
    QPushButton *operatorButton_;
    QList<QWidget *> form_; // hidden in the operator view
    QScrollArea *scroll_;
    QWidget *tileArea_;
    QGridLayout *tiles_;
    QList<StationTile *> order_; // as the tiles came
    int columns_ = 0;            // as they are laid out
    bool fitted_ = false;        // to the screen, without scrolling
    bool operatorView_ = false;
    QHash<QString, StationTile *> tileOf_; // port as the engine names it
    QHash<QString, QString> titleOf_;      // its device → as the user named it
    StationEngine *engine_ = nullptr;
    QElapsedTimer clock_;
    QTimer *tick_;
    StationOptions timing_; // --timeout and --gap, which have no field
    bool closeWhenDone_ = false;
};

} // namespace lumavera
