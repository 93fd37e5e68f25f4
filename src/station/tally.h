#pragma once

#include "station/report.h"

#include <QMap>
#include <QSet>
#include <QString>

namespace lumavera {

// The verdicts of a shift, in all and on each port, and how many units
// passed at their first try: a verdict is a unit's first unless it is a
// retest, or its unit id was seen before in the shift.
struct StationTally
{
    struct Counts
    {
        int passed = 0;
        int failed = 0;
        int skipped = 0;
    };
    Counts all;
    QMap<QString, Counts> ports; // by the port's name
    int firstTries = 0;          // PASS or FAIL at a unit's first try
    int firstPasses = 0;
    QSet<QString> units; // the unit ids seen

    void add(const StationReport &report);
    // Passes at the first try against first tries, in whole percent
    // (-1 before the first).
    int yieldPercent() const;
};

} // namespace lumavera
