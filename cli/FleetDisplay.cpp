#include "FleetDisplay.h"

#include "ErrorLine.h"
#include "FleetScreen.h"

#include <cstdio>
#include <unistd.h>

namespace {

// Every event and the summary as a line of JSON, nothing else on standard output.
class FleetJson final : public FleetDisplay
{
public:
    void folder(const QJsonObject &event) override { writeLine(Events::line(event)); }
    void begin(const QString &) override {}
    void event(const InstrumentStatus &, const QJsonObject &event) override { writeLine(Events::line(event)); }
    void interrupt(const QJsonObject &event) override { writeLine(Events::line(event)); }
    void summary(const QJsonObject &summary) override { writeLine(Events::line(summary)); }
};

} // namespace

std::unique_ptr<FleetDisplay> FleetDisplay::make(bool json, const FleetReport &report,
                                                 const QList<const InstrumentStatus *> &instruments)
{
    if (json)
        return std::make_unique<FleetJson>();
    if (::isatty(STDOUT_FILENO))
        return std::make_unique<FleetScreen>(report, instruments);
    return std::make_unique<FleetLines>(report, instruments);
}

void FleetDisplay::warning(const QString &text)
{
    passOn(errorLine(text));
}

void FleetDisplay::passOn(const QString &line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}
