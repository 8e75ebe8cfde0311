#include "FleetText.h"

#include "TerminalText.h"

#include <QDir>
#include <QJsonArray>

#include <algorithm>

FleetText::FleetText(const FleetReport &report, const QList<const InstrumentStatus *> &instruments)
    : mReport(report), mInstruments(instruments)
{
}

void FleetText::print(const QString &line)
{
    writeLine(line.toUtf8());
}

void FleetText::folder(const QJsonObject &event)
{
    for (const QJsonValue &file : event.value("files").toArray())
        print(QStringLiteral("%1 %2 bytes  %3")
                  .arg(file["name"].toString(), -14)
                  .arg(file["size"].toInteger(), 12)
                  .arg(file["status"].toString()));
}

void FleetText::begin(const QString &logFolder)
{
    mClock.start();
    print("logs in " + QDir::toNativeSeparators(logFolder));
}

void FleetText::interrupt(const QJsonObject &event)
{
    const QString signal = event.value("signal").toString();
    const qint64 running = event.value("running").toInteger();
    const QString note =
        event.value("count").toInt() > 1
            ? QStringLiteral("%1 again: stopping %2 running instrument(s) now").arg(signal).arg(running)
            : mReport.interrupted(signal, event.value("not_started").toInteger(), running);
    say(TerminalText::wrapped(note, width()));
}

void FleetText::summary(const QJsonObject &)
{
    for (const QString &line : mReport.closing(mInstruments, width()))
        print(line);
    for (const QString &line : TerminalText::wrapped(totals(), width()))
        print(line);
}

QString FleetText::totals() const
{
    const auto count = [this](const auto &counted) {
        return std::count_if(mInstruments.cbegin(), mInstruments.cend(),
                             [&](const InstrumentStatus *instrument) { return counted(instrument->end); });
    };
    QStringList counts;
    for (const QString &result : Events::kResults)
        if (const auto n = count([&](const Events::Result &end) { return end.result == result; }); n > 0)
            counts << QStringLiteral("%1 %2").arg(n).arg(result);
    QString text = counts.join(QStringLiteral(", ")) + " in " +
                   TerminalText::duration(static_cast<double>(mClock.elapsed()) / 1000);
    if (const auto incomplete = count([](const Events::Result &end) { return !end.logIncomplete.isEmpty(); });
        incomplete > 0)
        text += QStringLiteral("; %1 log(s) incomplete").arg(incomplete);
    return text;
}

void FleetLines::event(const InstrumentStatus &instrument, const QJsonObject &event)
{
    // A check and a run wait alike.
    const QString name = Events::nameOf(event);
    if (name == Events::kWaiting)
        print(instrument.address + "  " + instrument.waitingText());
    else if (name == Events::kMaintenance)
        print(instrument.address + "  in maintenance mode after waiting " +
              TerminalText::duration(event.value("waited").toDouble()));
    for (const QString &line : mReport.followed(instrument, name))
        print(line);
}

void FleetLines::say(const QStringList &lines)
{
    for (const QString &line : lines)
        print(line);
}
