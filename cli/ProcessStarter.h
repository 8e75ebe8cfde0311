#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <sys/types.h>

// The fleet's instruments' processes begin as copies of one process, the starter, forked at the
// fleet's very start before anything else is made: each comes with every library already loaded
// and relocated and shares those pages, instead of loading this program afresh. The starter runs
// nothing of the upgrade: it waits for the fleet's requests and forks, reaps the processes it
// started and tells the fleet of their ends, and goes when the fleet goes.
namespace ProcessStarter {

// The first call of main(). For a command that starts instruments' processes it forks the
// starter and returns in the fleet; in each instrument's process it returns with that process's
// own arguments. In the starter it never returns. For any other command it does nothing.
void begin(int &argc, char **&argv);

struct Started
{
    pid_t pid = -1;
    QString problem; // why not, when pid is -1
};

// In the fleet: an instrument's process with these arguments (its first, the program, is the
// fleet's own), in a session of its own, with the fleet's environment at its start and
// environmentEntry ("NAME=VALUE"), its standard input, output and error these descriptors (the
// process gets copies: the caller's stay open).
Started start(const QStringList &arguments, const QByteArray &environmentEntry, const int (&standard)[3]);

// In the fleet, at its end: the starter goes, and is reaped with the processes it reaped.
void end();

// In the fleet: the descriptor on which the starter tells of the ends of the processes it
// started (readable when one is told), or -1 when there is no starter.
int endsDescriptor();

struct Ended
{
    pid_t pid;
    int status; // as waitpid gives it
};

// The next end told, if one is there to be read; gone is set once the starter has gone.
std::optional<Ended> nextEnd(bool &gone);

} // namespace ProcessStarter
