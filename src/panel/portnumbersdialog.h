#pragma once

#include "settings/writeresult.h"

#include <QDialog>

class QComboBox;
class QPushButton;
class QTableWidget;

namespace lumavera {

// Where the user gives port numbers to devices, as Windows' "COM Port
// Number" setting does: COM1..COM20 with the device each stands for, and a
// number pinned to a present device or a typed path, or its pin removed.
class PortNumbersDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PortNumbersDialog(QWidget *owner);

private:
    void fill();
    void lstPorts_Select();
    void pinPort();
    void unpinPort();
    int chosenNumber() const;
    // After a pin's change: a failed write said in a box, the list anew.
    void pinned(int number, const WriteResult &written);

    QTableWidget *lstPorts;
    QComboBox *cboDevice;
    QPushButton *cmdPin;
    QPushButton *cmdUnpin;
};

} // namespace lumavera
