#include "Commands.h"
#include "ErrorLine.h"
#include "ExitStatus.h"
#include "Handshake.h"
#include "InstrumentRun.h"
#include "ProcessStarter.h"

#include <QCoreApplication>

namespace {

int refuse(const QString &problem)
{
    writeErrorLine(problem);
    return code(ExitStatus::Usage);
}

} // namespace

int main(int argc, char *argv[])
{
    ProcessStarter::begin(argc, argv);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qd8400-upgrade"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QD8400UPGRADE_VERSION));
    const bool instrument = Handshake::requested();
    if (instrument)
        if (const QString problem = Handshake::check(); !problem.isEmpty())
            return refuse(problem);
    const Commands::Parsed parsed = Commands::parse(QCoreApplication::arguments());
    if (!parsed.options)
        return refuse(parsed.problem);
    if (!instrument) {
        const int status = Commands::run(*parsed.options);
        ProcessStarter::end();
        return status;
    }
    if (parsed.options->addresses.size() != 1)
        return refuse("an instrument's process takes one address");
    return runInstrument(*parsed.options);
}
