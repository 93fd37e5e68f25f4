#include "station/descriptors.h"
#include "station/texts.h"

#include <sys/resource.h>

namespace lumavera {

namespace {

// Measured with 1 to 64 ports: a port's thread keeps its wake-up descriptor
// and the port, and opens for a moment its lock files, /proc and the backup;
// the program itself keeps about ten.
constexpr qsizetype PerPort = 5;
constexpr qsizetype Base = 24;

} // namespace

void RaiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    // A failure leaves the limit as it was, which the station then checks.
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

QString DescriptorShortfall(qsizetype ports)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return {};
    const qsizetype needed = Base + PerPort * ports;
    if (rlim_t(needed) <= limit.rlim_cur)
        return {};
    const QString ask = ports == 1 ? StationTexts::tr("One port needs")
                                   : StationTexts::tr("%1 ports need").arg(ports);
    return StationTexts::tr("%1 about %2 open files, and this process may have only %3: raise the "
                            "limit (ulimit -n %2 in the shell that starts it, or LimitNOFILE=%2 "
                            "in its service) and start it again.")
        .arg(ask)
        .arg(needed)
        .arg(qulonglong(limit.rlim_cur));
}

} // namespace lumavera
