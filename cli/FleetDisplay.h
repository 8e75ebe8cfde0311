#pragma once

#include "Events.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

// What the fleet knows of one instrument's run, from the events of its process.
struct InstrumentStatus
{
    QString address;
    QString caption; // the first line of the latest caption
    long percent = 0;
    QString file; // the file being transferred, if any
    qint64 sent = 0;
    qint64 total = 0;
    qint64 pid = 0;       // its process's; 0 while it waits for its turn
    bool started = false; // its start event has come
    Events::Result end;   // its result, once it has come; the last state, caption and the log before

    bool finished() const { return !end.result.isEmpty(); }
    bool running() const { return pid != 0 && !finished(); }
    // "success", "failed at: " and the last caption's first line (without a caption: "failed: " and
    // the message's first line), "halted at: " and the caption with the state, "ready", ...
    QString outcome() const;
    // What a technician reads below the outcome: the message's first line unless it is in it, and
    // the log of a run that did not succeed.
    QStringList details() const;
};

// Everything the fleet prints. How it shows its instruments: their events as JSON lines; on a
// terminal a screen of a header with the counts and a live line for each active instrument, as
// many as fit, and above it each finished instrument once; elsewhere one line per caption change.
// Then each check's result, or the summary table and the totals. And the lines before: the upgrade
// files of a check, where the logs go.
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
    // Where the logs go, then the screen.
    void begin(const QString &logFolder);
    // After an instrument's event has been taken into its status.
    void event(const InstrumentStatus &instrument, const QJsonObject &event);
    // Draws the screen again if anything on it has changed since it was drawn.
    void refresh();
    // The fleet has taken a signal.
    void interrupt(const QJsonObject &event);
    void summary(const QJsonObject &summary);

    // A problem that ends the command before any instrument's process starts: one line on standard
    // error.
    static void problem(const QString &text);

private:
    // The header and the live lines that fit in rows.
    QStringList screen(int columns, int rows) const;
    QString header() const;
    QString liveLine(const InstrumentStatus &instrument, int width) const;
    // Adds lines above the screen, which is drawn again below them.
    void above(const QStringList &lines);
    void table() const;
    QString totals() const;

    Mode mMode;
    bool mChecking;
    const QList<InstrumentStatus> &mInstruments;
    QElapsedTimer mClock;
    // The lines to print above the screen, and the screen as drawn last.
    QStringList mAbove;
    QStringList mDrawn;
};
