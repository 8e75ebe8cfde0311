#pragma once

#include "FleetDisplay.h"

#include <QElapsedTimer>

// The fleet's display for people: the upgrade files, where the logs go, the notes after signals,
// and at the end what the report closes with and the totals, within the width of its form.
class FleetText : public FleetDisplay
{
public:
    FleetText(const FleetReport &report, const QList<const InstrumentStatus *> &instruments);

    void folder(const QJsonObject &event) override;
    void begin(const QString &logFolder) override;
    void interrupt(const QJsonObject &event) override;
    void summary(const QJsonObject &summary) override;

protected:
    // The width its lines are wrapped and cut to.
    virtual int width() const = 0;
    // Lines for the operator while the run goes on.
    virtual void say(const QStringList &lines) = 0;
    static void print(const QString &line);

    const FleetReport &mReport;
    const QList<const InstrumentStatus *> mInstruments;
    // From the start of the run.
    QElapsedTimer mClock;

private:
    QString totals() const;
};

// Where there is no terminal: a line for each event the report follows, none wrapped.
class FleetLines final : public FleetText
{
public:
    using FleetText::FleetText;

    void event(const InstrumentStatus &instrument, const QJsonObject &event) override;

private:
    int width() const override { return FleetReport::kNoWidth; }
    void say(const QStringList &lines) override;
};
