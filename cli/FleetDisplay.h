#pragma once

#include "Events.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What the fleet knows of one instrument's run, from the events of its process.
struct InstrumentStatus
{
    QString address;
    QString caption; // the first line of the latest caption
    long percent = 0;
    QString file; // the file being transferred, if any
    qint64 sent = 0;
    qint64 total = 0;
    qint64 pid = 0;       // its process's
    bool started = false; // its start event has come
    Events::Result end;   // its result, once it has come

    bool finished() const { return !end.result.isEmpty(); }
    // "success", "failed: " and the message's first line, "halted at state N", "ready", ...
    QString outcome() const;
};

// Everything the fleet prints. How it shows its instruments: their events as JSON lines; on a
// terminal one live line per instrument; elsewhere one line per caption change. Then each check's
// result, or the summary table. And the lines before: the upgrade files of a check, where the logs go.
class FleetDisplay
{
public:
    enum class Mode
    {
        Json,
        Live,
        Lines,
    };

    FleetDisplay(Mode mode, bool checking, const QList<InstrumentStatus> &instruments);

    // The upgrade files a check has found.
    void folder(const QJsonObject &event) const;
    // Where the logs go, then the live lines.
    void begin(const QString &logFolder);
    // After an instrument's event has been taken into its status.
    void event(const InstrumentStatus &instrument, const QJsonObject &event);
    // Redraws the live lines if anything has changed since they were drawn.
    void refresh();
    // The fleet has taken a signal.
    void interrupt(const QJsonObject &event);
    void summary(const QJsonObject &summary);

    // A problem that ends the command before any instrument's process starts: one line on standard
    // error.
    static void problem(const QString &text);

private:
    void drawLiveLines();
    QString liveLine(const InstrumentStatus &instrument) const;

    Mode mMode;
    bool mChecking;
    const QList<InstrumentStatus> &mInstruments;
    bool mChanged = false;
    bool mDrawn = false;
};
