#include "Fleet.h"
#include "InstrumentRun.h"
#include "Options.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qd8400-upgrade"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QD8400UPGRADE_VERSION));
    const ParsedOptions parsed = parseOptions(QCoreApplication::arguments());
    if (!parsed.options) {
        std::fprintf(stderr, "qd8400-upgrade: %s\n", qPrintable(parsed.problem));
        return kUsageStatus;
    }
    if (parsed.options->instrument)
        return InstrumentRun(*parsed.options).exec();
    return Fleet(*parsed.options).exec();
}
