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
    // the message's first line), "halted at: " and the caption, "ready", ...
    QString outcome() const;
    // What is never cut from the outcome, such as "(state 7081; waits scaled 0.1; log incomplete)";
    // empty when there is nothing to add.
    QString remarks() const;
    // What a technician reads below the outcome: the message's first line unless it is in it, and
    // why the log is incomplete.
    QStringList details() const;
};

// Everything the fleet prints. How it shows its instruments: their events as JSON lines; on a
// terminal a screen of a header with the counts and a live line for each active instrument, as
// many as fit, and above it each finished instrument once; elsewhere one line per caption change.
// Then the summary table (for a check each instrument's line as it ends) and the totals. And the
// lines before: the upgrade files of a check, where the logs go.
//
// On a terminal the cursor rests at the start of the screen's first line between frames: a
// terminal made smaller then drops the screen's lower lines rather than pushing its upper ones into
// the scrollback, and the next frame, drawn from there down, leaves nothing of the old one.
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
    // The terminal has a new size: the screen is drawn again whole.
    void resized();
    // The fleet has taken a signal.
    void interrupt(const QJsonObject &event);
    // A problem of the fleet's while the run goes on (a file that could not be written).
    void warning(const QString &text);
    // A line for the operator while the run goes on (a warning, what an instrument's process said
    // on its standard error): above the screen on a terminal, else on standard error.
    void passOn(const QString &line);
    // Lines for standard error go above the screen (it is the terminal the screen is on).
    bool passesOnAbove() const;
    void summary(const QJsonObject &summary);

private:
    // The header and the live lines that fit in rows.
    QStringList screen(int columns, int rows) const;
    QString header(int width) const;
    QString liveLine(const InstrumentStatus &instrument, int width) const;
    // An ended instrument's lines within width: its address (with the duration of a run) and its
    // result, wrapped between words; with the details and the log for the table.
    QStringList row(const InstrumentStatus &instrument, int width, bool withDetails) const;
    // Adds lines above the screen, which is drawn again below them.
    void above(const QStringList &lines);
    void draw(bool whole);
    void table() const;
    QString totals() const;

    Mode mMode;
    bool mChecking;
    const QList<InstrumentStatus> &mInstruments;
    QElapsedTimer mClock;
    // The lines to print above the screen, and the screen as drawn last.
    QStringList mAbove;
    QStringList mDrawn;
    bool mBegun = false;
};
