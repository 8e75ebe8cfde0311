#pragma once

#include "RunSettings.h"

#include <QString>

#include <functional>

// One whole upgrade run by the real window with nobody at it: the pages are walked, every message
// box is answered with its default button, and the run goes on until the program would end.
struct AutoRun
{
    QString folder;  // the upgrade files
    QString address; // the instrument's
    // The log, the ports, and the time scale: below 1 the waits are shorter than the script prescribes.
    RunSettings settings;

    // What the run measured.
    struct Figures
    {
        int exitStatus = -1;
        double totalSeconds = 0;
        double prescribedWaitSeconds = 0; // the waits asked for, outermost only, unscaled
        double transferSeconds = 0;
        double waitingSeconds = 0; // time spent inside the outermost waits
        double cpuSecondsWhileWaiting = 0;
    };

    // Told of every change of the step caption or of the progress caption as it is made, of every
    // change of the transfer line (empty once it is hidden), and of each message.
    std::function<void(const QString &caption, const QString &progress)> onChange;
    std::function<void(const QString &transfer)> onTransfer;
    std::function<void(const QString &message)> onMessage;

    Figures run() const;
};
