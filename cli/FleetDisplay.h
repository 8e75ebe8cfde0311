#pragma once

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
    QString result; // empty while it runs
    int status = 0;
    QString message; // the failure's message
    int state = 0;
    double seconds = 0;

    bool finished() const { return !result.isEmpty(); }
    // "success", "failed: " and the message's first line, "halted at state N", "ready", ...
    QString outcome() const;
};

// How the fleet shows its instruments: their events as JSON lines; on a terminal one live line per
// instrument; elsewhere one line per caption change. Then each check's result, or the summary table.
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

    void begin();
    // After an instrument's event (its JSON line) has been taken into its status.
    void event(const InstrumentStatus &instrument, const QByteArray &line, const QString &name);
    // Redraws the live lines if anything has changed since they were drawn.
    void refresh();
    void summary(int status);

private:
    void drawLiveLines();
    QString liveLine(const InstrumentStatus &instrument) const;

    Mode mMode;
    bool mChecking;
    const QList<InstrumentStatus> &mInstruments;
    bool mChanged = false;
    bool mDrawn = false;
};
