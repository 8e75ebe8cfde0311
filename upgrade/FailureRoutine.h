#pragma once

// The ways an upgrade can stop with a message: each shows its message box, then the program ends.
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
