#pragma once

#include <QFrame>

class QLabel;

namespace lumavera {

// One port at the station, to be read from across the bench: its name, its
// state in words on the state's colour, why, and the module's USB serial
// number. A screen reader hears the port as the tile's name and the state
// as its description.
class StationTile : public QFrame
{
    Q_OBJECT

public:
    enum class State { Waiting, Absent, Working, Pass, Fail, Held, Skipped };

    StationTile(const QString &title, QWidget *parent = nullptr);

    void setState(State state, const QString &detail = {});
    void setSerial(const QString &serial);
    // A line under the verdict until the next state: what the port does now.
    void setNote(const QString &note);
    State state() const { return state_; }

private:
    void showState();

    State state_ = State::Waiting;
    QString detail_;
    QString serial_;
    QString note_;
    QLabel *title_;
    QLabel *words_;
    QLabel *detailLabel_;
    QLabel *serialLabel_;
};

} // namespace lumavera
