#pragma once

#include "Procedure.h"
#include "RunSettings.h"

#include <QDir>
#include <QString>
#include <QStringList>

// What the command line asks for: a command, the upgrade folder, the instruments and the options.
struct Options
{
    // What each instrument's process does: the command check or run.
    Procedure procedure = Procedure::Check;
    QString folder;
    QStringList addresses; // dotted IPv4, each once: those given, then those of the file
    QString from;          // the file of more addresses; "-": standard input
    int jobs = 0;          // at most this many at once; 0: as many as the machine holds
    int waitSeconds = 0;   // how long each instrument is waited for in maintenance mode; 0: not at all
    bool yes = false;
    bool json = false;
    QString logDir; // empty: a new folder in the current one
    // The instruments' ports and the time scale; each instrument's process adds its own log.
    RunSettings settings;

    // Where an instrument's log goes: DIR/ADDRESS/logfile.txt.
    QString logPath(const QString &address) const
    {
        return QDir(QDir(logDir).filePath(address)).filePath(QStringLiteral("logfile.txt"));
    }
};
