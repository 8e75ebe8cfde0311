#pragma once

#include "FailureRoutine.h"

#include <QByteArray>
#include <QString>

// How a run ends, whoever hosts it: the time limit of the log-in, the failure routine of each
// Telnet event that ends a run, their log lines and the program's exit statuses.
namespace RunRules {

// The state of the run while it connects and logs in.
inline constexpr int kConnecting = 81;
// From OpenConnection until the shell prompt, before the time scale.
inline constexpr int kLogInLimitMs = 60000;
inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;

inline constexpr char kLogInTimerLine[] = "\r\n>>tmrLogIn_Timer";
inline constexpr char kLogInTimedOut[] = "\r\n* No shell prompt within 60 seconds of OpenConnection";
inline constexpr FailureRoutine kLogInTimeoutRoutine = FailureRoutine::AbortConnectFailed;
inline constexpr char kTimeoutLine[] = "\r\n>>ucTelnetInterface_Timeout";
inline constexpr FailureRoutine kTimeoutRoutine = FailureRoutine::AbortTimeout;

inline QByteArray errorLine(int number, const QString &description)
{
    return "\r\n>>ucTelnetInterface_Error(" + QByteArray::number(number) + ',' + description.toUtf8() + ')';
}

// A connection that fails before the log-in is a failed connection; later, a network error.
inline FailureRoutine errorRoutine(int state)
{
    return state == kConnecting ? FailureRoutine::AbortConnectFailed : FailureRoutine::AbortNetworkError;
}

} // namespace RunRules
