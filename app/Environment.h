#pragma once

#include <QString>
#include <QStringList>

#include <ctime>
#include <functional>

class Dialogs;

// What the window takes from its surroundings. The program runs on the defaults; tests replace
// what they need. Nothing here is read from a command line, the environment or a file.
struct Environment
{
    // Message boxes and the folder chooser; null: the real ones.
    Dialogs *dialogs = nullptr;
    // The network test of an address; null: one ICMP echo (ProbeInstrument).
    std::function<bool(const QString &address)> probe;
    // Ends the process with an exit status; null: at once, without returning.
    std::function<void(int status)> endProgram;
    quint16 telnetPort = 23;
    quint16 ftpPort = 21;
    // Scales every wait and the Telnet guard's tick (1 in the program, small in tests).
    double timeScale = 1.0;
    // The log file and the folder used when the program's folder is not writable; empty: the defaults.
    QString logPath;
    QString logFallbackPath;
    // The clock that stamps log entries and sets the instrument's date; null: the system clock.
    std::function<std::time_t()> clock;
    // The folder the folder box starts at; empty: the program's own folder.
    QString programFolder;
    // Programs that show system information, tried in order on PATH by the About window.
    QStringList systemInfoPrograms{"hardinfo", "kinfocenter", "gnome-system-monitor", "ksysguard"};
};
