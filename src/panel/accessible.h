#pragma once

#include <QLabel>

namespace lumavera {

// A label that shows a value (the monitor, the port line, a notice, the
// swatch) under a fixed accessible name: screen readers get the name, read
// the shown text as its value and hear of each change.
class Readout : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;
    void setText(const QString &text);
    void clear() { setText(QString()); }

    // What a reader says for a readout that shows no text (the swatch's
    // colour); by default its text.
    void setSpokenValue(const QString &value);
    QString spokenValue() const { return spoken_.isEmpty() ? text() : spoken_; }

private:
    void announce(const QString &before);
    QString spoken_;
};

// Installs the interfaces screen readers see for drop-down lists and
// readouts; call before the first control is made, as Qt keeps the first
// interface it makes for a widget.
// Qt 6.4 on Linux names a list by its current item, so that the fade, hold,
// mode and slot lists all sounded like plain numbers: a list is named here by
// its accessible name or its label, and its current item is its value.
void InstallAccessibleInterfaces();

} // namespace lumavera
