#pragma once

#include <QFrame>

class QBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;

namespace lumavera {

class StateMark;

// One port at the station, to be read from across the bench: its name, its
// state in words and as a shape on the state's colour, why (every
// difference of a FAIL, scrolled where they do not fit), the module's USB
// serial number, the unit's id where one was given, the port's counts this
// shift, and on a FAIL a Retest button. A screen reader hears the port as
// the tile's name and the state as its description.
//
// In the operator view the tile takes whatever size the screen gives it and
// sizes its texts from it: the verdict as large as fits, reasons never
// below 24 px, the port's short name on one line.
class StationTile : public QFrame
{
    Q_OBJECT

public:
    enum class State { Waiting, Absent, Working, Pass, Fail, Held, Skipped };

    // `shortTitle`: the COM number or the device's last name, for the
    // operator view.
    StationTile(const QString &title, const QString &shortTitle, QWidget *parent = nullptr);

    void setState(State state, const QString &detail = {});
    void setSerial(const QString &serial);
    // The id of the unit on the port, as scanned or typed.
    void setUnit(const QString &unit);
    // The port's verdicts this shift, in words.
    void setCounts(const QString &counts);
    // A line under the verdict until the next state: what the port does now.
    void setNote(const QString &note);
    State state() const { return state_; }

    void setOperatorView(bool on);
    // The verdict's height in pixels a tile of `size` shows in the operator
    // view: what the station's columns are chosen by.
    static int verdictPixels(QSize size);
    bool hasHeightForWidth() const override;

signals:
    // Retest pressed on a FAIL: the module is to be set up again as it is.
    void retestAsked();

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showState();
    void fitTexts();
    void fitDetail();

    State state_ = State::Waiting;
    bool operatorView_ = false;
    QString title_;
    QString shortTitle_;
    QString detail_;
    QString serial_;
    QString note_;
    QString unit_;
    QString counts_;
    QBoxLayout *top_;
    QBoxLayout *foot_;
    QLabel *titleLabel_;
    StateMark *mark_;
    QLabel *words_;
    QScrollArea *detailArea_;
    QLabel *detailLabel_;
    QLabel *serialLabel_;
    QLabel *countsLabel_;
    QPushButton *retest_;
};

} // namespace lumavera
