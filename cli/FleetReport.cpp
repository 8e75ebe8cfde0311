#include "FleetReport.h"

#include "TerminalText.h"

#include <QDir>

namespace {

constexpr int kAddressWidth = 15;
constexpr int kDurationWidth = 11;
// A result beside its address and duration keeps at least this many columns; with fewer it goes
// below them.
constexpr int kLeastBeside = 24;

// An ended instrument's lines within width: head, then its result wrapped between words beside it;
// where that leaves too little room, alone on the first line and the result indented below it. For
// the table also the details and the path of the log.
QStringList resultLines(QString head, const QString &alone, const QString &result, const InstrumentStatus &instrument,
                        int width, bool withDetails)
{
    QStringList lines;
    if (width - head.size() < kLeastBeside) {
        lines << alone;
        head = QStringLiteral("  ");
    }
    const QString indent(head.size(), ' ');
    const int room = width - static_cast<int>(indent.size());
    QStringList text = TerminalText::wrapped((result + ' ' + instrument.remarks()).trimmed(), room);
    if (withDetails)
        for (const QString &detail : instrument.details())
            text << TerminalText::wrapped(detail, room);
    for (qsizetype i = 0; i < text.size(); ++i)
        lines << (i == 0 ? head : indent) + text[i];
    if (!withDetails || instrument.end.log.isEmpty() ||
        (instrument.end.result == Events::kSuccess && instrument.end.logIncomplete.isEmpty()))
        return lines;
    // The log's path whole, on a line of its own when it does not fit after its name.
    const QString log = QDir::toNativeSeparators(instrument.end.log);
    if (indent.size() + 5 + log.size() <= width)
        lines << indent + "log: " + log;
    else
        lines << indent + "log:" << log;
    return lines;
}

class CheckReport final : public FleetReport
{
public:
    QList<Count> counts() const override
    {
        return {{Events::kNotReady, Events::kNotReady},
                {kWaiting, kWaiting, false},
                {kRunning, kRunning},
                {kQueued, kQueued},
                {Events::kReady, Events::kReady},
                {Events::kNotStarted, Events::kNotStarted, false}};
    }

    // The whole message on one line.
    QStringList ended(const InstrumentStatus &instrument, int width) const override
    {
        const QString message = instrument.messageLines().join(' ');
        const QString result = instrument.end.result;
        return resultLines(instrument.address + "  ", instrument.address,
                           message.isEmpty() ? result : result + ": " + message, instrument, width, false);
    }

    QStringList followed(const InstrumentStatus &instrument, const QString &event) const override
    {
        return event == Events::kResult ? ended(instrument, kNoWidth) : QStringList();
    }

    QString interrupted(const QString &signal, qint64 notStarted, qint64 running) const override
    {
        return QStringLiteral("%1: %2 queued instrument(s) not checked; the %3 running stop now: a check changes "
                              "nothing")
            .arg(signal)
            .arg(notStarted)
            .arg(running);
    }

    QStringList closing(const QList<const InstrumentStatus *> &, int) const override { return {}; }
};

class RunReport final : public FleetReport
{
public:
    QList<Count> counts() const override
    {
        return {{Events::kFailed, Events::kFailed},
                {Events::kHalted, Events::kHalted},
                {Events::kStopped, Events::kStopped, false},
                {kWaiting, kWaiting, false},
                {kRunning, kRunning},
                {kQueued, kQueued},
                {Events::kSuccess, QStringLiteral("succeeded")},
                {Events::kNotStarted, Events::kNotStarted, false}};
    }

    QStringList ended(const InstrumentStatus &instrument, int width) const override
    {
        return row(instrument, width, false);
    }

    // A line for each caption and for the result.
    QStringList followed(const InstrumentStatus &instrument, const QString &event) const override
    {
        if (event != Events::kCaption && event != Events::kResult)
            return {};
        return {QStringLiteral("%1  %2%  %3")
                    .arg(instrument.address)
                    .arg(instrument.percent, 3)
                    .arg(instrument.finished() ? (instrument.outcome() + ' ' + instrument.remarks()).trimmed()
                                               : instrument.caption)};
    }

    QString interrupted(const QString &signal, qint64 notStarted, qint64 running) const override
    {
        const QString again = signal == QLatin1String("SIGINT") ? QStringLiteral("Ctrl-C") : signal;
        return QStringLiteral("%1: %2 queued instrument(s) not started; %3 running: each stops now if nothing has "
                              "been changed on it yet, or runs on to its end. %4 again stops them now: they may not "
                              "start again")
            .arg(signal)
            .arg(notStarted)
            .arg(running)
            .arg(again);
    }

    QStringList closing(const QList<const InstrumentStatus *> &instruments, int width) const override
    {
        QStringList lines{QString()};
        if (width - kAddressWidth - kDurationWidth - 4 >= kLeastBeside)
            lines << QStringLiteral("%1  %2  %3")
                         .arg(QStringLiteral("ADDRESS"), -kAddressWidth)
                         .arg(QStringLiteral("DURATION"), kDurationWidth)
                         .arg(QStringLiteral("RESULT"));
        for (const InstrumentStatus *instrument : instruments)
            lines << row(*instrument, width, true);
        return lines;
    }

private:
    static QStringList row(const InstrumentStatus &instrument, int width, bool withDetails)
    {
        const QString duration = TerminalText::duration(instrument.end.seconds);
        return resultLines(
            QStringLiteral("%1  %2  ").arg(instrument.address, -kAddressWidth).arg(duration, kDurationWidth),
            instrument.address + "  " + duration, instrument.outcome(), instrument, width, withDetails);
    }
};

} // namespace

const FleetReport &FleetReport::of(Procedure procedure)
{
    static const CheckReport check;
    static const RunReport run;
    if (procedure == Procedure::Check)
        return check;
    return run;
}
