#pragma once

#include <QCoreApplication>

namespace lumavera {

// The words the station library shows a person share one translation context.
class StationTexts
{
    Q_DECLARE_TR_FUNCTIONS(Station)
};

} // namespace lumavera
