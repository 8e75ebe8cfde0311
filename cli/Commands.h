#pragma once

#include "Options.h"

#include <QString>
#include <QStringList>

#include <optional>

// The command line's commands and options as tables: a new option is one row, and the row says
// which commands take it and whether each instrument's process is given it too.
namespace Commands {

struct Parsed
{
    std::optional<Options> options;
    QString problem; // one line, when options is empty
};

// The arguments as a person gives them. Prints help or the version and ends the process when
// asked for them.
Parsed parse(const QStringList &arguments);

// The arguments that start one instrument's process: the same command for that address alone, its
// log folder, and every option that the instrument's process takes.
QStringList instrumentArguments(const Options &options, const QString &address, const QString &logFolder);

// The command that runs the procedure: check or run.
QString nameOf(Procedure procedure);

// name is a command: each of them starts a process for each instrument.
bool startsInstruments(const char *name);

// An option as its row declares it, for the pages that document it.
struct OptionText
{
    QStringList names;    // the short one first, if there is one
    QString valueName;    // empty: a flag
    QStringList commands; // those that take it
    QString description;  // as --help gives it
    QString given;        // the value each instrument's process is given by default; empty: none
};

// Every option, in the order --help lists them.
QList<OptionText> options();

// Runs the parsed command; returns the exit status.
int run(const Options &options);

} // namespace Commands
