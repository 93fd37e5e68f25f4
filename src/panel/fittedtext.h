#pragma once

#include <QString>

class QLabel;

namespace lumavera {

// Shows `text` on a label of fixed size so that what is seen ends in a
// whole word: long paths are shortened in their middle first, then the text
// is cut after its last word that fits, with an ellipsis. The whole text is
// the label's tooltip and its accessible description.
void ShowFitted(QLabel *label, const QString &text, const QString &toolTip = {});

} // namespace lumavera
