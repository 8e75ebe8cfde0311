#pragma once

#include "LogFile.h"

#include <QString>

// Where and how fast a run talks to its instrument, and where it logs: what the window and the
// command line give a run, each from its own surroundings. The defaults are an instrument's.
struct RunSettings
{
    // The log, and the place used when it cannot be written there; empty: no second place. Both
    // empty: the run keeps no log (a read-only attempt whose trace is not wanted).
    QString logPath;
    QString logFallbackPath;
    // Stamps the log's entries and sets the instrument's date; null: the system clock.
    LogFile::Clock clock;
    quint16 telnetPort = 23;
    quint16 ftpPort = 21;
    // Scales every wait, the log-in's time limit and the Telnet guard's tick; 1 for instruments.
    double timeScale = 1.0;
};
