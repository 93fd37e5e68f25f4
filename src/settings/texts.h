#pragma once

#include <QCoreApplication>

namespace lumavera {

// The words the settings library shows a person share one translation context.
class SettingsTexts
{
    Q_DECLARE_TR_FUNCTIONS(Settings)
};

} // namespace lumavera
