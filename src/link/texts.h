#pragma once

#include <QCoreApplication>

namespace lumavera {

// The words the link library shows a person share one translation context.
class LinkTexts
{
    Q_DECLARE_TR_FUNCTIONS(Link)
};

} // namespace lumavera
