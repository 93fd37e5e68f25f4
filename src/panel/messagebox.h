#pragma once

#include "settings/writeresult.h"

#include <QMessageBox>

namespace lumavera {

// The windows' one message box: "Lumavera" over `text`, `details` below it,
// an OK button. Paths in it are never broken across lines, and what Ctrl+C
// copies is what it says.
void ShowMessage(QWidget *owner, QMessageBox::Icon icon, const QString &text,
                 const QString &details = {});

// What the line beside Connect says after a settings write: why it failed,
// or nothing.
QString WriteProblem(const WriteResult &result);

} // namespace lumavera
