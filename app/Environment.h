#pragma once

#include "RunSettings.h"

#include <QString>
#include <QStringList>

#include <functional>

class Dialogs;

// What the window takes from its surroundings. The program gives its log's places and runs on the
// other defaults; tests replace what they need. Nothing here is read from a command line, the
// environment or a file.
struct Environment
{
    // Message boxes and the folder chooser; null: the real ones.
    Dialogs *dialogs = nullptr;
    // The network test of an address; null: one ICMP echo (ProbeInstrument).
    std::function<bool(const QString &address)> probe;
    // Ends the process with an exit status; null: at once, without returning.
    std::function<void(int status)> endProgram;
    // The log, the ports and the time scale of the run.
    RunSettings settings;
    // The folder the folder box starts at; empty: the program's own folder.
    QString programFolder;
    // Programs that show system information, tried in order on PATH by the About window.
    QStringList systemInfoPrograms{"hardinfo", "kinfocenter", "gnome-system-monitor", "ksysguard"};
};
