#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

namespace lumavera {

// One port at the station, to be read from across the bench: its name, its
// state in words on the state's colour, why, and the module's USB serial
// number, the unit's id where one was given, the port's counts this shift,
// and on a FAIL a Retest button. A screen reader hears the port as the
// tile's name and the state as its description.
class StationTile : public QFrame
{
    Q_OBJECT

public:
    enum class State { Waiting, Absent, Working, Pass, Fail, Held, Skipped };

    StationTile(const QString &title, QWidget *parent = nullptr);

    void setState(State state, const QString &detail = {});
    void setSerial(const QString &serial);
    // The id of the unit on the port, as scanned or typed.
    void setUnit(const QString &unit);
    // The port's verdicts this shift, in words.
    void setCounts(const QString &counts);
    // A line under the verdict until the next state: what the port does now.
    void setNote(const QString &note);
    State state() const { return state_; }

signals:
    // Retest pressed on a FAIL: the module is to be set up again as it is.
    void retestAsked();

private:
    void showState();

    State state_ = State::Waiting;
    QString detail_;
    QString serial_;
    QString note_;
    QString unit_;
    QLabel *title_;
    QLabel *words_;
    QLabel *detailLabel_;
    QLabel *serialLabel_;
    QLabel *countsLabel_;
    QPushButton *retest_;
};

} // namespace lumavera
