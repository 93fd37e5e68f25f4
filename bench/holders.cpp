// The look through /proc for another program holding a device, alone: the
// median of a number of looks at one device, in milliseconds.
//   lumavera-bench-holders DEVICE [ROUNDS]

#include "link/deviceholder.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: lumavera-bench-holders DEVICE [ROUNDS]\n");
        return 2;
    }
    const QString device = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    std::vector<double> ms;
    int unseen = 0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        unseen = lumavera::LookForHolders({device}).unseen;
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%.2f %d\n", ms[ms.size() / 2], unseen);
    return 0;
}
