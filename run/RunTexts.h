#pragma once

#include <QString>

// The texts that the window and the command line both show: the run's own captions, the warning
// before a run, the message of an instrument that does not answer the network probe, that of a log
// that cannot be written and why a run could not start.
namespace RunTexts {

inline const QString kConnecting = QStringLiteral("Connecting to QD8400. This may take up to 30 seconds.");
inline const QString kCompleted = QStringLiteral("The QD8400 firmware has been up upgraded and the QD8400 rebooted.");
inline const QString kDataLossWarning = QStringLiteral(
    "The upgrade procedure may delete any datalog and user configuration\r\nfiles currently stored on the internal "
    "Flash memory.\r\n\r\nIf you require any of the datalog and/or user configuration files\r\ncurrently stored on "
    "the internal Flash memory please:\r\n    a) copy them to a floppy disk\r\n    b) copy them to a hard disk\r\n    "
    "c) use FTP access to copy them\r\nbefore continuing with the upgrage.");
// The log has lost an entry before the first command that changes the instrument: why, "PATH: REASON".
inline QString unrecorded(const QString &why)
{
    return QStringLiteral("The log cannot be written (%1).\r\nNothing has been changed on the QD8400: make room for "
                          "the log, then start the upgrade again.")
        .arg(why);
}
inline const QString kNoNetwork =
    QStringLiteral("No network connection found to IP Address\r\nPlease check IP Address or seek IT support");
// The run could not start, nothing sent; reason: one of those below.
inline QString notStarted(const QString &reason)
{
    return "The upgrade could not start: " + reason + ".\r\nNothing has been changed on the QD8400.";
}
// The system refused the run a thread before anything was sent; reason: the system's own words.
inline QString threadRefused(const QString &reason)
{
    return QStringLiteral("the system refused a thread: ") + reason;
}

} // namespace RunTexts
