#pragma once

#include <QCoreApplication>

// The words the link library shows a person share one translation context.
class LinkTexts
{
    Q_DECLARE_TR_FUNCTIONS(Link)
};
