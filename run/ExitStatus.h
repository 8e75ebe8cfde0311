#pragma once

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
