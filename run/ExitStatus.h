#pragma once

#include <cstdio>
#include <cstdlib>

// How a run ends for the process that hosts it, and for the command line's fleet the highest of its
// instruments'. The numbers are documented to operators and scripts: they never change.
enum class ExitStatus : int
{
    // Every instrument upgraded (for a check: ready).
    Succeeded = 0,
    // A failure with its message (not ready); nothing more was sent after it.
    Failed = 1,
    // The script stopped without a message: the instrument needs a person most.
    Halted = 2,
    // A usage or folder error: nothing was sent to any instrument.
    Usage = 3,
};

inline constexpr int code(ExitStatus status)
{
    return static_cast<int>(status);
}

// How one instrument's run ended.
enum class RunResult
{
    Success,
    // A failure with its message.
    Failure,
    // The script stopped without a message.
    Halt,
    // The operator stopped it once it had begun to change the instrument.
    Stop,
    // Nothing was changed on the instrument: never started, or stopped while it only read.
    NotStarted,
};

inline constexpr ExitStatus statusOf(RunResult result)
{
    switch (result) {
    case RunResult::Success:
        return ExitStatus::Succeeded;
    case RunResult::Failure:
    case RunResult::NotStarted:
        return ExitStatus::Failed;
    case RunResult::Halt:
    case RunResult::Stop:
        break;
    }
    return ExitStatus::Halted;
}

// Ends the process at once with the status, wherever the call comes from: nothing unwinds and no
// destructor runs. What the process wrote to its streams goes out first; its log is out already.
[[noreturn]] inline void endProcessNow(int status)
{
    std::fflush(nullptr);
    std::_Exit(status);
}
