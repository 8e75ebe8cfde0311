#pragma once

#include "FailureRoutine.h"
#include "Script.h"
#include "StateMachineLog.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <algorithm>

// How a run ends, whoever hosts it: the time limit of the log-in, what the Telnet events that end a
// run log and which failure routine each calls; and the scale of its times.
namespace RunRules {

// The state of the run while it connects and logs in.
inline constexpr int kConnecting = 81;
// From OpenConnection until the shell prompt, before the time scale.
inline constexpr int kLogInLimitMs = 60000;

// A run whose last state (neither 0 nor the busy marker) was this has sent nothing that changes the
// instrument: it has only connected, logged in and read. The first command that changes it ("date")
// goes out as the run leaves the last state that only reads.
inline bool changedNothingAt(int lastState)
{
    return lastState == 0 || lastState == kConnecting || Script::readsOnly(lastState);
}

// A time of the script at the run's time scale, never below 1 ms: a timer of 0 would fire at once.
inline int scaledMs(int milliseconds, double timeScale)
{
    return std::max(1, static_cast<int>(milliseconds * timeScale));
}

// What ends a run from outside the script: the log entries, one after the other, and the failure
// routine whose message tells the operator.
struct Ending
{
    QByteArrayList logged;
    FailureRoutine routine;
};

// The guard ran out before the command's output came back to the prompt.
inline Ending timedOut(int state)
{
    return {{"\r\n>>ucTelnetInterface_Timeout", StateMachineLog::stateLine(state)}, FailureRoutine::AbortTimeout};
}

// A socket error: a failed connection before the log-in, a network error later.
inline Ending socketError(int state, int number, const QString &description)
{
    return {{"\r\n>>ucTelnetInterface_Error(" + QByteArray::number(number) + ',' + description.toUtf8() + ')',
             StateMachineLog::stateLine(state)},
            state == kConnecting ? FailureRoutine::AbortConnectFailed : FailureRoutine::AbortNetworkError};
}

// A device that accepts the connection but never shows "login: ", or that asks for the log-in again
// and again, would otherwise hold the run for ever.
inline Ending logInTimedOut(int state)
{
    return {{"\r\n>>tmrLogIn_Timer", StateMachineLog::stateLine(state),
             "\r\n* No shell prompt within 60 seconds of OpenConnection"},
            FailureRoutine::AbortConnectFailed};
}

} // namespace RunRules
