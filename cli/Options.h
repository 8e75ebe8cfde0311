#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The exit statuses beyond those of the window (0 every instrument upgraded or ready, 1 at least one
// failed or not ready): where several apply, the highest wins.
inline constexpr int kHaltedStatus = 2;
inline constexpr int kUsageStatus = 3;

// What the command line asks for.
struct Options
{
    enum class Command
    {
        Check,
        Run,
    };

    Command command = Command::Check;
    // One instrument in this process: the hidden form the fleet starts for each address.
    bool instrument = false;
    QString folder;
    QStringList addresses; // dotted IPv4, each once
    int jobs = 0;          // at most this many at once; 0: all
    bool yes = false;
    bool json = false;
    QString logDir; // empty: a new folder in the current one
    quint16 telnetPort = 23;
    quint16 ftpPort = 21;
    // Scales every wait, the log-in's time limit and the Telnet guard's tick; 1 for instruments.
    double timeScale = 1.0;

    // The arguments that start one instrument's process of this command.
    QStringList instrumentArguments(const QString &address, const QString &logDir) const;
};

struct ParsedOptions
{
    std::optional<Options> options;
    QString problem; // one line, when options is empty
};

// Prints help or the version and ends the process when asked for them.
ParsedOptions parseOptions(const QStringList &arguments);
