// Probes one address and prints yes or no: probe_address ADDRESS TIMEOUT_MS
#include "NetworkProbe.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 3)
        return 2;
    const bool answered = ProbeInstrument(QString::fromLocal8Bit(argv[1]), std::atoi(argv[2]));
    std::printf("%s\n", answered ? "yes" : "no");
    return answered ? 0 : 1;
}
