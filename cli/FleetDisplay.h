#pragma once

#include "FleetReport.h"
#include "InstrumentStatus.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <memory>

// Everything the fleet prints, in one of three forms chosen once: the events as JSON lines; on a
// terminal a screen of a header with the counts and a live line for each active instrument, with
// each ended instrument printed once above it; elsewhere lines. The forms for people say what the
// command's report says (a check's or a run's), then the totals; before that the upgrade files of
// a check and where the logs go.
class FleetDisplay
{
public:
    // JSON when asked for, the screen when standard output is a terminal, else lines. The
    // instruments are those the fleet keeps up to date, in the order given.
    static std::unique_ptr<FleetDisplay> make(bool json, const FleetReport &report,
                                              const QList<const InstrumentStatus *> &instruments);

    virtual ~FleetDisplay() = default;

    // The upgrade files a check has found.
    virtual void folder(const QJsonObject &event) = 0;
    // Where the logs go, then the screen.
    virtual void begin(const QString &logFolder) = 0;
    // After an instrument's event has been taken into its status.
    virtual void event(const InstrumentStatus &instrument, const QJsonObject &event) = 0;
    // Draws the screen again if anything on it has changed since it was drawn.
    virtual void refresh() {}
    // The terminal has a new size: the screen is drawn again whole.
    virtual void resized() {}
    // The fleet has taken a signal.
    virtual void interrupt(const QJsonObject &event) = 0;
    // A problem of the fleet's while the run goes on (a file that could not be written).
    void warning(const QString &text);
    // A line for the operator while the run goes on (a warning, what an instrument's process said
    // on its standard error): above the screen, else on standard error.
    virtual void passOn(const QString &line);
    // Lines for standard error go above the screen (it is the terminal the screen is on).
    virtual bool passesOnAbove() const { return false; }
    virtual void summary(const QJsonObject &summary) = 0;
};
