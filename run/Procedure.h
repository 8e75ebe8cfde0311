#pragma once

#include "ExitStatus.h"

// What a run does with its instrument once it has logged in. Both run the script's read-only
// steps (the device, its folder, maintenance mode: "cd /mnt/nand1", "pwd" and "ps aux" with their
// checks and log texts). The upgrade then goes on to change the instrument; the check instead ends
// its Telnet session there, before the first change is shown or sent, and lists the instrument's
// working folder by FTP: ready when it can.
enum class Procedure
{
    Upgrade,
    Check,
};

// How a run ends that another process's lock keeps from its instrument: an upgrade that has not
// started, a check that finds the instrument not ready.
constexpr RunResult lockedOut(Procedure procedure)
{
    return procedure == Procedure::Check ? RunResult::Failure : RunResult::NotStarted;
}
