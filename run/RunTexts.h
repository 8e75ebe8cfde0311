#pragma once

#include <QString>

// The texts that the window and the command line both show: titles, the run's captions, the
// warning before a run and the messages about the operator's inputs; and the log-in of the
// instrument's maintenance shell.
namespace RunTexts {

inline const QString kMessageTitle = QStringLiteral("QD8400 Firmware Upgrade");
// The title of every failure message and of the invalid-address message.
inline const QString kAbortTitle = QStringLiteral("Upgrade Abort");
inline const QString kConnecting = QStringLiteral("Connecting to QD8400. This may take up to 30 seconds.");
inline const QString kCompleted = QStringLiteral("The QD8400 firmware has been up upgraded and the QD8400 rebooted.");
inline const QString kDataLossWarning = QStringLiteral(
    "The upgrade procedure may delete any datalog and user configuration\r\nfiles currently stored on the internal "
    "Flash memory.\r\n\r\nIf you require any of the datalog and/or user configuration files\r\ncurrently stored on "
    "the internal Flash memory please:\r\n    a) copy them to a floppy disk\r\n    b) copy them to a hard disk\r\n    "
    "c) use FTP access to copy them\r\nbefore continuing with the upgrage.");
inline const QString kNoNetwork =
    QStringLiteral("No network connection found to IP Address\r\nPlease check IP Address or seek IT support");
inline const QString kInvalidAddress =
    QStringLiteral("The specified IP address is not valid.\r\nPlease enter a valid IP address.");
inline const QString kMissingFiles =
    QStringLiteral("The specified directory does not contain all the necessary\r\nQD8400 firmware upgrade files.");
inline const QString kSuccess = QStringLiteral("Upgrade completed successfully\r\nPress OK to end program");

inline const QString kLogin = QStringLiteral("root");
inline const QString kPassword = QStringLiteral("k8r2Mq5");

} // namespace RunTexts
