#include "station/tally.h"

namespace lumavera {

void StationTally::add(const StationReport &report)
{
    Counts &port = ports[report.device];
    switch (report.result) {
    case StationReport::Result::Pass:
        ++all.passed, ++port.passed;
        break;
    case StationReport::Result::Fail:
        ++all.failed, ++port.failed;
        break;
    case StationReport::Result::Skip:
        ++all.skipped, ++port.skipped;
        return; // no unit was tried
    }
    const bool seen = !report.unit.isEmpty() && units.contains(report.unit);
    if (!report.unit.isEmpty())
        units.insert(report.unit);
    if (report.retest || seen)
        return;
    ++firstTries;
    if (report.result == StationReport::Result::Pass)
        ++firstPasses;
}

int StationTally::yieldPercent() const
{
    // Rounded down: 99 of 100 is never shown as 100 %.
    return firstTries == 0 ? -1 : firstPasses * 100 / firstTries;
}

} // namespace lumavera
