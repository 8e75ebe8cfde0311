#pragma once

#include "Dialogs.h"

#include <QString>

// The ways an upgrade can stop: each shows its message box, then the program ends.
enum class FailureRoutine
{
    AbortNotMaintenanceMode,
    AbortNotInstrument,
    AbortCommandNotAcknowledged,
    AbortCommandFailed,
    AbortConnectFailed,
    AbortNetworkError,
    AbortTimeout,
    AbortKernelBackupFailed,
    AbortFileSystemBackupFailed,
    AbortKernelTransferFailed,
    AbortFileSystemTransferFailed,
    AbortSystemFileTransferFailed,
    AbortApplicationTransferFailed,
    AbortUtilitiesTransferFailed,
    AbortFirewallBlocked,
};

// The routine's message box; `address` is quoted by AbortNotInstrument only.
Dialogs::Message failureMessage(FailureRoutine routine, const QString &address = QString());
