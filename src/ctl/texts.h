#pragma once

#include <QCoreApplication>

namespace lumavera {

// The words the ctl library shows a person share one translation context.
class CtlTexts
{
    Q_DECLARE_TR_FUNCTIONS(Ctl)
};

} // namespace lumavera
