#pragma once

#include "ExitStatus.h"

// What a run does with its instrument once it has logged in. Each runs the script's read-only
// steps (the device, its folder, maintenance mode: "cd /mnt/nand1", "pwd" and "ps aux" with their
// checks and log texts). The upgrade then goes on to change the instrument; the check instead ends
// its Telnet session there, before the first change is shown or sent, and lists the instrument's
// working folder by FTP: ready when it can. The readiness test ends there too, and nothing else:
// a success when the instrument is in maintenance mode at its shell (an instrument waited for is
// tried so until it is).
enum class Procedure
{
    Upgrade,
    Check,
    Readiness,
};

// How a run ends that never reached its instrument's shell for good (another process's lock keeps
// it from the instrument, or the instrument was not ready within the wait): an upgrade that has
// not started, a check that finds the instrument not ready.
constexpr RunResult untouched(Procedure procedure)
{
    return procedure == Procedure::Check ? RunResult::Failure : RunResult::NotStarted;
}
