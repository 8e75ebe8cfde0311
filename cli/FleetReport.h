#pragma once

#include "InstrumentStatus.h"
#include "Procedure.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a check and a run tell differently of the fleet's instruments, chosen once by the command.
// A check only reads: it lists the upgrade files first and tells each instrument ready or not as it
// ends. A run is confirmed first, changes the instruments, tells how long each took, and ends with
// the table.
class FleetReport
{
public:
    // One count of the screen's header: the instruments with this result, or "running", "queued" or
    // "waiting".
    struct Count
    {
        QString what;
        QString label;
        bool always = true; // shown when it is 0 too
    };

    // Lines are not wrapped where there is no terminal.
    static constexpr int kNoWidth = 1 << 20;
    // The counts of the instruments that run, of those that wait for their turn, and of those
    // waited for in maintenance mode (--wait).
    inline static const QString kRunning = QStringLiteral("running");
    inline static const QString kQueued = QStringLiteral("queued");
    inline static const QString kWaiting = QStringLiteral("waiting");

    // The check's or the run's.
    static const FleetReport &of(Procedure procedure);

    virtual ~FleetReport() = default;

    // The screen's header, those that need a person first: a narrow terminal loses the last.
    virtual QList<Count> counts() const = 0;
    // An ended instrument's lines within width: its address and its result, wrapped between words.
    virtual QStringList ended(const InstrumentStatus &instrument, int width) const = 0;
    // Where no screen shows the instruments: the lines an event of this instrument prints.
    virtual QStringList followed(const InstrumentStatus &instrument, const QString &event) const = 0;
    // What the fleet does after a first SIGINT or SIGTERM (signal: its name).
    virtual QString interrupted(const QString &signal, qint64 notStarted, qint64 running) const = 0;
    // The lines before the totals at the end: the table of every instrument, or none.
    virtual QStringList closing(const QList<const InstrumentStatus *> &instruments, int width) const = 0;
};
