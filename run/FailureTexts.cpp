#include "FailureTexts.h"

namespace {

const QStringList kNetworkCheck{"Please check that the QD8400 is connected to the same network as this PC,",
                                "that the QD8400 eth0 configuration has been set correctly and that the",
                                "IP address entered is the same as the one configured on the eth0 interface."};
const QStringList kCableCheck{"Please check the network cables between the QD8400 and the PC,",
                              "that the QD8400 eth0 configuration has been set correctly and that the",
                              "IP address entered is the same as the one configured on the eth0 interface."};
const QStringList kClosing{"Then retry the firmware upgrade.",
                           "If this condition persists then please contact your Brimlux instrument support.",
                           "Stopping firmware upgrade operation."};
const QStringList kBackupClosing{"Please retry the firmware upgrade.",
                                 "If this condition persists then please contact your Brimlux instrument support.",
                                 "Stopping firmware upgrade operation."};

} // namespace

FailureText failureText(FailureRoutine routine, const QString &address)
{
    using enum FailureRoutine;
    switch (routine) {
    case AbortNotMaintenanceMode:
        return {false,
                {"The QD8400 you are attempting to upgrade has not been rebooted into the maintenance mode. Please "
                 "read the upgrade documentation for an explanation of how to put the QD8400 into maintenance mode. "
                 "Stopping firmware upgrade operation."}};
    case AbortNotInstrument:
        return {false,
                {"The remote device does not exhibit the behaviour of a QD8400, please check the entered IP address (" +
                 address + ") is not configured to another device."}};
    case AbortCommandNotAcknowledged:
        return {false,
                {"The QD8400 you are attempting to upgrade has failed to acknowledge a command in the expected way. "
                 "Please report this to your Brimlux instrument support."}};
    case AbortCommandFailed:
        return {false,
                {"The QD8400 has failed to complete a command in the expected way.", "Then retry the firmware upgrade.",
                 "Please check that the QD8400 is connected to the same network as this",
                 "PC and that the QD8400 eth0 configuration has been set correctly",
                 "If this condition persists then please contact your Brimlux instrument support.",
                 "Stopping firmware upgrade operation."}};
    case AbortConnectFailed:
        return {false, QStringList{"The attempt to connect to the QD8400 has failed."} + kNetworkCheck + kClosing};
    case AbortNetworkError:
        return {false, QStringList{"An error has occurred with the network connection to the QD8400."} + kNetworkCheck +
                           kClosing};
    case AbortTimeout:
        return {false,
                QStringList{"A timeout has occurred while communicating with the QD8400."} + kNetworkCheck + kClosing};
    case AbortKernelBackupFailed:
        return {false, QStringList{"An error has occurred while backing up the kernal file."} + kBackupClosing};
    case AbortFileSystemBackupFailed:
        return {false,
                QStringList{"An error has occurred while backing up the system file system file."} + kBackupClosing};
    case AbortKernelTransferFailed:
        return {false, QStringList{"Transfer of the kernel system file has failed."} + kCableCheck + kClosing};
    case AbortFileSystemTransferFailed:
        return {false, QStringList{"Transfer of the system file system file has failed."} + kCableCheck + kClosing};
    case AbortSystemFileTransferFailed:
        return {false, QStringList{"Transfer of the system file has failed."} + kCableCheck + kClosing};
    case AbortApplicationTransferFailed:
        return {false, QStringList{"Transfer of the application file has failed."} + kCableCheck + kClosing};
    case AbortUtilitiesTransferFailed:
        return {false, QStringList{"Transfer of the upgrade utilities file has failed."} + kCableCheck + kClosing};
    case AbortFirewallBlocked:
        return {true,
                {"A connection to the QD8400 cannot be made.", "The most likely cause of this is firewall software.",
                 "Please disable any firewall software and try again."}};
    }
    Q_UNREACHABLE();
}

QString FailureText::text() const
{
    return lines.join(QLatin1String("\r\n"));
}
