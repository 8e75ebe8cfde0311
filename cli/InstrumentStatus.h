#pragma once

#include "Events.h"

#include <QString>
#include <QStringList>

#include <chrono>

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
    // With --wait: from its process's start until it is found in maintenance mode, and since when;
    // why it is not (empty until its first attempt has ended).
    bool waiting = false;
    std::chrono::steady_clock::time_point waitingSince;
    QString reason;
    // Found in maintenance mode, its upgrade waits for its turn.
    bool awaitingTurn = false;

    bool finished() const { return !end.result.isEmpty(); }
    bool running() const { return pid != 0 && !finished() && !waiting && !awaitingTurn; }
    // "waiting for maintenance mode: " and the reason.
    QString waitingText() const;
    // "success", "failed at: " and the last caption's first line (without a caption: "failed: " and
    // the message's first line), "halted at: " and the caption, "ready", ...
    QString outcome() const;
    // What is never cut from the outcome, such as "(state 7081; waits scaled 0.1; log incomplete)";
    // empty when there is nothing to add.
    QString remarks() const;
    // What a technician reads below the outcome: the message's first line unless it is in it, and
    // why the log is incomplete.
    QStringList details() const;
    // The message's lines (it has CR LF between them).
    QStringList messageLines() const;
};
